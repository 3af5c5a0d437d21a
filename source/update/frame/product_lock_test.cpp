#include "update/frame/product_lock.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/caller_process.h"
#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/platform_fault.h"

namespace {

using mivra::ProductLock;
using mivra::ProductLockName;

std::wstring NameOf(const std::wstring& folder, const wchar_t* nameSpace = L"Global\\") {
  wchar_t name[mivra::kPathCapacity];
  if (!ProductLockName(folder, nameSpace, name)) return L"";
  return name;
}

// Waits of the lock cut short, so that a held lock fails a test in a moment rather than a minute.
DWORD WINAPI ShortWait(HANDLE handle, DWORD milliseconds) {
  return mivra::RealPlatformCalls().WaitForSingleObject(handle, milliseconds < 300 ? milliseconds : 300);
}

// Windows reports a lock whose owner died as abandoned; Wine hands it over as plainly free. The
// wait is made to say so, as Windows would.
DWORD WINAPI ReportAbandoned(HANDLE handle, DWORD milliseconds) {
  const DWORD waited = ShortWait(handle, milliseconds);
  return waited == WAIT_OBJECT_0 ? WAIT_ABANDONED : waited;
}

TEST(ProductLockNameTest, OneFolderInAnyLetterCaseNamesOneLockInItsNamespace) {
  const std::wstring folder = L"C:\\Program Files\\Common Files\\Kestrivane\\Corvane";
  const std::wstring name = NameOf(folder);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(name, NameOf(L"c:\\program files\\COMMON FILES\\kestrivane\\corvane"));
  EXPECT_EQ(name.rfind(L"Global\\", 0), 0u) << "in the namespace asked for";
  EXPECT_EQ(name.find(L'\\', 7), std::wstring::npos) << "no further backslash: " << name;
  EXPECT_NE(name, NameOf(L"C:\\Program Files\\Common Files\\Kestrivane\\Corvane Lite"));
  EXPECT_NE(name, NameOf(folder, L"Local\\"));
}

TEST(ProductLockNameTest, FolderTooLongForAnObjectNameIsNamedByItsDigest) {
  const std::wstring longFolder = L"C:\\" + std::wstring(240, L'd') + L"\\Corvane";
  const std::wstring name = NameOf(longFolder);
  ASSERT_FALSE(name.empty());
  EXPECT_LT(name.size(), mivra::kPathCapacity);
  EXPECT_EQ(name, NameOf(L"c:\\" + std::wstring(240, L'D') + L"\\CORVANE"));
  EXPECT_NE(name, NameOf(L"C:\\" + std::wstring(240, L'd') + L"\\Corvand"));
}

class ProductLockTest : public mivra_test::CoreProductTest {
 protected:
  std::wstring LockName() const { return NameOf(BaseFolder()); }
};

TEST_F(ProductLockTest, HeldByAnotherProcessItIsRefusedAfterTheWaitAndTakenOverOnceThatProcessDies) {
  std::unique_ptr<mivra_test::CallerProcess> holder = mivra_test::StartLockHolder(LockName());
  ASSERT_NE(holder, nullptr);
  mivra_test::PlatformOverride<&mivra::PlatformCalls::WaitForSingleObject> shortWait(&ShortWait);

  ProductLock lock;
  EXPECT_EQ(lock.Acquire(), ProductLock::Result::kBusy);
  EXPECT_FALSE(lock.held());

  // Killed while holding it, as a crash would: the lock is abandoned and passes to the next waiter.
  holder->Kill();
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::WaitForSingleObject> abandoned(&ReportAbandoned);
    EXPECT_EQ(lock.Acquire(), ProductLock::Result::kHeld);
    EXPECT_TRUE(lock.held());
  }
  lock.Release();
  EXPECT_FALSE(lock.held());
  EXPECT_NE(mivra_test::StartLockHolder(LockName()), nullptr) << "let go again";
}

TEST_F(ProductLockTest, ReleasedItPassesToTheNextProcess) {
  {
    ProductLock lock;
    ASSERT_EQ(lock.Acquire(), ProductLock::Result::kHeld);
    ASSERT_TRUE(lock.held());
  }
  // Had again and again on one thread, and let go as often: another process gets it.
  ProductLock outer;
  ProductLock inner;
  ASSERT_EQ(outer.Acquire(), ProductLock::Result::kHeld);
  ASSERT_EQ(inner.Acquire(), ProductLock::Result::kHeld);
  inner.Release();
  outer.Release();
  std::unique_ptr<mivra_test::CallerProcess> holder = mivra_test::StartLockHolder(LockName());
  EXPECT_NE(holder, nullptr);
}

// A base folder that cannot be named has no lock to take: the call is refused rather than let go
// on unlocked, and no mutex is even asked for.
TEST_F(ProductLockTest, WithoutAFolderToNameTheLockNothingIsHeldAndTheCallIsRefused) {
  for (const bool namesMissing : {true, false}) {
    SCOPED_TRACE(namesMissing ? "no product names" : "no Common Files folder");
    SetUp();
    if (namesMissing) {
      DeleteFileW(InstallPath(L"prdinf.dll").c_str());
      DeleteFileW(InstallPath(L"LBLRES.DLL").c_str());
    }
    mivra_test::PlatformFault<&mivra::PlatformCalls::SHGetFolderPathW> folder(
        namesMissing ? mivra_test::FaultPlan::Never() : mivra_test::FaultPlan::Always(), E_FAIL);
    mivra_test::PlatformFault<&mivra::PlatformCalls::CreateMutexW> creation(mivra_test::FaultPlan::Never(), nullptr);
    ProductLock lock;
    EXPECT_EQ(lock.Acquire(), ProductLock::Result::kUnnamed);
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(creation.calls(), 0u);
  }
}

// The folders a call works in lie under the Common Files folder its lock was named from, asked
// for once for the whole call.
TEST_F(ProductLockTest, TheCallUnderTheLockAsksForCommonFilesOnce) {
  mivra_test::PlatformFault<&mivra::PlatformCalls::SHGetFolderPathW> lookup(mivra_test::FaultPlan::Never(), E_FAIL);
  wchar_t folder[mivra::kPathCapacity] = {};
  {
    ProductLock lock;
    ASSERT_EQ(lock.Acquire(), ProductLock::Result::kHeld);
    ASSERT_TRUE(mivra::GetBackupFolder(folder, mivra::BKF_BKUP, false));
    EXPECT_EQ(folder, BkupFolder());
    ASSERT_TRUE(mivra::GetBackupFolder(folder, mivra::BKF_BASE, false));
    EXPECT_EQ(lookup.calls(), 1u);
  }
  ASSERT_TRUE(mivra::GetBackupFolder(folder, mivra::BKF_BASE, false));
  EXPECT_EQ(lookup.calls(), 2u) << "the call's answer ends with it";
}

TEST_F(ProductLockTest, LockThatCannotBeCreatedOrWaitedForIsRefused) {
  {
    mivra_test::PlatformFault<&mivra::PlatformCalls::CreateMutexW> creation(mivra_test::FaultPlan::Always(), nullptr);
    ProductLock lock;
    EXPECT_EQ(lock.Acquire(), ProductLock::Result::kBusy);
    EXPECT_FALSE(lock.held());
  }
  mivra_test::PlatformFault<&mivra::PlatformCalls::WaitForSingleObject> wait(mivra_test::FaultPlan::Always(),
                                                                             WAIT_FAILED);
  ProductLock lock;
  EXPECT_EQ(lock.Acquire(), ProductLock::Result::kBusy);
  EXPECT_FALSE(lock.held());
}

}  // namespace
