// Links under Wine: a Unix symbolic link to a folder reads as a reparse point, but every handle
// opened on it (even without following) is the folder it points to, and deleting or renaming it
// acts on that folder. A link to a file reads as a plain file. What Windows would report for a
// link to a file, or for a handle opened on the link itself, is given here through the platform
// table.
#include "update/frame/reparse_point.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/frame/platform_calls.h"

namespace {

using mivra::EntryKind;
using mivra_test::FaultPlan;
using mivra_test::PlatformOverride;

class ReparsePointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = mivra_test::ExeFolder() + L"reparse_point_test";
    TearDown();
    mivra_test::MakeFolder(root_ + L"\\sentinel");
    mivra_test::WriteFileBytes(root_ + L"\\sentinel\\s.dat", "someone else's");
    mivra_test::WriteFileBytes(File(), "plain");
    ASSERT_TRUE(mivra_test::MakeUnixSymlink(root_ + L"\\sentinel", Link()));
    sentinel_ = mivra_test::ReadTree(root_ + L"\\sentinel");
  }
  void TearDown() override {
    mivra_test::RemoveUnixSymlink(Link());
    mivra_test::RemoveTree(root_);
  }
  std::wstring File() const { return root_ + L"\\plain.dat"; }
  std::wstring Link() const { return root_ + L"\\linked"; }
  void ExpectLinkAndSentinelUnchanged() {
    EXPECT_EQ(mivra::ProbeEntry(Link().c_str()), EntryKind::kLink);
    EXPECT_EQ(mivra_test::ReadTree(root_ + L"\\sentinel"), sentinel_);
  }

  std::wstring root_;
  std::map<std::wstring, std::string> sentinel_;
};

TEST_F(ReparsePointTest, TellsWhatAPathNamesWithoutFollowingALink) {
  struct EntryCase {
    std::wstring path;
    EntryKind kind;
    bool notLink;
  };
  const EntryCase kCases[] = {{File(), EntryKind::kFile, true},
                              {root_, EntryKind::kFolder, true},
                              {Link(), EntryKind::kLink, false},
                              {root_ + L"\\missing.dat", EntryKind::kAbsent, true},
                              {root_ + L"\\missing\\inner.dat", EntryKind::kAbsent, true}};
  for (const EntryCase& c : kCases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(mivra::ProbeEntry(c.path.c_str()), c.kind);
    EXPECT_EQ(mivra::IsNotLink(c.path.c_str()), c.notLink);
  }
  mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileAttributesW> fault(FaultPlan::Always(),
                                                                             INVALID_FILE_ATTRIBUTES,
                                                                             ERROR_ACCESS_DENIED);
  EXPECT_EQ(mivra::ProbeEntry(File().c_str()), EntryKind::kUnknown);
  EXPECT_FALSE(mivra::IsNotLink(File().c_str())) << "what cannot be told is not taken for safe";
}

// A link to a file, as Windows reports one: the attributes of the path carry the reparse point.
DWORD WINAPI FileReadsAsLink(LPCWSTR path) {
  const DWORD attributes = mivra::RealPlatformCalls().GetFileAttributesW(path);
  return attributes == INVALID_FILE_ATTRIBUTES ? attributes : attributes | FILE_ATTRIBUTE_REPARSE_POINT;
}

// A handle opened on the link itself, as Windows gives one with FILE_FLAG_OPEN_REPARSE_POINT.
BOOL WINAPI HandleIsTheLink(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD size) {
  if (!mivra::RealPlatformCalls().GetFileInformationByHandleEx(handle, what, info, size)) return FALSE;
  if (what == FileAttributeTagInfo) {
    static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return TRUE;
}

TEST_F(ReparsePointTest, OpensAPlainFileButNeverALink) {
  mivra::ScopedHandle plain = mivra::OpenFileNotLink(File().c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_TRUE(plain.valid());
  plain.reset();

  EXPECT_FALSE(mivra::OpenFileNotLink(Link().c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS).valid());
  ExpectLinkAndSentinelUnchanged();
  {
    PlatformOverride<&mivra::PlatformCalls::GetFileAttributesW> attributes(&FileReadsAsLink);
    EXPECT_FALSE(mivra::OpenFileNotLink(File().c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS).valid());
  }
  EXPECT_EQ(mivra_test::ReadFileBytes(File()), "plain") << "a link to a file is not written through";
  {
    // A link that appears between the look and the open is found on the handle.
    PlatformOverride<&mivra::PlatformCalls::GetFileInformationByHandleEx> handle(&HandleIsTheLink);
    EXPECT_FALSE(mivra::OpenFileNotLink(File().c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).valid());
  }
  mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileInformationByHandleEx> unreadable(FaultPlan::Always(), FALSE,
                                                                                         ERROR_ACCESS_DENIED);
  EXPECT_FALSE(mivra::OpenFileNotLink(File().c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).valid());
}

// A file made new is made by one exclusive creation, which no link survives, without asking first
// about the absent name; one that is there is looked at as before, and a link is still refused.
TEST_F(ReparsePointTest, CreatesANewFileWithoutLookingForItsName) {
  const std::wstring fresh = root_ + L"\\fresh";
  for (const DWORD disposition : {CREATE_ALWAYS, OPEN_ALWAYS, CREATE_NEW}) {
    SCOPED_TRACE(disposition);
    DeleteFileW(fresh.c_str());
    mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileAttributesW> look(FaultPlan::Never(),
                                                                             INVALID_FILE_ATTRIBUTES);
    bool existed = true;
    EXPECT_TRUE(mivra::OpenFileNotLink(fresh.c_str(), GENERIC_WRITE, 0, disposition, &existed).valid());
    EXPECT_FALSE(existed);
    EXPECT_EQ(look.calls(), 0u);
  }
  mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileAttributesW> look(FaultPlan::Never(),
                                                                           INVALID_FILE_ATTRIBUTES);
  bool existed = false;
  EXPECT_TRUE(mivra::OpenFileNotLink(fresh.c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS, &existed).valid());
  EXPECT_TRUE(existed);
  EXPECT_EQ(look.calls(), 1u) << "a name that is there is looked at before it is opened";
  EXPECT_FALSE(mivra::OpenFileNotLink(fresh.c_str(), GENERIC_WRITE, 0, CREATE_NEW).valid());
  EXPECT_FALSE(mivra::OpenFileNotLink(Link().c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS).valid());
  EXPECT_FALSE(mivra::OpenFileNotLink(Link().c_str(), GENERIC_WRITE, 0, CREATE_NEW).valid());
  ExpectLinkAndSentinelUnchanged();
}

TEST_F(ReparsePointTest, RemovesNoLinkWhoseHandleIsWhatItPointsTo) {
  mivra_test::PlatformFault<&mivra::PlatformCalls::SetFileInformationByHandle> deletion(FaultPlan::Never(), FALSE);
  EXPECT_FALSE(mivra::RemoveLink(Link().c_str())) << "under Wine the handle is the folder pointed to";
  EXPECT_FALSE(mivra::RemoveLink(File().c_str())) << "no link";
  EXPECT_FALSE(mivra::RemoveLink((root_ + L"\\missing").c_str()));
  EXPECT_EQ(deletion.calls(), 0u);
  ExpectLinkAndSentinelUnchanged();
  EXPECT_EQ(mivra_test::ReadFileBytes(File()), "plain");
}

// What the deletion asked for, caught before it reaches a Wine handle that is not the link.
struct Deletion {
  FILE_INFO_BY_HANDLE_CLASS what;
  bool deleteFile;
};
std::vector<Deletion> g_deletions;

BOOL WINAPI CatchDeletion(HANDLE, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD) {
  g_deletions.push_back({what, what == FileDispositionInfo && static_cast<FILE_DISPOSITION_INFO*>(info)->DeleteFile});
  return TRUE;
}

TEST_F(ReparsePointTest, RemovesALinkThroughAHandleProvedToBeTheLink) {
  g_deletions.clear();
  PlatformOverride<&mivra::PlatformCalls::GetFileInformationByHandleEx> handle(&HandleIsTheLink);
  PlatformOverride<&mivra::PlatformCalls::SetFileInformationByHandle> deletion(&CatchDeletion);
  EXPECT_TRUE(mivra::RemoveLink(Link().c_str()));
  ASSERT_EQ(g_deletions.size(), 1u);
  EXPECT_EQ(g_deletions[0].what, FileDispositionInfo);
  EXPECT_TRUE(g_deletions[0].deleteFile);
}

}  // namespace
