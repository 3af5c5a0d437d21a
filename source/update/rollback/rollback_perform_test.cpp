#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "mivra.h"
#include "support/deferred_delete_probe.h"
#include "support/file_util.h"
#include "support/held_file.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "update/frame/platform_calls.h"
#include "update/rollback/rollback_test_fixture.h"
#include "update/store/metadata_journal.h"

namespace rollback_test {
namespace {

std::set<std::wstring> TempFilesIn(const std::wstring& folder) {
  std::set<std::wstring> names;
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW((folder + L"kvupd*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.insert(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

// Names of the records of rbmdata.dat, in order.
std::vector<std::wstring> DbNames(const std::string& db) {
  std::vector<std::wstring> names;
  for (const mivra_test::MetadataRecord& record : mivra_test::RecordsOf(mivra_test::kRBLayout, db)) {
    names.push_back(record.name);
  }
  return names;
}

class RollbackPerformTest : public RollbackTest {
 public:
  void CommitEmptyBackup() { BackUpAndCommit({}); }
  void CommitAllRemoved() {
    Install(L"gone.txt", "gone");
    BackUpAndCommit({L"gone.txt"});
    uint32_t code = kUntouched;
    ASSERT_TRUE(MivraRemoveFromBackup(L"gone.txt", &code)) << code;
  }
};

TEST_F(RollbackPerformTest, PutsTheBackupBackAndRebuildsTheDatabase) {
  BackUpThenUpdate();
  uint32_t code = 0;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(code, kUntouched);
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd'));
  EXPECT_FALSE(IsInstalled(L"new.dll"));
  EXPECT_TRUE(TempFilesIn(InstallDir()).empty());

  // Exactly the restored files, with their backup digests, status 0 and one rollback counted.
  const std::string db = ReadDb();
  EXPECT_EQ(DbNames(db), (std::vector<std::wstring>{L"app.exe", L"data.bin"}));
  EXPECT_EQ(DbUpdateStatus(), 0);
  EXPECT_EQ(DbRollbackCount(), 1u);
  uint8_t flag = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 0);
}

std::vector<std::wstring> g_attributeSets;
std::vector<std::wstring> g_longPathAsks;
BOOL WINAPI RecordingSetAttributes(LPCWSTR path, DWORD attributes) {
  g_attributeSets.emplace_back(path);
  return mivra::RealPlatformCalls().SetFileAttributesW(path, attributes);
}
DWORD WINAPI RecordingLongPath(LPCWSTR path, LPWSTR buffer, DWORD capacity) {
  g_longPathAsks.emplace_back(path);
  return mivra::RealPlatformCalls().GetLongPathNameW(path, buffer, capacity);
}

// What the restore already knows is not asked again: a staged copy moved into place is not looked
// for afterwards, and a restored file is not tested for lying in the install directory.
// What a rollback does to the install directory and the database, in order: "place" for each
// rename into the install directory, "flush" for the install directory flushed, "database" for
// each write of rbmdata.dat. Renames are counted by the way they went: by name or through a handle.
std::vector<std::string> g_order;
std::wstring g_installDir;
std::set<HANDLE> g_folderHandles;
int g_renamesByName = 0;
int g_renamesThroughHandle = 0;

HANDLE WINAPI NoteFolderOpen(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                             DWORD flags, HANDLE templateFile) {
  const HANDLE handle =
      mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
  if (handle != INVALID_HANDLE_VALUE && _wcsicmp(path, g_installDir.c_str()) == 0) g_folderHandles.insert(handle);
  return handle;
}
BOOL WINAPI NoteFlush(HANDLE handle) {
  // A handle value is used again once closed: each open of the folder is counted for one flush.
  if (g_folderHandles.erase(handle) != 0) g_order.push_back("flush");
  return mivra::RealPlatformCalls().FlushFileBuffers(handle);
}
BOOL WINAPI NoteMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
  const BOOL moved = mivra::RealPlatformCalls().MoveFileExW(from, to, flags);
  if (moved && to && _wcsnicmp(to, g_installDir.c_str(), g_installDir.size()) == 0) {
    g_order.push_back("place");
    ++g_renamesByName;
  }
  return moved;
}
BOOL WINAPI NoteRename(HANDLE file, FILE_INFO_BY_HANDLE_CLASS what, LPVOID info, DWORD size) {
  const BOOL done = mivra::RealPlatformCalls().SetFileInformationByHandle(file, what, info, size);
  const auto* rename = static_cast<const FILE_RENAME_INFO*>(info);
  if (done && what == FileRenameInfo &&
      _wcsnicmp(rename->FileName, g_installDir.c_str(), g_installDir.size()) == 0) {
    g_order.push_back("place");
    ++g_renamesThroughHandle;
  }
  return done;
}
// Fails the reading back of a staged copy through the handle that wrote it (read at an offset), so
// that the copy is proved by name instead.
bool IsStagedCopy(HANDLE file) {
  struct {
    FILE_NAME_INFO info;
    wchar_t room[MAX_PATH];
  } name = {};
  if (!GetFileInformationByHandleEx(file, FileNameInfo, &name, sizeof(name))) return false;
  return std::wstring(name.info.FileName, name.info.FileNameLength / sizeof(wchar_t)).find(L"kvupd") !=
         std::wstring::npos;
}
BOOL WINAPI NoReadAtOffset(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED at) {
  if (at && IsStagedCopy(file)) {
    ::SetLastError(ERROR_IO_DEVICE);
    return FALSE;
  }
  return mivra::RealPlatformCalls().ReadFile(file, buffer, size, got, at);
}
int NoteWrite(int fd, const void* buffer, unsigned count) {
  if (g_order.empty() || g_order.back() != "database") g_order.push_back("database");
  return mivra::RealPlatformCalls().write(fd, buffer, count);
}

// Every restored file's name is made to last before the database says the rollback is done: the
// install directory is flushed once, after the last file is placed and before the rebuild writes.
// A staged copy proved through the handle that wrote it is renamed into place through that handle;
// one that had to be read back by name is moved into place by name.
TEST_F(RollbackPerformTest, PlacedNamesAreFlushedBeforeTheDatabaseIsRebuilt) {
  for (const bool readBackByName : {false, true}) {
    SCOPED_TRACE(readBackByName ? "read back by name" : "read back through the writer");
    SetUp();
    BackUpThenUpdate();
    Install(L"data.bin", "changed too");
    g_order.clear();
    g_folderHandles.clear();
    g_renamesByName = g_renamesThroughHandle = 0;
    g_installDir = InstallDir();
    uint32_t code = 0;
    {
      mivra_test::PlatformOverride<&mivra::PlatformCalls::CreateFileW> open(&NoteFolderOpen);
      mivra_test::PlatformOverride<&mivra::PlatformCalls::FlushFileBuffers> flush(&NoteFlush);
      mivra_test::PlatformOverride<&mivra::PlatformCalls::MoveFileExW> move(&NoteMove);
      mivra_test::PlatformOverride<&mivra::PlatformCalls::SetFileInformationByHandle> rename(&NoteRename);
      mivra_test::PlatformOverride<&mivra::PlatformCalls::write> write(&NoteWrite);
      mivra_test::PlatformOverride<&mivra::PlatformCalls::ReadFile> read(
          readBackByName ? &NoReadAtOffset : mivra::RealPlatformCalls().ReadFile);
      ASSERT_TRUE(Perform(&code)) << code;
    }
    EXPECT_EQ(g_order, (std::vector<std::string>{"place", "place", "flush", "database"}));
    EXPECT_EQ(g_renamesByName, readBackByName ? 2 : 0);
    EXPECT_EQ(g_renamesThroughHandle, readBackByName ? 0 : 2);
    EXPECT_EQ(Installed(L"app.exe"), "application v1");
    EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd'));
    EXPECT_TRUE(TempFilesIn(InstallDir()).empty());
  }
}

TEST_F(RollbackPerformTest, PlacedFilesAreNotLookedUpAgain) {
  BackUpThenUpdate();
  g_attributeSets.clear();
  g_longPathAsks.clear();
  uint32_t code = 0;
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::SetFileAttributesW> attributes(&RecordingSetAttributes);
    mivra_test::PlatformOverride<&mivra::PlatformCalls::GetLongPathNameW> longPath(&RecordingLongPath);
    ASSERT_TRUE(Perform(&code)) << code;
  }
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  for (const std::wstring& path : g_attributeSets) EXPECT_EQ(path.find(L"kvupd"), std::wstring::npos) << path;
  for (const std::wstring& path : g_longPathAsks) {
    EXPECT_NE(path, InstallPath(L"app.exe"));
    EXPECT_NE(path, InstallPath(L"data.bin"));
  }
}

TEST_F(RollbackPerformTest, RemovedRecordsAreLeftAlone) {
  BackUpThenUpdate();
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraRemoveFromBackup(L"app.exe", &code)) << code;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
  EXPECT_EQ(Installed(L"data.bin"), std::string(5000, 'd'));
  EXPECT_EQ(DbNames(ReadDb()), (std::vector<std::wstring>{L"data.bin"}));
}

TEST_F(RollbackPerformTest, AlteredBackupCopyIsReportedDamagedAndMarked) {
  BackUpThenUpdate();
  const std::wstring copy = BkupFolder() + L"\\data.bin";
  std::string bytes = mivra_test::ReadFileBytes(copy);
  bytes[100] ^= 1;
  mivra_test::WriteFileBytes(copy, bytes);
  const std::string dbBefore = ReadDb();

  uint32_t code = 0;
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_BACKUP_DAMAGED);
  EXPECT_EQ(BkStateFlags() & 1, 1u);
  EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
  EXPECT_TRUE(IsInstalled(L"new.dll"));
  EXPECT_EQ(ReadDb(), dbBefore);

  // Mended or not, the copy is no longer trusted: the mark alone stops the next call.
  bytes[100] ^= 1;
  mivra_test::WriteFileBytes(copy, bytes);
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_BACKUP_DAMAGED);
}

TEST_F(RollbackPerformTest, RecordNamingNoPlainFileMakesTheBackupDamaged) {
  Install(L"app.exe", "application v1");
  BackUpAndCommit({L"app.exe", L"added.dll"});
  Install(L"app.exe", "application v2");
  // The record of the file the update added now points outside the install directory; a rollback
  // that followed it would delete a file that is not the product's.
  RenameBkRecord(1, u"..\\victim.txt");
  const std::wstring victim = InstallDir() + L"..\\victim.txt";
  mivra_test::WriteFileBytes(victim, "not the product's");

  uint32_t code = 0;
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_BACKUP_DAMAGED);
  EXPECT_EQ(mivra_test::ReadFileBytes(victim), "not the product's");
  EXPECT_EQ(Installed(L"app.exe"), "application v2");
  DeleteFileW(victim.c_str());
}

TEST_F(RollbackPerformTest, NothingToRestoreGives121) {
  struct EmptyCase {
    const char* what;
    void (RollbackPerformTest::*prepare)();
  };
  const EmptyCase kCases[] = {
      {"no committed backup", nullptr},
      {"a backup without records", &RollbackPerformTest::CommitEmptyBackup},
      {"every record removed", &RollbackPerformTest::CommitAllRemoved},
  };
  for (const EmptyCase& c : kCases) {
    SetUp();
    Install(L"app.exe", "application v1");
    Register({L"app.exe"});
    if (c.prepare) (this->*c.prepare)();
    const std::string dbBefore = ReadDb();
    uint32_t code = 0;
    EXPECT_FALSE(Perform(&code)) << c.what;
    EXPECT_EQ(code, MIVRA_E_RESTORE_APPLY) << c.what;
    EXPECT_EQ(ReadDb(), dbBefore) << c.what;
    EXPECT_TRUE(mivra_test::FileExists(BkMdataPath())) << c.what;
  }
}

TEST_F(RollbackPerformTest, AllAbsentBackupDeletesAddedFilesWithoutRebuilding) {
  BackUpAndCommit({L"one.dll", L"two.dll"});
  Install(L"one.dll", "added");
  Install(L"two.dll", "added too");
  Install(L"kept.txt", "kept");
  Register({L"kept.txt"});
  const std::string dbBefore = ReadDb();
  uint32_t code = 0;
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_RESTORE_APPLY);
  EXPECT_FALSE(IsInstalled(L"one.dll"));
  EXPECT_FALSE(IsInstalled(L"two.dll"));
  EXPECT_TRUE(IsInstalled(L"kept.txt"));
  EXPECT_EQ(ReadDb(), dbBefore);
}

TEST_F(RollbackPerformTest, FifteenthRollbackIsTheLast) {
  BackUpThenUpdate();
  SetDbRollbackCount(14);
  uint32_t code = 0;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(DbRollbackCount(), 15u);

  Install(L"app.exe", "application v3");
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_ROLLBACK_LIMIT);
  EXPECT_EQ(Installed(L"app.exe"), "application v3");
  EXPECT_EQ(DbRollbackCount(), 15u);
}

TEST_F(RollbackPerformTest, LeftoverTempFilesAreSweptOnlyAfterAnInterruptedUpdate) {
  BackUpThenUpdate();
  Install(L"kvupd00ABCD.tmp", "left over");
  Install(L"kvupd.txt", "not a temporary name");
  uint32_t code = 0;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(TempFilesIn(InstallDir()), (std::set<std::wstring>{L"kvupd00ABCD.tmp"}));

  BackUpThenUpdate();
  Install(L"kvupd00ABCD.tmp", "left over");
  MarkStatus(1);
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_TRUE(TempFilesIn(InstallDir()).empty());
  EXPECT_TRUE(IsInstalled(L"kvupd.txt"));
}

TEST_F(RollbackPerformTest, DestinationInUseIsWaitedForThenOverwrittenByAVerifiedCopy) {
  BackUpThenUpdate();
  // Held without delete sharing: it can be neither deleted nor renamed, only written.
  mivra_test::HeldFile held(InstallPath(L"app.exe"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(held.ok());
  const ULONGLONG start = GetTickCount64();
  uint32_t code = 0;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_GE(GetTickCount64() - start, 2400u);  // five waits of half a second
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  EXPECT_TRUE(TempFilesIn(InstallDir()).empty());
  held.Release();
  EXPECT_FALSE(IsInstalled(L"app.exe.1kv"));
}

// A rebuild that fails leaves the old database whole, status and counter included, so that the
// rollback is still asked for and a later perform finishes it.
TEST_F(RollbackPerformTest, FailedRebuildReports128AndKeepsTheOldDatabase) {
  BackUpThenUpdate();
  MarkStatus(1);
  SetDbRollbackCount(4);
  const std::string dbBefore = ReadDb();
  uint32_t code = 0;
  {
    // The rebuild reads each restored file's attributes to register it; nothing before it does.
    mivra_test::PlatformFault<&mivra::PlatformCalls::GetFileAttributesExW> fault(mivra_test::FaultPlan::Always(),
                                                                                  FALSE);
    EXPECT_FALSE(Perform(&code));
  }
  EXPECT_EQ(code, MIVRA_E_RB_REBUILD);
  EXPECT_EQ(Installed(L"app.exe"), "application v1");
  EXPECT_TRUE(ReadDb() == dbBefore);
  EXPECT_TRUE(mivra::JournalHoldsNothing((BaseFolder() + L"\\rbmdata.dat").c_str()));

  uint8_t flag = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 1);
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(DbRollbackCount(), 5u);
  EXPECT_EQ(DbUpdateStatus(), 0);
  EXPECT_EQ(DbNames(ReadDb()), (std::vector<std::wstring>{L"app.exe", L"data.bin"}));
}

// Another process holding the database open with read and write sharing does not keep it from
// being rebuilt, nor does the rebuild leave it to be deleted at the next restart.
TEST_F(RollbackPerformTest, DatabaseHeldOpenElsewhereIsRebuiltInPlace) {
  BackUpThenUpdate();
  mivra_test::DeferredDeleteProbe::ClearPendingDeletions();
  uint32_t code = 0;
  {
    mivra_test::HeldFile held(BaseFolder() + L"\\rbmdata.dat", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.ok());
    ASSERT_TRUE(Perform(&code)) << code;
  }
  EXPECT_EQ(DbNames(ReadDb()), (std::vector<std::wstring>{L"app.exe", L"data.bin"}));
  EXPECT_EQ(DbRollbackCount(), 1u);
  EXPECT_EQ(DbUpdateStatus(), 0);
  EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, ReadDb()));
  EXPECT_TRUE(mivra_test::DeferredDeleteProbe::PendingDeletions().empty());
}

TEST_F(RollbackPerformTest, FailedStagingReports120AndLeavesNoTempFile) {
  BackUpThenUpdate();
  // The emptied journal the database keeps goes, so that opening the database needs no handle.
  ASSERT_TRUE(::DeleteFileW((BaseFolder() + L"\\rbmdata.jnl").c_str()));
  // Verification still reads the copies through the C runtime; staging cannot create its copy.
  mivra_test::PlatformFault<&mivra::PlatformCalls::CreateFileW> fault(mivra_test::FaultPlan::Always(),
                                                                       INVALID_HANDLE_VALUE);
  uint32_t code = 0;
  EXPECT_FALSE(Perform(&code));
  EXPECT_EQ(code, MIVRA_E_RESTORE_PREPARE);
  EXPECT_TRUE(TempFilesIn(InstallDir()).empty());
  EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
}

// Staging cannot create its copies in the install directory: every other file opens as ever.
HANDLE WINAPI NoStagedCopy(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                           DWORD flags, HANDLE templateFile) {
  if (path && wcsstr(path, L"kvupd")) {
    SetLastError(ERROR_DISK_FULL);
    return INVALID_HANDLE_VALUE;
  }
  return mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// A staging that fails has the rest of the backup proved before it is reported: a damaged copy
// past the failure is told as damage (and marked), with nothing deleted; in a sound backup, the
// files added by the records walked before the failure are deleted, as a staging in record order
// leaves them, and the failure is reported.
TEST_F(RollbackPerformTest, FailedStagingIsToldAfterTheWholeBackupIsProved) {
  struct Case {
    const char* what;
    bool damaged;
    uint32_t code;
    uint32_t mark;
    bool addedFileStays;
  };
  const Case cases[] = {{"sound", false, MIVRA_E_RESTORE_PREPARE, 0, false},
                        {"a damaged copy past the failure", true, MIVRA_E_BACKUP_DAMAGED, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Install(L"app.exe", "application v1");
    Install(L"data.bin", std::string(5000, 'd'));
    DeleteFileW(InstallPath(L"new.dll").c_str());
    BackUpAndCommit({L"new.dll", L"app.exe", L"data.bin"});
    Install(L"app.exe", "application v2, rather longer");
    Install(L"new.dll", "added by the update");
    Register({L"app.exe", L"new.dll"});
    MarkStatus(2);
    if (c.damaged) mivra_test::WriteFileBytes(BkupFolder() + L"\\data.bin", std::string(5000, 'x'));
    uint32_t code = 0;
    {
      mivra_test::PlatformOverride<&mivra::PlatformCalls::CreateFileW> noStagedCopy(&NoStagedCopy);
      EXPECT_FALSE(Perform(&code));
    }
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(BkStateFlags() & 1, c.mark);
    EXPECT_EQ(IsInstalled(L"new.dll"), c.addedFileStays);
    EXPECT_EQ(Installed(L"app.exe"), "application v2, rather longer");
    EXPECT_TRUE(TempFilesIn(InstallDir()).empty());
  }
}

}  // namespace
}  // namespace rollback_test
