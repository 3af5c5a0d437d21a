// The exports linked into the test itself, so that a platform call below them can be made to throw.
#include <gtest/gtest.h>

#include <new>

#include "mivra.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/frame/platform_calls.h"

namespace {

constexpr uint32_t kUntouched = 0xC0DEu;

int ThrowingAccess(const wchar_t*, int) { throw std::bad_alloc(); }
int ThrowingOpen(const wchar_t*, int, int) { throw std::bad_alloc(); }

class ExportGuardTest : public mivra_test::ProductTest {};

TEST_F(ExportGuardTest, ExceptionBelowAnExportBecomesItsFailureValueWithoutCode) {
  mivra_test::PlatformOverride<&mivra::PlatformCalls::waccess> access(&ThrowingAccess);
  mivra_test::PlatformOverride<&mivra::PlatformCalls::wopen> open(&ThrowingOpen);
  const std::wstring path = InstallPath(L"product.dll");
  const uint8_t digest[16] = {};
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&code));
  EXPECT_EQ(MivraCreateBkMdataObject(&code), nullptr);
  EXPECT_EQ(MivraCreateRBMdataObject(&code), nullptr);
  EXPECT_FALSE(MivraAddToBackup(nullptr, path.c_str(), &code));
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, digest, &code));
  EXPECT_FALSE(MivraDeleteRollBackDB(&code));
  EXPECT_FALSE(MivraMarkUpdateStatus(1, &code));
  uint8_t flag = 0;
  EXPECT_FALSE(MivraRollback(0, &flag, &code));
  EXPECT_FALSE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code));
  MivraDeleteBackup(&code);
  EXPECT_EQ(code, kUntouched);
}

}  // namespace
