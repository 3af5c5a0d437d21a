#include "update/rollback/rebuild_rollback_db.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "update/digest/crc32.h"
#include "update/frame/byte_codec.h"
#include "update/frame/feature_switch.h"
#include "update/rollbackdb/rbmdata_store.h"
#include "update/rollbackdb/update_rollback_db.h"

namespace mivra {
namespace {

// The records of the restored files in list order; a name that comes twice keeps one record,
// holding its later entry, as registering it twice would.
bool BuildRecords(const RollbackContext& context, std::vector<RBMdataRecord>* records) {
  std::unordered_map<std::wstring, size_t> positions;
  for (const RestoreEntry& entry : context.entries) {
    // Every destination is the install directory and a plain name, so the test whether a file
    // lies there is left out; the digest is the record's, which the restored file was proven to
    // have.
    RBMdataRecord record{};
    if (BuildRBRecord(entry.destinationPath, entry.fileSize, entry.expectedDigest, &record) !=
        RBUpdateResult::kWritten) {
      return false;
    }
    const auto [at, first] = positions.try_emplace(RecordFieldName(record.fileName), records->size());
    if (first) {
      records->push_back(record);
    } else {
      (*records)[at->second] = record;
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

bool RebuildRollbackDB(MdataObject& database, const RollbackContext& context, uint32_t previousRollbackCount) {
  if (context.entries.empty()) return false;
  // The restore may have put back a section.ini that switches the library off: then the old
  // database stays, as any call of the library would leave it.
  if (IsFeatureOff()) return false;
  std::vector<RBMdataRecord> records;
  if (!BuildRecords(context, &records)) return false;

  // The new database replaces the old one in a single journalled change of the same file: until
  // it has taken effect, status, records and counter are the old ones, and a database that
  // another process holds open is rewritten where it lies instead of being left for deletion.
  return ReplaceRBMdata(database, DatabaseBytes(records, previousRollbackCount + 1));
}

}  // namespace mivra
