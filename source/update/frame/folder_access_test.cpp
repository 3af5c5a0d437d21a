// What ApplyFolderAccess builds and writes, ACE by ACE, from current descriptors made here; what
// reads back from disk under Wine, where a DACL maps onto the Unix mode bits and the rights of
// Everyone are the "other" bits; and the closing of a folder an earlier version left open.
#include "update/frame/folder_access.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/access_rights.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/frame/platform_calls.h"

namespace {

using mivra::ClosedAccessDescriptor;
using mivra_test::Ace;
using mivra_test::DaclOf;
using mivra_test::kAdministratorsSid;
using mivra_test::kEveryoneSid;
using mivra_test::kSystemSid;
using mivra_test::WellKnownSid;

constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
constexpr ACCESS_MASK kAll = FILE_ALL_ACCESS;                        // 0x1f01ff
constexpr ACCESS_MASK kReadExecute = mivra_test::kReadExecute;       // 0x1200a9
constexpr SECURITY_DESCRIPTOR_CONTROL kInheritanceBits =
    SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_PROTECTED;

std::vector<Ace> ClosedList(BYTE flags) {
  return {{ACCESS_ALLOWED_ACE_TYPE, flags, kAll, kSystemSid},
          {ACCESS_ALLOWED_ACE_TYPE, flags, kAll, kAdministratorsSid},
          {ACCESS_ALLOWED_ACE_TYPE, flags, kReadExecute, kEveryoneSid}};
}

SECURITY_DESCRIPTOR_CONTROL ControlOf(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  EXPECT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  return control;
}

struct TestAce {
  BYTE type;
  BYTE flags;
  ACCESS_MASK mask;
  WELL_KNOWN_SID_TYPE sid;
};

enum class OldDacl { kNone, kNull, kList };

// A descriptor as GetFileSecurityW might report it: no DACL, a null DACL, or the ACEs given.
class TestDescriptor {
 public:
  TestDescriptor(OldDacl dacl, std::vector<TestAce> aces = {}, SECURITY_DESCRIPTOR_CONTROL control = 0) {
    InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    if (dacl == OldDacl::kNull) SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
    if (dacl == OldDacl::kList) {
      PACL acl = reinterpret_cast<PACL>(acl_);
      InitializeAcl(acl, sizeof(acl_), ACL_REVISION);
      for (const TestAce& ace : aces) {
        std::vector<BYTE> sid = WellKnownSid(ace.sid);
        if (ace.type == ACCESS_DENIED_ACE_TYPE) {
          AddAccessDeniedAceEx(acl, ACL_REVISION, ace.flags, ace.mask, sid.data());
        } else {
          AddAccessAllowedAceEx(acl, ACL_REVISION, ace.flags, ace.mask, sid.data());
        }
      }
      SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
    }
    if (control) SetSecurityDescriptorControl(&descriptor_, control, control);
  }
  PSECURITY_DESCRIPTOR get() { return &descriptor_; }

 private:
  SECURITY_DESCRIPTOR descriptor_ = {};
  alignas(DWORD) BYTE acl_[1024] = {};
};

const std::vector<TestAce> kThreeOldAces = {{ACCESS_ALLOWED_ACE_TYPE, kInherited, FILE_ALL_ACCESS, WinLocalSystemSid},
                                           {ACCESS_ALLOWED_ACE_TYPE, 0, FILE_ALL_ACCESS, WinCreatorOwnerSid},
                                           {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, WinWorldSid}};

TEST(FolderAccessTest, TrusteesAreTheWellKnownSids) {
  struct SidCase {
    mivra::Trustee trustee;
    const wchar_t* sid;
  };
  const SidCase kCases[] = {{mivra::Trustee::kSystem, kSystemSid},
                            {mivra::Trustee::kAdministrators, kAdministratorsSid},
                            {mivra::Trustee::kEveryone, kEveryoneSid}};
  ASSERT_TRUE(mivra::IsNative64Bit());
  for (const SidCase& c : kCases) {
    mivra::TrusteeSid sid;
    ASSERT_TRUE(sid.Create(c.trustee));
    EXPECT_EQ(mivra_test::SidText(sid.get()), c.sid);
  }
}

TEST(FolderAccessTest, FolderGetsTheClosedListInheritedByEntriesWhateverItHadBefore) {
  struct DaclCase {
    const char* name;
    OldDacl dacl;
    std::vector<TestAce> aces;
  };
  const DaclCase kCases[] = {{"no DACL", OldDacl::kNone, {}},
                             {"null DACL", OldDacl::kNull, {}},
                             {"empty DACL", OldDacl::kList, {}},
                             {"three ACEs, none carried over", OldDacl::kList, kThreeOldAces}};
  for (const DaclCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TestDescriptor current(c.dacl, c.aces);
    ClosedAccessDescriptor built;
    ASSERT_TRUE(built.Build(current.get(), true));
    EXPECT_EQ(DaclOf(built.get()), ClosedList(kInherited));
  }
}

TEST(FolderAccessTest, FileGetsTheClosedListForItselfOnly) {
  for (OldDacl dacl : {OldDacl::kNone, OldDacl::kList}) {
    TestDescriptor current(dacl, kThreeOldAces);
    ClosedAccessDescriptor built;
    ASSERT_TRUE(built.Build(current.get(), false));
    EXPECT_EQ(DaclOf(built.get()), ClosedList(0));
  }
}

TEST(FolderAccessTest, ControlFlagsFollowTheCurrentDescriptor) {
  struct ControlCase {
    SECURITY_DESCRIPTOR_CONTROL current;
    SECURITY_DESCRIPTOR_CONTROL built;
  };
  const ControlCase kCases[] = {
      {0, 0},
      {SE_DACL_AUTO_INHERITED, SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ},
      {SE_DACL_PROTECTED, SE_DACL_PROTECTED},
      {SE_DACL_AUTO_INHERITED | SE_DACL_PROTECTED, SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ},
      {SE_DACL_AUTO_INHERIT_REQ, 0},
  };
  for (const ControlCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << "current control 0x" << std::hex << c.current);
    TestDescriptor current(OldDacl::kList, kThreeOldAces, c.current);
    ASSERT_EQ(ControlOf(current.get()) & kInheritanceBits, c.current) << "the case is set up as meant";
    ClosedAccessDescriptor built;
    ASSERT_TRUE(built.Build(current.get(), true));
    EXPECT_EQ(ControlOf(built.get()) & kInheritanceBits, c.built);
  }
}

TEST(FolderAccessTest, BuildRefusesAMissingDescriptor) {
  ClosedAccessDescriptor built;
  EXPECT_FALSE(built.Build(nullptr, true));
}

TEST(FolderAccessTest, TellsWhichListsLetOthersDoMoreThanRead) {
  struct OpenCase {
    const char* name;
    OldDacl dacl;
    std::vector<TestAce> aces;
    bool open;
  };
  const OpenCase kCases[] = {
      {"the closed list", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, kInherited, kAll, WinLocalSystemSid},
        {ACCESS_ALLOWED_ACE_TYPE, kInherited, kAll, WinBuiltinAdministratorsSid},
        {ACCESS_ALLOWED_ACE_TYPE, kInherited, kReadExecute, WinWorldSid}},
       false},
      {"Everyone read, as generic rights", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_READ | GENERIC_EXECUTE, WinWorldSid}}, false},
      {"what earlier versions wrote", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERIT_ONLY_ACE, GENERIC_ALL,
         WinWorldSid},
        {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, WinWorldSid}},
       true},
      {"Everyone full access as Wine reads it back", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, 0, mivra_test::kFullAccessReadBack, WinWorldSid}}, true},
      {"Users may write", OldDacl::kList, {{ACCESS_ALLOWED_ACE_TYPE, 0, FILE_GENERIC_WRITE, WinBuiltinUsersSid}},
       true},
      {"Authenticated Users may delete", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, 0, kReadExecute | DELETE, WinAuthenticatedUserSid}}, true},
      {"Interactive may change what is created inside", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, OBJECT_INHERIT_ACE | INHERIT_ONLY_ACE, GENERIC_WRITE, WinInteractiveSid}}, true},
      {"Everyone may change the rights", OldDacl::kList, {{ACCESS_ALLOWED_ACE_TYPE, 0, WRITE_DAC, WinWorldSid}},
       true},
      {"full access denied to Everyone", OldDacl::kList, {{ACCESS_DENIED_ACE_TYPE, 0, GENERIC_ALL, WinWorldSid}},
       false},
      {"full access for the creator only", OldDacl::kList,
       {{ACCESS_ALLOWED_ACE_TYPE, kInherited, GENERIC_ALL, WinCreatorOwnerSid}}, false},
      {"an empty list", OldDacl::kList, {}, false},
      {"no list at all: everything for everyone", OldDacl::kNull, {}, true},
  };
  for (const OpenCase& c : kCases) {
    SCOPED_TRACE(c.name);
    TestDescriptor descriptor(c.dacl, c.aces);
    EXPECT_EQ(mivra::GrantsOthersMoreThanRead(descriptor.get()), c.open);
  }
}

// What ApplyFolderAccess writes, caught at the platform table.
std::vector<std::vector<Ace>> g_written;

BOOL WINAPI CatchWrite(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor) {
  g_written.push_back(DaclOf(descriptor));
  return TRUE;
}

class FolderAccessOnDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = mivra_test::ExeFolder() + L"folder_access_test";
    TearDown();
    mivra_test::MakeFolder(root_);
  }
  void TearDown() override {
    mivra_test::RemoveUnixSymlink(root_ + L"\\open\\elsewhere");
    mivra_test::RemoveTree(root_);
  }
  std::wstring Path(const std::wstring& name) const { return root_ + L"\\" + name; }

  std::wstring root_;
};

TEST_F(FolderAccessOnDiskTest, AppliesTheBuiltDescriptorOnlyWhenTheCurrentOneCanBeRead) {
  const std::wstring file = Path(L"a.dat");
  mivra_test::WriteFileBytes(file, "x");
  struct ApplyCase {
    const char* name;
    std::wstring path;
    bool readable;
    std::vector<std::vector<Ace>> written;
  };
  const ApplyCase kCases[] = {
      {"folder", root_, true, {ClosedList(kInherited)}},
      {"file", file, true, {ClosedList(0)}},
      {"descriptor unreadable", root_, false, {}},
  };
  for (const ApplyCase& c : kCases) {
    SCOPED_TRACE(c.name);
    g_written.clear();
    mivra_test::PlatformOverride<&mivra::PlatformCalls::SetFileSecurityW> write(&CatchWrite);
    mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileSecurityW> read(
        c.readable ? mivra_test::FaultPlan::Never() : mivra_test::FaultPlan::Always(), FALSE, ERROR_ACCESS_DENIED);
    mivra::ApplyFolderAccess(c.path.c_str());
    EXPECT_EQ(g_written, c.written);
  }
}

TEST_F(FolderAccessOnDiskTest, WhatIsWrittenReadsBackWithoutWriteOrDeleteForEveryone) {
  const std::wstring folder = Path(L"closed");
  const std::wstring file = Path(L"closed.dat");
  mivra_test::MakeFolder(folder);
  mivra_test::WriteFileBytes(file, "x");
  for (const std::wstring& path : {folder, file}) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    ASSERT_TRUE(mivra_test::OpenToEveryone(path, path == folder));
    ASSERT_EQ(mivra_test::EveryoneRightsOnDisk(path), mivra_test::kFullAccessReadBack) << "the case is set up as meant";
    mivra::ApplyFolderAccess(path.c_str());
    EXPECT_EQ(mivra_test::EveryoneRightsOnDisk(path), kReadExecute);
  }
  // The process's own user keeps what it needs to go on working there.
  mivra_test::WriteFileBytes(folder + L"\\inside.dat", "still writable");
  EXPECT_EQ(mivra_test::ReadFileBytes(folder + L"\\inside.dat"), "still writable");
}

TEST_F(FolderAccessOnDiskTest, ClosesAFolderLeftOpenWithItsEntriesButNothingBehindALink) {
  // An old base folder: open itself, with an open file, an open backup folder holding an open
  // copy, and a link to a folder elsewhere that is open too.
  const std::wstring open = Path(L"open");
  const std::wstring outside = Path(L"outside");
  const std::vector<std::pair<std::wstring, bool>> entries = {{open, true},
                                                              {open + L"\\rbmdata.dat", false},
                                                              {open + L"\\bkup", true},
                                                              {open + L"\\bkup\\a.dll", false}};
  for (const auto& [path, isFolder] : entries) {
    if (isFolder) mivra_test::MakeFolder(path);
    else mivra_test::WriteFileBytes(path, "x");
    ASSERT_TRUE(mivra_test::OpenToEveryone(path, isFolder));
  }
  mivra_test::MakeFolder(outside);
  ASSERT_TRUE(mivra_test::OpenToEveryone(outside, true));
  ASSERT_TRUE(mivra_test::MakeUnixSymlink(outside, open + L"\\elsewhere"));

  mivra::TightenFolderAccess(open.c_str());
  for (const auto& [path, isFolder] : entries) {
    EXPECT_EQ(mivra_test::EveryoneRightsOnDisk(path), kReadExecute) << std::string(path.begin(), path.end());
  }
  EXPECT_EQ(mivra_test::EveryoneRightsOnDisk(outside), mivra_test::kFullAccessReadBack) << "not closed through the link";
}

TEST_F(FolderAccessOnDiskTest, LeavesAFolderThatIsNotOpenAlone) {
  const std::wstring folder = Path(L"closed");
  mivra_test::MakeFolder(folder);
  mivra::ApplyFolderAccess(folder.c_str());
  mivra_test::PlatformFault<&mivra::PlatformCalls::SetFileSecurityW> write(mivra_test::FaultPlan::Never(), FALSE);
  mivra_test::PlatformFault<&mivra::PlatformCalls::FindFirstFileW> walk(mivra_test::FaultPlan::Never(),
                                                                        INVALID_HANDLE_VALUE);
  mivra::TightenFolderAccess(folder.c_str());
  EXPECT_EQ(write.calls(), 0u);
  EXPECT_EQ(walk.calls(), 0u);
}

}  // namespace
