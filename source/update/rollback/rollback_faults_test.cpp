// A rollback meeting faults that say nothing about the files: held copies and destinations,
// failed existence tests, hostile record names and copies that two records share.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "mivra.h"
#include "support/file_util.h"
#include "support/held_file.h"
#include "support/linked_files.h"
#include "support/platform_fault.h"
#include "update/frame/platform_calls.h"
#include "update/rollback/rollback_test_fixture.h"

namespace rollback_test {
namespace {

using mivra_test::AccessFault;
using mivra_test::FaultPlan;
using mivra_test::PlatformFault;
using mivra_test::PlatformOverride;

VOID WINAPI NoSleep(DWORD) {}

// Files named "<name>.1kv" .. "<name>.9kv" left in the install directory.
int AsideFilesOf(const std::wstring& path) {
  int count = 0;
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) {
    count += mivra_test::FileExists(path + L"." + digit + L"kv") ? 1 : 0;
  }
  return count;
}

class RollbackFaultTest : public RollbackTest {};

TEST_F(RollbackFaultTest, FileTheUpdateAddedGoesEvenWhenItsExistenceTestFails) {
  BackUpThenUpdate();
  uint32_t code = kUntouched;
  {
    AccessFault access(InstallPath(L"new.dll"), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(Perform(&code)) << code;
  }
  EXPECT_FALSE(IsInstalled(L"new.dll"));
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
}

TEST_F(RollbackFaultTest, QueryThatCannotTestTheBackupFolderReports103) {
  BackUpThenUpdate();
  MarkStatus(1);
  uint8_t flag = 0;
  uint32_t code = kUntouched;
  {
    AccessFault access(BkupFolder(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  }
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(code, MIVRA_E_BACKUP_FOLDER);
}

TEST_F(RollbackFaultTest, NeedCheckSkipsOnlyFilesThatAreNotThere) {
  BackUpThenUpdate();
  struct AttributeCase {
    DWORD error;
    bool result;
  };
  const AttributeCase kCases[] = {{ERROR_FILE_NOT_FOUND, true}, {ERROR_PATH_NOT_FOUND, true},
                                  {ERROR_ACCESS_DENIED, false}, {ERROR_SHARING_VIOLATION, false}};
  for (const AttributeCase& c : kCases) {
    PlatformFault<&mivra::PlatformCalls::GetFileAttributesExW> attributes(FaultPlan::Always(), FALSE, c.error);
    uint8_t flag = 0xEE;
    uint32_t code = kUntouched;
    EXPECT_EQ(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code), c.result) << c.error;
    EXPECT_EQ(flag, 0) << c.error;
    EXPECT_EQ(code, kUntouched) << c.error;
  }
}

// A copy, or the committed bkmdata.dat, that is a link (as Windows shows a link to a file) is not
// the library's, whatever it holds: the backup is damaged and nothing is restored. The damaged
// mark goes into a bkmdata.dat of the library's, never through a link.
TEST_F(RollbackFaultTest, ACopyOrBackupFileThatIsALinkIsDamage) {
  struct LinkCase {
    const char* what;
    const wchar_t* name;
    uint32_t mark;
  };
  const LinkCase kCases[] = {{"copy", L"data.bin", 1}, {"bkmdata.dat", L"bkmdata.dat", 0}};
  for (const LinkCase& c : kCases) {
    SCOPED_TRACE(c.what);
    BackUpThenUpdate();
    const std::string backup = mivra_test::ReadFileBytes(BkupFolder() + L"\\bkmdata.dat");
    uint32_t code = kUntouched;
    {
      mivra_test::FilesReadAsLinks link({BkupFolder() + L"\\" + c.name});
      EXPECT_FALSE(Perform(&code));
    }
    EXPECT_EQ(code, MIVRA_E_BACKUP_DAMAGED);
    EXPECT_EQ(BkStateFlags() & 1, c.mark);
    if (c.mark == 0) {
      EXPECT_EQ(mivra_test::ReadFileBytes(BkupFolder() + L"\\bkmdata.dat"), backup);
    }
    EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
  }
}

// Each copy is proved as it is staged, so that a damaged one may be found after others were staged
// and after records of files the update added: the install directory is then as it was, with no
// staged copy left, no added file deleted and nothing placed.
TEST_F(RollbackFaultTest, DamageFoundAfterOtherCopiesWereStagedChangesNothingInstalled) {
  Install(L"app.exe", "application v1");
  Install(L"data.bin", std::string(5000, 'd'));
  BackUpAndCommit({L"new.dll", L"app.exe", L"data.bin"});
  Install(L"app.exe", "application v2, rather longer");
  Install(L"new.dll", "added by the update");
  Register({L"app.exe", L"new.dll"});
  MarkStatus(2);
  mivra_test::WriteFileBytes(BkupFolder() + L"\\data.bin", std::string(5000, 'x'));
  const std::map<std::wstring, std::string> installed = mivra_test::ReadTree(InstallDir());

  uint32_t code = kUntouched;
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_BACKUP_DAMAGED);
  EXPECT_EQ(BkStateFlags() & 1, 1u);
  EXPECT_EQ(mivra_test::ReadTree(InstallDir()), installed);
}

// A copy held by another process, or whose owner cannot be read through the handle it is read
// from, leaves the check undone (the backup stays usable); a missing one is damage.
TEST_F(RollbackFaultTest, HeldBackupCopyLeavesTheCheckUndoneAndTheBackupUsable) {
  enum class Copy { kHeld, kOwnerUnreadable, kMissing };
  struct CopyCase {
    const char* what;
    Copy copy;
    uint32_t code;
    uint32_t mark;
  };
  const CopyCase kCases[] = {{"held", Copy::kHeld, MIVRA_E_BACKUP_CHECK, 0},
                             {"owner unreadable", Copy::kOwnerUnreadable, MIVRA_E_BACKUP_CHECK, 0},
                             {"missing", Copy::kMissing, MIVRA_E_BACKUP_DAMAGED, 1}};
  for (const CopyCase& c : kCases) {
    SCOPED_TRACE(c.what);
    BackUpThenUpdate();
    const std::wstring copy = BkupFolder() + L"\\data.bin";
    uint32_t code = kUntouched;
    {
      std::optional<mivra_test::HeldFile> held;
      std::optional<PlatformFault<&mivra::PlatformCalls::GetKernelObjectSecurity>> owner;
      switch (c.copy) {
        case Copy::kHeld:
          held.emplace(copy, GENERIC_READ | GENERIC_WRITE, 0);
          ASSERT_TRUE(held->ok());
          break;
        case Copy::kOwnerUnreadable: owner.emplace(FaultPlan::Always(), FALSE, ERROR_ACCESS_DENIED); break;
        case Copy::kMissing: ASSERT_TRUE(DeleteFileW(copy.c_str())); break;
      }
      EXPECT_FALSE(Perform(&code));
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(BkStateFlags() & 1, c.mark);
    EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
  }
  // Once the holder lets go, the same backup rolls back.
  BackUpThenUpdate();
  const std::wstring copy = BkupFolder() + L"\\data.bin";
  {
    mivra_test::HeldFile held(copy, GENERIC_READ, 0);
    ASSERT_TRUE(held.ok());
    uint32_t code = kUntouched;
    EXPECT_FALSE(Perform(&code));
    EXPECT_EQ(code, MIVRA_E_BACKUP_CHECK);
  }
  uint32_t code = kUntouched;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd'));
}

TEST_F(RollbackFaultTest, DestinationHeldWithDeleteSharingIsReplacedAndItsOldVersionGoes) {
  BackUpThenUpdate();
  const std::wstring app = InstallPath(L"app.exe");
  {
    mivra_test::HeldFile held(app, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(held.ok());
    PlatformOverride<&mivra::PlatformCalls::Sleep> sleep(&NoSleep);
    uint32_t code = kUntouched;
    ASSERT_TRUE(Perform(&code)) << code;
    EXPECT_EQ(Installed(L"app.exe"), "application v1");
  }
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  EXPECT_EQ(AsideFilesOf(app), 0);
}

// The installed file set aside goes back under its name, also when an old aside had to be deleted
// to make room for it.
TEST_F(RollbackFaultTest, FailedPlacingPutsTheInstalledFileBack) {
  for (const bool oldAside : {false, true}) {
    SCOPED_TRACE(oldAside ? "an old aside made room" : "a free name");
    SetUp();
    BackUpThenUpdate();
    const std::wstring app = InstallPath(L"app.exe");
    if (oldAside) mivra_test::WriteFileBytes(app + L".1kv", "from an earlier rollback");
    uint32_t code = kUntouched;
    {
      // app.exe refuses to be replaced, goes aside (the first rename), then every way of moving its
      // restored copy in fails; data.bin, placed next, finds replacing and renaming working again.
      PlatformFault<&mivra::PlatformCalls::SetFileInformationByHandle> replace(FaultPlan::Nth(1), FALSE,
                                                                               ERROR_SHARING_VIOLATION);
      PlatformFault<&mivra::PlatformCalls::wrename> rename(FaultPlan{2, 6}, -1, ERROR_ACCESS_DENIED);
      PlatformFault<&mivra::PlatformCalls::MoveFileW> move(FaultPlan::Always(), FALSE, ERROR_ACCESS_DENIED);
      PlatformOverride<&mivra::PlatformCalls::Sleep> sleep(&NoSleep);
      EXPECT_FALSE(Perform(&code));
    }
    EXPECT_EQ(code, MIVRA_E_RESTORE_APPLY);
    EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
    EXPECT_EQ(AsideFilesOf(app), 0);
    EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd'));
  }
}

TEST_F(RollbackFaultTest, SuccessfulPlacingLeavesEarlierAsideFilesAlone) {
  BackUpThenUpdate();
  const std::wstring app = InstallPath(L"app.exe");
  mivra_test::WriteFileBytes(app + L".1kv", "from an earlier rollback");
  uint32_t code = kUntouched;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  EXPECT_EQ(mivra_test::ReadFileBytes(app + L".1kv"), "from an earlier rollback");
  EXPECT_EQ(AsideFilesOf(app), 1);
}

// A destination that must be moved aside takes the first of its nine names that is free or whose
// file, left by an earlier rollback, can be deleted: an old one that can go makes room, and one still
// held stays while the next name is used. Either way the restored file is placed and its old version
// goes, so moved-aside files do not pile up from one rollback to the next.
TEST_F(RollbackFaultTest, MovedAsideDestinationTakesTheFirstNameThatIsFreeOrCanBeFreed) {
  for (const bool oldAsideHeld : {false, true}) {
    SCOPED_TRACE(oldAsideHeld ? "old aside held" : "old aside deletable");
    BackUpThenUpdate();
    const std::wstring app = InstallPath(L"app.exe");
    mivra_test::WriteFileBytes(app + L".1kv", "from an earlier rollback");
    mivra_test::HeldFile held(app + L".1kv", GENERIC_READ, FILE_SHARE_READ);
    if (!oldAsideHeld) held.Release();
    ASSERT_EQ(held.ok(), oldAsideHeld);
    uint32_t code = kUntouched;
    {
      // app.exe refuses to be replaced in one rename, so it is moved aside first.
      PlatformFault<&mivra::PlatformCalls::SetFileInformationByHandle> replace(FaultPlan::Nth(1), FALSE,
                                                                               ERROR_SHARING_VIOLATION);
      ASSERT_TRUE(Perform(&code)) << code;
    }
    EXPECT_EQ(Installed(L"app.exe"), "application v1");
    EXPECT_FALSE(mivra_test::FileExists(app + L".2kv"));
    held.Release();
    if (oldAsideHeld) {
      EXPECT_EQ(mivra_test::ReadFileBytes(app + L".1kv"), "from an earlier rollback");
    } else {
      EXPECT_FALSE(mivra_test::FileExists(app + L".1kv"));
    }
  }
}

// Names that Windows opens as another file, the folder itself or nothing: a record that carries
// one makes the backup damaged before anything is touched.
const char16_t* const kHostileNames[] = {u"...", u".. ", u"app.exe.", u"app.exe ", u"*.exe", u"a?b", u"a<b",
                                         u"a>b", u"a|b", u"\"a\"", u"a\x01" u"b"};

TEST_F(RollbackFaultTest, RecordWithAHostileNameMakesTheBackupDamaged) {
  for (const char16_t* name : kHostileNames) {
    SCOPED_TRACE(std::string(name, name + std::char_traits<char16_t>::length(name)));
    BackUpThenUpdate();
    RenameBkRecord(2, name);  // new.dll, recorded absent: a rollback would delete what it names
    uint32_t code = kUntouched;
    EXPECT_FALSE(Perform(&code));
    EXPECT_EQ(code, MIVRA_E_BACKUP_DAMAGED);
    EXPECT_EQ(BkStateFlags() & 1, 1u);
    EXPECT_TRUE(mivra_test::FileExists(InstallDir()));
    EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
    EXPECT_TRUE(IsInstalled(L"new.dll"));
  }
}

TEST_F(RollbackFaultTest, RemovingAHostileNameReports114AndKeepsTheBackup) {
  BackUpThenUpdate();
  RenameBkRecord(2, u"...");
  const std::string before = mivra_test::ReadFileBytes(BkMdataPath());
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraRemoveFromBackup(L"...", &code));
  EXPECT_EQ(code, MIVRA_E_NOT_IN_BACKUP);
  EXPECT_EQ(mivra_test::ReadFileBytes(BkMdataPath()), before);
  EXPECT_TRUE(mivra_test::FileExists(BkupFolder() + L"\\app.exe"));
}

TEST_F(RollbackFaultTest, NeedCheckSkipsARegisteredHostileName) {
  BackUpThenUpdate();
  // "app.exe." opens app.exe, whose content differs from the record behind an unchanged time.
  ChangeKeepingTime(L"app.exe", "application v3, same size....");
  RenameDbRecord(0, u"app.exe.");
  uint8_t flag = 0xEE;
  uint32_t code = kUntouched;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 0);
}

TEST_F(RollbackFaultTest, NamesDifferingInCaseShareOneCopyThatOutlivesEachRemoval) {
  Install(L"Dup.txt", "original");
  BackUpAndCommit({L"Dup.txt", L"dup.txt"});
  Install(L"Dup.txt", "updated");
  const std::wstring copy = BkupFolder() + L"\\Dup.txt";
  uint32_t code = kUntouched;

  ASSERT_TRUE(MivraRemoveFromBackup(L"Dup.txt", &code)) << code;
  EXPECT_EQ(mivra_test::ReadFileBytes(copy), "original");
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(Installed(L"Dup.txt"), "original");

  // The last live record takes the copy with it.
  ASSERT_TRUE(MivraRemoveFromBackup(L"dup.txt", &code)) << code;
  EXPECT_FALSE(mivra_test::FileExists(copy));
}

// The record count lies outside the CRC: whatever it says, the records the rollback restores are
// the ones a removal finds and an addition refuses to record twice.
TEST_F(RollbackFaultTest, DamagedRecordCountChangesNoAnswer) {
  for (uint32_t count : {0u, 1u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    BackUpThenUpdate();
    std::string bk = mivra_test::ReadFileBytes(BkMdataPath());
    for (int i = 0; i < 4; ++i) bk[65 + i] = static_cast<char>((count >> (8 * i)) & 0xFF);
    mivra_test::WriteFileBytes(BkMdataPath(), bk);

    uint32_t code = kUntouched;
    EXPECT_FALSE(MivraAddToBackup(nullptr, InstallPath(L"data.bin").c_str(), &code));
    EXPECT_EQ(code, MIVRA_E_RECORD_WRITE);
    code = kUntouched;
    ASSERT_TRUE(MivraRemoveFromBackup(L"app.exe", &code)) << code;
    ASSERT_TRUE(Perform(&code)) << code;
    EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
    EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd'));
    EXPECT_FALSE(IsInstalled(L"new.dll"));
  }
}

}  // namespace
}  // namespace rollback_test
