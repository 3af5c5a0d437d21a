#include "update/rollback/rollback_test_fixture.h"

#include <gtest/gtest.h>

#include "mivra.h"
#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "update/digest/md5.h"

namespace rollback_test {

using mivra_test::kBkAreaOffset;
using mivra_test::kBkLayout;
using mivra_test::kBkStateFlagsAt;
using mivra_test::kRBAreaOffset;
using mivra_test::kRBLayout;
using mivra_test::kRBRollbackCountAt;
using mivra_test::kRBStatusAt;

std::string Md5Of(const std::string& bytes) {
  mivra::CMd5 md5;
  uint8_t digest[16];
  static const uint8_t kEmpty = 0;
  md5.GetBufferMd5(bytes.empty() ? &kEmpty : reinterpret_cast<const uint8_t*>(bytes.data()),
                   static_cast<uint32_t>(bytes.size()), digest);
  return std::string(reinterpret_cast<const char*>(digest), 16);
}

void RollbackTest::SetUp() {
  ProductTest::SetUp();
  mivra_test::SetEnv(L"MIVRA_STANDIN_NTFHUB", nullptr);
  mivra_test::SetEnv(L"MIVRA_STANDIN_NTFHUB_LOG", nullptr);
}

void RollbackTest::Install(const std::wstring& name, const std::string& content) const {
  mivra_test::WriteFileBytes(InstallPath(name), content);
}

std::string RollbackTest::Installed(const std::wstring& name) const {
  return mivra_test::ReadFileBytes(InstallPath(name));
}

bool RollbackTest::IsInstalled(const std::wstring& name) const { return mivra_test::FileExists(InstallPath(name)); }

FILETIME RollbackTest::WriteTimeOf(const std::wstring& name) const {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  GetFileAttributesExW(InstallPath(name).c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

void RollbackTest::SetWriteTime(const std::wstring& name, const FILETIME& time) const {
  HANDLE file = CreateFileW(InstallPath(name).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
}

void RollbackTest::ChangeKeepingTime(const std::wstring& name, const std::string& content) const {
  const FILETIME time = WriteTimeOf(name);
  Install(name, content);
  SetWriteTime(name, time);
}

void RollbackTest::BackUpAndCommit(std::initializer_list<std::wstring> names) const {
  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  ASSERT_NE(object, nullptr) << code;
  for (const std::wstring& name : names) {
    ASSERT_TRUE(MivraAddToBackup(object, InstallPath(name).c_str(), &code)) << code;
  }
  MivraDeleteBkMdataObject(object);
  ASSERT_TRUE(MivraCommitBackup(&code)) << code;
}

void RollbackTest::BackUpThenUpdate() const {
  Install(L"app.exe", "application v1");
  Install(L"data.bin", std::string(5000, 'd'));
  BackUpAndCommit({L"app.exe", L"data.bin", L"new.dll"});
  Install(L"app.exe", "application v2, rather longer");
  DeleteFileW(InstallPath(L"data.bin").c_str());
  Install(L"new.dll", "added by the update");
  Register({L"app.exe", L"new.dll"});
  MarkStatus(2);
}

void RollbackTest::Register(std::initializer_list<std::wstring> names) const {
  for (const std::wstring& name : names) {
    const std::string content = Installed(name);
    const std::string digest = Md5Of(content);
    uint32_t code = kUntouched;
    ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(name).c_str(), static_cast<uint32_t>(content.size()),
                                      reinterpret_cast<const uint8_t*>(digest.data()), &code))
        << code;
  }
}

void RollbackTest::MarkStatus(uint8_t status) const {
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraMarkUpdateStatus(status, &code)) << code;
}

std::string RollbackTest::ReadDb() const { return mivra_test::ReadFileBytes(DbPath()); }

uint32_t RollbackTest::DbRollbackCount() const {
  const std::string db = ReadDb();
  return db.size() < kRBAreaOffset ? UINT32_MAX : mivra_test::Le32At(db, kRBRollbackCountAt);
}

uint8_t RollbackTest::DbUpdateStatus() const {
  const std::string db = ReadDb();
  return db.size() < kRBAreaOffset ? 0xFF : static_cast<uint8_t>(db[kRBStatusAt]);
}

void RollbackTest::SetDbRollbackCount(uint32_t count) const {
  std::string db = ReadDb();
  ASSERT_GE(db.size(), kRBAreaOffset);
  mivra_test::PutLe32(db, kRBRollbackCountAt, count);
  mivra_test::WriteFileBytes(DbPath(), db);
}

void RollbackTest::RenameDbRecord(size_t index, const std::u16string& name) const {
  std::string db = ReadDb();
  ASSERT_GE(mivra_test::RecordsInFile(kRBLayout, db), index + 1);
  mivra_test::RenameRecord(kRBLayout, db, index, name);
  mivra_test::WriteFileBytes(DbPath(), db);
}

void RollbackTest::RenameBkRecord(size_t index, const std::u16string& name) const {
  std::string bk = mivra_test::ReadFileBytes(BkMdataPath());
  ASSERT_GE(mivra_test::RecordsInFile(kBkLayout, bk), index + 1);
  mivra_test::RenameRecord(kBkLayout, bk, index, name);
  mivra_test::WriteFileBytes(BkMdataPath(), bk);
}

uint32_t RollbackTest::BkStateFlags() const {
  const std::string bk = mivra_test::ReadFileBytes(BkMdataPath());
  return bk.size() < kBkAreaOffset ? UINT32_MAX : mivra_test::Le32At(bk, kBkStateFlagsAt);
}

void RollbackTest::PlaceNotificationLibrary() const {
  std::wstring standIns = mivra_test::ExeFolder();
  standIns = standIns.substr(0, standIns.size() - 4) + L"standins\\";  // beside the bin folder
  ASSERT_TRUE(CopyFileW((standIns + L"ntfhub.dll").c_str(), (mivra_test::ExeFolder() + L"ntfhub.dll").c_str(), FALSE));
}

void RollbackTest::RemoveNotificationLibrary() const { DeleteFileW((mivra_test::ExeFolder() + L"ntfhub.dll").c_str()); }

void RollbackTest::LogNotificationCalls() const {
  mivra_test::SetEnv(L"MIVRA_STANDIN_NTFHUB_LOG", InstallPath(L"ntfhub.log").c_str());
}

std::string RollbackTest::NotificationLog() const { return mivra_test::ReadFileBytes(InstallPath(L"ntfhub.log")); }

bool RollbackTest::Query(uint32_t flags, uint8_t* outFlag, uint32_t* code) const {
  *code = kUntouched;
  *outFlag = 0xEE;
  return MivraRollback(flags & ~MIVRA_ROLLBACK_PERFORM, outFlag, code);
}

bool RollbackTest::Perform(uint32_t* code) const {
  *code = kUntouched;
  return MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, code);
}

}  // namespace rollback_test
