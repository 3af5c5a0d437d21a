// The rollback database against failed existence tests and deletions that do not happen.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "mivra.h"
#include "support/platform_fault.h"
#include "update/frame/product_identity.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace {

using mivra_test::AccessFault;
using mivra_test::FaultPlan;
using mivra_test::PlatformFault;
using mivra_test::PlatformOverride;
using rbmdata_test::kUntouched;

BOOL WINAPI ScheduleAccepted(LPCWSTR, LPCWSTR, DWORD) { return TRUE; }
BOOL WINAPI ScheduleRefused(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

class RBDbExistenceFaultTest : public rbmdata_test::RBExportTest {
 protected:
  void TearDown() override { mivra::ResetProductIdentityCacheForTesting(); }
};

TEST_F(RBDbExistenceFaultTest, DeleteSucceedsOnlyWhenTheFileIsDeletedOrScheduled) {
  struct DeleteCase {
    const char* what;
    DWORD accessError;
    DWORD deleteError;
    bool scheduleAccepted;
    bool result;
    uint32_t code;
    bool fileLeft;
  };
  const DeleteCase kCases[] = {
      {"deleted", 0, 0, false, true, kUntouched, false},
      {"existence test denied", ERROR_ACCESS_DENIED, 0, false, true, kUntouched, false},
      {"existence test failed", ERROR_GEN_FAILURE, 0, false, true, kUntouched, false},
      {"in use, scheduled", 0, ERROR_SHARING_VIOLATION, true, true, kUntouched, true},
      {"in use, neither", 0, ERROR_SHARING_VIOLATION, false, false, MIVRA_E_RB_RESET, true},
      {"test denied, in use, neither", ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, false, false, MIVRA_E_RB_RESET,
       true},
  };
  for (const DeleteCase& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteDb(OneRecordDatabase());
    uint32_t code = kUntouched;
    {
      AccessFault access(c.accessError ? DbPath() : L"", c.accessError);
      PlatformFault<&mivra::PlatformCalls::DeleteFileW> remove(
          c.deleteError ? FaultPlan::Always() : FaultPlan::Never(), FALSE, c.deleteError);
      PlatformOverride<&mivra::PlatformCalls::MoveFileExW> schedule(c.scheduleAccepted ? &ScheduleAccepted
                                                                                       : &ScheduleRefused);
      EXPECT_EQ(MivraDeleteRollBackDB(&code), c.result);
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(DbExists(), c.fileLeft);
  }

  // Only a database proved absent is "nothing to delete": false without a code.
  DeleteFileW(DbPath().c_str());
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraDeleteRollBackDB(&code));
  EXPECT_EQ(code, kUntouched);
}

TEST_F(RBDbExistenceFaultTest, ExistingDatabaseIsNeverWrittenOverByACreate) {
  WriteDb(OneRecordDatabase());
  for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_GEN_FAILURE}) {
    AccessFault access(DbPath(), error);
    uint32_t code = kUntouched;
    MdataObject* object = MivraCreateRBMdataObject(&code);
    EXPECT_NE(object, nullptr) << error;
    MivraDeleteBkMdataObject(object);
  }
  {
    // Found at once after a first test that said "not found": opened as it is.
    AccessFault access(DbPath(), ERROR_FILE_NOT_FOUND, 1);
    MdataObject object;
    EXPECT_TRUE(mivra::OpenRBMdata(object));
    uint32_t index = 7;
    EXPECT_TRUE(mivra::FindRBRecord(object, L"kept.dll", &index));
    EXPECT_EQ(index, 0u);
  }
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

}  // namespace
