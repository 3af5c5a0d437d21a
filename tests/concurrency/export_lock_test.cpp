// The exports under the product lock, linked into the test so that the lock's wait can be cut
// short through the platform layer; the lock is held by another process.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mivra.h"
#include "support/caller_process.h"
#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "update/frame/platform_calls.h"
#include "update/frame/product_lock.h"

namespace {

constexpr uint32_t kUntouched = 0xC0DEu;

DWORD WINAPI ShortWait(HANDLE handle, DWORD milliseconds) {
  return mivra::RealPlatformCalls().WaitForSingleObject(handle, milliseconds < 300 ? milliseconds : 300);
}

// Every file under `folder` with its length and CRC, keyed by its path below the folder.
void Snapshot(const std::wstring& folder, const std::wstring& below, std::map<std::wstring, std::string>* files) {
  WIN32_FIND_DATAW data = {};
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*files)[below + name + L"\\"] = "";
      Snapshot(folder + L"\\" + name, below + name + L"\\", files);
    } else {
      const std::string bytes = mivra_test::ReadFileBytes(folder + L"\\" + name);
      (*files)[below + name] = std::to_string(bytes.size()) + " bytes, CRC " +
                               std::to_string(mivra_test::ReferenceCrc32(bytes));
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

class ExportLockTest : public mivra_test::CoreProductTest {
 protected:
  void SetUp() override {
    CoreProductTest::SetUp();
    mivra_test::WriteFileBytes(InstallPath(L"product.dll"), "product 1.0");
    uint32_t code = kUntouched;
    MdataObject* staging = MivraCreateBkMdataObject(&code);
    ASSERT_NE(staging, nullptr) << code;
    ASSERT_TRUE(MivraAddToBackup(staging, InstallPath(L"product.dll").c_str(), &code)) << code;
    MivraDeleteBkMdataObject(staging);
    ASSERT_TRUE(MivraCommitBackup(&code)) << code;
    ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(L"product.dll").c_str(), 11, kDigest, &code)) << code;
    ASSERT_TRUE(MivraMarkUpdateStatus(1, &code)) << code;
  }

  // A staging and a database object, made while the lock is free.
  void MakeObjects() {
    uint32_t code = kUntouched;
    staging_ = MivraCreateBkMdataObject(&code);
    ASSERT_NE(staging_, nullptr) << code;
    database_ = MivraCreateRBMdataObject(&code);
    ASSERT_NE(database_, nullptr) << code;
  }

  // The objects work again once the lock can be had, and are freed (one function for both kinds).
  void ExpectObjectsWorkAgain() {
    uint32_t code = kUntouched;
    EXPECT_TRUE(MivraUpdateRollBackDB(database_, InstallPath(L"product.dll").c_str(), 11, kDigest, &code)) << code;
    EXPECT_TRUE(MivraAddToBackup(staging_, InstallPath(L"product.dll").c_str(), &code)) << code;
    MivraDeleteBkMdataObject(staging_);
    MivraDeleteBkMdataObject(database_);
  }

  MdataObject* staging_ = nullptr;
  MdataObject* database_ = nullptr;

  std::map<std::wstring, std::string> Files() const {
    std::map<std::wstring, std::string> files;
    Snapshot(BaseFolder(), L"", &files);
    Snapshot(InstallDir().substr(0, InstallDir().size() - 1), L"install\\", &files);
    return files;
  }

  std::wstring LockName() const {
    wchar_t name[mivra::kPathCapacity];
    return mivra::ProductLockName(BaseFolder(), L"Global\\", name) ? name : L"";
  }

  static constexpr uint8_t kDigest[16] = {1, 2, 3};
};

struct LockedCall {
  const char* what;
  uint32_t code;         // when the lock is held elsewhere, or cannot be made or waited for
  uint32_t unnamedCode;  // when the lock cannot be named: the code of a call whose folders are not had
  // Makes the call; false when it reported failure.
  std::function<bool(uint32_t*)> call;
};

const uint8_t kCallDigest[16] = {1, 2, 3};

// Every export that takes the lock, the object calls on the objects given.
std::vector<LockedCall> EveryLockedCall(const std::wstring& path, MdataObject* staging, MdataObject* database) {
  return {
      {"add", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BKMDATA_OPEN,
       [path](uint32_t* c) { return MivraAddToBackup(nullptr, path.c_str(), c); }},
      {"add to object", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER,
       [path, staging](uint32_t* c) { return MivraAddToBackup(staging, path.c_str(), c); }},
      {"remove", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER,
       [](uint32_t* c) { return MivraRemoveFromBackup(L"product.dll", c); }},
      {"delete backup", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER,
       [](uint32_t* c) { MivraDeleteBackup(c); return *c == kUntouched; }},
      {"commit", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER, [](uint32_t* c) { return MivraCommitBackup(c); }},
      {"create staging", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER,
       [](uint32_t* c) { return MivraCreateBkMdataObject(c) != nullptr; }},
      {"list", MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER, [](uint32_t* c) {
         wchar_t* list = nullptr;
         uint32_t count = 0;
         return MivraGetBkMdataFileList(&list, &count, c);
       }},
      {"mark status", MIVRA_E_RBMDATA_OPEN, MIVRA_E_RBMDATA_OPEN, [](uint32_t* c) { return MivraMarkUpdateStatus(2, c); }},
      {"create database", MIVRA_E_RBMDATA_OPEN, MIVRA_E_RBMDATA_OPEN,
       [](uint32_t* c) { return MivraCreateRBMdataObject(c) != nullptr; }},
      {"register", MIVRA_E_RBMDATA_OPEN, MIVRA_E_RBMDATA_OPEN,
       [path](uint32_t* c) { return MivraUpdateRollBackDB(nullptr, path.c_str(), 11, kCallDigest, c); }},
      {"register to object", MIVRA_E_RBMDATA_OPEN, MIVRA_E_RBMDATA_OPEN,
       [path, database](uint32_t* c) { return MivraUpdateRollBackDB(database, path.c_str(), 11, kCallDigest, c); }},
      {"delete database", MIVRA_E_RBMDATA_OPEN, MIVRA_E_BACKUP_FOLDER,
       [](uint32_t* c) { return MivraDeleteRollBackDB(c); }},
      {"query", MIVRA_E_RBMDATA_OPEN, MIVRA_E_RBMDATA_OPEN, [](uint32_t* c) {
         uint8_t needed = 0;
         return MivraRollback(MIVRA_ROLLBACK_INTERRUPTED, &needed, c);
       }},
      {"rollback", MIVRA_E_RBMDATA_OPEN, MIVRA_E_RBMDATA_OPEN,
       [](uint32_t* c) { return MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, c); }},
  };
}

TEST_F(ExportLockTest, CallWhileAnotherProcessHoldsTheLockFailsWithItsOpenCodeAndTouchesNothing) {
  uint32_t code = kUntouched;
  // Objects made before the other process took the lock: their calls wait for it all the same.
  ASSERT_NO_FATAL_FAILURE(MakeObjects());
  const std::vector<LockedCall> calls = EveryLockedCall(InstallPath(L"product.dll"), staging_, database_);

  const std::map<std::wstring, std::string> before = Files();
  {
    std::unique_ptr<mivra_test::CallerProcess> holder = mivra_test::StartLockHolder(LockName());
    ASSERT_NE(holder, nullptr);
    mivra_test::PlatformOverride<&mivra::PlatformCalls::WaitForSingleObject> shortWait(&ShortWait);
    for (const LockedCall& locked : calls) {
      code = kUntouched;
      EXPECT_FALSE(locked.call(&code)) << locked.what;
      EXPECT_EQ(code, locked.code) << locked.what;
    }
    EXPECT_EQ(Files(), before);

    // The switch is read before the lock is asked for.
    WriteSwitchFile("[UPDATE]\nMIVRA=0\n");
    code = kUntouched;
    EXPECT_FALSE(MivraCommitBackup(&code));
    EXPECT_EQ(code, MIVRA_E_FEATURE_OFF);
    WriteSwitchFile(nullptr);
  }

  // Once the other process is gone, the same objects work again.
  ExpectObjectsWorkAgain();
}

// A lock that cannot be taken (the mutex cannot be made or waited for) fails the call as one held
// elsewhere does; a lock that cannot be named (no Common Files folder) fails it at once with the
// code the call gives when its folders cannot be resolved. Either way nothing is read or written:
// no file is opened, and the objects made before work again afterwards.
TEST_F(ExportLockTest, CallWithoutTheLockFailsAtOnceAndOpensNothing) {
  uint32_t code = kUntouched;
  ASSERT_NO_FATAL_FAILURE(MakeObjects());
  const std::vector<LockedCall> calls = EveryLockedCall(InstallPath(L"product.dll"), staging_, database_);

  const std::map<std::wstring, std::string> before = Files();
  for (const char* cause : {"mutex not made", "mutex not waited for", "no Common Files folder"}) {
    const std::string why = cause;
    using mivra_test::FaultPlan;
    mivra_test::PlatformFault<&mivra::PlatformCalls::CreateMutexW> creation(
        why == "mutex not made" ? FaultPlan::Always() : FaultPlan::Never(), nullptr);
    mivra_test::PlatformFault<&mivra::PlatformCalls::WaitForSingleObject> wait(
        why == "mutex not waited for" ? FaultPlan::Always() : FaultPlan::Never(), WAIT_FAILED);
    mivra_test::PlatformFault<&mivra::PlatformCalls::SHGetFolderPathW> folder(
        why == "no Common Files folder" ? FaultPlan::Always() : FaultPlan::Never(), E_FAIL);
    mivra_test::PlatformFault<&mivra::PlatformCalls::wopen> opens(FaultPlan::Never(), -1);
    mivra_test::PlatformFault<&mivra::PlatformCalls::CreateFileW> handles(FaultPlan::Never(), INVALID_HANDLE_VALUE);
    for (const LockedCall& call : calls) {
      code = kUntouched;
      EXPECT_FALSE(call.call(&code)) << cause << ": " << call.what;
      EXPECT_EQ(code, why == "no Common Files folder" ? call.unnamedCode : call.code) << cause << ": " << call.what;
    }
    EXPECT_EQ(opens.calls(), 0u) << cause;
    EXPECT_EQ(handles.calls(), 0u) << cause;
  }
  EXPECT_EQ(Files(), before);
  ExpectObjectsWorkAgain();
}

TEST_F(ExportLockTest, CallsMadeWhileThisThreadHoldsTheLockGoThrough) {
  mivra_test::PlatformOverride<&mivra::PlatformCalls::WaitForSingleObject> shortWait(&ShortWait);
  mivra::ProductLock lock;
  ASSERT_EQ(lock.Acquire(), mivra::ProductLock::Result::kHeld);
  ASSERT_TRUE(lock.held());
  uint32_t code = kUntouched;
  EXPECT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(L"product.dll").c_str(), 11, kDigest, &code));
  wchar_t* list = nullptr;
  uint32_t count = 0;
  EXPECT_TRUE(MivraGetBkMdataFileList(&list, &count, &code));
  EXPECT_EQ(count, 1u);
  MivraFreeBkMdataFileList(list);
  EXPECT_EQ(code, kUntouched);
  // The calls let go of what they took: this thread still holds the lock, and after this release
  // another process can have it.
  lock.Release();
  EXPECT_NE(mivra_test::StartLockHolder(LockName()), nullptr);
}

}  // namespace
