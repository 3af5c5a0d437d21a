#include "update/rollback/rollback_need_check.h"

#include <string>
#include <vector>

#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"
#include "update/manifest/component_file_names.h"
#include "update/rollback/registered_file_check.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {
namespace {

bool UpdateWasInterrupted(const MdataObject& database) {
  RbMdataState state = {};
  return database.fd.valid() && ReadRbState(database, &state) && state.updateStatus == 1;
}

}  // namespace

bool CheckRollbackNeeded(MdataObject* database, uint32_t flags, uint8_t* outFlag) {
  if (!outFlag || !database) return false;
  *outFlag = 0;
  if ((flags & kCheckInterruptedUpdate) && UpdateWasInterrupted(*database)) {
    *outFlag = 1;
    return true;
  }
  if (!(flags & kCheckChangedFiles)) return true;

  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return false;
  const uint32_t count = CountRbRecords(*database);
  std::vector<std::string> componentNames;
  const bool namesUsable = CollectComponentFileNames(&componentNames, installDir) == 1;

  for (uint32_t index = 0; index < count; ++index) {
    RbMdataRecord record;
    if (!database->fd.valid() || !ReadRbRecord(*database, index, &record)) return false;
    const FileJudgement judgement =
        CheckRegisteredFile(installDir, record, namesUsable ? &componentNames : nullptr).judgement;
    if (judgement.failsCheck()) return false;
    if (judgement.needsRollback()) {
      *outFlag = 1;
      return true;
    }
  }
  return true;
}

}  // namespace mivra
