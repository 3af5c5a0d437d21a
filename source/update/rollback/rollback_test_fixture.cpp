#include "update/rollback/rollback_test_fixture.h"

#include <gtest/gtest.h>

#include "mivra.h"
#include "support/file_util.h"
#include "update/digest/crc32.h"
#include "update/digest/md5.h"

namespace rollback_test {

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
  if (db.size() < kDbHeaderAndState) return UINT32_MAX;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(db[kDbRollbackCountOffset + i]);
  return value;
}

uint8_t RollbackTest::DbUpdateStatus() const {
  const std::string db = ReadDb();
  return db.size() < kDbHeaderAndState ? 0xFF : static_cast<uint8_t>(db[kDbUpdateStatusOffset]);
}

void RollbackTest::SetDbRollbackCount(uint32_t count) const {
  std::string db = ReadDb();
  ASSERT_GE(db.size(), kDbHeaderAndState);
  for (int i = 0; i < 4; ++i) db[kDbRollbackCountOffset + i] = static_cast<char>(count >> (8 * i));
  mivra_test::WriteFileBytes(DbPath(), db);
}

namespace {

// Writes `name` scrambled into the name field at `offset` and refreshes the CRC of the record
// area that starts at `areaOffset`.
void RenameRecord(std::string* file, size_t offset, size_t areaOffset, const std::u16string& name) {
  for (size_t i = 0; i < 260; ++i) {
    const char16_t ch = i < name.size() ? name[i] : u'\0';
    const uint8_t plain[2] = {static_cast<uint8_t>(ch & 0xFF), static_cast<uint8_t>(ch >> 8)};
    for (int b = 0; b < 2; ++b) (*file)[offset + 2 * i + b] = static_cast<char>((plain[b] - 15) ^ 7);
  }
  const uint32_t crc = mivra::Crc32(reinterpret_cast<const uint8_t*>(file->data()) + areaOffset,
                                    file->size() - areaOffset);
  for (int i = 0; i < 4; ++i) (*file)[61 + i] = static_cast<char>(crc >> (8 * i));
}

}  // namespace

void RollbackTest::RenameDbRecord(size_t index, const std::u16string& name) const {
  std::string db = ReadDb();
  const size_t offset = kDbHeaderAndState + index * kDbRecordSize;
  ASSERT_GE(db.size(), offset + kDbRecordSize);
  RenameRecord(&db, offset + 20, kDbHeaderAndState, name);
  mivra_test::WriteFileBytes(DbPath(), db);
}

void RollbackTest::RenameBkRecord(size_t index, const std::u16string& name) const {
  std::string bk = mivra_test::ReadFileBytes(BkMdataPath());
  const size_t offset = 93 + index * 560;
  ASSERT_GE(bk.size(), offset + 560);
  RenameRecord(&bk, offset + 24, 93, name);
  mivra_test::WriteFileBytes(BkMdataPath(), bk);
}

uint32_t RollbackTest::BkStateFlags() const {
  const std::string bk = mivra_test::ReadFileBytes(BkMdataPath());
  if (bk.size() < 93) return UINT32_MAX;
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bk[kBkStateFlagsOffset + i]);
  return value;
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
