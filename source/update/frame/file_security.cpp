#include "update/frame/file_security.h"

#include "update/frame/platform_calls.h"

namespace mivra {
namespace {

// A descriptor of a file or folder in use is rarely larger; a larger one is read on the second call.
constexpr DWORD kFirstGuessBytes = 1024;

}  // namespace

ScopedProcessHeapBlock ReadFileSecurity(const wchar_t* path, SECURITY_INFORMATION what, bool guessSize) {
  ScopedProcessHeapBlock buffer;
  DWORD size = 0;
  if (guessSize) {
    buffer.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, kFirstGuessBytes));
    if (!buffer) return buffer;
    size = kFirstGuessBytes;
  }
  for (int call = 0; call < kMaxSecurityReads; ++call) {
    DWORD needed = 0;
    if (Platform().GetFileSecurityW(path, what, buffer.get(), size, &needed)) return buffer;
    if (Platform().GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) break;
    buffer.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, needed));
    if (!buffer) break;
    size = needed;
  }
  return ScopedProcessHeapBlock();
}

}  // namespace mivra
