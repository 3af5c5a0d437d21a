#include "support/every_call_fault.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <tuple>
#include <cwctype>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

namespace mivra_test {
namespace {

using mivra::PlatformCalls;

struct State {
  FaultMode mode = FaultMode::kCount;
  uint32_t target = 0;
  uint32_t second = 0;
  uint32_t calls = 0;
  bool fired = false;
  std::wstring firedFile;
  std::vector<std::wstring> countedFiles;  // kCount: the file of each call
  std::map<int, std::wstring> fdFiles;
  std::map<HANDLE, std::wstring> handleFiles;
  // kPowerCut: each file written since its last flush, with the content the disk holds for it
  // (its content at that flush, or when the walk first wrote it; empty for a file the walk made).
  std::map<std::wstring, std::string> unflushed;
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
  if (state.mode == FaultMode::kCount) {
    state.countedFiles.push_back(file);
    return false;
  }
  if (state.mode == FaultMode::kPowerCut) {
    // The machine is off from call n on: nothing reaches the disk any more.
    if (call < state.target) return false;
    if (call == state.target) {
      state.fired = true;
      state.firedFile = file;
    }
    return true;
  }
  if (call == state.target) {
    if (state.mode == FaultMode::kCrash) ::TerminateProcess(::GetCurrentProcess(), kCrashExitCode);
    state.fired = true;
    state.firedFile = file;
  } else if (state.mode == FaultMode::kFailOnce && state.second != 0 && call == state.second) {
    return true;
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


// --- Power cuts: which files hold data that is not on the disk yet ---------------------------

bool Tracking() { return TheState().mode == FaultMode::kPowerCut; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ReadThrough(HANDLE file, std::string* bytes) {
  bytes->clear();
  char piece[64 * 1024];
  for (uint64_t at = 0;;) {
    OVERLAPPED position = {};
    position.Offset = static_cast<DWORD>(at);
    position.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!::ReadFile(file, piece, sizeof(piece), &got, &position)) return ::GetLastError() == ERROR_HANDLE_EOF;
    if (got == 0) return true;
    bytes->append(piece, got);
    at += got;
  }
}

// The content of the file at `path` now. A file held without sharing is read through `held`, its
// own handle, whose position is kept.
bool ReadWhole(const std::wstring& path, HANDLE held, std::string* bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const bool read = ReadThrough(file, bytes);
    ::CloseHandle(file);
    return read;
  }
  if (!held || held == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER kept = {};
  const LARGE_INTEGER zero = {};
  if (!::SetFilePointerEx(held, zero, &kept, FILE_CURRENT)) return false;
  const bool read = ReadThrough(held, bytes);
  ::SetFilePointerEx(held, kept, nullptr, FILE_BEGIN);
  return read;
}

// Before the first write since the file's last flush: what the disk holds of it.
void TrackBeforeWrite(const std::wstring& file, HANDLE held) {
  std::map<std::wstring, std::string>& unflushed = TheState().unflushed;
  if (file.empty() || unflushed.count(file)) return;
  std::string bytes;
  if (!ReadWhole(file, held, &bytes)) {
    ADD_FAILURE() << "power cut: cannot read what the disk holds of a file about to be written";
    return;
  }
  unflushed[file] = std::move(bytes);
}

// A file just created holds nothing on the disk until its data is flushed, whatever an earlier
// file of its name held.
void TrackCreated(const std::wstring& file) {
  if (!file.empty()) TheState().unflushed[file] = std::string();
}

bool UnderOrAt(const std::wstring& path, const std::wstring& folder) {
  return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                            path[folder.size()] == L'\\');
}

void ForgetUnder(const std::wstring& folder) {
  std::map<std::wstring, std::string>& unflushed = TheState().unflushed;
  for (auto it = unflushed.begin(); it != unflushed.end();) {
    it = UnderOrAt(it->first, folder) ? unflushed.erase(it) : std::next(it);
  }
}

// A rename moves the unflushed data with the file (or the files of a folder) it moves.
void Retarget(const std::wstring& from, const std::wstring& to) {
  ForgetUnder(to);
  std::map<std::wstring, std::string>& unflushed = TheState().unflushed;
  std::map<std::wstring, std::string> moved;
  for (auto it = unflushed.begin(); it != unflushed.end();) {
    if (!UnderOrAt(it->first, from)) {
      ++it;
      continue;
    }
    moved[to + it->first.substr(from.size())] = std::move(it->second);
    it = unflushed.erase(it);
  }
  for (auto& [path, bytes] : moved) unflushed[path] = std::move(bytes);
}

// The new name, folded, that a FILE_RENAME_INFO gives its file.
std::wstring RenamedTo(const void* info) {
  const auto* rename = static_cast<const FILE_RENAME_INFO*>(info);
  return Folded(std::wstring(rename->FileName, rename->FileNameLength / sizeof(wchar_t)).c_str());
}

// What a call about to go through tells before it is made.
struct Prepared {
  bool existed = false;
  bool creates = false;
  std::wstring target;  // the second path of a copy
};

template <auto Entry, typename... Args>
Prepared Prepare(const std::wstring& file, Args... args) {
  Prepared prepared;
  const auto arguments = std::make_tuple(args...);
  if constexpr (kSame<Entry, &PlatformCalls::wopen>) {
    const int flags = std::get<1>(arguments);
    prepared.existed = Exists(file);
    prepared.creates = (flags & _O_CREAT) != 0;
    if ((flags & _O_TRUNC) && prepared.existed) TrackBeforeWrite(file, nullptr);
  } else if constexpr (kSame<Entry, &PlatformCalls::CreateFileW>) {
    const DWORD disposition = std::get<4>(arguments);
    prepared.existed = Exists(file);
    prepared.creates = disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
    if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && prepared.existed) {
      TrackBeforeWrite(file, nullptr);
    }
  } else if constexpr (kSame<Entry, &PlatformCalls::CopyFileW>) {
    prepared.target = Folded(std::get<1>(arguments));
    prepared.existed = Exists(prepared.target);
    if (prepared.existed) TrackBeforeWrite(prepared.target, nullptr);
  } else if constexpr (kSame<Entry, &PlatformCalls::write> || kSame<Entry, &PlatformCalls::chsize>) {
    TrackBeforeWrite(file, reinterpret_cast<HANDLE>(::_get_osfhandle(std::get<0>(arguments))));
  } else if constexpr (kSame<Entry, &PlatformCalls::WriteFile>) {
    TrackBeforeWrite(file, std::get<0>(arguments));
  }
  return prepared;
}

template <auto Entry, typename R>
bool Succeeded(R result) {
  if constexpr (kSame<Entry, &PlatformCalls::wopen>) {
    return result != -1;
  } else if constexpr (kSame<Entry, &PlatformCalls::CreateFileW>) {
    return result != INVALID_HANDLE_VALUE;
  } else if constexpr (kSame<Entry, &PlatformCalls::commit> || kSame<Entry, &PlatformCalls::wrename> ||
                       kSame<Entry, &PlatformCalls::SHFileOperationW>) {
    return result == 0;
  } else if constexpr (std::is_same_v<R, BOOL>) {
    return result != FALSE;
  } else {
    return false;
  }
}

// What a call that went through did to the disk's view of unflushed data.
template <auto Entry, typename... Args>
void Settle(const Prepared& prepared, bool ok, const std::wstring& file, Args... args) {
  if (!ok) return;
  const auto arguments = std::make_tuple(args...);
  if constexpr (kSame<Entry, &PlatformCalls::wopen> || kSame<Entry, &PlatformCalls::CreateFileW>) {
    if (prepared.creates && !prepared.existed) TrackCreated(file);
  } else if constexpr (kSame<Entry, &PlatformCalls::CopyFileW>) {
    if (!prepared.existed) TrackCreated(prepared.target);
  } else if constexpr (kSame<Entry, &PlatformCalls::commit> || kSame<Entry, &PlatformCalls::FlushFileBuffers>) {
    TheState().unflushed.erase(file);
  } else if constexpr (kSame<Entry, &PlatformCalls::DeleteFileW>) {
    TheState().unflushed.erase(file);
  } else if constexpr (kSame<Entry, &PlatformCalls::SetFileInformationByHandle>) {
    // Deleting through the handle (the file goes at its close).
    if (std::get<1>(arguments) == FileDispositionInfo) TheState().unflushed.erase(file);
    // Renaming through the handle: the file, and what the handle names, move to the new name.
    if (std::get<1>(arguments) == FileRenameInfo) {
      Retarget(file, RenamedTo(std::get<2>(arguments)));
    }
  } else if constexpr (kSame<Entry, &PlatformCalls::wrename> || kSame<Entry, &PlatformCalls::MoveFileW>) {
    Retarget(file, Folded(std::get<1>(arguments)));
  } else if constexpr (kSame<Entry, &PlatformCalls::MoveFileExW>) {
    const LPCWSTR to = std::get<1>(arguments);
    // A move delayed until restart changes nothing now.
    if (to && !(std::get<2>(arguments) & MOVEFILE_DELAY_UNTIL_REBOOT)) Retarget(file, Folded(to));
  } else if constexpr (kSame<Entry, &PlatformCalls::SHFileOperationW>) {
    const LPSHFILEOPSTRUCTW operation = std::get<0>(arguments);
    if (operation && operation->wFunc == FO_DELETE) ForgetUnder(file);
  }
}

// Deterministic coin for one sector of one file at one cut.
bool Survives(uint32_t cut, const std::wstring& file, uint64_t sector) {
  uint64_t hash = 0xCBF29CE484222325ull ^ cut;
  for (wchar_t c : file) hash = (hash ^ static_cast<uint16_t>(c)) * 0x100000001B3ull;
  hash = (hash ^ sector) * 0x100000001B3ull;
  hash ^= hash >> 29;
  return ((hash * 0x9E3779B97F4A7C15ull) >> 63) != 0;
}

constexpr size_t kSectorSize = 512;

// The file as the disk holds it after the cut: `before` is its flushed content, `after` what the
// walk left in the cache.
std::string AfterTheCut(const std::string& before, const std::string& after, PowerLoss loss, uint32_t cut,
                        const std::wstring& file) {
  if (loss == PowerLoss::kAll) return before;
  const size_t length = Survives(cut, file, UINT64_MAX) ? after.size() : before.size();
  std::string bytes(length, '\0');
  for (size_t at = 0; at < length; at += kSectorSize) {
    const std::string& from = Survives(cut, file, at / kSectorSize) ? after : before;
    if (at < from.size()) {
      const size_t take = std::min({kSectorSize, length - at, from.size() - at});
      bytes.replace(at, take, from, at, take);
    }
  }
  return bytes;
}

bool Rewrite(const std::wstring& path, const std::string& bytes) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool written = file != INVALID_HANDLE_VALUE;
  if (written) {
    // The folder's record of the file survives the cut; only its data goes back.
    FILETIME lastWrite = {};
    const bool timed = ::GetFileTime(file, nullptr, nullptr, &lastWrite);
    DWORD done = 0;
    written = (bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                                 done == bytes.size())) &&
              ::SetEndOfFile(file);
    if (timed) ::SetFileTime(file, nullptr, nullptr, &lastWrite);
    ::CloseHandle(file);
  }
  if (attributes & FILE_ATTRIBUTE_READONLY) ::SetFileAttributesW(path.c_str(), attributes);
  return written;
}

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
      const Prepared prepared = Tracking() ? Prepare<Entry>(file, args...) : Prepared{};
      const R result = real(args...);
      if (Tracking()) Settle<Entry>(prepared, Succeeded<Entry>(result), file, args...);
      if constexpr (kSame<Entry, &PlatformCalls::wopen>) {
        if (result != -1) TheState().fdFiles[result] = file;
      } else if constexpr (kSame<Entry, &PlatformCalls::CreateFileW> || kSame<Entry, &PlatformCalls::FindFirstFileW>) {
        if (result != INVALID_HANDLE_VALUE) TheState().handleFiles[result] = file;
      } else if constexpr (kClosingCall<Entry>) {
        Forget(args...);
      } else if constexpr (kSame<Entry, &PlatformCalls::SetFileInformationByHandle>) {
        if (result) Renamed(args...);
      }
      return result;
    }
  }

  template <typename... Rest>
  static void Forget(int fd, Rest...) {
    TheState().fdFiles.erase(fd);
  }
  static void Forget(HANDLE handle) { TheState().handleFiles.erase(handle); }
  // A handle that renamed its file names the new one from then on.
  static void Renamed(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD) {
    if (what != FileRenameInfo) return;
    TheState().handleFiles[handle] = RenamedTo(info);
  }

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

EveryCallFault::EveryCallFault(FaultMode mode, uint32_t n, uint32_t second) : saved_(mivra::Platform()) {
  TheState() = State{};
  TheState().mode = mode;
  TheState().target = n;
  TheState().second = second;
  using P = PlatformCalls;
  // Passed through: reading the last error, and the settings-file read, which answers its default
  // when the file cannot be read.
  constexpr size_t kPassedThrough = 2;
  InstallAll<kPassedThrough, &P::wopen, &P::read, &P::write, &P::seek, &P::close, &P::commit, &P::chsize, &P::waccess, &P::wrename,
             &P::CreateFileW, &P::ReadFile, &P::WriteFile, &P::FlushFileBuffers, &P::DeleteFileW,
             &P::SetFileAttributesW, &P::GetFileAttributesW, &P::GetFileAttributesExW, &P::MoveFileW, &P::MoveFileExW,
             &P::CopyFileW, &P::GetLongPathNameW, &P::FindFirstFileW, &P::FindNextFileW,
             &P::GetFileInformationByHandleEx, &P::SetFileInformationByHandle, &P::Sleep, &P::CreateMutexW,
             &P::WaitForSingleObject, &P::ReleaseMutex, &P::RegOpenKeyExW,
             &P::RegQueryValueExW, &P::SHGetFolderPathW, &P::SHCreateDirectoryExW, &P::SHFileOperationW,
             &P::CloseHandle, &P::FindClose, &P::RegCloseKey, &P::GetFileSecurityW, &P::SetFileSecurityW,
             &P::GetKernelObjectSecurity,
             &P::LoadLibraryExW, &P::FreeLibrary, &P::GetModuleHandleW, &P::GetModuleFileNameW, &P::GetProcAddress,
             &P::LoadStringA>();
}

EveryCallFault::~EveryCallFault() {
  mivra::Platform() = saved_;
  TheState() = State{};
}

uint32_t EveryCallFault::calls() const { return TheState().calls; }
std::map<std::wstring, uint32_t> EveryCallFault::callsByFile() const {
  std::map<std::wstring, uint32_t> byFile;
  for (const std::wstring& file : TheState().countedFiles) ++byFile[file];
  return byFile;
}

uint32_t EveryCallFault::firstCallOn(const std::wstring& suffix) const {
  const std::wstring folded = Folded(suffix.c_str());
  const std::vector<std::wstring>& files = TheState().countedFiles;
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].size() >= folded.size() && files[i].compare(files[i].size() - folded.size(), folded.size(), folded) == 0) {
      return static_cast<uint32_t>(i + 1);
    }
  }
  return 0;
}
bool EveryCallFault::fired() const { return TheState().fired; }
std::wstring EveryCallFault::firedFile() const { return TheState().firedFile; }

void EveryCallFault::LoseUnflushedWrites(PowerLoss loss) {
  State& state = TheState();
  ASSERT_EQ(state.mode, FaultMode::kPowerCut);
  for (const auto& [file, flushed] : state.unflushed) {
    std::string cached;
    // Gone since: a deletion that failed after the cut is no deletion, so this is a file the walk
    // never made durable under this name.
    if (!ReadWhole(file, nullptr, &cached)) continue;
    EXPECT_TRUE(Rewrite(file, AfterTheCut(flushed, cached, loss, state.target, file)))
        << "power cut: cannot put back a file";
  }
  state.unflushed.clear();
}

}  // namespace mivra_test
