#include "update/rollback/restore_plan.h"

#include <cstring>

#include "update/backup/bkmdata_store.h"
#include "update/frame/file_name.h"

namespace mivra {

bool PlanRestore(MdataObject& backup, std::vector<PlannedFile>* plan) {
  if (!plan) return false;
  plan->clear();
  const RecordWalk walk = ForEachLiveBkRecord(backup, [plan](uint32_t index, const BkMdataRecord& record) {
    PlannedFile file;
    file.index = index;
    file.name = RecordFieldName(record.fileName);
    file.fileSize = record.fileSizeLow;
    std::memcpy(file.digest, record.digest, sizeof(file.digest));
    // The folders are open to everyone, so a record is untrusted input: a name that could reach
    // outside the install directory is acted on neither way.
    if (!IsPlainFileName(file.name)) {
      file.action = RestoreAction::kRefuse;
    } else {
      file.action = (record.flags & BKREC_ABSENT) ? RestoreAction::kDelete : RestoreAction::kRestore;
    }
    plan->push_back(std::move(file));
    return true;
  });
  if (walk != RecordWalk::kWalked) {
    plan->clear();
    return false;
  }
  return true;
}

const char* RestoreActionWord(RestoreAction action) {
  switch (action) {
    case RestoreAction::kRestore: return "restore";
    case RestoreAction::kDelete: return "delete";
    case RestoreAction::kRefuse: return "refuse";
  }
  return "refuse";
}

}  // namespace mivra
