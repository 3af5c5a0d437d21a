// Wine keeps no DACL of a file or folder (it maps a written one onto the Unix mode bits and
// reports back a list made from them), so these tests check the descriptor that ApplyFolderAccess
// builds and would write, from current descriptors made here.
#include "update/frame/folder_access.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/platform_fault.h"
#include "update/frame/platform_calls.h"

namespace {

using mivra::EveryoneAccessDescriptor;

constexpr wchar_t kEveryone[] = L"S-1-1-0";
constexpr BYTE kInheritOnlyForChildren = 0x0B;
constexpr SECURITY_DESCRIPTOR_CONTROL kInheritanceBits =
    SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ | SE_DACL_PROTECTED;

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return L"(bad sid)";
  std::wstring result(text);
  LocalFree(text);
  return result;
}

std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE type) {
  std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
  DWORD size = static_cast<DWORD>(sid.size());
  if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) sid.clear();
  return sid;
}

struct Ace {
  BYTE type;
  BYTE flags;
  ACCESS_MASK mask;
  std::wstring sid;
  bool operator==(const Ace&) const = default;
};

void PrintTo(const Ace& ace, std::ostream* os) {
  *os << "{type " << int(ace.type) << ", flags 0x" << std::hex << int(ace.flags) << ", mask 0x" << ace.mask << ", "
      << std::string(ace.sid.begin(), ace.sid.end()) << "}";
}

// The DACL of `descriptor` as a list; fails the test when it is missing or defaulted.
std::vector<Ace> DaclOf(PSECURITY_DESCRIPTOR descriptor) {
  BOOL present = FALSE;
  BOOL defaulted = TRUE;
  PACL dacl = nullptr;
  EXPECT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_FALSE(defaulted);
  std::vector<Ace> aces;
  if (!present || !dacl) return aces;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace))) break;
    aces.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask, SidText(&ace->SidStart)});
  }
  return aces;
}

SECURITY_DESCRIPTOR_CONTROL ControlOf(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  EXPECT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  return control;
}

enum class OldDacl { kNone, kNull, kEmpty, kThreeAces };

// A folder's current descriptor as GetFileSecurityW might report it.
class CurrentDescriptor {
 public:
  CurrentDescriptor(OldDacl dacl, SECURITY_DESCRIPTOR_CONTROL control) {
    InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    if (dacl == OldDacl::kNull) SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
    if (dacl == OldDacl::kEmpty || dacl == OldDacl::kThreeAces) {
      PACL acl = reinterpret_cast<PACL>(acl_);
      InitializeAcl(acl, sizeof(acl_), ACL_REVISION);
      if (dacl == OldDacl::kThreeAces) {
        AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS,
                              WellKnownSid(WinLocalSystemSid).data());
        AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, WellKnownSid(WinBuiltinAdministratorsSid).data());
        AddAccessAllowedAce(acl, ACL_REVISION, FILE_GENERIC_READ, WellKnownSid(WinWorldSid).data());
      }
      SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
    }
    if (control) SetSecurityDescriptorControl(&descriptor_, control, control);
  }
  PSECURITY_DESCRIPTOR get() { return &descriptor_; }

 private:
  SECURITY_DESCRIPTOR descriptor_ = {};
  alignas(DWORD) BYTE acl_[512] = {};
};

class FolderAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(everyone_.Create()); }
  mivra::EveryoneSid everyone_;
};

TEST_F(FolderAccessTest, EveryoneSidIsTheWorldSid) { EXPECT_EQ(SidText(everyone_.get()), kEveryone); }

TEST_F(FolderAccessTest, IsNative64BitOnThisMachine) { EXPECT_TRUE(mivra::IsNative64Bit()); }

TEST_F(FolderAccessTest, FolderGetsInheritOnlyThenOwnAceForEveryoneWhateverItHadBefore) {
  const std::vector<Ace> expected = {
      {ACCESS_ALLOWED_ACE_TYPE, kInheritOnlyForChildren, GENERIC_ALL, kEveryone},
      {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, kEveryone},
  };
  struct DaclCase {
    const char* name;
    OldDacl dacl;
  };
  // Without a DACL, or with an empty one, the old list leaves no room for the second ACE; the new
  // list is sized for both all the same.
  const DaclCase kCases[] = {{"no DACL", OldDacl::kNone},
                             {"null DACL", OldDacl::kNull},
                             {"empty DACL", OldDacl::kEmpty},
                             {"three ACEs, none carried over", OldDacl::kThreeAces}};
  for (const DaclCase& c : kCases) {
    SCOPED_TRACE(c.name);
    CurrentDescriptor current(c.dacl, 0);
    EveryoneAccessDescriptor built;
    ASSERT_TRUE(built.Build(current.get(), everyone_.get(), true));
    EXPECT_EQ(DaclOf(built.get()), expected);
  }
}

TEST_F(FolderAccessTest, FileGetsOneAceForEveryone) {
  const std::vector<Ace> expected = {{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, kEveryone}};
  for (OldDacl dacl : {OldDacl::kNone, OldDacl::kThreeAces}) {
    CurrentDescriptor current(dacl, 0);
    EveryoneAccessDescriptor built;
    ASSERT_TRUE(built.Build(current.get(), everyone_.get(), false));
    EXPECT_EQ(DaclOf(built.get()), expected);
  }
}

TEST_F(FolderAccessTest, ControlFlagsFollowTheCurrentDescriptor) {
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
    CurrentDescriptor current(OldDacl::kThreeAces, c.current);
    ASSERT_EQ(ControlOf(current.get()) & kInheritanceBits, c.current) << "the case is set up as meant";
    EveryoneAccessDescriptor built;
    ASSERT_TRUE(built.Build(current.get(), everyone_.get(), true));
    EXPECT_EQ(ControlOf(built.get()) & kInheritanceBits, c.built);
  }
}

TEST_F(FolderAccessTest, BuildsFromTheDescriptorTheSystemReportsForAFolder) {
  const std::wstring folder = mivra_test::ExeFolder();
  DWORD needed = 0;
  GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  ASSERT_GT(needed, 0u);
  std::vector<BYTE> current(needed);
  ASSERT_TRUE(GetFileSecurityW(folder.c_str(), DACL_SECURITY_INFORMATION, current.data(), needed, &needed));

  EveryoneAccessDescriptor built;
  ASSERT_TRUE(built.Build(current.data(), everyone_.get(), true));
  const std::vector<Ace> aces = DaclOf(built.get());
  ASSERT_EQ(aces.size(), 2u);
  EXPECT_EQ(aces[0].flags, kInheritOnlyForChildren);
  EXPECT_EQ(aces[1].flags, 0);
}

// What ApplyFolderAccess writes, caught at the platform table: Wine keeps no DACL to read back.
std::vector<std::vector<Ace>> g_written;

BOOL WINAPI CatchWrite(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor) {
  g_written.push_back(DaclOf(descriptor));
  return TRUE;
}

TEST_F(FolderAccessTest, AppliesTheBuiltDescriptorOnlyWhenTheCurrentOneCanBeRead) {
  const std::wstring folder = mivra_test::ExeFolder();
  const std::wstring file = folder + L"folder_access_test.dat";
  mivra_test::WriteFileBytes(file, "x");
  const std::vector<Ace> forFolder = {{ACCESS_ALLOWED_ACE_TYPE, kInheritOnlyForChildren, GENERIC_ALL, kEveryone},
                                      {ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, kEveryone}};
  const std::vector<Ace> forFile = {{ACCESS_ALLOWED_ACE_TYPE, 0, GENERIC_ALL, kEveryone}};
  struct ApplyCase {
    const char* name;
    std::wstring path;
    bool readable;
    std::vector<std::vector<Ace>> written;
  };
  const ApplyCase kCases[] = {
      {"folder", folder, true, {forFolder}},
      {"file", file, true, {forFile}},
      {"descriptor unreadable", folder, false, {}},
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
  DeleteFileW(file.c_str());
}

TEST_F(FolderAccessTest, BuildRefusesMissingInputs) {
  CurrentDescriptor current(OldDacl::kNone, 0);
  EveryoneAccessDescriptor built;
  EXPECT_FALSE(built.Build(nullptr, everyone_.get(), true));
  EXPECT_FALSE(built.Build(current.get(), nullptr, true));
}

}  // namespace
