// Faults that only a broken disk or a missing product library would cause, injected below the
// operation through the platform table.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/backup/add_to_backup.h"
#include "update/backup/bkmdata_store.h"
#include "update/backup/bkmdata_test_file.h"
#include "update/frame/backup_folder.h"
#include "update/frame/product_identity.h"

namespace {

using mivra::AddResult;
using mivra_test::ScopedPlatformCall;

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
    return mivra_test::RecordsOf(mivra_test::ReadFileBytes(TmpBkupFolder() + L"\\bkmdata.dat")).size();
  }

  MdataObject object_;
  std::wstring path_;
};

TEST_F(AddToBackupFaultTest, UnreadableAttributesFailAfterTheCopyWithoutRecord) {
  {
    ScopedPlatformCall attributes(mivra::Platform().GetFileAttributesExW, &NoAttributes);
    EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kFileAttributes);
  }
  EXPECT_EQ(Records(), 0u);
  EXPECT_EQ(mivra_test::ReadFileBytes(g_copyPath), "product data");
  EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kAdded);
  EXPECT_EQ(Records(), 1u);
}

TEST_F(AddToBackupFaultTest, CopyWhoseDigestCannotBeTakenFailsWithoutRecord) {
  {
    g_copyReadsLeft = 1;
    ScopedPlatformCall create(mivra::Platform().CreateFileW, &CopyReadableOnce);
    ScopedPlatformCall open(mivra::Platform().wopen, &CopyNeverOpened);
    EXPECT_EQ(mivra::AddFileToBackup(&object_, path_.c_str()), AddResult::kDigest);
  }
  EXPECT_EQ(Records(), 0u);
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

}  // namespace
