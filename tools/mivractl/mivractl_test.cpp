// Every subcommand of mivractl.exe, run as its own process against real files of an installed
// product in the Wine prefix: what it does, and one failure with the library's code.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "error_names.h"
#include "install_paths.h"
#include "mivra.h"
#include "mivra_version.h"
#include "command_line.h"
#include "output_lines_test_util.h"
#include "report.h"
#include "support/file_util.h"
#include "support/json_check.h"
#include "support/metadata_file_bytes.h"
#include "support/product_test.h"
#include "tool_process.h"
#include "update/frame/scoped_handles.h"
#include "update/manifest/manifest_test_files.h"
#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/journal_format.h"

namespace mivra_test {
namespace {

using mivra::ctl::DescribeError;
using mivra::ctl::Narrow;

// Standard output is one JSON object, read into `value`.
::testing::AssertionResult IsOneJsonObject(const std::string& text, JsonValue* value) {
  std::string error;
  if (!ParseJson(text, value, &error)) return ::testing::AssertionFailure() << error << "\n" << text;
  if (!value->Is(JsonValue::Kind::kObject)) return ::testing::AssertionFailure() << "not an object\n" << text;
  return ::testing::AssertionSuccess();
}

class MivractlTest : public ProductTest {
 protected:
  void Put(const std::wstring& name, const std::string& bytes) { WriteFileBytes(InstallPath(name), bytes); }

  static ToolResult Ctl(const std::vector<std::string>& args) { return RunMivractl(args); }

  // The command fails with the library's code, named on standard error.
  static void ExpectLibraryFailure(const ToolResult& result, uint32_t code) {
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.err.find(DescribeError(code)), std::string::npos) << result.err;
  }

  void SwitchOff() { WriteSwitchFile("[UPDATE]\nMIVRA=0\n"); }

  // Rewrites a file and puts its last-write time back, so that only its size or content tells.
  void RewriteKeepingTime(const std::wstring& name, const std::string& bytes) {
    const std::wstring path = InstallPath(name);
    FILETIME written{};
    {
      mivra::ScopedHandle file(
          ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(file && ::GetFileTime(file.get(), nullptr, nullptr, &written));
    }
    WriteFileBytes(path, bytes);
    mivra::ScopedHandle file(
        ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && ::SetFileTime(file.get(), nullptr, nullptr, &written));
  }

  // Moves a file's last-write time forward by whole seconds.
  void ShiftWriteTime(const std::wstring& name, int seconds) {
    mivra::ScopedHandle file(::CreateFileW(InstallPath(name).c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME written{};
    ASSERT_TRUE(file && ::GetFileTime(file.get(), nullptr, nullptr, &written));
    ULARGE_INTEGER ticks{{written.dwLowDateTime, written.dwHighDateTime}};
    ticks.QuadPart += static_cast<uint64_t>(seconds) * 10000000ull;
    written = {ticks.LowPart, ticks.HighPart};
    ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &written));
  }

  std::string Database() const { return ReadFileBytes(BaseFolder() + L"\\rbmdata.dat"); }
};

const char* const kCommands[] = {"status",      "backup",    "add",   "commit",   "remove",  "list",
                                  "delete-backup", "register", "mark-status", "delete-db", "query", "rollback",
                                  "inspect",     "explain", "log"};

TEST_F(MivractlTest, EveryCommandDescribesItselfInItsHelp) {
  const ToolResult overview = Ctl({"--help"});
  EXPECT_EQ(overview.exitCode, 0);
  for (const char* command : kCommands) {
    EXPECT_TRUE(HasLineStarting(overview.out, std::string("  ") + command + " ")) << command << "\n" << overview.out;
    for (const char* help : {"--help", "-h", "/?"}) {
      // Help wins over whatever else the command line holds.
      const ToolResult shown = Ctl({command, "FILE", help, "--bogus"});
      EXPECT_EQ(shown.exitCode, 0) << command << " " << help;
      EXPECT_EQ(shown.out.rfind(std::string("usage: mivractl ") + command, 0), 0u) << help << "\n" << shown.out;
      EXPECT_GT(shown.out.size(), 150u) << command;
    }
  }
  for (const char* help : {"-h", "/?"}) EXPECT_EQ(Ctl({help}).out, overview.out) << help;
  const ToolResult unknown = Ctl({"frobnicate"});
  EXPECT_EQ(unknown.exitCode, 2);
  EXPECT_NE(unknown.err.find("unknown command"), std::string::npos);

  // The commands a build without the library names as needing Windows are exactly these but the
  // two that read files.
  std::vector<std::string> windowsOnly(mivra::ctl::WindowsOnlyCommandNames().begin(),
                                       mivra::ctl::WindowsOnlyCommandNames().end());
  windowsOnly.insert(windowsOnly.end(), {"inspect", "log"});
  std::sort(windowsOnly.begin(), windowsOnly.end());
  std::vector<std::string> all(std::begin(kCommands), std::end(kCommands));
  std::sort(all.begin(), all.end());
  EXPECT_EQ(windowsOnly, all);
}

// The version of the file's version resource, "1.2.3.4"; empty when it has none.
std::string VersionResourceOf(const std::wstring& path) {
  DWORD ignored = 0;
  std::vector<BYTE> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (info.empty() || !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
      !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    return std::string();
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

// The tool carries the library's code: it names the version built in and runs where no mivra.dll
// lies beside it.
TEST_F(MivractlTest, VersionNamesTheToolAndTheLibraryBuiltIntoIt) {
  const std::string version = MIVRA_VERSION_TEXT;
  EXPECT_EQ(VersionResourceOf(ExeFolder() + L"mivractl.exe"), version + ".0");
  const std::string expected = "mivractl " + version + "\nmivra " + version +
                               " built in (mivractl carries the library's code and loads no mivra.dll)\n";
  EXPECT_EQ(Ctl({"--version"}).out, expected);
  for (const char* command : kCommands) {
    const ToolResult shown = Ctl({command, "--version"});
    EXPECT_EQ(shown.exitCode, 0) << command;
    EXPECT_EQ(shown.out, expected) << command;
  }
  JsonValue value;
  ASSERT_TRUE(IsOneJsonObject(Ctl({"--version", "--json"}).out, &value));
  EXPECT_EQ(value.Find("tool")->text, "mivractl");
  EXPECT_EQ(value.Find("version")->text, version);
  const JsonValue* library = value.Find("library");
  ASSERT_TRUE(library && library->Is(JsonValue::Kind::kObject));
  EXPECT_EQ(library->Find("version")->text, version);
  ASSERT_NE(library->Find("builtIn"), nullptr);
  EXPECT_TRUE(library->Find("builtIn")->boolean);

  const std::wstring alone = ExeFolder() + L"mivractl without mivra.dll\\";
  mivra_test::RemoveTree(alone.substr(0, alone.size() - 1));
  mivra_test::MakeFolder(alone);
  ASSERT_TRUE(CopyFileW((ExeFolder() + L"mivractl.exe").c_str(), (alone + L"mivractl.exe").c_str(), FALSE));
  const ToolResult started = RunMivractl({"--version"}, alone + L"mivractl.exe");
  EXPECT_EQ(started.exitCode, 0) << started.err;
  EXPECT_EQ(started.out, expected);
  mivra_test::RemoveTree(alone.substr(0, alone.size() - 1));
}

TEST_F(MivractlTest, StatusShowsTheFoldersTheBackupsAndTheDatabase) {
  ToolResult status = Ctl({"status"});
  EXPECT_EQ(status.exitCode, 0) << status.err;
  EXPECT_TRUE(HasLine(status.out, "installDir: " + Narrow(InstallDir()))) << status.out;
  EXPECT_TRUE(HasLine(status.out, "switch: on"));
  EXPECT_TRUE(HasLine(status.out, "baseFolder: " + Narrow(BaseFolder())));
  EXPECT_TRUE(HasLine(status.out, "baseFolderExists: no"));
  EXPECT_TRUE(HasLine(status.out, "bkup.exists: no"));
  EXPECT_TRUE(HasLine(status.out, "database.exists: no"));
  // Looking creates nothing.
  EXPECT_FALSE(FileExists(BaseFolder()));

  Put(L"A.DLL", "alpha");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL", "NEW.DLL"}).exitCode, 0);
  ASSERT_EQ(Ctl({"mark-status", "1"}).exitCode, 0);
  WriteSwitchFile("[UPDATE]\nMIVRA=0\n");
  status = Ctl({"status", "--json"});
  EXPECT_EQ(status.exitCode, 0);
  for (const char* text : {"\"switch\": false", "\"metadata\": \"valid\"", "\"records\": 2", "\"damaged\": false",
                           "\"updateStatus\": 1", "\"rollbackCount\": 0", "\"rollbacksRemaining\": 15"}) {
    EXPECT_NE(status.out.find(text), std::string::npos) << text << "\n" << status.out;
  }

  DeleteAppPathsValue();
  status = Ctl({"status"});
  EXPECT_TRUE(HasLine(status.out, "installDir: unresolved"));
  EXPECT_TRUE(HasLineStarting(status.out, "installDirProblem: read HKLM\\")) << status.out;
  ExpectLibraryFailure(status, MIVRA_E_BACKUP_FOLDER);
}

// A change of the committed bkmdata.dat cut off with its writer: status and the rollback's plan
// show the file as the library's next open puts it back, and say so; the rollback then acts on it.
TEST_F(MivractlTest, StatusAndTheRollbackPlanSeeAFileAsItsJournalPutsItBack) {
  Put(L"A.DLL", "alpha");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL", "NEW.DLL"}).exitCode, 0);
  const std::wstring file = BkupFolder() + L"\\bkmdata.dat";
  const std::string good = ReadFileBytes(file);
  std::string torn = good + std::string(mivra_test::kBkRecordBytes, '\x11');
  mivra_test::PutLe32(torn, mivra_test::kCrcAt, 0xDEADBEEFu);
  WriteFileBytes(file, torn);
  mivra::JournalImage image;
  image.oldLength = good.size();
  image.ranges.push_back({0, std::vector<uint8_t>(good.begin(), good.begin() + mivra_test::kBkAreaOffset)});
  const std::vector<uint8_t> journal = mivra::EncodeJournal(image);
  WriteFileBytes(BkupFolder() + L"\\bkmdata.jnl", std::string(journal.begin(), journal.end()));

  const ToolResult status = Ctl({"status"});
  EXPECT_EQ(status.exitCode, 0) << status.err;
  for (const char* line : {"bkup.metadata: valid", "bkup.records: 2", "bkup.journal.state: complete"}) {
    EXPECT_TRUE(HasLine(status.out, line)) << line << "\n" << status.out;
  }
  EXPECT_TRUE(HasLineStarting(status.out, "bkup.journal.recovery: a change was cut off with its writer")) << status.out;
  EXPECT_EQ(ReadFileBytes(file), torn) << "looking changes nothing";

  const ToolResult rollback = Ctl({"rollback"});
  EXPECT_EQ(rollback.exitCode, 0) << rollback.out << rollback.err;
  for (const char* line : {"about to roll back from the committed backup: restore 1 file, delete 1", "  restore A.DLL",
                           "  delete NEW.DLL", "rolled back: 1 restored, 1 deleted"}) {
    EXPECT_TRUE(HasLine(rollback.out, line)) << line << "\n" << rollback.out;
  }
  EXPECT_FALSE(FileExists(BkupFolder() + L"\\bkmdata.jnl"));
}

// The position of the first line of `text` that begins with `start`; npos when there is none.
size_t LineStarting(const std::string& text, const std::string& start) {
  if (text.rfind(start, 0) == 0) return 0;
  const size_t at = text.find("\n" + start);
  return at == std::string::npos ? at : at + 1;
}

TEST_F(MivractlTest, BackupRecordsEveryFileWithProgressAndCommits) {
  Put(L"A.DLL", "alpha");
  Put(L"B.DLL", "beta!!");
  const ToolResult backup = Ctl({"backup", "--commit", "A.DLL", Narrow(InstallPath(L"B.DLL")), "NEW.DLL"});
  EXPECT_EQ(backup.exitCode, 0) << backup.err;
  EXPECT_TRUE(HasLine(backup.out, "staging backup started: 3 files, 11 bytes")) << backup.out;
  // Each file's size before the library's call; time, throughput and the running total after it.
  const struct {
    const char* before;
    const char* after;
    const char* total;
    bool copied;  // a copy was made, so its time and throughput show
  } progress[] = {
      {"[1/3] A.DLL: 5 bytes...", "[1/3] A.DLL: backed up, 5 bytes in ", "; total 5 of 11 bytes", true},
      {"[2/3] B.DLL: 6 bytes...", "[2/3] B.DLL: backed up, 6 bytes in ", "; total 11 of 11 bytes", true},
      {"[3/3] NEW.DLL: not there...", "[3/3] NEW.DLL: recorded as absent", "; total 11 of 11 bytes", false},
  };
  size_t previous = 0;
  for (const auto& file : progress) {
    const size_t before = LineStarting(backup.out, file.before);
    const size_t after = LineStarting(backup.out, file.after);
    ASSERT_NE(before, std::string::npos) << file.before << "\n" << backup.out;
    ASSERT_NE(after, std::string::npos) << file.after << "\n" << backup.out;
    EXPECT_LT(previous, before);
    EXPECT_LT(before, after);
    const std::string afterLine = backup.out.substr(after, backup.out.find('\n', after) - after);
    EXPECT_EQ(afterLine.find(" s (") != std::string::npos, file.copied) << afterLine;
    EXPECT_EQ(afterLine.substr(afterLine.size() - std::strlen(file.total)), file.total) << afterLine;
    previous = after;
  }
  EXPECT_TRUE(HasLineStarting(backup.out, "staging backup closed: 3 files, 11 bytes in "));
  EXPECT_TRUE(HasLine(backup.out, "committed"));
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\A.DLL"), "alpha");
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\B.DLL"), "beta!!");
  EXPECT_FALSE(FileExists(TmpBkupFolder()));
  EXPECT_TRUE(HasLine(Ctl({"status"}).out, "bkup.records: 3"));

  // A file outside the install directory stops the backup before anything is committed.
  MakeFolder(InstallPath(L"sub"));
  Put(L"sub\\C.DLL", "gamma");
  const ToolResult refused = Ctl({"backup", "--commit", "A.DLL", Narrow(InstallPath(L"sub\\C.DLL"))});
  ExpectLibraryFailure(refused, MIVRA_E_NOT_IN_INSTALL_DIR);
  EXPECT_TRUE(HasLine(refused.out, "[2/2] C.DLL: failed"));
  EXPECT_FALSE(HasLine(refused.out, "committed"));
  EXPECT_TRUE(HasLine(Ctl({"status"}).out, "bkup.records: 3"));
  // The half-made staging backup is gone: a later commit has nothing to put over the good one.
  EXPECT_TRUE(HasLine(refused.out, "staging backup discarded"));
  EXPECT_FALSE(FileExists(TmpBkupFolder()));
  ExpectLibraryFailure(Ctl({"commit", "--json"}), MIVRA_E_FOLDER_RENAME);
  EXPECT_TRUE(HasLine(Ctl({"status"}).out, "bkup.records: 3"));
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\A.DLL"), "alpha");
}

TEST_F(MivractlTest, CommitRefusesAStagingBackupWithoutRecordsOverOneWithRecords) {
  Put(L"A.DLL", "alpha");
  Put(L"B.DLL", "beta");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL", "B.DLL"}).exitCode, 0);
  const std::string committed = ReadFileBytes(BkupFolder() + L"\\bkmdata.dat");
  struct StagingCase {
    const char* what;
    const char* bkmdata;  // null: the folder holds no bkmdata.dat
    bool empty;           // an empty valid bkmdata.dat
  };
  const StagingCase kCases[] = {
      {"no records", nullptr, true},
      {"no bkmdata.dat", nullptr, false},
      {"an invalid bkmdata.dat", "KVBKUP and nothing valid", false},
  };
  for (const StagingCase& c : kCases) {
    SCOPED_TRACE(c.what);
    RemoveTree(TmpBkupFolder());
    MakeFolder(TmpBkupFolder());
    if (c.empty) WriteFileBytes(TmpBkupFolder() + L"\\bkmdata.dat", NewMetadataFile(kBkLayout));
    if (c.bkmdata) WriteFileBytes(TmpBkupFolder() + L"\\bkmdata.dat", c.bkmdata);
    const ToolResult refused = Ctl({"commit", "--json"});
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    JsonValue value;
    ASSERT_TRUE(IsOneJsonObject(refused.out, &value));
    EXPECT_EQ(value.Find("result")->text, "failed");
    EXPECT_TRUE(value.Find("code")->Is(JsonValue::Kind::kNull));
    EXPECT_EQ(value.Find("committedRecords")->text, "2");
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\bkmdata.dat"), committed);
    EXPECT_TRUE(FileExists(TmpBkupFolder()));
  }

  // Asked for, it is done: the library's own commit is unchanged.
  RemoveTree(TmpBkupFolder());
  MakeFolder(TmpBkupFolder());
  WriteFileBytes(TmpBkupFolder() + L"\\bkmdata.dat", NewMetadataFile(kBkLayout));
  const ToolResult forced = Ctl({"commit", "--force"});
  EXPECT_EQ(forced.exitCode, 0) << forced.err;
  EXPECT_FALSE(FileExists(BkupFolder() + L"\\A.DLL"));
  EXPECT_TRUE(HasLine(Ctl({"status"}).out, "bkup.records: 0"));

  // Over a committed backup without records, an empty staging backup needs no --force.
  MakeFolder(TmpBkupFolder());
  WriteFileBytes(TmpBkupFolder() + L"\\bkmdata.dat", NewMetadataFile(kBkLayout));
  EXPECT_EQ(Ctl({"commit"}).exitCode, 0);
}

TEST_F(MivractlTest, CommitMakesTheStagingBackupTheCommittedOne) {
  Put(L"A.DLL", "alpha");
  const ToolResult staged = Ctl({"backup", "A.DLL"});
  EXPECT_EQ(staged.exitCode, 0) << staged.err;
  EXPECT_TRUE(HasLine(staged.out, "not committed yet (mivractl commit)"));
  EXPECT_TRUE(FileExists(TmpBkupFolder() + L"\\A.DLL"));
  EXPECT_FALSE(FileExists(BkupFolder()));

  const ToolResult commit = Ctl({"commit"});
  EXPECT_EQ(commit.exitCode, 0) << commit.err;
  EXPECT_EQ(commit.out, "committed\n");
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\A.DLL"), "alpha");

  // Nothing is staged any more.
  ExpectLibraryFailure(Ctl({"commit"}), MIVRA_E_FOLDER_RENAME);
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\A.DLL"), "alpha");
}

TEST_F(MivractlTest, AddPutsOneFileStraightIntoTheCommittedBackup) {
  Put(L"A.DLL", "alpha");
  const ToolResult add = Ctl({"add", "A.DLL"});
  EXPECT_EQ(add.exitCode, 0) << add.err;
  EXPECT_EQ(add.out, "A.DLL: backed up, 5 bytes in the committed backup\n");
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\A.DLL"), "alpha");
  EXPECT_EQ(Ctl({"add", "LATER.DLL"}).out, "LATER.DLL: recorded as absent in the committed backup\n");

  // The same name twice in one metadata file.
  ExpectLibraryFailure(Ctl({"add", "A.DLL"}), MIVRA_E_RECORD_WRITE);
  SwitchOff();
  Put(L"B.DLL", "beta");
  ExpectLibraryFailure(Ctl({"add", "B.DLL"}), MIVRA_E_FEATURE_OFF);
  EXPECT_FALSE(FileExists(BkupFolder() + L"\\B.DLL"));
}

TEST_F(MivractlTest, ListAndRemoveWorkOnTheCommittedBackup) {
  ExpectLibraryFailure(Ctl({"list"}), MIVRA_E_NO_BACKUP);

  Put(L"A.DLL", "alpha");
  Put(L"B DATA.BIN", "beta");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL", "B DATA.BIN", "NEW.DLL"}).exitCode, 0);
  ToolResult list = Ctl({"list"});
  EXPECT_EQ(list.exitCode, 0) << list.err;
  EXPECT_EQ(list.out, "A.DLL\nB DATA.BIN\nNEW.DLL\n");

  const ToolResult remove = Ctl({"remove", "A.DLL"});
  EXPECT_EQ(remove.exitCode, 0) << remove.err;
  EXPECT_EQ(remove.out, "A.DLL: removed from the committed backup\n");
  EXPECT_FALSE(FileExists(BkupFolder() + L"\\A.DLL"));
  // Removed records stay listed.
  list = Ctl({"list", "--json"});
  EXPECT_EQ(list.out, "{\n  \"files\": [\n    \"A.DLL\",\n    \"B DATA.BIN\",\n    \"NEW.DLL\"\n  ]\n}\n");

  ExpectLibraryFailure(Ctl({"remove", "a.dll"}), MIVRA_E_NOT_IN_BACKUP);
}

TEST_F(MivractlTest, DeleteBackupRemovesTheCommittedBackup) {
  Put(L"A.DLL", "alpha");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL"}).exitCode, 0);
  SwitchOff();
  ExpectLibraryFailure(Ctl({"delete-backup"}), MIVRA_E_FEATURE_OFF);
  EXPECT_TRUE(FileExists(BkupFolder() + L"\\A.DLL"));

  WriteSwitchFile(nullptr);
  const ToolResult deleted = Ctl({"delete-backup"});
  EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "committed backup deleted\n");
  EXPECT_FALSE(FileExists(BkupFolder()));
}

TEST_F(MivractlTest, RegisterHandsEachFilesSizeAndDigestToTheLibrary) {
  Put(L"A.DLL", "alpha");
  Put(L"B.DLL", "bravo!");
  const ToolResult registered = Ctl({"register", "A.DLL", "B.DLL"});
  EXPECT_EQ(registered.exitCode, 0) << registered.err;
  // MD5("alpha") and MD5("bravo!").
  EXPECT_TRUE(HasLine(registered.out, "[1/2] A.DLL: registered, 5 bytes, md5 2c1743a391305fbf367df8e4f069f9f9"))
      << registered.out;
  EXPECT_TRUE(HasLineStarting(registered.out, "[2/2] B.DLL: registered, 6 bytes, md5 "));

  const std::string database = Database();
  ASSERT_EQ(database.size(), mivra::kRBRecordAreaOffset + 2 * mivra::kRBRecordSize);
  mivra::RBMdataRecord record;
  mivra::DecodeRBRecord(reinterpret_cast<const uint8_t*>(database.data()) + mivra::kRBRecordAreaOffset, &record);
  EXPECT_EQ(record.fileSizeLow, 5u);
  EXPECT_EQ(record.fileName, std::u16string(u"A.DLL"));

  ExpectLibraryFailure(Ctl({"register", "MISSING.DLL"}), MIVRA_E_RB_FILE_ATTRIBUTES);
  EXPECT_EQ(Database().size(), database.size());
}

TEST_F(MivractlTest, MarkStatusStoresTheStatusByte) {
  const ToolResult marked = Ctl({"mark-status", "1"});
  EXPECT_EQ(marked.exitCode, 0) << marked.err;
  EXPECT_EQ(marked.out, "update status 1 stored\n");
  ASSERT_GT(Database().size(), 73u);
  EXPECT_EQ(Database()[73], 1);
  ASSERT_EQ(Ctl({"mark-status", "2"}).exitCode, 0);
  EXPECT_EQ(Database()[73], 2);

  EXPECT_EQ(Ctl({"mark-status", "3"}).exitCode, 2);
  EXPECT_EQ(Database()[73], 2);
  SwitchOff();
  ExpectLibraryFailure(Ctl({"mark-status", "1"}), MIVRA_E_FEATURE_OFF);
  EXPECT_EQ(Database()[73], 2);
}

TEST_F(MivractlTest, DeleteDbDeletesTheDatabaseAndSaysWhenThereIsNone) {
  ASSERT_EQ(Ctl({"mark-status", "1"}).exitCode, 0);
  const ToolResult deleted = Ctl({"delete-db"});
  EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "rollback database deleted\n");
  EXPECT_FALSE(FileExists(BaseFolder() + L"\\rbmdata.dat"));

  const ToolResult again = Ctl({"delete-db"});
  EXPECT_EQ(again.exitCode, 1);
  EXPECT_NE(again.err.find("failed without an error code: there is no rollback database"), std::string::npos)
      << again.err;
}

TEST_F(MivractlTest, QueryAnswersWithTheLibrarysTests) {
  Put(L"A.DLL", "alpha");
  ASSERT_EQ(Ctl({"register", "A.DLL"}).exitCode, 0);
  ToolResult query = Ctl({"query"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  // Without updtconf.dat the library's reader says so on standard output; the tool reports it.
  EXPECT_EQ(query.out,
            "tests: interrupted, changed\nrollbackNeeded: no\n"
            "libraryMessage: ReadUpdateConfigData: _topen failed, (errno: 2)\n");

  // Same time and size, other content; no committed backup yet.
  RewriteKeepingTime(L"A.DLL", "ALPHA");
  query = Ctl({"query", "--changed"});
  EXPECT_EQ(query.exitCode, 0) << query.err;
  EXPECT_TRUE(HasLine(query.out, "rollbackNeeded: yes"));
  EXPECT_TRUE(HasLine(query.out, "backup: none (" + DescribeError(MIVRA_E_NO_BACKUP) + ")")) << query.out;
  EXPECT_TRUE(HasLine(Ctl({"query", "--interrupted"}).out, "rollbackNeeded: no"));

  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL"}).exitCode, 0);
  query = Ctl({"query", "--json"});
  EXPECT_NE(query.out.find("\"rollbackNeeded\": true"), std::string::npos) << query.out;
  EXPECT_NE(query.out.find("\"backup\": true"), std::string::npos) << query.out;

  SwitchOff();
  ExpectLibraryFailure(Ctl({"query"}), MIVRA_E_FEATURE_OFF);
}

TEST_F(MivractlTest, RollbackSaysWhatItWillDoAndRestoresTheCommittedBackup) {
  const ToolResult refused = Ctl({"rollback"});
  ExpectLibraryFailure(refused, MIVRA_E_RESTORE_APPLY);
  EXPECT_EQ(refused.out, "about to roll back; no plan to show: " + Narrow(BkupFolder()) +
                             "\\bkmdata.dat is missing\nrolling back...\n");

  Put(L"A.DLL", "alpha");
  Put(L"B.DLL", "beta");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL", "B.DLL", "NEW.DLL"}).exitCode, 0);
  Put(L"A.DLL", "alpha, updated");
  ::DeleteFileW(InstallPath(L"B.DLL").c_str());
  Put(L"NEW.DLL", "added by the update");

  const ToolResult rollback = Ctl({"rollback"});
  EXPECT_EQ(rollback.exitCode, 0) << rollback.err;
  EXPECT_EQ(rollback.out,
            "about to roll back from the committed backup: restore 2 files, delete 1\n"
            "  restore A.DLL\n  restore B.DLL\n  delete NEW.DLL\n"
            "rolling back...\n"
            "rolled back: 2 restored, 1 deleted\n");
  EXPECT_EQ(ReadFileBytes(InstallPath(L"A.DLL")), "alpha");
  EXPECT_EQ(ReadFileBytes(InstallPath(L"B.DLL")), "beta");
  EXPECT_FALSE(FileExists(InstallPath(L"NEW.DLL")));
  EXPECT_TRUE(HasLine(Ctl({"status"}).out, "database.rollbackCount: 1"));
}

TEST_F(MivractlTest, InspectReadsAndVerifiesTheLibrarysOwnFiles) {
  Put(L"A.DLL", "alpha");
  ASSERT_EQ(Ctl({"backup", "--commit", "A.DLL", "NEW.DLL"}).exitCode, 0);
  const std::string bkmdata = Narrow(BkupFolder() + L"\\bkmdata.dat");
  ToolResult inspect = Ctl({"inspect", bkmdata, "--verify"});
  EXPECT_EQ(inspect.exitCode, 0) << inspect.out << inspect.err;
  EXPECT_TRUE(HasLine(inspect.out, "verdict: valid"));
  EXPECT_TRUE(HasLine(inspect.out, "verify: ok (1 copy matches its digest)")) << inspect.out;
  EXPECT_TRUE(HasLineStarting(inspect.out, "record 1: flags=absent size=0 time=- "));

  WriteFileBytes(BkupFolder() + L"\\A.DLL", "ALPHA");
  inspect = Ctl({"inspect", bkmdata, "--verify"});
  EXPECT_EQ(inspect.exitCode, 1);
  EXPECT_TRUE(HasLine(inspect.out, "copy 0: differs name=A.DLL"));

  inspect = Ctl({"inspect", Narrow(BkupFolder() + L"\\none.dat")});
  EXPECT_EQ(inspect.exitCode, 1);
  EXPECT_NE(inspect.err.find("no such file"), std::string::npos);
}

TEST_F(MivractlTest, ExplainNamesEachRegisteredFileAndWhy) {
  Put(L"A.DLL", "alpha");
  Put(L"B.DLL", "bravo");
  Put(L"C.DLL", "charlie");
  Put(L"D.DLL", "delta");
  Put(L"HELP.CHM", "help");
  Put(L"E.DLL", "echo");
  Put(L"updtconf.dat", BuildUpdateConfig({ConfigRecord(0x2a, 1)}));
  Put(L"0000002a_compns.lst", BuildComponentList({{1, "HELP.CHM"}, {0, "E.DLL"}}));
  ASSERT_EQ(Ctl({"register", "B.DLL", "A.DLL", "C.DLL", "D.DLL", "HELP.CHM", "E.DLL"}).exitCode, 0);

  RewriteKeepingTime(L"A.DLL", "ALPHA");
  ::DeleteFileW(InstallPath(L"C.DLL").c_str());
  ShiftWriteTime(L"D.DLL", 7);
  RewriteKeepingTime(L"HELP.CHM", "HELP");
  RewriteKeepingTime(L"E.DLL", "echo echo");

  ToolResult explain = Ctl({"explain"});
  EXPECT_EQ(explain.exitCode, 0) << explain.err;
  const std::string& out = explain.out;
  EXPECT_TRUE(HasLine(out, "updateStatus: 0")) << out;
  EXPECT_TRUE(HasLine(out, "componentLists.usable: yes"));
  EXPECT_TRUE(HasLine(out, "componentLists.names: 1"));
  EXPECT_TRUE(HasLine(out, "file B.DLL: unchanged"));
  EXPECT_TRUE(HasLine(out, "file A.DLL: content differs"));
  EXPECT_TRUE(HasLine(out, "file C.DLL: missing"));
  EXPECT_TRUE(HasLineStarting(out, "file D.DLL: time changed (registered "));
  EXPECT_TRUE(HasLine(out, "file HELP.CHM: exempt by component list (content differs)"));
  EXPECT_TRUE(HasLine(out, "file E.DLL: size differs (registered 4 bytes, now 9)"));
  EXPECT_TRUE(HasLine(out, "changedFiles: 2"));
  EXPECT_TRUE(HasLine(out, "checkFails: no"));
  EXPECT_TRUE(HasLine(out, "rollbackNeeded: yes"));
  EXPECT_TRUE(HasLine(out, "reason: A.DLL: content differs"));
  EXPECT_TRUE(HasLine(Ctl({"query", "--changed"}).out, "rollbackNeeded: yes"));

  // A record that names no plain file of the install directory is passed over, as by the query.
  std::string database = Database();
  mivra_test::RenameRecord(mivra_test::kRBLayout, database, 1, u"..\\A.DLL");
  WriteFileBytes(BaseFolder() + L"\\rbmdata.dat", database);
  explain = Ctl({"explain"});
  EXPECT_TRUE(HasLine(explain.out, "file ..\\A.DLL: not a plain file name")) << explain.out;
  EXPECT_TRUE(HasLine(explain.out, "changedFiles: 1"));
  EXPECT_TRUE(HasLine(explain.out, "reason: E.DLL: size differs (registered 4 bytes, now 9)"));

  // Without the configuration nothing is exempt, and the reader's message shows.
  ::DeleteFileW(InstallPath(L"updtconf.dat").c_str());
  ASSERT_EQ(Ctl({"mark-status", "1"}).exitCode, 0);
  explain = Ctl({"explain", "--json"});
  EXPECT_EQ(explain.exitCode, 0);
  for (const char* text : {"\"usable\": false", "\"message\": \"ReadUpdateConfigData: _topen failed, (errno: 2)\"",
                           "\"verdict\": \"size-differs\"", "\"checkFails\": false", "\"rollbackNeeded\": true",
                           "\"reason\": \"the update status is 1: an update was left unfinished\""}) {
    EXPECT_NE(explain.out.find(text), std::string::npos) << text << "\n" << explain.out;
  }
  EXPECT_EQ(explain.out.find("\"verdict\": \"exempt\""), std::string::npos);

  DeleteAppPathsValue();
  explain = Ctl({"explain"});
  EXPECT_EQ(explain.exitCode, 1);
  EXPECT_NE(explain.err.find("the install directory cannot be resolved"), std::string::npos);
}

TEST_F(MivractlTest, EveryCommandAnswersInJsonFailuresIncluded) {
  Put(L"A.DLL", "alpha");
  struct JsonCase {
    std::vector<std::string> args;
    int exitCode;
    std::vector<std::string> members;  // each a whole "key": value as printed
  };
  const std::string noCode = "\"code\": null";
  const std::string noName = "\"codeName\": null";
  const JsonCase cases[] = {
      // Failures without a code, and wrong command lines.
      {{"delete-db"}, 1, {"\"result\": \"failed\"", noCode, noName, "\"message\": \"deleting the rollback database "
                                                                  "failed without an error code: there is no rollback database\""}},
      {{"inspect", "NONE.DAT"}, 1, {"\"command\": \"inspect\"", "\"result\": \"failed\"", noCode}},
      {{"mark-status", "3"}, 2, {"\"result\": \"usage-error\"", noCode, "\"command\": \"mark-status\""}},
      {{"commit", "--bogus"}, 2, {"\"result\": \"usage-error\"", "\"message\": \"unknown option --bogus\\n"}},
      // Failures of the library, with its code.
      {{"commit"}, 1, {"\"result\": \"failed\"", "\"code\": 116", "\"codeName\": \"MIVRA_E_FOLDER_RENAME\""}},
      {{"remove", "A.DLL"}, 1, {"\"code\": 114", "\"codeName\": \"MIVRA_E_NOT_IN_BACKUP\"", "\"name\": \"A.DLL\""}},
      {{"list"}, 1, {"\"command\": \"list\"", "\"code\": 130", "\"failed\": \"listing the committed backup\""}},
      {{"rollback"}, 1, {"\"code\": 121", "\"plan\": {", "\"restore\": []"}},
      {{"register", "MISSING.DLL"}, 1, {"\"code\": 124", "\"files\": []"}},
      // Successes of the commands that change state.
      {{"backup", "A.DLL", "NEW.DLL"}, 0, {"\"result\": \"ok\"", noCode, noName, "\"committed\": false",
                                          "\"exists\": true", "\"exists\": false", "\"size\": 5"}},
      {{"commit"}, 0, {"\"command\": \"commit\"", "\"result\": \"ok\"", noCode}},
      {{"add", "B.DLL"}, 0, {"\"result\": \"ok\"", "\"exists\": false"}},
      {{"remove", "NEW.DLL"}, 0, {"\"result\": \"ok\"", "\"name\": \"NEW.DLL\""}},
      {{"register", "A.DLL"}, 0, {"\"result\": \"ok\"", "\"md5\": \"2c1743a391305fbf367df8e4f069f9f9\""}},
      {{"mark-status", "1"}, 0, {"\"result\": \"ok\"", "\"updateStatus\": 1"}},
      {{"query"}, 0, {"\"rollbackNeeded\": true", "\"backup\": true"}},
      {{"rollback"}, 0, {"\"result\": \"ok\"", "\"readable\": true", "\"restore\": [\n      \"A.DLL\"\n    ]"}},
      {{"delete-backup"}, 0, {"\"result\": \"ok\"", noName}},
      {{"delete-db"}, 0, {"\"result\": \"ok\""}},
      // The commands that only look.
      {{"status"}, 0, {"\"switch\": true", "\"bkup\": {"}},
      {{"explain"}, 0, {"\"rollbackNeeded\": false", "\"databaseVerdict\": \"missing\""}},
      {{"log", "NONE.LOG"}, 1, {"\"command\": \"log\"", "\"result\": \"failed\"", noCode}},
  };
  for (const JsonCase& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const ToolResult result = Ctl(args);
    const std::string shown = args[0] + " " + (args.size() > 2 ? args[1] : "") + "\n" + result.out + result.err;
    EXPECT_EQ(result.exitCode, c.exitCode) << shown;
    JsonValue value;
    EXPECT_TRUE(IsOneJsonObject(result.out, &value)) << shown;
    for (const std::string& member : c.members) {
      EXPECT_NE(result.out.find(member), std::string::npos) << member << "\n" << shown;
    }
    // Messages and progress stay on standard error.
    if (c.exitCode != 0) {
      EXPECT_NE(result.err.find("mivractl " + args[0] + ": "), std::string::npos) << shown;
    }
  }
}

TEST_F(MivractlTest, EveryUsageErrorAnswersInJsonWhereverTheOptionStands) {
  Put(L"updtconf.dat", BuildUpdateConfig({ConfigRecord(0x2a, 1)}));
  const std::string config = Narrow(InstallPath(L"updtconf.dat"));
  struct UsageCase {
    std::vector<std::string> args;
    const char* command;  // null: none was named (JSON null)
    const char* message;  // the start of "message"
  };
  const UsageCase kCases[] = {
      {{"frobnicate"}, "frobnicate", "unknown command \"frobnicate\""},
      {{}, nullptr, "name a command"},
      {{"--bogus", "status"}, nullptr, "unknown option --bogus"},
      {{"status", "--trace"}, "status", "--trace needs a FILE"},
      {{"status", "extra"}, "status", "takes no arguments"},
      {{"backup"}, "backup", "name at least one FILE"},
      {{"add"}, "add", "name exactly one FILE"},
      {{"add", "A.DLL", "B.DLL"}, "add", "name exactly one FILE"},
      {{"commit", "extra"}, "commit", "takes no arguments"},
      {{"remove"}, "remove", "name exactly one NAME"},
      {{"list", "extra"}, "list", "takes no arguments"},
      {{"delete-backup", "extra"}, "delete-backup", "takes no arguments"},
      {{"register"}, "register", "name at least one FILE"},
      {{"mark-status", "3"}, "mark-status", "the status is 1 or 2"},
      {{"mark-status"}, "mark-status", "the status is 1 or 2"},
      {{"delete-db", "extra"}, "delete-db", "takes no arguments"},
      {{"query", "extra"}, "query", "takes no arguments"},
      {{"rollback", "extra"}, "rollback", "takes no arguments"},
      {{"inspect"}, "inspect", "name exactly one FILE"},
      {{"inspect", config, "--verify"}, "inspect", "--verify applies to bkmdata.dat only"},
      {{"explain", "extra"}, "explain", "takes no arguments"},
      {{"log"}, "log", "name the trace FILE"},
  };
  std::vector<UsageCase> cases(std::begin(kCases), std::end(kCases));
  // Every command refuses an option it does not take.
  for (const char* command : kCommands) cases.push_back({{command, "--bogus"}, command, "unknown option --bogus"});
  for (const UsageCase& c : cases) {
    // --json first, last, and between the command and its arguments.
    for (size_t at : {size_t{0}, c.args.size(), std::min<size_t>(1, c.args.size())}) {
      std::vector<std::string> args = c.args;
      args.insert(args.begin() + static_cast<std::ptrdiff_t>(at), "--json");
      const ToolResult result = Ctl(args);
      SCOPED_TRACE((c.args.empty() ? std::string("(none)") : c.args[0]) + " with --json at " + std::to_string(at) +
                   "\n" + result.out + result.err);
      EXPECT_EQ(result.exitCode, 2);
      JsonValue value;
      ASSERT_TRUE(IsOneJsonObject(result.out, &value));
      EXPECT_EQ(MemberText(value, "command"), c.command ? c.command : "null");
      EXPECT_EQ(MemberText(value, "result"), "usage-error");
      EXPECT_EQ(MemberText(value, "code"), "null");
      EXPECT_EQ(MemberText(value, "codeName"), "null");
      EXPECT_EQ(MemberText(value, "message").rfind(c.message, 0), 0u);
      EXPECT_NE(result.err.find(c.message), std::string::npos);
    }
  }
  // Help and the version are one object too.
  JsonValue value;
  ASSERT_TRUE(IsOneJsonObject(Ctl({"backup", "--json", "-h"}).out, &value));
  EXPECT_EQ(value.Find("help")->text.rfind("usage: mivractl backup", 0), 0u);
  ASSERT_TRUE(IsOneJsonObject(Ctl({"--json", "/?"}).out, &value));
  EXPECT_TRUE(value.Find("command")->Is(JsonValue::Kind::kNull));
}

TEST_F(MivractlTest, ListsAreArraysAndAnswersAreBooleansInJson) {
  Put(L"A.DLL", "alpha");
  JsonValue value;
  ASSERT_TRUE(IsOneJsonObject(Ctl({"--json", "backup", "--commit", "A.DLL", "NEW.DLL"}).out, &value));
  ASSERT_TRUE(value.Find("files")->Is(JsonValue::Kind::kArray));
  EXPECT_EQ(value.Find("files")->items.size(), 2u);
  EXPECT_TRUE(value.Find("files")->items[0].Find("exists")->boolean);
  EXPECT_FALSE(value.Find("files")->items[1].Find("exists")->boolean);
  EXPECT_TRUE(value.Find("committed")->boolean);

  ASSERT_TRUE(IsOneJsonObject(Ctl({"query", "--json"}).out, &value));
  const JsonValue* tests = value.Find("tests");
  ASSERT_TRUE(tests && tests->Is(JsonValue::Kind::kArray));
  ASSERT_EQ(tests->items.size(), 2u);
  EXPECT_EQ(tests->items[0].text, "interrupted");
  EXPECT_EQ(tests->items[1].text, "changed");
  EXPECT_TRUE(value.Find("rollbackNeeded")->Is(JsonValue::Kind::kBool));
  ASSERT_TRUE(IsOneJsonObject(Ctl({"query", "--changed", "--json"}).out, &value));
  EXPECT_EQ(value.Find("tests")->items.size(), 1u);

  ASSERT_TRUE(IsOneJsonObject(Ctl({"status", "--json"}).out, &value));
  EXPECT_TRUE(value.Find("switch")->Is(JsonValue::Kind::kBool));
  EXPECT_TRUE(value.Find("baseFolderExists")->Is(JsonValue::Kind::kBool));
  EXPECT_TRUE(value.Find("bkup")->Find("exists")->boolean);
  EXPECT_TRUE(value.Find("bkup")->Find("damaged")->Is(JsonValue::Kind::kBool));

  ASSERT_TRUE(IsOneJsonObject(Ctl({"inspect", "--json", Narrow(BkupFolder() + L"\\bkmdata.dat")}).out, &value));
  const JsonValue* records = value.Find("records");
  ASSERT_TRUE(records && records->items.size() == 2u);
  ASSERT_TRUE(records->items[0].Find("flags")->Is(JsonValue::Kind::kArray));
  EXPECT_TRUE(records->items[0].Find("flags")->items.empty());
  ASSERT_EQ(records->items[1].Find("flags")->items.size(), 1u);
  EXPECT_EQ(records->items[1].Find("flags")->items[0].text, "absent");
}

TEST_F(MivractlTest, ATraceFileThatCannotBeWrittenIsOneWarning) {
  const std::string unwritable = "C:\\no such folder\\deeper\\t.log";
  const ToolResult status = Ctl({"status", "--trace", unwritable});
  EXPECT_EQ(status.exitCode, 0) << status.err;
  const std::string warning = "mivractl status: warning: the trace file \"" + unwritable + "\" cannot be written";
  ASSERT_NE(status.err.find(warning), std::string::npos) << status.err;
  EXPECT_EQ(status.err.find(warning, status.err.find(warning) + 1), std::string::npos) << status.err;
  EXPECT_TRUE(HasLine(status.out, "switch: on"));

  // Every library call skips the trace, yet only one warning is given; standard output stays JSON.
  Put(L"A.DLL", "alpha");
  const ToolResult backup = Ctl({"--trace", unwritable, "--json", "backup", "--commit", "A.DLL", "B.DLL"});
  EXPECT_EQ(backup.exitCode, 0) << backup.err;
  JsonValue value;
  EXPECT_TRUE(IsOneJsonObject(backup.out, &value));
  const size_t first = backup.err.find("warning: the trace file");
  ASSERT_NE(first, std::string::npos) << backup.err;
  EXPECT_EQ(backup.err.find("warning: the trace file", first + 1), std::string::npos) << backup.err;
}

TEST_F(MivractlTest, MissingProductNamesAreToldByLibraryExportOrStringAndPath) {
  const std::string dir = Narrow(InstallDir());
  struct NamesCase {
    const char* what;
    std::function<void()> arrange;
    std::string problem;
  };
  const NamesCase kCases[] = {
      {"neither library",
       [this] {
         ::DeleteFileW(InstallPath(L"prdinf.dll").c_str());
         ::DeleteFileW(InstallPath(L"LBLRES.DLL").c_str());
       },
       "prdinf.dll: " + dir + "prdinf.dll cannot be loaded (win32 126 ERROR_MOD_NOT_FOUND); LBLRES.DLL: " + dir +
           "LBLRES.DLL cannot be loaded (win32 126 ERROR_MOD_NOT_FOUND)"},
      {"no export, no product string",
       [this] {
         ::CopyFileW((ExeFolder() + L"LBLRES.DLL").c_str(), InstallPath(L"prdinf.dll").c_str(), FALSE);
         ::CopyFileW((ExeFolder() + L"lblres_company_only.dll").c_str(), InstallPath(L"LBLRES.DLL").c_str(), FALSE);
       },
       "prdinf.dll: " + dir + "prdinf.dll has no export RPI; LBLRES.DLL: " + dir +
           "LBLRES.DLL has no string 102 (the product name)"},
  };
  for (const NamesCase& c : kCases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.arrange();
    const ToolResult status = Ctl({"status"});
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_TRUE(HasLine(status.out, "productNamesProblem: " + c.problem)) << status.out;
    EXPECT_TRUE(HasLine(status.err, "mivractl status: the company and product names cannot be had: " + c.problem))
        << status.err;
    // A command the library fails says the same, after the code.
    const ToolResult commit = Ctl({"commit", "--json"});
    ExpectLibraryFailure(commit, MIVRA_E_BACKUP_FOLDER);
    JsonValue value;
    ASSERT_TRUE(IsOneJsonObject(commit.out, &value));
    EXPECT_TRUE(value.Find("productNames")->Is(JsonValue::Kind::kNull));
    EXPECT_EQ(value.Find("productNamesProblem")->text, c.problem);
  }
}

TEST_F(MivractlTest, EveryFailureSaysWhyTheInstallDirectoryIsUnresolved) {
  const std::string read = "read HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Corvane.exe, value "
                           "\"Path\", the App Paths entry of the executable name Corvane.exe: ";
  struct RegistryCase {
    void (*damage)();
    const char* problem;
  };
  const RegistryCase registry[] = {
      {[] { DeleteAppPathsKey(); }, "the key does not exist"},
      {[] { DeleteAppPathsValue(); }, "the key has no value \"Path\""},
      {[] { SetAppPathsDword(7); }, "the value is of type REG_DWORD, not a string"},
      {[] { SetAppPathsValue(L""); }, "the value is empty"},
  };
  for (const RegistryCase& c : registry) {
    c.damage();
    const std::string why = read + c.problem;
    const ToolResult status = Ctl({"status"});
    EXPECT_EQ(status.exitCode, 1);
    EXPECT_TRUE(HasLine(status.out, "installDirProblem: " + why)) << status.out;
    EXPECT_TRUE(HasLine(status.err, "mivractl status: the install directory cannot be resolved: " + why)) << status.err;
    const ToolResult json = Ctl({"status", "--json"});
    EXPECT_NE(json.out.find("\"installDir\": null"), std::string::npos) << json.out;
  }

  // Every failing command says the same, whether the library or the tool found the failure.
  DeleteAppPathsKey();
  const std::string why = read + "the key does not exist";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"commit"}, {"add", "A.DLL"}, {"backup", "A.DLL"}, {"register", "A.DLL"}, {"mark-status", "1"},
           {"query"}, {"rollback"}, {"list"}, {"explain"}}) {
    const ToolResult failed = Ctl(args);
    EXPECT_EQ(failed.exitCode, 1) << args[0];
    EXPECT_TRUE(HasLine(failed.err, "mivractl " + args[0] + ": the install directory cannot be resolved: " + why))
        << args[0] << "\n" << failed.err;
  }
  std::vector<std::string> args = {"commit", "--json"};
  const ToolResult json = Ctl(args);
  EXPECT_NE(json.out.find("\"installDirProblem\": \"" + mivra::ctl::JsonQuote(why).substr(1)), std::string::npos)
      << json.out;
}

TEST_F(MivractlTest, TraceRecordsTheRunAndLogTellsIt) {
  const std::wstring trace = ExeFolder() + L"mivractl trace.log";
  ::DeleteFileW(trace.c_str());
  Put(L"A.DLL", "alpha");
  ASSERT_EQ(Ctl({"--trace", Narrow(trace), "backup", "--commit", "A.DLL"}).exitCode, 0);
  // Nothing is staged any more: the commit fails.
  ExpectLibraryFailure(Ctl({"--trace", Narrow(trace), "commit"}), MIVRA_E_FOLDER_RENAME);
  // Without --trace the run leaves no line.
  const std::string traced = ReadFileBytes(trace);
  ASSERT_EQ(Ctl({"list"}).exitCode, 0);
  EXPECT_EQ(ReadFileBytes(trace), traced);

  const ToolResult log = Ctl({"log", Narrow(trace)});
  EXPECT_EQ(log.exitCode, 0) << log.err;
  EXPECT_NE(log.out.find("  MivraCreateBkMdataObject() = 0x"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("  MivraAddToBackup(object=0x"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("path=" + Narrow(InstallPath(L"A.DLL")) + ") = 1 in "), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("  MivraCommitBackup() = 1 in "), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("  MivraCommitBackup() = 0, code 116 MIVRA_E_FOLDER_RENAME in "), std::string::npos)
      << log.out;
  EXPECT_TRUE(HasLineStarting(log.out, "! ")) << log.out;

  const ToolResult failures = Ctl({"log", "--failures", "--json", Narrow(trace)});
  EXPECT_EQ(failures.exitCode, 0) << failures.err;
  EXPECT_NE(failures.out.find("\"codeName\": \"MIVRA_E_FOLDER_RENAME\""), std::string::npos) << failures.out;
  EXPECT_EQ(failures.out.find("MivraAddToBackup"), std::string::npos) << failures.out;

  EXPECT_EQ(Ctl({"log", Narrow(ExeFolder() + L"no such trace.log")}).exitCode, 1);
  EXPECT_EQ(Ctl({"--trace"}).exitCode, 2);
  EXPECT_EQ(Ctl({"log"}).exitCode, 2);
}

}  // namespace
}  // namespace mivra_test
