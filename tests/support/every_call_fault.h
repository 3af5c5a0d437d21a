// Fault injection into every entry of mivra::Platform() at once, for tests that walk a road of
// the library call by call: count the calls a road makes, then make the Nth of them fail once,
// fail together with every later call on the same file, or end the process on the spot.
//
//   EveryCallFault counter(FaultMode::kCount, 0);
//   RunRoad();
//   for (uint32_t n = 1; n <= counter.calls(); ++n) {
//     Prepare();
//     { EveryCallFault fault(FaultMode::kFailOnce, n); RunRoad(); }
//     CheckInvariants();
//   }
//
// A call's file is the path it names, or the path its descriptor or handle was opened on, compared
// without regard to case. Closing never fails for real: a failing close still closes. Waits
// between retries are counted but not waited.
#ifndef MIVRA_TESTS_SUPPORT_EVERY_CALL_FAULT_H_
#define MIVRA_TESTS_SUPPORT_EVERY_CALL_FAULT_H_

#include <cstdint>
#include <map>
#include <string>

#include "update/frame/platform_calls.h"

namespace mivra_test {

enum class FaultMode {
  kCount,         // every call goes through
  kFailOnce,      // call n fails
  kFailFileFrom,  // call n fails, and so does every later call on its file
  kCrash,         // the process ends at call n, before the call is made
};

class EveryCallFault {
 public:
  EveryCallFault(FaultMode mode, uint32_t n);
  ~EveryCallFault();
  EveryCallFault(const EveryCallFault&) = delete;
  EveryCallFault& operator=(const EveryCallFault&) = delete;

  // Calls made since the fault was installed, failed ones included.
  uint32_t calls() const;
  // The same calls by the file each named (folded to lower case; empty for calls on no file).
  std::map<std::wstring, uint32_t> callsByFile() const;
  // Whether call n was reached (and failed), and on which file (empty for calls on no file).
  bool fired() const;
  std::wstring firedFile() const;

 private:
  mivra::PlatformCalls saved_;
};

// The exit code of a process ended by kCrash.
inline constexpr unsigned kCrashExitCode = 0xC0DE;

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_EVERY_CALL_FAULT_H_
