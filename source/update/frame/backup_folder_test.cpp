#include "update/frame/backup_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/platform_fault.h"

namespace {

using mivra::BKF_BASE;
using mivra::BKF_BKUP;
using mivra::BKF_TMPBKUP;
using mivra::GetBackupFolder;
using mivra_test::FaultPlan;
using mivra_test::FileExists;
using mivra_test::PlatformFault;

// Whether an ACE that applies to the folder itself lets Everyone add files to it. Wine keeps no
// DACL of its own but maps the one written onto the Unix mode bits and reports them back, so this
// is what the open rights of a created folder look like there (and on Windows alike).
bool EveryoneMayWrite(const std::wstring& path) {
  DWORD needed = 0;
  GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  if (needed == 0) return false;
  std::vector<BYTE> descriptor(needed);
  if (!GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), needed, &needed)) return false;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted) || !present || !dacl) return false;

  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  bool mayWrite = false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) continue;
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || (ace->Header.AceFlags & INHERIT_ONLY_ACE)) continue;
    if (!EqualSid(&ace->SidStart, everyone)) continue;
    if (ace->Mask & (FILE_ADD_FILE | GENERIC_WRITE | GENERIC_ALL)) mayWrite = true;
  }
  FreeSid(everyone);
  return mayWrite;
}

std::wstring Folder(uint32_t kind, bool create) {
  wchar_t buffer[mivra::kPathCapacity] = {};
  if (!GetBackupFolder(buffer, kind, create)) return L"(failed)";
  return buffer;
}

class BackupFolderTest : public mivra_test::CoreProductTest {};

TEST_F(BackupFolderTest, KindsNameTheirFoldersUnderCommonFiles) {
  EXPECT_EQ(Folder(BKF_BASE, false), BaseFolder());
  EXPECT_EQ(Folder(BKF_BKUP, false), BkupFolder());
  EXPECT_EQ(Folder(BKF_TMPBKUP, false), TmpBkupFolder());
  EXPECT_EQ(BaseFolder(), mivra_test::CommonFilesFolder() + L"\\Kestrivane Technologies\\Corvane");
  EXPECT_FALSE(FileExists(BaseFolder())) << "nothing is created unless asked";
}

TEST_F(BackupFolderTest, UnknownKindsFailWithoutTouchingTheDisk) {
  PlatformFault<&mivra::PlatformCalls::SHGetFolderPathW> folderLookup(FaultPlan::Never(), E_FAIL);
  PlatformFault<&mivra::PlatformCalls::SHCreateDirectoryExW> creation(FaultPlan::Never(), ERROR_ACCESS_DENIED);
  for (uint32_t kind : {0u, 4u, 0xFFFFFFFFu}) {
    wchar_t buffer[mivra::kPathCapacity] = L"untouched";
    EXPECT_FALSE(GetBackupFolder(buffer, kind, true)) << kind;
    EXPECT_STREQ(buffer, L"untouched");
  }
  EXPECT_EQ(folderLookup.calls(), 0u);
  EXPECT_EQ(creation.calls(), 0u);
  EXPECT_EQ(mivra_test::GetEnv(L"MIVRA_STANDIN_RPI_CALLS"), L"") << "the product libraries were not consulted";
  EXPECT_FALSE(FileExists(BaseFolder()));
}

TEST_F(BackupFolderTest, CreatesTheFolderWithItsParentsOnDemand) {
  EXPECT_EQ(Folder(BKF_BKUP, true), BkupFolder());
  EXPECT_TRUE(FileExists(BkupFolder()));
  EXPECT_FALSE(FileExists(TmpBkupFolder()));

  mivra_test::WriteFileBytes(BkupFolder() + L"\\bkmdata.dat", "kept");
  EXPECT_EQ(Folder(BKF_BKUP, true), BkupFolder()) << "an existing folder is no failure";
  EXPECT_EQ(mivra_test::ReadFileBytes(BkupFolder() + L"\\bkmdata.dat"), "kept");
}

TEST_F(BackupFolderTest, OnlyTheFolderTheCallCreatesGetsOpenRights) {
  const std::wstring control = InstallPath(L"control");
  mivra_test::MakeFolder(control);
  if (EveryoneMayWrite(control)) GTEST_SKIP() << "new folders are open to everyone here anyway (umask)";

  ASSERT_EQ(Folder(BKF_BKUP, true), BkupFolder());
  EXPECT_TRUE(EveryoneMayWrite(BkupFolder()));
  EXPECT_FALSE(EveryoneMayWrite(BaseFolder())) << "parents created on the way keep their rights";
  EXPECT_FALSE(EveryoneMayWrite(mivra_test::CommonFilesFolder() + L"\\" + mivra_test::kCompany));

  mivra_test::MakeFolder(TmpBkupFolder());
  ASSERT_EQ(Folder(BKF_TMPBKUP, true), TmpBkupFolder());
  EXPECT_FALSE(EveryoneMayWrite(TmpBkupFolder())) << "a folder that already existed keeps its rights";
}

TEST_F(BackupFolderTest, FolderThatCannotBeCreatedIsNoFailureHere) {
  PlatformFault<&mivra::PlatformCalls::SHCreateDirectoryExW> creation(FaultPlan::Always(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Folder(BKF_TMPBKUP, true), TmpBkupFolder());
  EXPECT_EQ(creation.calls(), 1u);
  EXPECT_FALSE(FileExists(TmpBkupFolder()));
}

TEST_F(BackupFolderTest, FailsWithoutCommonFiles) {
  PlatformFault<&mivra::PlatformCalls::SHGetFolderPathW> lookup(FaultPlan::Always(), E_FAIL);
  EXPECT_EQ(Folder(BKF_BASE, true), L"(failed)");
  EXPECT_EQ(lookup.calls(), 1u);
}

TEST_F(BackupFolderTest, FailsWithoutProductNames) {
  DeleteFileW(InstallPath(L"prdinf.dll").c_str());
  DeleteFileW(InstallPath(L"LBLRES.DLL").c_str());
  EXPECT_EQ(Folder(BKF_BKUP, true), L"(failed)");
  EXPECT_FALSE(FileExists(mivra_test::CommonFilesFolder() + L"\\" + mivra_test::kCompany));
}

TEST_F(BackupFolderTest, PathThatDoesNotFitFails) {
  // Company and product chosen so that the base folder takes exactly 259 characters.
  const std::wstring company(190, L'c');
  const size_t baseWithoutProduct = mivra_test::CommonFilesFolder().size() + 1 + company.size() + 1;
  ASSERT_LT(baseWithoutProduct, 259u);
  const std::wstring product(259 - baseWithoutProduct, L'p');
  mivra_test::SetEnv(L"MIVRA_STANDIN_COMPANY", company.c_str());
  mivra_test::SetEnv(L"MIVRA_STANDIN_PRODUCT", product.c_str());

  EXPECT_EQ(Folder(BKF_BASE, false), mivra_test::BaseFolderFor(company, product));
  EXPECT_EQ(Folder(BKF_BKUP, false), L"(failed)");
  EXPECT_EQ(Folder(BKF_TMPBKUP, true), L"(failed)");
  EXPECT_FALSE(FileExists(mivra_test::CommonFilesFolder() + L"\\" + company));
}

class DeleteFolderTreeTest : public mivra_test::CoreProductTest {};

TEST_F(DeleteFolderTreeTest, MissingPathCountsAsDeletedWithoutAskingTheShell) {
  PlatformFault<&mivra::PlatformCalls::SHFileOperationW> shell(FaultPlan::Never(), 0);
  EXPECT_TRUE(mivra::DeleteFolderTree(InstallPath(L"never-made").c_str()));
  EXPECT_EQ(shell.calls(), 0u);
  EXPECT_FALSE(mivra::DeleteFolderTree(nullptr));
}

TEST_F(DeleteFolderTreeTest, DeletesAWholeTree) {
  const std::wstring root = InstallPath(L"tree");
  mivra_test::MakeFolder(root + L"\\inner\\deeper");
  mivra_test::WriteFileBytes(root + L"\\a.dat", "a");
  mivra_test::WriteFileBytes(root + L"\\inner\\deeper\\b.dat", "b");

  EXPECT_TRUE(mivra::DeleteFolderTree(root.c_str()));
  EXPECT_FALSE(FileExists(root));
  EXPECT_TRUE(FileExists(InstallDir())) << "only the tree itself goes";
}

TEST_F(DeleteFolderTreeTest, ShellFailureIsReported) {
  const std::wstring root = InstallPath(L"tree");
  mivra_test::MakeFolder(root);
  PlatformFault<&mivra::PlatformCalls::SHFileOperationW> shell(FaultPlan::Always(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(mivra::DeleteFolderTree(root.c_str()));
  EXPECT_EQ(shell.calls(), 1u);
  EXPECT_TRUE(FileExists(root));
}

}  // namespace
