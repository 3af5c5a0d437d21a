#include "update/frame/file_owner.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/access_rights.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/frame/scoped_handles.h"

namespace {

using mivra::OwnerTrust;

std::vector<BYTE> SidFromText(const wchar_t* text) {
  PSID sid = nullptr;
  if (!ConvertStringSidToSidW(text, &sid)) return {};
  std::vector<BYTE> bytes(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + GetLengthSid(sid));
  LocalFree(sid);
  return bytes;
}

std::wstring ProcessUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return L"";
  BYTE information[256] = {};
  DWORD needed = 0;
  const BOOL read = GetTokenInformation(token, TokenUser, information, sizeof(information), &needed);
  CloseHandle(token);
  return read ? mivra_test::SidText(reinterpret_cast<TOKEN_USER*>(information)->User.Sid) : L"";
}

TEST(FileOwnerTest, TrustsSystemAdministratorsTrustedInstallerAndTheCallersOwnUser) {
  const std::wstring user = ProcessUserSid();
  ASSERT_FALSE(user.empty());
  struct OwnerCase {
    std::wstring sid;
    bool trusted;
  };
  const OwnerCase kCases[] = {
      {L"S-1-5-18", true},
      {L"S-1-5-32-544", true},
      {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true},
      {user, true},
      {L"S-1-5-7", false},                          // an unknown user, as Wine reads a foreign uid
      {L"S-1-1-0", false},                          // Everyone
      {L"S-1-5-32-545", false},                     // Users
      {L"S-1-5-21-1004336348-1177238915-682003330-1001", false},  // another account
      {L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478465", false},  // another service
  };
  for (const OwnerCase& c : kCases) {
    SCOPED_TRACE(std::string(c.sid.begin(), c.sid.end()));
    std::vector<BYTE> sid = SidFromText(c.sid.c_str());
    ASSERT_FALSE(sid.empty());
    EXPECT_EQ(mivra::IsTrustedOwner(sid.data()), c.trusted);
  }
  EXPECT_FALSE(mivra::IsTrustedOwner(nullptr));
}

class FileOwnerOnDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = mivra_test::ExeFolder() + L"file_owner_test.dat";
    DeleteFileW(path_.c_str());
    mivra_test::WriteFileBytes(path_, "mine");
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

  // The owner judged by name, and through a handle open for reading.
  std::pair<OwnerTrust, OwnerTrust> JudgedBothWays() const {
    mivra::ScopedHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(file);
    return {mivra::CheckFileOwner(path_.c_str()), mivra::CheckOpenedFileOwner(file.get(), path_.c_str())};
  }
  std::wstring path_;
};

std::pair<OwnerTrust, OwnerTrust> Both(OwnerTrust trust) { return {trust, trust}; }

TEST_F(FileOwnerOnDiskTest, AFileThisProcessMadeIsTrusted) { EXPECT_EQ(JudgedBothWays(), Both(OwnerTrust::kTrusted)); }

TEST_F(FileOwnerOnDiskTest, AFileGivenToAnotherUserIsForeign) {
  ASSERT_TRUE(mivra_test::MayChangeUnixOwner()) << "the tests run as root";
  ASSERT_TRUE(mivra_test::ChangeUnixOwner(path_, 4242));
  EXPECT_EQ(JudgedBothWays(), Both(OwnerTrust::kForeign));
}

TEST_F(FileOwnerOnDiskTest, AnOwnerThatCannotBeReadIsNoVerdict) {
  EXPECT_EQ(mivra::CheckFileOwner((path_ + L".missing").c_str()), OwnerTrust::kUnknown);
  EXPECT_EQ(mivra::CheckFileOwner(nullptr), OwnerTrust::kUnknown);
  EXPECT_EQ(mivra::CheckOpenedFileOwner(nullptr, path_.c_str()), OwnerTrust::kUnknown);
  EXPECT_EQ(mivra::CheckOpenedFileOwner(INVALID_HANDLE_VALUE, path_.c_str()), OwnerTrust::kUnknown);
  mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileSecurityW> byName(mivra_test::FaultPlan::Always(), FALSE,
                                                                            ERROR_ACCESS_DENIED);
  mivra_test::PlatformFault<&mivra::PlatformCalls::GetKernelObjectSecurity> byHandle(mivra_test::FaultPlan::Always(),
                                                                                     FALSE, ERROR_ACCESS_DENIED);
  EXPECT_EQ(JudgedBothWays(), Both(OwnerTrust::kUnknown));
}

}  // namespace
