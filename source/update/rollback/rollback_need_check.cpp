#include "update/rollback/rollback_need_check.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "update/backup/metadata_store.h"
#include "update/digest/file_digest.h"
#include "update/frame/bounded_string.h"
#include "update/frame/file_info.h"
#include "update/frame/file_name.h"
#include "update/frame/install_dir.h"
#include "update/manifest/component_file_names.h"
#include "update/rollback/registered_file_judgement.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {
namespace {

bool UpdateWasInterrupted(const MdataObject& database) {
  RbMdataState state = {};
  return database.fd.valid() && ReadRbState(database, &state) && state.updateStatus == 1;
}

// The record's name as the component lists spell names: converted for the current locale.
// A name that cannot be converted matches no list entry.
bool ToListSpelling(const std::wstring& name, std::string* narrow) {
  std::vector<char> buffer(name.size() * MB_LEN_MAX + 1, '\0');
  const size_t length = std::wcstombs(buffer.data(), name.c_str(), buffer.size());
  if (length == static_cast<size_t>(-1)) return false;
  narrow->assign(buffer.data(), std::min(length, buffer.size()));
  return true;
}

enum class FileVerdict { kUnchanged, kChanged, kCheckFailed };

FileVerdict ExamineRegisteredFile(const wchar_t* installDir, const RbMdataRecord& record, bool exempt) {
  const std::wstring name = RecordFieldName(record.fileName);
  // Anyone may write the database: a record that names no plain file of the install directory
  // describes nothing the product installed.
  if (!IsPlainFileName(name)) return FileVerdict::kUnchanged;
  wchar_t path[kPathCapacity];
  if (!BoundedConcat(path, {installDir, name})) return FileVerdict::kCheckFailed;

  InstalledFile installed = {};
  const bool readable = ReadFileSizeAndTime(path, &installed.sizeLow, &installed.localWriteTime);
  const auto digestOf = [&path](uint8_t (&digest)[16]) { return GetFileDigest(path, digest); };
  const FileJudgement judgement = JudgeRegisteredFile(record, readable ? &installed : nullptr, exempt, digestOf);
  if (judgement.finding == FileFinding::kDigestUnavailable) return FileVerdict::kCheckFailed;
  return judgement.needsRollback() ? FileVerdict::kChanged : FileVerdict::kUnchanged;
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
    std::string listSpelling;
    const bool exempt = namesUsable && ToListSpelling(RecordFieldName(record.fileName), &listSpelling) &&
                        std::find(componentNames.begin(), componentNames.end(), listSpelling) != componentNames.end();
    switch (ExamineRegisteredFile(installDir, record, exempt)) {
      case FileVerdict::kChanged:
        *outFlag = 1;
        return true;
      case FileVerdict::kCheckFailed:
        return false;
      case FileVerdict::kUnchanged:
        break;
    }
  }
  return true;
}

}  // namespace mivra
