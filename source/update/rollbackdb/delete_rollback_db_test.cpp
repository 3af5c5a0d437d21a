// MivraDeleteRollBackDB: the database goes now, or at the next restart when it is in use.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwctype>
#include <string>

#include "mivra.h"
#include "support/held_file.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"

namespace {

using rbmdata_test::kUntouched;

constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// The pending rename list, as one lower-case text with the entries separated by NULs.
std::wstring PendingRenames() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  DWORD size = 0;
  std::wstring value;
  if (RegQueryValueExW(key, kPendingValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    value.resize(size / sizeof(wchar_t));
    RegQueryValueExW(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
  }
  RegCloseKey(key);
  for (wchar_t& c : value) c = static_cast<wchar_t>(std::towlower(c));
  return value;
}

// Puts the pending rename list back as it was, so the prefix never deletes anything on restart.
class PendingRenamesRestorer {
 public:
  PendingRenamesRestorer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
    DWORD size = 0;
    existed_ = RegQueryValueExW(key, kPendingValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
    if (existed_) {
      saved_.resize(size);
      RegQueryValueExW(key, kPendingValue, nullptr, &type_, saved_.data(), &size);
    }
    RegCloseKey(key);
  }
  ~PendingRenamesRestorer() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    if (existed_) {
      RegSetValueExW(key, kPendingValue, 0, type_, saved_.data(), static_cast<DWORD>(saved_.size()));
    } else {
      RegDeleteValueW(key, kPendingValue);
    }
    RegCloseKey(key);
  }

 private:
  bool existed_ = false;
  DWORD type_ = REG_MULTI_SZ;
  std::basic_string<BYTE> saved_;
};

class DeleteRollbackDbTest : public rbmdata_test::RBExportTest {};

TEST_F(DeleteRollbackDbTest, DeletesTheDatabaseAndFindsNothingTheSecondTime) {
  WriteDb(OneRecordDatabase());
  // The journal the database keeps between its changes goes with it.
  const std::wstring journal = BaseFolder() + L"\\rbmdata.jnl";
  mivra_test::WriteFileBytes(journal, std::string(4096, '\0'));
  uint32_t code = kUntouched;
  EXPECT_TRUE(MivraDeleteRollBackDB(&code));
  EXPECT_EQ(code, kUntouched);
  EXPECT_FALSE(DbExists());
  EXPECT_FALSE(mivra_test::FileExists(journal));

  EXPECT_FALSE(MivraDeleteRollBackDB(&code));
  EXPECT_EQ(code, kUntouched);
}

TEST_F(DeleteRollbackDbTest, ReadOnlyDatabaseIsDeletedToo) {
  WriteDb(OneRecordDatabase());
  SetFileAttributesW(DbPath().c_str(), FILE_ATTRIBUTE_READONLY);
  uint32_t code = kUntouched;
  EXPECT_TRUE(MivraDeleteRollBackDB(&code));
  EXPECT_FALSE(DbExists());
}

TEST_F(DeleteRollbackDbTest, RefusesWithoutErrorPointerOrWhenSwitchedOff) {
  WriteDb(OneRecordDatabase());
  EXPECT_FALSE(MivraDeleteRollBackDB(nullptr));
  EXPECT_TRUE(DbExists());

  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraDeleteRollBackDB(&code));
  EXPECT_EQ(code, MIVRA_E_FEATURE_OFF);
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

TEST_F(DeleteRollbackDbTest, DatabaseInUseIsScheduledForDeletionAtRestart) {
  PendingRenamesRestorer restorer;
  WriteDb(OneRecordDatabase());
  mivra_test::HeldFile held(DbPath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(held.ok());

  uint32_t code = kUntouched;
  EXPECT_TRUE(MivraDeleteRollBackDB(&code));
  EXPECT_EQ(code, kUntouched);
  EXPECT_TRUE(DbExists());
  std::wstring path = DbPath();
  for (wchar_t& c : path) c = static_cast<wchar_t>(std::towlower(c));
  EXPECT_NE(PendingRenames().find(path), std::wstring::npos);
}

}  // namespace
