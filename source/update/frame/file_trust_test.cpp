// Whether the library may use a file in its folders: the link is told first, and the owner of a
// link is never asked (under Wine a link's owner would be that of what it points to).
#include "update/frame/file_trust.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/file_util.h"
#include "support/linked_files.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/frame/platform_calls.h"

namespace {

using mivra::FileTrust;
using mivra_test::FaultPlan;

class FileTrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = mivra_test::ExeFolder() + L"file_trust_test";
    TearDown();
    mivra_test::MakeFolder(root_ + L"\\elsewhere");
    mivra_test::WriteFileBytes(Plain(), "mine");
  }
  void TearDown() override {
    mivra_test::RemoveUnixSymlink(root_ + L"\\linked");
    mivra_test::RemoveTree(root_);
  }
  std::wstring Plain() const { return root_ + L"\\plain.dat"; }

  std::wstring root_;
};

TEST_F(FileTrustTest, OnlyAPlainFileOfATrustedOwnerIsTheLibrarys) {
  ASSERT_TRUE(mivra_test::MayChangeUnixOwner()) << "the tests run as root";
  const std::wstring foreign = root_ + L"\\foreign.dat";
  mivra_test::WriteFileBytes(foreign, "planted");
  ASSERT_TRUE(mivra_test::ChangeUnixOwner(foreign, 4242));
  const std::wstring linked = root_ + L"\\linked";
  ASSERT_TRUE(mivra_test::MakeUnixSymlink(root_ + L"\\elsewhere", linked));

  struct TrustCase {
    const char* what;
    std::wstring path;
    FileTrust trust;
  };
  const TrustCase kCases[] = {
      {"plain file", Plain(), FileTrust::kTrusted},
      {"missing file", root_ + L"\\missing.dat", FileTrust::kAbsent},
      {"missing folder on the way", root_ + L"\\missing\\inner.dat", FileTrust::kAbsent},
      {"another user's file", foreign, FileTrust::kForeign},
      {"link to a folder", linked, FileTrust::kLink},
  };
  for (const TrustCase& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(mivra::JudgeLibraryFile(c.path.c_str()), c.trust);
  }
  {
    // A link to a file, as Windows shows one; Wine shows it as a plain file.
    mivra_test::FilesReadAsLinks links({Plain()});
    mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileSecurityW> owner(FaultPlan::Never(), FALSE);
    EXPECT_EQ(mivra::JudgeLibraryFile(Plain().c_str()), FileTrust::kLink);
    EXPECT_EQ(owner.calls(), 0u) << "the owner of a link is never asked";
  }
  {
    mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileAttributesW> kind(FaultPlan::Always(),
                                                                              INVALID_FILE_ATTRIBUTES,
                                                                              ERROR_ACCESS_DENIED);
    EXPECT_EQ(mivra::JudgeLibraryFile(Plain().c_str()), FileTrust::kUnknown) << "what it is cannot be told";
  }
  mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileSecurityW> owner(FaultPlan::Always(), FALSE,
                                                                          ERROR_ACCESS_DENIED);
  EXPECT_EQ(mivra::JudgeLibraryFile(Plain().c_str()), FileTrust::kUnknown) << "whose it is cannot be told";
  EXPECT_EQ(mivra::JudgeLibraryFile(foreign.c_str()), FileTrust::kUnknown);
}

}  // namespace
