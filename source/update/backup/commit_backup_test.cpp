#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "mivra.h"
#include "support/held_file.h"
#include "update/backup/backup_exports_fixture.h"

namespace {

using mivra_test::FilesIn;
using mivra_test::kUntouched;
using mivra_test::ReadFileBytes;

class CommitBackupTest : public mivra_test::BackupExportsTest {
 protected:
  std::wstring DelbkupFolder() const { return BaseFolder() + L"\\delbkup"; }

  // A released staging backup of the named files.
  void Stage(const std::vector<std::wstring>& names) {
    uint32_t error = kUntouched;
    MdataObject* object = MivraCreateBkMdataObject(&error);
    ASSERT_NE(object, nullptr);
    for (const std::wstring& name : names) ASSERT_TRUE(MivraAddToBackup(object, InstallPath(name).c_str(), &error));
    MivraDeleteBkMdataObject(object);
  }
};

TEST_F(CommitBackupTest, FirstCommitMakesTheStagingBackupTheCommittedOne) {
  Install(L"a.dll", mivra_test::kAbc);
  Stage({L"a.dll", L"absent.dll"});
  const std::string staged = ReadFileBytes(StagingFile());
  ASSERT_FALSE(mivra_test::FileExists(BkupFolder()));

  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraCommitBackup(&error));
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
  EXPECT_EQ(ReadFileBytes(CommittedFile()), staged);
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
}

TEST_F(CommitBackupTest, CommitReplacesTheOldBackup) {
  Install(L"old.dll", mivra_test::kAbc);
  Install(L"new.dll", mivra_test::kFox);
  CommitBackupOf({L"old.dll"});
  Stage({L"new.dll"});
  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraCommitBackup(&error));
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"new.dll"}));
  ASSERT_EQ(CommittedRecords().size(), 1u);
  EXPECT_EQ(CommittedRecords()[0].name, L"new.dll");
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
}

TEST_F(CommitBackupTest, WithoutStagingBackupTheOldBackupIsPutBack) {
  Install(L"old.dll", mivra_test::kAbc);
  CommitBackupOf({L"old.dll"});
  const std::string committed = ReadFileBytes(CommittedFile());

  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&error));
  EXPECT_EQ(error, MIVRA_E_FOLDER_RENAME);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"old.dll"}));
  EXPECT_EQ(ReadFileBytes(CommittedFile()), committed);
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
}

TEST_F(CommitBackupTest, ALeftoverRetiredBackupIsDeletedFirst) {
  Install(L"a.dll", mivra_test::kAbc);
  mivra_test::MakeFolder(DelbkupFolder());
  mivra_test::WriteFileBytes(DelbkupFolder() + L"\\stale.dll", "from an unfinished commit");
  Stage({L"a.dll"});
  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraCommitBackup(&error));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
}

TEST_F(CommitBackupTest, ARetiredBackupThatCannotBeDeletedStopsTheCommitBeforeAnyMove) {
  Install(L"a.dll", mivra_test::kAbc);
  CommitBackupOf({L"a.dll"});
  Stage({L"a.dll"});
  mivra_test::MakeFolder(DelbkupFolder());
  const std::wstring stuck = DelbkupFolder() + L"\\stuck.dll";
  mivra_test::WriteFileBytes(stuck, "in use");
  mivra_test::HeldFile held(stuck, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());

  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&error));
  EXPECT_EQ(error, MIVRA_E_FOLDER_DELETE);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
  EXPECT_EQ(FilesIn(TmpBkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
}

TEST_F(CommitBackupTest, DeleteBackupRemovesTheCommittedBackup) {
  Install(L"a.dll", mivra_test::kAbc);
  CommitBackupOf({L"a.dll"});
  uint32_t error = kUntouched;
  MivraDeleteBackup(&error);
  EXPECT_EQ(error, kUntouched);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
  EXPECT_TRUE(mivra_test::FileExists(BaseFolder()));

  // With nothing to delete the call reports nothing either.
  MivraDeleteBackup(&error);
  EXPECT_EQ(error, kUntouched);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
}

}  // namespace
