#include "update/rollback/rebuild_rollback_db.h"

#include <string>
#include <vector>

#include "update/backup/metadata_store.h"
#include "update/digest/crc32.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/byte_codec.h"
#include "update/frame/feature_switch.h"
#include "update/frame/platform_calls.h"
#include "update/rollbackdb/rbmdata_store.h"
#include "update/rollbackdb/update_rollback_db.h"

namespace mivra {
namespace {

bool DatabaseExists() {
  wchar_t folder[kPathCapacity] = {};
  wchar_t path[kPathCapacity] = {};
  return GetBackupFolder(folder, BKF_BASE, true) && JoinPath(path, folder, kRBMdataFileName) &&
         Platform().waccess(path, 0) == 0;
}

// The records of the restored files in list order; a name that comes twice keeps one record,
// holding its later entry, as registering it twice would.
bool BuildRecords(const RollbackContext& context, std::vector<RBMdataRecord>* records) {
  std::vector<std::wstring> names;
  for (const RestoreEntry* entry = context.head; entry; entry = entry->next) {
    // Every destination is the install directory and a plain name, so the test whether a file
    // lies there is left out; the digest is the record's, which the restored file was proven to
    // have.
    RBMdataRecord record{};
    if (BuildRBRecord(entry->destinationPath, entry->fileSize, entry->expectedDigest, &record) !=
        RBUpdateResult::kWritten) {
      return false;
    }
    const std::wstring name = RecordFieldName(record.fileName);
    size_t at = 0;
    while (at < names.size() && names[at] != name) ++at;
    if (at == names.size()) {
      names.push_back(name);
      records->push_back(record);
    } else {
      (*records)[at] = record;
    }
  }
  return true;
}

// A whole database: new header with the CRC of the records, the state block, the records.
std::vector<uint8_t> DatabaseBytes(const std::vector<RBMdataRecord>& records, uint32_t rollbackCount) {
  std::vector<uint8_t> bytes = BuildNewHeader(kRBMdataFormat);
  bytes.resize(kRBRecordAreaOffset + records.size() * kRBRecordSize);
  RBMdataState state{};
  state.recordCount = static_cast<uint32_t>(records.size());
  state.rollbackCount = rollbackCount;
  EncodeRBState(state, bytes.data() + kRBHeaderSize);
  for (size_t i = 0; i < records.size(); ++i) {
    EncodeRBRecord(records[i], bytes.data() + kRBRecordAreaOffset + i * kRBRecordSize);
  }
  WriteLe32(bytes.data() + kHeaderCrcOffset,
            Crc32(bytes.data() + kRBRecordAreaOffset, bytes.size() - kRBRecordAreaOffset));
  return bytes;
}

}  // namespace

bool RebuildRollbackDB(const RollbackContext& context, uint32_t previousRollbackCount) {
  if (context.empty()) return false;
  // The restore may have put back a section.ini that switches the library off: then the old
  // database stays, as any call of the library would leave it.
  if (IsFeatureOff()) return false;
  std::vector<RBMdataRecord> records;
  if (!BuildRecords(context, &records)) return false;
  if (!DatabaseExists()) return false;

  // The new database replaces the old one in a single journalled change of the same file: until
  // it has taken effect, status, records and counter are the old ones, and a database that
  // another process holds open is rewritten where it lies instead of being left for deletion.
  MdataObject database;
  return OpenRBMdata(database) &&
         ReplaceMetadataContent(database, DatabaseBytes(records, previousRollbackCount + 1));
}

}  // namespace mivra
