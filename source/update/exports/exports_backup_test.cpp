// The frame every backup export shares: missing pointers and the feature switch come first.
#include <gtest/gtest.h>

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

}  // namespace
