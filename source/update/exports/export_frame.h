// What every export shares: one error code written on failure, nothing written on success. And no
// exception ever crosses the C interface: each export ends in a handler that turns one (in practice
// memory running out inside a container) into its failure value, without a code.
#ifndef MIVRA_UPDATE_EXPORTS_EXPORT_FRAME_H_
#define MIVRA_UPDATE_EXPORTS_EXPORT_FRAME_H_

#include <cstdint>

#include "mivra.h"
#include "update/frame/feature_switch.h"
#include "update/frame/product_lock.h"
#include "update/frame/trace_log.h"
#include "update/rollbackdb/create_rb_object.h"

namespace mivra {

// Every export that reads or changes the backup folders, their metadata or the rollback database
// holds the ProductLock from its switch check to its end. A call that cannot have it in time
// reports what its open of the metadata file reports when that fails: the file is not to be had.
//
// The lock spans one call, never the life of an object the caller keeps between calls: an
// updater holding an object for a whole update would shut every other process out for as long,
// and a mutex belongs to the thread that took it while an object may be released on another. So
// two processes may each hold an object on one file; each call re-reads under the lock what the
// object caches from the file (its name list), and appends go to the file's true end, so neither
// loses nor duplicates the other's records.
inline constexpr uint32_t kBackupBusyCode = MIVRA_E_BKMDATA_OPEN;
inline constexpr uint32_t kDatabaseBusyCode = MIVRA_E_RBMDATA_OPEN;

// The one place an export writes its code, so that the trace of the call can name it.
inline void WriteCode(uint32_t* errorCode, uint32_t code) {
  *errorCode = code;
  TraceErrorCode(code);
}

inline bool Fail(uint32_t* errorCode, uint32_t code) {
  WriteCode(errorCode, code);
  return false;
}

// How an export that touches the folders goes on once its arguments are checked: the switch, then
// the product lock, taken into `lock` for the rest of the call. A call on an object passes
// `checkSwitch` false: the object's creation passed the switch. False with the code written when
// the call is not to go on: `busyCode` when the lock is not had, `unnamedCode` when the base folder
// cannot be named (the code the call has always given when its folders cannot be resolved). No
// call goes on without the lock, so nothing is ever read or written unlocked.
inline bool EnterCall(uint32_t* errorCode, ProductLock& lock, uint32_t busyCode, uint32_t unnamedCode,
                      bool checkSwitch = true) {
  if (checkSwitch && IsFeatureOff()) return Fail(errorCode, MIVRA_E_FEATURE_OFF);
  switch (lock.Acquire()) {
    case ProductLock::Result::kHeld: return true;
    case ProductLock::Result::kUnnamed: return Fail(errorCode, unnamedCode);
    case ProductLock::Result::kBusy: return Fail(errorCode, busyCode);
  }
  return Fail(errorCode, busyCode);
}

// Opening the rollback database for MivraCreateRBMdataObject, and for MivraRollback, which works
// as if through that export.
inline bool Finish(RBObjectResult result, uint32_t* errorCode) {
  switch (result) {
    case RBObjectResult::kOpened: return true;
    // The object itself could not be allocated: no code.
    case RBObjectResult::kNoMemory: return false;
    case RBObjectResult::kOpenFailed:
    case RBObjectResult::kAbsent: return Fail(errorCode, MIVRA_E_RBMDATA_OPEN);
  }
  return false;
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_EXPORTS_EXPORT_FRAME_H_
