// The names recorded in the committed backup, as one block of 260-character entries in record
// order that the caller gives back with std::free (through MivraFreeBkMdataFileList).
#ifndef MIVRA_UPDATE_BACKUP_BACKUP_FILE_LIST_H_
#define MIVRA_UPDATE_BACKUP_BACKUP_FILE_LIST_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

inline constexpr size_t kFileListEntryChars = 260;

enum class ListResult {
  kListed,
  kBackupFolder,  // the "bkup" path cannot be resolved
  kNoBackup,      // no "bkup" folder, or its metadata file holds no records
  kMetadataOpen,  // bkmdata.dat cannot be opened, created or validated
  kNoMemory,      // the block cannot be allocated
  kRecordRead,    // a record cannot be read
};

// Every record is listed, removed and absent ones too; the number of records comes from the file
// length. On success `*list` holds a zero-filled block of `*count` entries; otherwise both are
// left alone.
ListResult ListCommittedBackup(wchar_t** list, uint32_t* count);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_BACKUP_FILE_LIST_H_
