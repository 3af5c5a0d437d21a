// Codes that only a fault below an export can bring about, with the exports linked into the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "mivra.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/frame/platform_calls.h"

namespace {

constexpr uint32_t kUntouched = 0xC0DEu;

BOOL WINAPI ScheduleRefused(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

class ExportCodesTest : public mivra_test::ProductTest {};

// A removed file's copy that can be neither deleted nor scheduled for deletion keeps its old code,
// 108, which the README names for it; the record stays marked, and a later removal succeeds.
TEST_F(ExportCodesTest, RemovalWhoseCopyCannotGoGives108) {
  mivra_test::WriteFileBytes(InstallPath(L"a.dll"), "alpha");
  uint32_t code = kUntouched;
  MdataObject* staging = MivraCreateBkMdataObject(&code);
  ASSERT_NE(staging, nullptr);
  ASSERT_TRUE(MivraAddToBackup(staging, InstallPath(L"a.dll").c_str(), &code));
  MivraDeleteBkMdataObject(staging);
  ASSERT_TRUE(MivraCommitBackup(&code));
  const std::wstring copy = BkupFolder() + L"\\a.dll";
  ASSERT_TRUE(mivra_test::FileExists(copy));
  {
    mivra_test::PlatformFault<&mivra::PlatformCalls::DeleteFileW> remove(mivra_test::FaultPlan::Always(), FALSE,
                                                                          ERROR_SHARING_VIOLATION);
    mivra_test::PlatformOverride<&mivra::PlatformCalls::MoveFileExW> schedule(&ScheduleRefused);
    EXPECT_FALSE(MivraRemoveFromBackup(L"a.dll", &code));
    EXPECT_EQ(code, MIVRA_E_FOLDER_DELETE);
  }
  EXPECT_TRUE(mivra_test::FileExists(copy));
  code = kUntouched;
  EXPECT_TRUE(MivraRemoveFromBackup(L"a.dll", &code));
  EXPECT_EQ(code, kUntouched);
  EXPECT_FALSE(mivra_test::FileExists(copy));
}

}  // namespace
