// A rollback meeting links in the install directory where it puts files back or deletes them: it
// never writes through one and never renames or deletes what one points to. Under Wine a link to
// a folder opens as that folder even without following, so the link cannot be proved to be one
// and stays; a system that opens the link itself, as Windows does, is given through the platform
// table, and there the link goes and the restored file takes its name.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "mivra.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/frame/platform_calls.h"
#include "update/rollback/rollback_test_fixture.h"

namespace rollback_test {
namespace {

using mivra_test::PlatformOverride;

// The links whose handles were opened on the link itself, by handle.
std::map<HANDLE, std::wstring> g_linkHandles;

HANDLE WINAPI OpenLinkItself(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
  const DWORD attributes = GetFileAttributesW(path);
  const bool onLink = (flags & FILE_FLAG_OPEN_REPARSE_POINT) && attributes != INVALID_FILE_ATTRIBUTES &&
                      (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  const HANDLE handle =
      mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
  if (handle == INVALID_HANDLE_VALUE) return handle;
  // A handle value is used again once closed: only the latest open says what it is on.
  if (onLink) {
    g_linkHandles[handle] = path;
  } else {
    g_linkHandles.erase(handle);
  }
  return handle;
}

BOOL WINAPI LinkInformation(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD size) {
  if (!mivra::RealPlatformCalls().GetFileInformationByHandleEx(handle, what, info, size)) return FALSE;
  if (what == FileAttributeTagInfo && g_linkHandles.count(handle)) {
    static_cast<FILE_ATTRIBUTE_TAG_INFO*>(info)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  }
  return TRUE;
}

// Deleting through a handle on the link removes the link, as it would on Windows.
BOOL WINAPI DeleteLinkItself(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD size) {
  const auto link = g_linkHandles.find(handle);
  if (link == g_linkHandles.end() || what != FileDispositionInfo) {
    return mivra::RealPlatformCalls().SetFileInformationByHandle(handle, what, info, size);
  }
  return mivra_test::RemoveUnixSymlink(link->second);
}

class LinkedDestinationTest : public RollbackTest {
 protected:
  void SetUp() override {
    RollbackTest::SetUp();
    sentinel_ = InstallDir() + L"..\\mivra-linked-destination-sentinel";
    mivra_test::RemoveTree(sentinel_);
    mivra_test::MakeFolder(sentinel_);
    mivra_test::WriteFileBytes(sentinel_ + L"\\s.dat", "someone else's");
    before_ = mivra_test::ReadTree(sentinel_);
    g_linkHandles.clear();
  }
  void TearDown() override {
    for (const wchar_t* name : {L"app.exe", L"new.dll"}) mivra_test::RemoveUnixSymlink(InstallPath(name));
    mivra_test::RemoveTree(sentinel_);
  }

  // The update's app.exe and new.dll replaced by links to a folder elsewhere.
  void LinkDestinations() {
    BackUpThenUpdate();
    for (const wchar_t* name : {L"app.exe", L"new.dll"}) {
      ASSERT_TRUE(DeleteFileW(InstallPath(name).c_str()));
      ASSERT_TRUE(mivra_test::MakeUnixSymlink(sentinel_, InstallPath(name)));
    }
  }
  bool IsLink(const wchar_t* name) const {
    return GetFileAttributesW(InstallPath(name).c_str()) == (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY);
  }

  std::wstring sentinel_;
  std::map<std::wstring, std::string> before_;
};

TEST_F(LinkedDestinationTest, ALinkThatCannotBeRemovedItselfStaysAndFailsOnlyItsEntry) {
  LinkDestinations();
  uint32_t code = kUntouched;
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_RESTORE_APPLY);
  EXPECT_EQ(mivra_test::ReadTree(sentinel_), before_);
  EXPECT_TRUE(IsLink(L"app.exe"));
  EXPECT_TRUE(IsLink(L"new.dll"));
  EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd')) << "the other entries are placed";
}

TEST_F(LinkedDestinationTest, ALinkThatCanBeRemovedItselfIsReplacedByTheRestoredFile) {
  LinkDestinations();
  PlatformOverride<&mivra::PlatformCalls::CreateFileW> open(&OpenLinkItself);
  PlatformOverride<&mivra::PlatformCalls::GetFileInformationByHandleEx> information(&LinkInformation);
  PlatformOverride<&mivra::PlatformCalls::SetFileInformationByHandle> deletion(&DeleteLinkItself);
  uint32_t code = kUntouched;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(mivra_test::ReadTree(sentinel_), before_);
  EXPECT_EQ(GetFileAttributesW(InstallPath(L"app.exe").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  EXPECT_FALSE(mivra_test::FileExists(InstallPath(L"new.dll"))) << "the link the update's file was is gone";
}

}  // namespace
}  // namespace rollback_test
