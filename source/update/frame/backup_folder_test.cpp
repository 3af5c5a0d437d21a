#include "update/frame/backup_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/access_rights.h"
#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"

namespace {

using mivra::BKF_BASE;
using mivra::BKF_BKUP;
using mivra::BKF_TMPBKUP;
using mivra::GetBackupFolder;
using mivra_test::FaultPlan;
using mivra_test::FileExists;
using mivra_test::PlatformFault;

// Whether Everyone may change the folder or what is in it, as read back from disk (under Wine,
// from the mode bits the DACL was mapped onto).
bool EveryoneMayChange(const std::wstring& path) {
  return (mivra_test::EveryoneRightsOnDisk(path) & mivra_test::kChangingRights) != 0;
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

TEST_F(BackupFolderTest, TheFolderTheCallCreatesIsClosedToOthers) {
  ASSERT_EQ(Folder(BKF_BKUP, true), BkupFolder());
  EXPECT_EQ(mivra_test::EveryoneRightsOnDisk(BkupFolder()), mivra_test::kReadExecute);
  EXPECT_FALSE(EveryoneMayChange(BaseFolder())) << "created on the way, it keeps what it inherited";
}

TEST_F(BackupFolderTest, AFolderLeftOpenByAnEarlierVersionIsClosedWithItsBaseFolder) {
  mivra_test::MakeFolder(TmpBkupFolder());
  mivra_test::WriteFileBytes(TmpBkupFolder() + L"\\bkmdata.dat", "kept");
  for (const std::wstring& folder : {BaseFolder(), TmpBkupFolder()}) {
    ASSERT_TRUE(mivra_test::OpenToEveryone(folder, true));
    ASSERT_TRUE(EveryoneMayChange(folder)) << "the case is set up as meant";
  }
  ASSERT_TRUE(mivra_test::OpenToEveryone(TmpBkupFolder() + L"\\bkmdata.dat", false));

  EXPECT_EQ(Folder(BKF_TMPBKUP, true), TmpBkupFolder());
  for (const std::wstring& path : {BaseFolder(), TmpBkupFolder(), TmpBkupFolder() + L"\\bkmdata.dat"}) {
    EXPECT_EQ(mivra_test::EveryoneRightsOnDisk(path), mivra_test::kReadExecute) << std::string(path.begin(), path.end());
  }
  EXPECT_EQ(mivra_test::ReadFileBytes(TmpBkupFolder() + L"\\bkmdata.dat"), "kept");
}

// A caller that holds its folders closed (an object open in them) has existing folders left as
// they are, with no look at their rights; a folder the resolution creates is closed all the same.
TEST_F(BackupFolderTest, FoldersKnownClosedAreNotCheckedAgainButANewOneIsClosed) {
  mivra_test::MakeFolder(TmpBkupFolder());
  for (const std::wstring& folder : {BaseFolder(), TmpBkupFolder()}) ASSERT_TRUE(mivra_test::OpenToEveryone(folder, true));
  PlatformFault<&mivra::PlatformCalls::GetFileSecurityW> reads(FaultPlan::Never(), FALSE);
  wchar_t folder[mivra::kPathCapacity] = {};
  ASSERT_TRUE(GetBackupFolder(folder, BKF_TMPBKUP, true, mivra::ExistingFolders::kKnownClosed));
  EXPECT_EQ(folder, TmpBkupFolder());
  EXPECT_EQ(reads.calls(), 0u);
  EXPECT_TRUE(EveryoneMayChange(TmpBkupFolder()));
  EXPECT_TRUE(EveryoneMayChange(BaseFolder()));

  mivra_test::RemoveTree(TmpBkupFolder());
  ASSERT_TRUE(GetBackupFolder(folder, BKF_TMPBKUP, true, mivra::ExistingFolders::kKnownClosed));
  EXPECT_EQ(mivra_test::EveryoneRightsOnDisk(TmpBkupFolder()), mivra_test::kReadExecute) << "made here, so closed";
}

TEST_F(BackupFolderTest, AFolderThatCannotBeClosedIsNoFailure) {
  mivra_test::MakeFolder(BkupFolder());
  ASSERT_TRUE(mivra_test::OpenToEveryone(BkupFolder(), true));
  PlatformFault<&mivra::PlatformCalls::SetFileSecurityW> write(FaultPlan::Always(), FALSE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Folder(BKF_BKUP, true), BkupFolder());
  EXPECT_GE(write.calls(), 1u);
  EXPECT_TRUE(EveryoneMayChange(BkupFolder()));
}

// One of the library's folders replaced by a link to a folder elsewhere.
class BackupFolderLinkTest : public mivra_test::CoreProductTest {
 protected:
  void SetUp() override {
    CoreProductTest::SetUp();
    sentinel_ = InstallPath(L"sentinel");
    mivra_test::MakeFolder(sentinel_ + L"\\bkup");
    mivra_test::WriteFileBytes(sentinel_ + L"\\bkup\\bkmdata.dat", "someone else's");
    mivra_test::WriteFileBytes(sentinel_ + L"\\a.dll", "someone else's a.dll");
    before_ = mivra_test::ReadTree(sentinel_);
  }
  void TearDown() override {
    for (const std::wstring& link : links_) mivra_test::RemoveUnixSymlink(link);
  }
  void Link(const std::wstring& folder) {
    ASSERT_TRUE(mivra_test::MakeUnixSymlink(sentinel_, folder));
    links_.push_back(folder);
  }
  void ExpectSentinelUnchanged() { EXPECT_EQ(mivra_test::ReadTree(sentinel_), before_); }

  std::wstring sentinel_;
  std::map<std::wstring, std::string> before_;
  std::vector<std::wstring> links_;
};

TEST_F(BackupFolderLinkTest, ALinkedFolderIsRefusedAndNothingIsMadeThroughIt) {
  struct LinkCase {
    const char* name;
    bool linkBase;
    uint32_t kind;
  };
  const LinkCase kCases[] = {{"base folder, resolved", true, BKF_BASE},
                             {"base folder, under bkup", true, BKF_BKUP},
                             {"base folder, under tmpbkup", true, BKF_TMPBKUP},
                             {"bkup", false, BKF_BKUP},
                             {"tmpbkup", false, BKF_TMPBKUP}};
  for (const LinkCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::wstring linked = c.linkBase ? BaseFolder() : (c.kind == BKF_BKUP ? BkupFolder() : TmpBkupFolder());
    mivra_test::MakeFolder(BaseFolder());
    if (c.linkBase) mivra_test::RemoveTree(BaseFolder());
    Link(linked);
    for (bool create : {false, true}) {
      EXPECT_EQ(Folder(c.kind, create), L"(failed)") << "create " << create;
    }
    ExpectSentinelUnchanged();
    ASSERT_TRUE(mivra_test::RemoveUnixSymlink(linked));
    links_.clear();
    mivra_test::RemoveTree(BaseFolder());
  }
}

TEST_F(BackupFolderLinkTest, AnAttributeThatCannotBeReadIsNoAnswer) {
  PlatformFault<&mivra::PlatformCalls::GetFileAttributesW> attributes(FaultPlan::Always(), INVALID_FILE_ATTRIBUTES,
                                                                      ERROR_ACCESS_DENIED);
  EXPECT_EQ(Folder(BKF_BKUP, true), L"(failed)");
  EXPECT_FALSE(FileExists(BaseFolder()));
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

// Within a scope the folder is asked for once, and a failed asking is asked again at the next
// need. A nested scope asks afresh; once it ends, the outer scope's answer serves again.
TEST_F(BackupFolderTest, WithinAScopeCommonFilesIsAskedForOnce) {
  PlatformFault<&mivra::PlatformCalls::SHGetFolderPathW> lookup(FaultPlan::Nth(1), E_FAIL);
  {
    mivra::CommonFilesScope scope;
    EXPECT_EQ(Folder(BKF_BASE, false), L"(failed)");
    EXPECT_EQ(Folder(BKF_BKUP, false), BkupFolder());
    EXPECT_EQ(Folder(BKF_TMPBKUP, false), TmpBkupFolder());
    EXPECT_EQ(lookup.calls(), 2u);
    {
      mivra::CommonFilesScope inner;
      EXPECT_EQ(Folder(BKF_BASE, false), BaseFolder());
      EXPECT_EQ(Folder(BKF_BKUP, false), BkupFolder());
      EXPECT_EQ(lookup.calls(), 3u);
    }
    EXPECT_EQ(Folder(BKF_BASE, false), BaseFolder());
    EXPECT_EQ(lookup.calls(), 3u);
  }
  EXPECT_EQ(Folder(BKF_BASE, false), BaseFolder());
  EXPECT_EQ(Folder(BKF_BASE, false), BaseFolder());
  EXPECT_EQ(lookup.calls(), 5u) << "without a scope every need asks";
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

TEST_F(DeleteFolderTreeTest, NeitherALinkNorATreeHoldingOneIsDeleted) {
  const std::wstring sentinel = InstallPath(L"sentinel");
  mivra_test::MakeFolder(sentinel + L"\\inner");
  mivra_test::WriteFileBytes(sentinel + L"\\inner\\s.dat", "someone else's");
  const auto before = mivra_test::ReadTree(sentinel);
  const std::wstring root = InstallPath(L"tree");
  mivra_test::MakeFolder(root + L"\\deeper");
  mivra_test::WriteFileBytes(root + L"\\a.dat", "a");
  const std::wstring rootLink = InstallPath(L"linked");
  const std::wstring innerLink = root + L"\\deeper\\link";
  ASSERT_TRUE(mivra_test::MakeUnixSymlink(sentinel, rootLink));
  ASSERT_TRUE(mivra_test::MakeUnixSymlink(sentinel, innerLink));

  PlatformFault<&mivra::PlatformCalls::SHFileOperationW> shell(FaultPlan::Never(), 0);
  EXPECT_FALSE(mivra::DeleteFolderTree(rootLink.c_str()));
  EXPECT_FALSE(mivra::DeleteFolderTree(root.c_str()));
  EXPECT_EQ(shell.calls(), 0u);
  EXPECT_EQ(mivra_test::ReadTree(sentinel), before);
  EXPECT_EQ(mivra_test::ReadFileBytes(root + L"\\a.dat"), "a") << "the tree is left whole";
  mivra_test::RemoveUnixSymlink(rootLink);
  mivra_test::RemoveUnixSymlink(innerLink);
}

TEST_F(DeleteFolderTreeTest, AFolderThatCannotBeToldOrWalkedIsNotDeleted) {
  const std::wstring root = InstallPath(L"tree");
  mivra_test::MakeFolder(root);
  PlatformFault<&mivra::PlatformCalls::SHFileOperationW> shell(FaultPlan::Never(), 0);
  {
    PlatformFault<&mivra::PlatformCalls::GetFileAttributesW> attributes(FaultPlan::Always(), INVALID_FILE_ATTRIBUTES,
                                                                        ERROR_ACCESS_DENIED);
    EXPECT_FALSE(mivra::DeleteFolderTree(root.c_str()));
  }
  {
    PlatformFault<&mivra::PlatformCalls::FindFirstFileW> walk(FaultPlan::Always(), INVALID_HANDLE_VALUE,
                                                              ERROR_ACCESS_DENIED);
    EXPECT_FALSE(mivra::DeleteFolderTree(root.c_str()));
  }
  EXPECT_EQ(shell.calls(), 0u);
  EXPECT_TRUE(FileExists(root));
}

}  // namespace
