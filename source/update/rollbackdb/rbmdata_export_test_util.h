// Test-only: the fixtures the rollback database is tested in, with the database file at hand as
// bytes: one for the store and its faults, one for the exports.
#ifndef MIVRA_UPDATE_ROLLBACKDB_RBMDATA_EXPORT_TEST_UTIL_H_
#define MIVRA_UPDATE_ROLLBACKDB_RBMDATA_EXPORT_TEST_UTIL_H_

#include <string>

#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "support/product_test.h"

namespace rbmdata_test {

// A code no export writes, to show that a call left the caller's variable alone.
inline constexpr uint32_t kUntouched = 0xC0DEu;

class RBDbFileTest : public mivra_test::ProductTest {
 protected:
  std::wstring DbPath() const { return BaseFolder() + L"\\rbmdata.dat"; }
  bool DbExists() const { return mivra_test::FileExists(DbPath()); }
  std::string ReadDb() const { return mivra_test::ReadFileBytes(DbPath()); }
  void WriteDb(const std::string& bytes) const {
    mivra_test::MakeFolder(BaseFolder());
    mivra_test::WriteFileBytes(DbPath(), bytes);
  }
};

class RBExportTest : public RBDbFileTest {
 protected:
  // A database with one record, "kept.dll".
  static std::string OneRecordDatabase() {
    mivra_test::MetadataRecord record;
    record.name = L"kept.dll";
    record.size = 5;
    record.digest = std::string(16, 'k');
    return mivra_test::MetadataFile(mivra_test::kRBLayout, {record});
  }
};

}  // namespace rbmdata_test

#endif  // MIVRA_UPDATE_ROLLBACKDB_RBMDATA_EXPORT_TEST_UTIL_H_
