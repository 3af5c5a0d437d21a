#include "update/rollback/rollback_need_check.h"

#include <new>
#include <string>
#include <vector>

#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"
#include "update/frame/trace_log.h"
#include "update/manifest/component_file_names.h"
#include "update/manifest/update_config_reader.h"
#include "update/rollback/registered_file_check.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {
namespace {

// The stored update status; 0 when it cannot be read, which makes no update interrupted.
uint8_t StoredUpdateStatus(const MdataObject& database) {
  RBMdataState state = {};
  return ReadRBState(database, &state) ? state.updateStatus : 0;
}

void TraceJudgement(const RegisteredFileCheck& check) {
  TraceEvent judged = TraceStep("judge");
  judged.Path("name", check.name.c_str()).Text("finding", FileFindingWord(check.judgement.finding));
  judged.Number("exempt", check.judgement.exempt);
  if (check.judgement.failsCheck()) {
    judged.Failed("the check cannot be completed");
  } else {
    judged.Outcome(check.judgement.needsRollback() ? "needed" : "not-needed");
  }
}

}  // namespace

bool CheckRollbackNeeded(MdataObject* database, uint32_t flags, uint8_t* outFlag) {
  if (!outFlag || !database) return false;
  *outFlag = 0;
  NeedDecision decision(flags);
  const uint8_t status = (flags & kCheckInterruptedUpdate) ? StoredUpdateStatus(*database) : 0;
  if (decision.TakeUpdateStatus(status)) {
    if (decision.answer().needed()) {
      TraceStep("update-status").Number("status", 1).Outcome("needed");
      *outFlag = 1;
    }
    return true;
  }

  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return false;
  std::vector<std::string> componentNames;
  UpdateConfigStatus config;
  const bool namesUsable = CollectComponentFileNames(&componentNames, installDir, &config) == 1;
  PrintUpdateConfigFailure(config);

  // Every record in one read, before any file is judged. Reading them between the digests, one by
  // one or a few at a time, made each file's digest slower under Wine (measured, not explained).
  std::vector<RBMdataRecord> records;
  try {
    if (!ReadRBRecords(*database, 0, CountRBRecords(*database), &records)) return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The judgments only read: their lines are written a batch at a time.
  TraceBatch batch;
  for (uint32_t index = 0; index < records.size() && !decision.decided(); ++index) {
    const RegisteredFileCheck check =
        CheckRegisteredFile(installDir, records[index], namesUsable ? &componentNames : nullptr);
    TraceJudgement(check);
    decision.TakeFile(index, check.judgement);
  }
  switch (decision.answer().reason) {
    case NeedReason::kNone: return true;
    case NeedReason::kInterruptedUpdate:
    case NeedReason::kChangedFile: *outFlag = 1; return true;
    case NeedReason::kCheckFails: return false;
  }
  return false;
}

}  // namespace mivra
