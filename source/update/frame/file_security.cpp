#include "update/frame/file_security.h"

#include "update/frame/platform_calls.h"

namespace mivra {
namespace {

// A descriptor of a file or folder in use is rarely larger; a larger one is read on the second call.
constexpr DWORD kFirstGuessBytes = 1024;

// The descriptor `read(buffer, size, &needed)` gives, in a buffer grown as it asks.
template <typename ReadFn>
ScopedProcessHeapBlock ReadSecurity(ReadFn&& read, bool guessSize) {
  ScopedProcessHeapBlock buffer;
  DWORD size = 0;
  if (guessSize) {
    buffer.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, kFirstGuessBytes));
    if (!buffer) return buffer;
    size = kFirstGuessBytes;
  }
  for (int call = 0; call < kMaxSecurityReads; ++call) {
    DWORD needed = 0;
    if (read(buffer.get(), size, &needed)) return buffer;
    if (Platform().GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) break;
    buffer.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (!buffer) break;
    size = needed;
  }
  return ScopedProcessHeapBlock();
}

}  // namespace

ScopedProcessHeapBlock ReadFileSecurity(const wchar_t* path, SECURITY_INFORMATION what, bool guessSize) {
  return ReadSecurity(
      [path, what](PSECURITY_DESCRIPTOR buffer, DWORD size, DWORD* needed) {
        return Platform().GetFileSecurityW(path, what, buffer, size, needed) != FALSE;
      },
      guessSize);
}

ScopedProcessHeapBlock ReadHandleSecurity(HANDLE file, SECURITY_INFORMATION what, bool guessSize) {
  return ReadSecurity(
      [file, what](PSECURITY_DESCRIPTOR buffer, DWORD size, DWORD* needed) {
        return Platform().GetKernelObjectSecurity(file, what, buffer, size, needed) != FALSE;
      },
      guessSize);
}

}  // namespace mivra
