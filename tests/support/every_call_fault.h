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
//
// A power cut is walked in the process itself: from call n on, nothing reaches the disk any more
// (every call fails, closing still closes), and once the walk is over LoseUnflushedWrites puts
// every file back as the disk holds it when the power returns: the data written since the file's
// last flush is lost, whole or torn at 512-byte sectors. Folder operations (creating, renaming and
// deleting files and folders) are durable in the order they were made, so a file created and
// written but never flushed comes back empty.
//
//   { EveryCallFault cut(FaultMode::kPowerCut, n); RunRoad(); cut.LoseUnflushedWrites(PowerLoss::kTorn); }
//   CheckInvariantsAfterRecovery();
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
  kPowerCut,      // call n and every later call fail, and writes not yet flushed are tracked
};

// What a power cut does to the data written since a file's last flush.
enum class PowerLoss {
  kAll,   // all of it is lost: the file has its last flushed content and length
  kTorn,  // each 512-byte sector of it, and the length, is the new one or the old one
};

class EveryCallFault {
 public:
  // `second`, with kFailOnce, is a later call that fails too: a second fault, typically one that
  // hits the undo of what the first fault made fail.
  EveryCallFault(FaultMode mode, uint32_t n, uint32_t second = 0);
  ~EveryCallFault();
  EveryCallFault(const EveryCallFault&) = delete;
  EveryCallFault& operator=(const EveryCallFault&) = delete;

  // Calls made since the fault was installed, failed ones included.
  uint32_t calls() const;
  // kCount only: the same calls by the file each named (folded to lower case; empty for calls on
  // no file).
  std::map<std::wstring, uint32_t> callsByFile() const;
  // kCount only: the first call (from 1) on a file whose path ends with `suffix`; 0 when none was.
  uint32_t firstCallOn(const std::wstring& suffix) const;
  // Whether call n was reached (and failed), and on which file (empty for calls on no file).
  bool fired() const;
  std::wstring firedFile() const;

  // kPowerCut only, once every file the walk opened is closed: every file written since its last
  // flush gets the content the disk would show after the cut. Which sectors of a torn write
  // survive follows from n, the file and the sector, so that a run can be repeated.
  void LoseUnflushedWrites(PowerLoss loss);

 private:
  mivra::PlatformCalls saved_;
};

// The exit code of a process ended by kCrash.
inline constexpr unsigned kCrashExitCode = 0xC0DE;

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_EVERY_CALL_FAULT_H_
