#include "support/every_call_fault.h"

#include <windows.h>

#include <cerrno>
#include <cwctype>
#include <map>
#include <type_traits>

namespace mivra_test {
namespace {

using mivra::PlatformCalls;

struct State {
  FaultMode mode = FaultMode::kCount;
  uint32_t target = 0;
  uint32_t calls = 0;
  bool fired = false;
  std::wstring firedFile;
  std::map<int, std::wstring> fdFiles;
  std::map<HANDLE, std::wstring> handleFiles;
  std::map<std::wstring, uint32_t> callsByFile;
};

State& TheState() {
  static State state;
  return state;
}

std::wstring Folded(const wchar_t* path) {
  std::wstring folded = path ? path : L"";
  for (wchar_t& c : folded) c = static_cast<wchar_t>(std::towlower(c));
  return folded;
}

std::wstring Find(const std::map<int, std::wstring>& files, int fd) {
  const auto it = files.find(fd);
  return it == files.end() ? std::wstring() : it->second;
}
std::wstring Find(const std::map<HANDLE, std::wstring>& files, HANDLE handle) {
  const auto it = files.find(handle);
  return it == files.end() ? std::wstring() : it->second;
}

// The file a call works on, from its first argument that names one.
template <typename... Rest>
std::wstring FileOf(const wchar_t* path, Rest...) {
  return Folded(path);
}
template <typename... Rest>
std::wstring FileOf(int fd, Rest...) {
  return Find(TheState().fdFiles, fd);
}
template <typename... Rest>
std::wstring FileOf(HANDLE handle, Rest...) {
  return Find(TheState().handleFiles, handle);
}
template <typename... Rest>
std::wstring FileOf(HKEY, Rest...) {
  return {};
}
template <typename... Rest>
std::wstring FileOf(HMODULE, Rest...) {
  return {};
}
template <typename... Rest>
std::wstring FileOf(HWND, const wchar_t* path, Rest...) {
  return Folded(path);
}
template <typename... Rest>
std::wstring FileOf(HWND, int, Rest...) {
  return {};
}
std::wstring FileOf(LPSHFILEOPSTRUCTW operation) { return operation ? Folded(operation->pFrom) : std::wstring(); }

// Whether the call about to be made fails (or ends the process).
bool Intercept(const std::wstring& file) {
  State& state = TheState();
  const uint32_t call = ++state.calls;
  ++state.callsByFile[file];
  if (state.mode == FaultMode::kCount) return false;
  if (call == state.target) {
    if (state.mode == FaultMode::kCrash) ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
    state.fired = true;
    state.firedFile = file;
  } else if (!(state.mode == FaultMode::kFailFileFrom && state.fired && !file.empty() && file == state.firedFile)) {
    return false;
  }
  return true;
}

template <auto A, auto B>
inline constexpr bool kSame = false;
template <auto A>
inline constexpr bool kSame<A, A> = true;

template <auto Entry>
inline constexpr bool kRuntimeCall = kSame<Entry, &PlatformCalls::wopen> || kSame<Entry, &PlatformCalls::read> ||
                                     kSame<Entry, &PlatformCalls::write> || kSame<Entry, &PlatformCalls::seek> ||
                                     kSame<Entry, &PlatformCalls::close> || kSame<Entry, &PlatformCalls::commit> ||
                                     kSame<Entry, &PlatformCalls::waccess> || kSame<Entry, &PlatformCalls::wrename>;

// What a failing call of `Entry` returns, with errno or the last error set as the real call would.
template <auto Entry, typename R>
R Failure() {
  if constexpr (kSame<Entry, &PlatformCalls::chsize>) {
    errno = EIO;
    return EIO;
  } else if constexpr (kRuntimeCall<Entry>) {
    errno = EIO;
    return -1;
  } else if constexpr (kSame<Entry, &PlatformCalls::SHGetFolderPathW>) {
    return E_FAIL;
  } else if constexpr (kSame<Entry, &PlatformCalls::RegOpenKeyExW> || kSame<Entry, &PlatformCalls::RegQueryValueExW> ||
                       kSame<Entry, &PlatformCalls::RegCloseKey> ||
                       kSame<Entry, &PlatformCalls::SHCreateDirectoryExW> ||
                       kSame<Entry, &PlatformCalls::SHFileOperationW>) {
    return ERROR_GEN_FAILURE;
  } else {
    ::SetLastError(ERROR_GEN_FAILURE);
    if constexpr (kSame<Entry, &PlatformCalls::CreateMutexW>) {
      return nullptr;
    } else if constexpr (kSame<Entry, &PlatformCalls::WaitForSingleObject>) {
      return WAIT_FAILED;
    } else if constexpr (std::is_same_v<R, HANDLE>) {
      return INVALID_HANDLE_VALUE;
    } else if constexpr (kSame<Entry, &PlatformCalls::GetFileAttributesW>) {
      return INVALID_FILE_ATTRIBUTES;
    } else {
      return R{};
    }
  }
}

// Closing calls: a failing one still closes, and the descriptor or handle names no file after it.
template <auto Entry>
inline constexpr bool kClosingCall = kSame<Entry, &PlatformCalls::close> || kSame<Entry, &PlatformCalls::CloseHandle> ||
                                     kSame<Entry, &PlatformCalls::FindClose>;

template <auto Entry, typename Fn = std::remove_reference_t<decltype(mivra::Platform().*Entry)>>
struct Hook;

template <auto Entry, typename R, typename... Args>
struct Hook<Entry, R (*)(Args...)> {
  static inline R (*real)(Args...) = nullptr;

  static R Call(Args... args) {
    if constexpr (std::is_void_v<R>) {
      // The only such entry is the wait between retries, which a walk over every call skips.
      Intercept({});
    } else {
      const std::wstring file = FileOf(args...);
      if (Intercept(file)) {
        if constexpr (kClosingCall<Entry>) {
          Forget(args...);
          real(args...);
        }
        return Failure<Entry, R>();
      }
      const R result = real(args...);
      if constexpr (kSame<Entry, &PlatformCalls::wopen>) {
        if (result != -1) TheState().fdFiles[result] = file;
      } else if constexpr (kSame<Entry, &PlatformCalls::CreateFileW> || kSame<Entry, &PlatformCalls::FindFirstFileW>) {
        if (result != INVALID_HANDLE_VALUE) TheState().handleFiles[result] = file;
      } else if constexpr (kClosingCall<Entry>) {
        Forget(args...);
      }
      return result;
    }
  }

  template <typename... Rest>
  static void Forget(int fd, Rest...) {
    TheState().fdFiles.erase(fd);
  }
  static void Forget(HANDLE handle) { TheState().handleFiles.erase(handle); }

  static void Install() {
    real = mivra::Platform().*Entry;
    mivra::Platform().*Entry = &Call;
  }
};

// `kPassedThrough` entries are left as they are: calls that cannot fail.
template <size_t kPassedThrough, auto... Entries>
void InstallAll() {
  (Hook<Entries>::Install(), ...);
  // Every entry of the table is wrapped or passed through: one added to the table must be added
  // here too.
  static_assert(sizeof(PlatformCalls) == (sizeof...(Entries) + kPassedThrough) * sizeof(void*),
                "an entry of the table is not wrapped");
}

}  // namespace

EveryCallFault::EveryCallFault(FaultMode mode, uint32_t n) : saved_(mivra::Platform()) {
  TheState() = State{};
  TheState().mode = mode;
  TheState().target = n;
  using P = PlatformCalls;
  // Passed through: reading the last error, and the settings-file read, which answers its default
  // when the file cannot be read.
  constexpr size_t kPassedThrough = 2;
  InstallAll<kPassedThrough, &P::wopen, &P::read, &P::write, &P::seek, &P::close, &P::commit, &P::chsize, &P::waccess, &P::wrename,
             &P::CreateFileW, &P::ReadFile, &P::WriteFile, &P::FlushFileBuffers, &P::DeleteFileW,
             &P::SetFileAttributesW, &P::GetFileAttributesW, &P::GetFileAttributesExW, &P::MoveFileW, &P::MoveFileExW,
             &P::CopyFileW, &P::GetLongPathNameW, &P::FindFirstFileW, &P::FindNextFileW,
             &P::GetFileInformationByHandle, &P::SetFileInformationByHandle, &P::Sleep, &P::CreateMutexW,
             &P::WaitForSingleObject, &P::ReleaseMutex, &P::RegOpenKeyExW,
             &P::RegQueryValueExW, &P::SHGetFolderPathW, &P::SHCreateDirectoryExW, &P::SHFileOperationW,
             &P::CloseHandle, &P::FindClose, &P::RegCloseKey, &P::GetFileSecurityW, &P::SetFileSecurityW,
             &P::LoadLibraryExW, &P::FreeLibrary, &P::GetModuleHandleW, &P::GetModuleFileNameW, &P::GetProcAddress,
             &P::LoadStringA>();
}

EveryCallFault::~EveryCallFault() {
  mivra::Platform() = saved_;
  TheState() = State{};
}

uint32_t EveryCallFault::calls() const { return TheState().calls; }
std::map<std::wstring, uint32_t> EveryCallFault::callsByFile() const { return TheState().callsByFile; }
bool EveryCallFault::fired() const { return TheState().fired; }
std::wstring EveryCallFault::firedFile() const { return TheState().firedFile; }

}  // namespace mivra_test
