// Fault injection into the platform layer of tests that link mivra_core (the DLL keeps its own
// table, out of a test's reach). Each type replaces one entry of mivra::Platform() and puts the
// previous one back when it goes out of scope.
//
//   // The second read fails, every other call goes through.
//   PlatformFault<&mivra::PlatformCalls::read> fault(FaultPlan::Nth(2), -1);
//   // Counts the shell deletions without failing any.
//   PlatformFault<&mivra::PlatformCalls::SHFileOperationW> shell(FaultPlan::Never(), 0);
//   EXPECT_EQ(shell.calls(), 0u);
//
// One override per entry at a time: the state of an entry's fault is shared by its instances.
#ifndef MIVRA_TESTS_SUPPORT_PLATFORM_FAULT_H_
#define MIVRA_TESTS_SUPPORT_PLATFORM_FAULT_H_

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <string>
#include <type_traits>

#include "update/frame/platform_calls.h"

namespace mivra_test {

// Which calls of an entry fail, counted from 1 from the moment the fault is installed.
struct FaultPlan {
  uint32_t first;
  uint32_t last;

  static FaultPlan Never() { return {UINT32_MAX, 0}; }
  static FaultPlan Always() { return {1, UINT32_MAX}; }
  // Only call n fails.
  static FaultPlan Nth(uint32_t n) { return {n, n}; }
  // The first n calls go through, every later one fails.
  static FaultPlan After(uint32_t n) { return {n + 1, UINT32_MAX}; }

  bool Fails(uint32_t call) const { return call >= first && call <= last; }
};

// Puts `replacement` in place of one entry for the life of the object.
template <auto Entry>
class PlatformOverride {
 public:
  using Fn = std::remove_reference_t<decltype(mivra::Platform().*Entry)>;

  explicit PlatformOverride(Fn replacement) : saved_(mivra::Platform().*Entry) {
    mivra::Platform().*Entry = replacement;
  }
  ~PlatformOverride() { mivra::Platform().*Entry = saved_; }
  PlatformOverride(const PlatformOverride&) = delete;
  PlatformOverride& operator=(const PlatformOverride&) = delete;

  // The entry that was in force before, for replacements that pass calls on.
  Fn previous() const { return saved_; }

 private:
  Fn saved_;
};

template <auto Entry, typename Fn = std::remove_reference_t<decltype(mivra::Platform().*Entry)>>
class PlatformFault;

// The C runtime's errno for a Win32 error, as the runtime maps the errors these tests inject.
inline int ErrnoFor(DWORD lastError) {
  switch (lastError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    default: return EIO;
  }
}

// Counts the calls of one entry and makes those the plan selects return `failure` with the
// thread's last error set to `lastError` (and errno to its C-runtime counterpart, for the
// C-runtime entries); the others reach the entry that was in force before.
template <auto Entry, typename R, typename... Args>
class PlatformFault<Entry, R (*)(Args...)> {
 public:
  PlatformFault(FaultPlan plan, R failure, DWORD lastError = ERROR_GEN_FAILURE) : override_(&Call) {
    State& state = TheState();
    state = State{plan, failure, lastError, 0, override_.previous()};
  }
  PlatformFault(const PlatformFault&) = delete;
  PlatformFault& operator=(const PlatformFault&) = delete;

  // Calls made through the entry since the fault was installed, failed ones included.
  uint32_t calls() const { return TheState().calls; }

 private:
  struct State {
    FaultPlan plan;
    R failure;
    DWORD lastError;
    uint32_t calls;
    R (*previous)(Args...);
  };

  static State& TheState() {
    static State state{FaultPlan::Never(), R{}, 0, 0, nullptr};
    return state;
  }

  static R Call(Args... args) {
    State& state = TheState();
    if (state.plan.Fails(++state.calls)) {
      errno = ErrnoFor(state.lastError);
      ::SetLastError(state.lastError);
      return state.failure;
    }
    return state.previous(args...);
  }

  PlatformOverride<Entry> override_;
};

// Makes the existence test (_waccess) of one path fail with `error`, and errno its C-runtime
// counterpart, whether or not the path exists, for its first `times` tests; every other test goes
// through as usual.
class AccessFault {
 public:
  AccessFault(std::wstring path, DWORD error, uint32_t times = UINT32_MAX) : override_(&Call) {
    TheState() = {std::move(path), error, times, override_.previous()};
  }
  ~AccessFault() { TheState() = {}; }
  AccessFault(const AccessFault&) = delete;
  AccessFault& operator=(const AccessFault&) = delete;

 private:
  struct State {
    std::wstring path;
    DWORD error = 0;
    uint32_t times = 0;
    // The entry this one stands in for, so that faults of other kinds still apply to other paths.
    int (*previous)(const wchar_t*, int) = nullptr;
  };
  static State& TheState() {
    static State state;
    return state;
  }
  static int Call(const wchar_t* path, int mode) {
    State& state = TheState();
    if (state.times > 0 && path && _wcsicmp(path, state.path.c_str()) == 0) {
      --state.times;
      ::SetLastError(state.error);
      errno = ErrnoFor(state.error);
      return -1;
    }
    return state.previous(path, mode);
  }

  PlatformOverride<&mivra::PlatformCalls::waccess> override_;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_PLATFORM_FAULT_H_
