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

class StagingBackupTest : public mivra_test::BackupExportsTest {};

TEST_F(StagingBackupTest, CreateStartsAStagingFolderWithAnEmptyMetadataFile) {
  uint32_t error = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&error);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(FilesIn(TmpBkupFolder()), std::vector<std::wstring>{L"bkmdata.dat"});
  EXPECT_EQ(mivra_test::ReadFileBytes(StagingFile()).size(), 93u);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
  MivraDeleteBkMdataObject(object);
}

TEST_F(StagingBackupTest, CreateDiscardsAnUncommittedStagingBackup) {
  Install(L"product.dll", mivra_test::kAbc);
  uint32_t error = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&error);
  ASSERT_NE(object, nullptr);
  ASSERT_TRUE(MivraAddToBackup(object, InstallPath(L"product.dll").c_str(), &error));
  MivraDeleteBkMdataObject(object);
  mivra_test::WriteFileBytes(TmpBkupFolder() + L"\\stray.tmp", "left over");

  object = MivraCreateBkMdataObject(&error);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(FilesIn(TmpBkupFolder()), std::vector<std::wstring>{L"bkmdata.dat"});
  EXPECT_EQ(mivra_test::ReadFileBytes(StagingFile()).size(), 93u);
  MivraDeleteBkMdataObject(object);
}

TEST_F(StagingBackupTest, CreateFailsWhenTheLeftoverStagingFolderCannotBeDeleted) {
  mivra_test::MakeFolder(TmpBkupFolder());
  const std::wstring stuck = TmpBkupFolder() + L"\\stuck.dll";
  mivra_test::WriteFileBytes(stuck, "in use");
  mivra_test::HeldFile held(stuck, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());
  uint32_t error = kUntouched;
  EXPECT_EQ(MivraCreateBkMdataObject(&error), nullptr);
  EXPECT_EQ(error, MIVRA_E_FOLDER_DELETE);
  EXPECT_FALSE(mivra_test::FileExists(StagingFile()));
}

TEST_F(StagingBackupTest, ReleaseClosesTheFileUnderEitherName) {
  using Release = void (*)(MdataObject*);
  HMODULE library = GetModuleHandleW(L"mivra.dll");
  ASSERT_NE(library, nullptr);
  for (const char* name : {"MivraDeleteBkMdataObject", "MivraDeleteRBMdataObject"}) {
    SCOPED_TRACE(name);
    const auto release = reinterpret_cast<Release>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    ASSERT_NE(release, nullptr);
    uint32_t error = kUntouched;
    MdataObject* object = MivraCreateBkMdataObject(&error);
    ASSERT_NE(object, nullptr);
    release(object);
    // Nothing holds the file any more: it opens without sharing.
    HANDLE file = CreateFileW(StagingFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  MivraDeleteBkMdataObject(nullptr);
  MivraDeleteRBMdataObject(nullptr);
}

}  // namespace
