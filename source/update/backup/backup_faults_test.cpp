// Faults that only a broken disk or a missing product library would cause, injected below the
// operation through the platform table.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/backup/add_to_backup.h"
#include "update/backup/backup_file_list.h"
#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_backup.h"
#include "update/backup/remove_from_backup.h"
#include "update/frame/backup_folder.h"
#include "update/frame/product_identity.h"

namespace {

using mivra::AddResult;

std::wstring g_copyPath;
int g_copyReadsLeft = 0;

BOOL WINAPI NoAttributes(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID) {
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

// The verification reads the copy once; every later read of it fails, by either way of hashing.
HANDLE WINAPI CopyReadableOnce(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (access == GENERIC_READ && _wcsicmp(path, g_copyPath.c_str()) == 0 && g_copyReadsLeft-- <= 0) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  return mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

int CopyNeverOpened(const wchar_t* path, int flags, int mode) {
  if (_wcsicmp(path, g_copyPath.c_str()) == 0) return -1;
  return mivra::RealPlatformCalls().wopen(path, flags, mode);
}

class AddToBackupFaultTest : public mivra_test::ProductTest {
 protected:
  void SetUp() override {
    ProductTest::SetUp();
    ASSERT_TRUE(mivra::OpenBkMdata(object_, mivra::BKF_TMPBKUP));
    path_ = InstallPath(L"product.dll");
    mivra_test::WriteFileBytes(path_, "product data");
    g_copyPath = TmpBkupFolder() + L"\\product.dll";
  }
  void TearDown() override {
    object_.Close();
    mivra::ResetProductIdentityCacheForTesting();
  }

  // Records in the staging file.
  size_t Records() const {
    return mivra_test::RecordsOf(mivra_test::kBkLayout, mivra_test::ReadFileBytes(TmpBkupFolder() + L"\\bkmdata.dat")).size();
  }

  MdataObject object_;
  std::wstring path_;
};

TEST_F(AddToBackupFaultTest, UnreadableAttributesFailAfterTheCopyWithoutRecord) {
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::GetFileAttributesExW> attributes(&NoAttributes);
    EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kFileAttributes);
  }
  EXPECT_EQ(Records(), 0u);
  EXPECT_EQ(mivra_test::ReadFileBytes(g_copyPath), "product data");
  EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kAdded);
  EXPECT_EQ(Records(), 1u);
}

// The verification has just digested the copy; the record takes that digest, so a copy that
// can be read only once after copying still makes a complete record.
TEST_F(AddToBackupFaultTest, RecordTakesTheVerifiedDigestWithoutReadingTheCopyAgain) {
  {
    g_copyReadsLeft = 1;
    mivra_test::PlatformOverride<&mivra::PlatformCalls::CreateFileW> create(&CopyReadableOnce);
    mivra_test::PlatformOverride<&mivra::PlatformCalls::wopen> open(&CopyNeverOpened);
    EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kAdded);
  }
  ASSERT_EQ(Records(), 1u);
  const std::string file = mivra_test::ReadFileBytes(TmpBkupFolder() + L"\\bkmdata.dat");
  EXPECT_EQ(mivra_test::RecordsOf(mivra_test::kBkLayout, file)[0].digest, mivra_test::DigestFromHex("186898768546f999d1f5940953006368"));
}

TEST_F(AddToBackupFaultTest, UnknownProductNamesLeaveNoBackupFolder) {
  mivra_test::SetEnv(L"MIVRA_STANDIN_RPI_RESULT", L"0");
  DeleteFileW(InstallPath(L"LBLRES.DLL").c_str());
  mivra::ResetProductIdentityCacheForTesting();
  EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kBackupFolder);
  // Without an object the metadata file cannot be opened either.
  EXPECT_EQ(mivra::AddFileToBackup(nullptr, path_.c_str()), AddResult::kMetadataOpen);
  EXPECT_EQ(Records(), 0u);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
}

// Reads of exactly `g_failingSize` bytes fail once `g_sizedReadsLeft` of them went through.
unsigned g_failingSize = 0;
int g_sizedReadsLeft = 0;
int SizedReadFails(int fd, void* buffer, unsigned count) {
  if (count == g_failingSize && g_sizedReadsLeft-- <= 0) return -1;
  return mivra::RealPlatformCalls().read(fd, buffer, count);
}

int WriteFails(int, const void*, unsigned) { return -1; }

class CommittedBackupFaultTest : public mivra_test::ProductTest {
 protected:
  void SetUp() override {
    ProductTest::SetUp();
    for (const wchar_t* name : {L"a.dll", L"b.dll", L"c.dll"}) {
      mivra_test::WriteFileBytes(InstallPath(name), "data");
      ASSERT_EQ(mivra::AddFileToBackup(nullptr, InstallPath(name).c_str()), AddResult::kAdded);
    }
    before_ = mivra_test::ReadFileBytes(BkupFolder() + L"\\bkmdata.dat");
    ASSERT_EQ(before_.size(), 93u + 3 * 560u);
  }
  std::string Committed() const { return mivra_test::ReadFileBytes(BkupFolder() + L"\\bkmdata.dat"); }

  std::string before_;
};

TEST_F(CommittedBackupFaultTest, RemoveReportsARecordAreaOrRecordThatCannotBeRead) {
  // The record area is read once, by the open, for the CRC and the names together; then one record.
  const struct {
    const char* what;
    unsigned size;
    int passing;
    mivra::RemoveResult result;
  } faults[] = {{"record area", 3 * 560, 0, mivra::RemoveResult::kMetadataOpen},
                {"record", 560, 0, mivra::RemoveResult::kRecordRead}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.what);
    g_failingSize = fault.size;
    g_sizedReadsLeft = fault.passing;
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&SizedReadFails);
    EXPECT_EQ(mivra::RemoveFromCommittedBackup(L"b.dll"), fault.result);
  }
  EXPECT_EQ(Committed(), before_);
  EXPECT_TRUE(mivra_test::FileExists(BkupFolder() + L"\\b.dll"));
}

// A record of another spelling of the same file that cannot be read may hold that file's proven
// state: an add never copies over it (113 for the export), and a removal never deletes the copy it
// may share (112). The copy stays byte for byte.
TEST_F(CommittedBackupFaultTest, UnreadableRecordOfTheSameFileKeepsItsCopy) {
  mivra_test::WriteFileBytes(InstallPath(L"b.dll"), "data, updated since");
  {
    SCOPED_TRACE("add");
    g_failingSize = 560;
    g_sizedReadsLeft = 0;
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&SizedReadFails);
    EXPECT_EQ(mivra::AddFileToBackup(nullptr, InstallPath(L"B.DLL").c_str()), AddResult::kAlreadyRecorded);
  }
  EXPECT_EQ(Committed(), before_);
  EXPECT_EQ(mivra_test::ReadFileBytes(BkupFolder() + L"\\b.dll"), "data");

  SCOPED_TRACE("remove");
  ASSERT_EQ(mivra::AddFileToBackup(nullptr, InstallPath(L"B.DLL").c_str()), AddResult::kAdded);
  const std::string both = Committed();
  {
    // The removed record is read first; the other spelling's, which shares the copy, fails.
    g_failingSize = 560;
    g_sizedReadsLeft = 1;
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&SizedReadFails);
    EXPECT_EQ(mivra::RemoveFromCommittedBackup(L"b.dll"), mivra::RemoveResult::kRecordRead);
  }
  EXPECT_EQ(Committed(), both);
  EXPECT_EQ(mivra_test::ReadFileBytes(BkupFolder() + L"\\b.dll"), "data");
}

TEST_F(CommittedBackupFaultTest, RemoveReportsARecordThatCannotBeWritten) {
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::write> write(&WriteFails);
    EXPECT_EQ(mivra::RemoveFromCommittedBackup(L"b.dll"), mivra::RemoveResult::kRecordWrite);
  }
  EXPECT_EQ(Committed(), before_);
  EXPECT_TRUE(mivra_test::FileExists(BkupFolder() + L"\\b.dll"));
}

TEST_F(CommittedBackupFaultTest, ListReportsARecordThatCannotBeRead) {
  g_failingSize = 560;
  g_sizedReadsLeft = 1;
  mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&SizedReadFails);
  wchar_t* list = nullptr;
  uint32_t count = 0;
  EXPECT_EQ(mivra::ListCommittedBackup(&list, &count), mivra::ListResult::kRecordRead);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(count, 0u);
}

class CommitFaultTest : public mivra_test::ProductTest {};

// Without a committed backup the first move finds nothing to retire; only "not found" says so.
TEST_F(CommitFaultTest, OnlyAMissingCommittedBackupLetsTheCommitGoOn) {
  struct CommitCase {
    const char* name;
    DWORD lastError;  // as read after the failed move of "bkup"
    mivra::CommitResult result;
  };
  const CommitCase kCases[] = {
      {"not found", ERROR_FILE_NOT_FOUND, mivra::CommitResult::kCommitted},
      {"access denied", ERROR_ACCESS_DENIED, mivra::CommitResult::kRenameFailed},
  };
  for (const CommitCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    {
      MdataObject staging;
      ASSERT_TRUE(mivra::OpenBkMdata(staging, mivra::BKF_TMPBKUP));
    }
    ASSERT_FALSE(mivra_test::FileExists(BkupFolder()));
    {
      mivra_test::PlatformFault<&mivra::PlatformCalls::GetLastError> lastError(mivra_test::FaultPlan::Always(),
                                                                              c.lastError);
      EXPECT_EQ(mivra::CommitStagingBackup(), c.result);
      EXPECT_GE(lastError.calls(), 1u);
    }
    EXPECT_EQ(mivra_test::FileExists(BkupFolder()), c.result == mivra::CommitResult::kCommitted);
    EXPECT_EQ(mivra_test::FileExists(TmpBkupFolder()), c.result != mivra::CommitResult::kCommitted);
  }
}

}  // namespace
