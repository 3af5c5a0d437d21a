// Built into a folder of its own, where no zkstub.dll lies beside the executable.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/deferred_delete_probe.h"
#include "support/file_util.h"
#include "update/frame/deferred_delete.h"

namespace {

using mivra_test::DeferredDeleteProbe;

TEST(DeferredDeleteAbsentTest, SchedulesWithoutTheTrustComponent) {
  ASSERT_FALSE(mivra_test::FileExists(mivra_test::ExeFolder() + L"zkstub.dll"));
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"mivra-deferred-delete-absent.dat";
  mivra_test::WriteFileBytes(path, "data");

  DeferredDeleteProbe probe(L"open");
  EXPECT_NE(mivra::DeleteOnReboot(path.c_str()), 0);
  bool pending = false;
  for (const std::wstring& entry : DeferredDeleteProbe::PendingDeletions()) {
    pending = pending || _wcsicmp(entry.c_str(), path.c_str()) == 0;
  }
  EXPECT_TRUE(pending);
  EXPECT_TRUE(probe.TrustCalls().empty());
  DeleteFileW(path.c_str());
}

}  // namespace
