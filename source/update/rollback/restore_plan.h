// What a rollback does with each live record of the committed backup, decided once: the rollback
// stages by this plan, and mivractl prints it before it asks the library to roll back.
#ifndef MIVRA_UPDATE_ROLLBACK_RESTORE_PLAN_H_
#define MIVRA_UPDATE_ROLLBACK_RESTORE_PLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "update/store/mdata_object.h"

namespace mivra {

enum class RestoreAction {
  kRestore,  // the backed-up copy goes back in place of the installed file
  kDelete,   // the file did not exist before the update: it is deleted
  kRefuse,   // the record names no plain file of the install directory: the rollback stops here
};

struct PlannedFile {
  uint32_t index = 0;  // the record's
  std::wstring name;
  RestoreAction action = RestoreAction::kRefuse;
  uint32_t fileSize = 0;       // the record's size and digest, what the restored file must have
  uint8_t digest[16] = {};
};

// One entry per live record of the backup open in `backup`, in record order (removed records are
// left out). False, with `plan` emptied, when the object is no backup object or a record cannot
// be read.
bool PlanRestore(MdataObject& backup, std::vector<PlannedFile>* plan);

// "restore", "delete", "refuse".
const char* RestoreActionWord(RestoreAction action);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_RESTORE_PLAN_H_
