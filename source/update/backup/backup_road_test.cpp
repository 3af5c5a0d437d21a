// The updater's road through the backup exports alone, from a fresh staging backup to deleting
// the committed one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mivra.h"
#include "update/backup/backup_exports_fixture.h"

namespace {

using mivra_test::FilesIn;
using mivra_test::kUntouched;

class BackupRoadTest : public mivra_test::BackupExportsTest {};

TEST_F(BackupRoadTest, StageCommitListRemoveAndDelete) {
  const std::wstring product = Install(L"product.exe", mivra_test::kFox);
  const std::wstring library = Install(L"library.dll", mivra_test::kAbc);
  const std::wstring added = InstallPath(L"added.dat");

  uint32_t error = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&error);
  ASSERT_NE(object, nullptr);
  for (const std::wstring& path : {product, library, added}) {
    EXPECT_TRUE(MivraAddToBackup(object, path.c_str(), &error));
  }
  MivraDeleteBkMdataObject(object);
  ASSERT_TRUE(MivraCommitBackup(&error));

  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"library.dll", L"product.exe"}));
  EXPECT_EQ(mivra_test::ReadFileBytes(BkupFolder() + L"\\product.exe"), mivra_test::kFox);
  EXPECT_EQ(mivra_test::ListedBackupNames(), (std::vector<std::wstring>{L"product.exe", L"library.dll", L"added.dat"}));

  EXPECT_TRUE(MivraRemoveFromBackup(L"library.dll", &error));
  EXPECT_EQ(mivra_test::ListedBackupNames(), (std::vector<std::wstring>{L"product.exe", L"library.dll", L"added.dat"}));
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"product.exe"}));
  const std::vector<mivra_test::MetadataRecord> records = CommittedRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].flags, 0u);
  EXPECT_EQ(records[1].flags, 1u);
  EXPECT_EQ(records[2].flags, 2u);

  MivraDeleteBackup(&error);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
  EXPECT_TRUE(mivra_test::ListedBackupNames().empty());
  EXPECT_EQ(error, kUntouched);
  // The product's files were never touched.
  EXPECT_EQ(mivra_test::ReadFileBytes(product), mivra_test::kFox);
  EXPECT_EQ(mivra_test::ReadFileBytes(library), mivra_test::kAbc);
}

}  // namespace
