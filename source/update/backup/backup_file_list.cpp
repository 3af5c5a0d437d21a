#include "update/backup/backup_file_list.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_journal.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/file_info.h"

namespace mivra {
namespace {

struct FreeBlock {
  void operator()(wchar_t* block) const { std::free(block); }
};

}  // namespace

ListResult ListCommittedBackup(wchar_t** list, uint32_t* count) {
  RecoverInterruptedCommit(true);
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BKUP, false)) return ListResult::kBackupFolder;
  // Only a folder proved absent means that there is no backup; a failed test is no answer.
  switch (ProbePath(folder)) {
    case PathState::kPresent: break;
    case PathState::kAbsent: return ListResult::kNoBackup;
    case PathState::kUnknown: return ListResult::kBackupFolder;
  }

  MdataObject object;
  if (!OpenBkMdata(object, BKF_BKUP)) return ListResult::kMetadataOpen;
  const uint32_t records = CountBkRecords(object);
  if (records == 0) return ListResult::kNoBackup;

  // Zero-filled, so that no stale heap bytes follow the names.
  std::unique_ptr<wchar_t, FreeBlock> block(
      static_cast<wchar_t*>(std::calloc(records, kFileListEntryChars * sizeof(wchar_t))));
  if (!block) return ListResult::kNoMemory;

  for (uint32_t i = 0; i < records; ++i) {
    BkMdataRecord record;
    if (!ReadBkRecord(object, i, &record)) return ListResult::kRecordRead;
    // A stored name without its NUL is cut to fit the entry.
    const std::wstring name = RecordFieldName(record.fileName).substr(0, kFileListEntryChars - 1);
    BoundedCopy(block.get() + size_t{i} * kFileListEntryChars, kFileListEntryChars, name);
  }
  *list = block.release();
  *count = records;
  return ListResult::kListed;
}

}  // namespace mivra
