#include "support/unix_file_ops.h"

#include <windows.h>

#include <memory>

namespace mivra_test {
namespace {

// x86-64 Linux system call numbers.
constexpr long long kSysUnlink = 87;
constexpr long long kSysSymlink = 88;
constexpr long long kSysChown = 92;
constexpr long long kSysGetuid = 102;

// A Linux system call with up to three arguments: 0 or more on success, minus errno on failure.
long long LinuxCall(long long number, long long a = 0, long long b = 0, long long c = 0) {
  long long result;
  asm volatile("syscall" : "=a"(result) : "a"(number), "D"(a), "S"(b), "d"(c) : "rcx", "r11", "memory");
  return result;
}

struct HeapFreeDeleter {
  void operator()(char* text) const { HeapFree(GetProcessHeap(), 0, text); }
};
using UnixPath = std::unique_ptr<char, HeapFreeDeleter>;

// The Unix path of a Windows path, through Wine's own export; empty when not under Wine.
UnixPath UnixPathOf(const std::wstring& path) {
  using ToUnixFn = char*(CDECL*)(const wchar_t*);
  auto toUnix = reinterpret_cast<ToUnixFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  return UnixPath(toUnix ? toUnix(path.c_str()) : nullptr);
}

long long Address(const UnixPath& path) { return reinterpret_cast<long long>(path.get()); }

}  // namespace

bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link) {
  const UnixPath unixTarget = UnixPathOf(target);
  const UnixPath unixLink = UnixPathOf(link);
  return unixTarget && unixLink && LinuxCall(kSysSymlink, Address(unixTarget), Address(unixLink)) == 0;
}

bool RemoveUnixSymlink(const std::wstring& link) {
  const UnixPath unixLink = UnixPathOf(link);
  return unixLink && LinuxCall(kSysUnlink, Address(unixLink)) == 0;
}

bool ChangeUnixOwner(const std::wstring& path, uint32_t uid) {
  const UnixPath unixPath = UnixPathOf(path);
  return unixPath && LinuxCall(kSysChown, Address(unixPath), uid, uid) == 0;
}

bool MayChangeUnixOwner() { return UnixPathOf(L"C:\\") && LinuxCall(kSysGetuid) == 0; }

}  // namespace mivra_test
