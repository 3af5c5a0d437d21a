// Test-only: an installed product with a committed backup and a rollback database, built through
// the exports as an updater builds them.
#ifndef MIVRA_UPDATE_ROLLBACK_ROLLBACK_TEST_FIXTURE_H_
#define MIVRA_UPDATE_ROLLBACK_ROLLBACK_TEST_FIXTURE_H_

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support/product_test.h"

namespace rollback_test {

// A code no export writes, to show that a call left the caller's variable alone.
inline constexpr uint32_t kUntouched = 0xC0DEu;

std::string Md5Of(const std::string& bytes);

class RollbackTest : public mivra_test::ProductTest {
 protected:
  void SetUp() override;

  void Install(const std::wstring& name, const std::string& content) const;
  std::string Installed(const std::wstring& name) const;
  bool IsInstalled(const std::wstring& name) const;
  FILETIME WriteTimeOf(const std::wstring& name) const;
  void SetWriteTime(const std::wstring& name, const FILETIME& time) const;
  // Replaces the content and puts the old last-write time back, as a change behind the time.
  void ChangeKeepingTime(const std::wstring& name, const std::string& content) const;

  // Backs the named install files up in a staging backup and commits it.
  void BackUpAndCommit(std::initializer_list<std::wstring> names) const;
  // Backs up app.exe and data.bin and the yet absent new.dll, then updates: app.exe replaced,
  // data.bin deleted, new.dll added; registers the update's files.
  void BackUpThenUpdate() const;
  // Registers the named install files with their current size and digest.
  void Register(std::initializer_list<std::wstring> names) const;
  void MarkStatus(uint8_t status) const;

  std::wstring DbPath() const { return BaseFolder() + L"\\rbmdata.dat"; }
  std::string ReadDb() const;
  uint32_t DbRollbackCount() const;
  uint8_t DbUpdateStatus() const;
  void SetDbRollbackCount(uint32_t count) const;
  // Gives record `index` of rbmdata.dat another name, keeping the file valid.
  void RenameDbRecord(size_t index, const std::u16string& name) const;
  std::wstring BkMdataPath() const { return BkupFolder() + L"\\bkmdata.dat"; }
  uint32_t BkStateFlags() const;
  // Gives record `index` of the committed bkmdata.dat another name, keeping the file valid.
  void RenameBkRecord(size_t index, const std::u16string& name) const;

  // The notification library stand-in is looked for in the application folder: it is put there
  // only for the tests that want it found, and its calls go to a log in the install directory.
  void PlaceNotificationLibrary() const;
  void RemoveNotificationLibrary() const;
  void LogNotificationCalls() const;
  std::string NotificationLog() const;

  // Runs MivraRollback in query mode; returns the result and fills the flag and the code.
  bool Query(uint32_t flags, uint8_t* outFlag, uint32_t* code) const;
  bool Perform(uint32_t* code) const;
};

}  // namespace rollback_test

#endif  // MIVRA_UPDATE_ROLLBACK_ROLLBACK_TEST_FIXTURE_H_
