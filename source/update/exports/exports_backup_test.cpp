// The frame every backup export shares: missing pointers and the feature switch come first.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "mivra.h"
#include "update/backup/backup_exports_fixture.h"

namespace {

using mivra_test::kUntouched;

class BackupExportsFrameTest : public mivra_test::BackupExportsTest {};

TEST_F(BackupExportsFrameTest, MissingPointersFailWithoutCodeOrChange) {
  const std::wstring path = Install(L"a.dll", mivra_test::kAbc);
  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraAddToBackup(nullptr, nullptr, &error));
  EXPECT_FALSE(MivraAddToBackup(nullptr, path.c_str(), nullptr));
  EXPECT_FALSE(MivraRemoveFromBackup(nullptr, &error));
  EXPECT_FALSE(MivraRemoveFromBackup(L"a.dll", nullptr));
  MivraDeleteBackup(nullptr);
  EXPECT_FALSE(MivraCommitBackup(nullptr));
  EXPECT_EQ(MivraCreateBkMdataObject(nullptr), nullptr);
  EXPECT_EQ(error, kUntouched);
  EXPECT_FALSE(mivra_test::FileExists(BaseFolder()));
}

TEST_F(BackupExportsFrameTest, SwitchOffStopsEveryExportThatConsultsIt) {
  CommitBackupOf({L"a.dll"});
  mivra_test::MakeFolder(TmpBkupFolder());
  const std::string committed = mivra_test::ReadFileBytes(CommittedFile());
  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");

  uint32_t error = kUntouched;
  EXPECT_EQ(MivraCreateBkMdataObject(&error), nullptr);
  EXPECT_EQ(error, MIVRA_E_FEATURE_OFF);
  error = kUntouched;
  EXPECT_FALSE(MivraAddToBackup(nullptr, InstallPath(L"b.dll").c_str(), &error));
  EXPECT_EQ(error, MIVRA_E_FEATURE_OFF);
  error = kUntouched;
  EXPECT_FALSE(MivraRemoveFromBackup(L"a.dll", &error));
  EXPECT_EQ(error, MIVRA_E_FEATURE_OFF);
  error = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&error));
  EXPECT_EQ(error, MIVRA_E_FEATURE_OFF);
  error = kUntouched;
  MivraDeleteBackup(&error);
  EXPECT_EQ(error, MIVRA_E_FEATURE_OFF);

  EXPECT_EQ(mivra_test::ReadFileBytes(CommittedFile()), committed);
  EXPECT_TRUE(mivra_test::FileExists(TmpBkupFolder()));
}


// Every file under `folder` with its bytes.
std::map<std::wstring, std::string> FolderBytes(const std::wstring& folder) {
  std::map<std::wstring, std::string> files;
  for (const std::wstring& name : mivra_test::FilesIn(folder)) {
    files[name] = mivra_test::ReadFileBytes(folder + L"\\" + name);
  }
  return files;
}

// A handle does only what it was opened for: the rollback database's handle given to
// MivraAddToBackup, or a staging backup's given to MivraUpdateRollBackDB, fails with the code of a
// record that cannot be written, and no copy, record or file changes. Either handle is then still
// good for its own kind, and ordinals 7 and 10 release both.
TEST_F(BackupExportsFrameTest, HandleOfTheOtherKindIsRefusedAndNothingIsWritten) {
  CommitBackupOf({L"a.dll"});
  const std::wstring path = Install(L"b.dll", mivra_test::kFox);
  const std::string digest = mivra_test::DigestFromHex(mivra_test::kFoxMd5);
  const auto* digestBytes = reinterpret_cast<const uint8_t*>(digest.data());
  const uint32_t size = sizeof(mivra_test::kFox) - 1;
  uint32_t error = kUntouched;
  MdataObject* staging = MivraCreateBkMdataObject(&error);
  MdataObject* database = MivraCreateRBMdataObject(&error);
  ASSERT_NE(staging, nullptr);
  ASSERT_NE(database, nullptr);
  ASSERT_EQ(error, kUntouched);
  const std::wstring dbPath = BaseFolder() + L"\\rbmdata.dat";
  const auto staged = FolderBytes(TmpBkupFolder());
  const auto committed = FolderBytes(BkupFolder());
  const std::string db = mivra_test::ReadFileBytes(dbPath);

  EXPECT_FALSE(MivraAddToBackup(database, path.c_str(), &error));
  EXPECT_EQ(error, MIVRA_E_RECORD_WRITE);
  error = kUntouched;
  EXPECT_FALSE(MivraUpdateRollBackDB(staging, path.c_str(), size, digestBytes, &error));
  EXPECT_EQ(error, MIVRA_E_RB_RECORD_WRITE);
  EXPECT_EQ(FolderBytes(TmpBkupFolder()), staged);
  EXPECT_EQ(FolderBytes(BkupFolder()), committed);
  EXPECT_EQ(mivra_test::ReadFileBytes(dbPath), db);

  error = kUntouched;
  EXPECT_TRUE(MivraAddToBackup(staging, path.c_str(), &error));
  EXPECT_TRUE(MivraUpdateRollBackDB(database, path.c_str(), size, digestBytes, &error));
  EXPECT_EQ(error, kUntouched);
  MivraDeleteRBMdataObject(staging);
  MivraDeleteBkMdataObject(database);
  ASSERT_EQ(StagingRecords().size(), 1u);
  EXPECT_EQ(StagingRecords()[0].name, L"b.dll");
  const auto registered = mivra_test::RecordsOf(mivra_test::kRBLayout, mivra_test::ReadFileBytes(dbPath));
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0].name, L"b.dll");
}

}  // namespace
