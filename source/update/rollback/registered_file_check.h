// One registered file judged in the install directory as the rollback need check judges it, with
// what was found there: the check and the tools that explain it call this alike.
#ifndef MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_CHECK_H_
#define MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_CHECK_H_

#include <string>
#include <vector>

#include "update/rollback/registered_file_judgement.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra {

struct RegisteredFileCheck {
  std::wstring name;          // the record's name
  bool found = false;         // the file's size and last-write time were read
  InstalledFile installed{};  // them, when found
  FileJudgement judgement{};
};

// `componentNames` is null when the component lists cannot be used.
RegisteredFileCheck CheckRegisteredFile(const wchar_t* installDir, const RBMdataRecord& record,
                                        const std::vector<std::string>* componentNames);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_CHECK_H_
