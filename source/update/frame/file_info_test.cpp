// Existence tests and deletions that meet faults: only "not found" is absence.
#include "update/frame/file_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/file_util.h"
#include "support/platform_fault.h"
#include "update/frame/deferred_delete.h"

namespace {

using mivra::DeleteOutcome;
using mivra::PathState;
using mivra_test::FaultPlan;
using mivra_test::PlatformFault;
using mivra_test::PlatformOverride;

class FileInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = mivra_test::ExeFolder() + L"file_info_test";
    mivra_test::RemoveTree(folder_);
    mivra_test::MakeFolder(folder_);
    file_ = folder_ + L"\\there.txt";
    mivra_test::WriteFileBytes(file_, "there");
  }
  void TearDown() override { mivra_test::RemoveTree(folder_); }

  std::wstring folder_;
  std::wstring file_;
};

TEST_F(FileInfoTest, OnlyNotFoundIsAbsence) {
  EXPECT_EQ(mivra::ProbePath(file_.c_str()), PathState::kPresent);
  EXPECT_EQ(mivra::ProbePath(folder_.c_str()), PathState::kPresent);
  EXPECT_EQ(mivra::ProbePath((folder_ + L"\\missing.txt").c_str()), PathState::kAbsent);
  EXPECT_EQ(mivra::ProbePath((folder_ + L"\\no folder\\missing.txt").c_str()), PathState::kAbsent);

  struct FaultCase {
    DWORD error;
    PathState state;
  };
  const FaultCase kFaults[] = {{ERROR_FILE_NOT_FOUND, PathState::kAbsent},
                               {ERROR_PATH_NOT_FOUND, PathState::kAbsent},
                               {ERROR_ACCESS_DENIED, PathState::kUnknown},
                               {ERROR_SHARING_VIOLATION, PathState::kUnknown},
                               {ERROR_GEN_FAILURE, PathState::kUnknown}};
  for (const FaultCase& c : kFaults) {
    PlatformFault<&mivra::PlatformCalls::waccess> access(FaultPlan::Always(), -1, c.error);
    EXPECT_EQ(mivra::ProbePath(file_.c_str()), c.state) << c.error;
    EXPECT_FALSE(mivra::PathExists(file_.c_str())) << c.error;
  }
}

TEST_F(FileInfoTest, AttributesTellAMissingFileFromAnUnreadableOne) {
  uint32_t size = 0;
  mivra::SystemTime16 time = {};
  EXPECT_EQ(mivra::ReadPresentFileSizeAndTime(file_.c_str(), &size, &time), PathState::kPresent);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(mivra::ReadPresentFileSizeAndTime((folder_ + L"\\missing.txt").c_str(), &size, &time),
            PathState::kAbsent);
  PlatformFault<&mivra::PlatformCalls::GetFileAttributesExW> attributes(FaultPlan::Always(), FALSE,
                                                                        ERROR_ACCESS_DENIED);
  EXPECT_EQ(mivra::ReadPresentFileSizeAndTime(file_.c_str(), &size, &time), PathState::kUnknown);
}

BOOL WINAPI ScheduleAccepted(LPCWSTR, LPCWSTR, DWORD) { return TRUE; }
BOOL WINAPI ScheduleRefused(LPCWSTR, LPCWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

TEST_F(FileInfoTest, DeletionIsTriedUnlessTheFileIsProvedAbsent) {
  struct DeleteCase {
    const char* what;
    bool fileThere;
    DWORD accessError;  // 0: the existence test works
    DWORD deleteError;  // 0: the deletion works
    bool scheduleAccepted;
    DeleteOutcome outcome;
    bool fileLeft;
  };
  const DeleteCase kCases[] = {
      {"present", true, 0, 0, true, DeleteOutcome::kDeleted, false},
      {"absent", false, 0, 0, true, DeleteOutcome::kAbsent, false},
      {"test denied, file there", true, ERROR_ACCESS_DENIED, 0, true, DeleteOutcome::kDeleted, false},
      {"test failed, file not there", false, ERROR_GEN_FAILURE, 0, true, DeleteOutcome::kAbsent, false},
      {"in use, scheduled", true, 0, ERROR_SHARING_VIOLATION, true, DeleteOutcome::kScheduled, true},
      {"in use, not scheduled", true, 0, ERROR_SHARING_VIOLATION, false, DeleteOutcome::kFailed, true},
      {"gone meanwhile", true, 0, ERROR_FILE_NOT_FOUND, false, DeleteOutcome::kAbsent, true},
  };
  for (const DeleteCase& c : kCases) {
    SCOPED_TRACE(c.what);
    if (c.fileThere) mivra_test::WriteFileBytes(file_, "there");
    else DeleteFileW(file_.c_str());
    PlatformFault<&mivra::PlatformCalls::waccess> access(c.accessError ? FaultPlan::Always() : FaultPlan::Never(),
                                                         -1, c.accessError);
    PlatformFault<&mivra::PlatformCalls::DeleteFileW> remove(
        c.deleteError ? FaultPlan::Always() : FaultPlan::Never(), FALSE, c.deleteError);
    PlatformOverride<&mivra::PlatformCalls::MoveFileExW> schedule(c.scheduleAccepted ? &ScheduleAccepted
                                                                                     : &ScheduleRefused);
    EXPECT_EQ(mivra::DeleteFileIfPresent(file_.c_str()), c.outcome);
    EXPECT_EQ(mivra_test::FileExists(file_), c.fileLeft);
  }
}

}  // namespace
