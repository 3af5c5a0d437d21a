// A failed existence test is no proof of absence: the backup operations either fail the step or,
// where they delete, try the deletion anyway. And a success means that the deletion happened.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/backup/add_to_backup.h"
#include "update/backup/backup_file_list.h"
#include "update/backup/bkmdata_store.h"
#include "support/metadata_file_bytes.h"
#include "update/backup/remove_from_backup.h"
#include "update/backup/staging_backup.h"
#include "update/frame/backup_folder.h"
#include "update/frame/product_identity.h"

namespace {

using mivra::AddResult;
using mivra::RemoveResult;
using mivra_test::AccessFault;
using mivra_test::FaultPlan;
using mivra_test::PlatformFault;
using mivra_test::PlatformOverride;

// The existence-test failures that say nothing about the file.
const DWORD kTestFailures[] = {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_GEN_FAILURE};

class BackupExistenceFaultTest : public mivra_test::ProductTest {
 protected:
  void TearDown() override { mivra::ResetProductIdentityCacheForTesting(); }

  std::string Metadata(const std::wstring& folder) const {
    return mivra_test::ReadFileBytes(folder + L"\\bkmdata.dat");
  }
  std::vector<mivra_test::MetadataRecord> RecordsIn(const std::wstring& folder) const {
    return mivra_test::RecordsOf(mivra_test::kBkLayout, Metadata(folder));
  }
  size_t Records(const std::wstring& folder) const { return RecordsIn(folder).size(); }

  // A committed backup of a.dll and b.dll.
  void CommitTwo() {
    for (const wchar_t* name : {L"a.dll", L"b.dll"}) {
      mivra_test::WriteFileBytes(InstallPath(name), "data");
      ASSERT_EQ(mivra::AddFileToBackup(nullptr, InstallPath(name).c_str()), AddResult::kAdded);
    }
  }
};

TEST_F(BackupExistenceFaultTest, AddFailsWithoutRecordWhenExistenceCannotBeTold) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_TMPBKUP));
  const std::wstring path = InstallPath(L"product.dll");
  mivra_test::WriteFileBytes(path, "product data");
  for (DWORD error : kTestFailures) {
    AccessFault access(path, error);
    EXPECT_EQ(mivra::AddFileToBackup(&object, path.c_str()), AddResult::kFileAttributes) << error;
  }
  EXPECT_EQ(Records(TmpBkupFolder()), 0u);
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder() + L"\\product.dll"));

  // Only "not found" records a file as absent.
  const std::wstring missing = InstallPath(L"added.dll");
  {
    AccessFault access(missing, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(mivra::AddFileToBackup(&object, missing.c_str()), AddResult::kAdded);
  }
  EXPECT_EQ(mivra::AddFileToBackup(&object, path.c_str()), AddResult::kAdded);
  const std::vector<mivra_test::MetadataRecord> records = RecordsIn(TmpBkupFolder());
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].flags, mivra::BKREC_ABSENT);
  EXPECT_EQ(records[1].flags, 0u);
  EXPECT_EQ(mivra_test::ReadFileBytes(TmpBkupFolder() + L"\\product.dll"), "product data");
}

TEST_F(BackupExistenceFaultTest, LeftoverStagingFolderGoesEvenWhenItsTestFails) {
  MdataObject first;
  ASSERT_EQ(mivra::StartStagingBackup(first), mivra::StagingResult::kStarted);
  mivra_test::WriteFileBytes(InstallPath(L"stale.dll"), "stale");
  ASSERT_EQ(mivra::AddFileToBackup(&first, InstallPath(L"stale.dll").c_str()), AddResult::kAdded);
  first.Close();

  for (DWORD error : kTestFailures) {
    AccessFault access(TmpBkupFolder(), error);
    MdataObject next;
    ASSERT_EQ(mivra::StartStagingBackup(next), mivra::StagingResult::kStarted) << error;
  }
  EXPECT_EQ(Metadata(TmpBkupFolder()).size(), 93u);
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder() + L"\\stale.dll"));
}

TEST_F(BackupExistenceFaultTest, ListingFailsWhenTheBackupFolderCannotBeTested) {
  CommitTwo();
  wchar_t* list = nullptr;
  uint32_t count = 0;
  {
    AccessFault access(BkupFolder(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(mivra::ListCommittedBackup(&list, &count), mivra::ListResult::kBackupFolder);
  }
  {
    AccessFault access(BkupFolder(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(mivra::ListCommittedBackup(&list, &count), mivra::ListResult::kNoBackup);
  }
  EXPECT_EQ(list, nullptr);
}

BOOL WINAPI ScheduleAccepted(LPCWSTR, LPCWSTR, DWORD) { return TRUE; }
BOOL WINAPI ScheduleRefused(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

TEST_F(BackupExistenceFaultTest, RemoveSucceedsOnlyWhenTheCopyIsDeletedOrScheduled) {
  CommitTwo();
  const std::wstring copy = BkupFolder() + L"\\b.dll";
  struct RemoveCase {
    const char* what;
    DWORD accessError;
    DWORD deleteError;
    bool scheduleAccepted;
    RemoveResult result;
    bool copyLeft;
  };
  const RemoveCase kCases[] = {
      {"in use, neither deleted nor scheduled", 0, ERROR_SHARING_VIOLATION, false, RemoveResult::kCopyDelete, true},
      {"in use, scheduled", 0, ERROR_SHARING_VIOLATION, true, RemoveResult::kRemoved, true},
      {"existence test denied", ERROR_ACCESS_DENIED, 0, false, RemoveResult::kRemoved, false},
  };
  for (const RemoveCase& c : kCases) {
    SCOPED_TRACE(c.what);
    mivra_test::WriteFileBytes(copy, "data");
    {
      AccessFault access(c.accessError ? copy : L"", c.accessError);
      PlatformFault<&mivra::PlatformCalls::DeleteFileW> remove(
          c.deleteError ? FaultPlan::Always() : FaultPlan::Never(), FALSE, c.deleteError);
      PlatformOverride<&mivra::PlatformCalls::MoveFileExW> schedule(c.scheduleAccepted ? &ScheduleAccepted
                                                                                       : &ScheduleRefused);
      EXPECT_EQ(mivra::RemoveFromCommittedBackup(L"b.dll"), c.result);
    }
    EXPECT_EQ(mivra_test::FileExists(copy), c.copyLeft);
    // The record is marked whatever became of the copy; a later removal tries the copy again.
    EXPECT_EQ(RecordsIn(BkupFolder())[1].flags, mivra::BKREC_REMOVED);
  }
}

TEST_F(BackupExistenceFaultTest, ExistingMetadataIsNeverWrittenOverByACreate) {
  CommitTwo();
  const std::string before = Metadata(BkupFolder());
  const std::wstring path = BkupFolder() + L"\\bkmdata.dat";
  // Tests that say nothing, and a first test that says "not found" of a file that appears (or is
  // found) at once: each opens the file as it is.
  struct OpenCase {
    DWORD error;
    uint32_t times;
  };
  const OpenCase kCases[] = {{ERROR_ACCESS_DENIED, UINT32_MAX},
                             {ERROR_SHARING_VIOLATION, UINT32_MAX},
                             {ERROR_GEN_FAILURE, UINT32_MAX},
                             {ERROR_FILE_NOT_FOUND, 1}};
  for (const OpenCase& c : kCases) {
    AccessFault access(path, c.error, c.times);
    MdataObject object;
    EXPECT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP)) << c.error;
    uint32_t index = 0;
    EXPECT_TRUE(mivra::FindBkRecord(object, L"b.dll", &index)) << c.error;
    EXPECT_EQ(index, 1u) << c.error;
  }
  EXPECT_EQ(Metadata(BkupFolder()), before);
}

}  // namespace
