// backup, add, commit, remove, list and delete-backup: the backup exports, as an updater calls them.
#include <windows.h>

#include <chrono>
#include <cwchar>
#include <memory>
#include <vector>

#include "command_result.h"
#include "commands.h"
#include "install_paths.h"
#include "library_files.h"
#include "mivra.h"
#include "report.h"
#include "text_format.h"
#include "throughput.h"
#include "update/backup/bk_record_layout.h"
#include "update/frame/backup_folder.h"
#include "update/frame/product_lock.h"

namespace mivra::ctl {
namespace {

constexpr char kBackupHelp[] =
    "usage: mivractl backup [--commit] [--json] FILE...\n"
    "\n"
    "Starts a fresh staging backup (tmpbkup; an uncommitted one left over is discarded), adds every\n"
    "FILE to it, and releases it. A FILE that does not exist yet is recorded as absent, so that a\n"
    "rollback deletes it. With --commit the staging backup then replaces the committed one (bkup).\n"
    "\n"
    "Progress: each file's size before the library copies it, then the time and throughput of the\n"
    "copy and the running total (with --json on standard error, and the files in the JSON object).\n"
    "\n"
    "FILE is a file of the install directory: a bare name is taken from there, a path is used as\n"
    "given (relative to the current directory). The first failure stops the backup and discards the\n"
    "staging backup, so that no later commit can make a partial backup the committed one. A failed\n"
    "commit (--commit) leaves the whole staging backup for mivractl commit.\n"
    "\n"
    "Exit status: 0 when every file was recorded (and committed with --commit), 1 on a failure,\n"
    "printed with the library's error code, 2 for a wrong command line.\n";

constexpr char kAddHelp[] =
    "usage: mivractl add [--json] FILE\n"
    "\n"
    "Adds one file straight to the committed backup (bkup), without a staging backup. A bare name\n"
    "is a file of the install directory; a FILE that does not exist is recorded as absent.\n"
    "\n"
    "Exit status: 0 when recorded, 1 on a failure with the library's error code.\n";

constexpr char kCommitHelp[] =
    "usage: mivractl commit [--force] [--json]\n"
    "\n"
    "Makes the staging backup (tmpbkup) the committed backup (bkup); the previous committed backup\n"
    "is deleted.\n"
    "\n"
    "A staging backup without records (its bkmdata.dat empty, missing or invalid) would leave no\n"
    "backup to roll back from: the tool refuses to let it replace a committed backup that has\n"
    "records, unless --force is given.\n"
    "\n"
    "Exit status: 0 when committed, 1 on a failure with the library's error code (116 when there is\n"
    "no staging backup), or without a code when refused.\n";

constexpr char kRemoveHelp[] =
    "usage: mivractl remove [--json] NAME\n"
    "\n"
    "Takes the file NAME, exactly as recorded (no folder, letter case counts), out of the committed\n"
    "backup: its record is marked removed and its copy deleted. A rollback no longer touches it.\n"
    "\n"
    "Exit status: 0 when removed, 1 on a failure with the library's error code (114 for a name that\n"
    "is not recorded).\n";

constexpr char kListHelp[] =
    "usage: mivractl list [--json]\n"
    "\n"
    "Prints the names recorded in the committed backup, one per line, in record order. Removed and\n"
    "absent records are listed too (mivractl inspect on bkup\\bkmdata.dat shows their flags).\n"
    "With --json: {\"files\": [names]}.\n"
    "\n"
    "Exit status: 0, or 1 on a failure with the library's error code (130 when there is no committed\n"
    "backup with records).\n";

constexpr char kDeleteBackupHelp[] =
    "usage: mivractl delete-backup [--json]\n"
    "\n"
    "Deletes the committed backup (bkup) with everything in it. A later rollback has nothing to\n"
    "restore from.\n"
    "\n"
    "Exit status: 0 when the folder is gone, 1 on a failure with the library's error code, or when\n"
    "the folder is still there (the library does not report why).\n";

struct ObjectRelease {
  void operator()(MdataObject* object) const { MivraDeleteBkMdataObject(object); }
};
using ScopedObject = std::unique_ptr<MdataObject, ObjectRelease>;

// A file about to be handed to the library, as the tool finds it beforehand.
struct PlannedFile {
  std::wstring path;
  std::string name;
  bool exists = false;
  uint64_t size = 0;
};

bool FileExists(const std::wstring& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return true;
}

// The FILE arguments as full paths; false with the failure reported when one cannot be formed.
bool PlanFiles(const CommandLine& line, std::vector<PlannedFile>* files, std::ostream& out, std::ostream& err) {
  for (const std::string& argument : line.positional) {
    PlannedFile file;
    if (!ProductFilePath(argument, &file.path)) {
      FailWithoutCode(line, "cannot form the path of " + argument, out, err);
      return false;
    }
    file.name = FileNameOf(file.path);
    file.exists = FileExists(file.path, &file.size);
    files->push_back(std::move(file));
  }
  return true;
}

// What was recorded for a file: its size, or that it does not exist yet.
std::string Recorded(const PlannedFile& file) {
  return file.exists ? ": backed up, " + std::to_string(file.size) + " bytes" : ": recorded as absent";
}

Report FileReport(const PlannedFile& file) {
  Report report = Report::Object();
  report.Set("name", Report::Text(file.name)).Set("path", Report::Text(Narrow(file.path)));
  report.Set("exists", Report::Flag(file.exists)).Set("size", Report::Number(file.size));
  return report;
}

// Deletes the staging backup this run started and could not finish, so that no later commit can
// make it the committed backup. Under the product's lock, as the library deletes its folders.
bool DiscardStagingBackup() {
  ProductLock lock;
  wchar_t folder[kPathCapacity] = {};
  return lock.Acquire() == ProductLock::Result::kHeld && GetBackupFolder(folder, BKF_TMPBKUP, false) &&
         DeleteFolderTree(folder);
}

uint64_t MicrosecondsSince(std::chrono::steady_clock::time_point start) {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
}

int RunBackup(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.empty()) return UsageError(kBackupCommand, "name at least one FILE", err);
  std::vector<PlannedFile> files;
  if (!PlanFiles(line, &files, out, err)) return kExitFailed;
  uint64_t totalBytes = 0;
  for (const PlannedFile& file : files) totalBytes += file.size;
  const std::string totalText = std::to_string(totalBytes) + " bytes";

  std::ostream& progress = ProgressStream(line, out, err);
  Report done = Report::List();
  auto details = [&done]() {
    Report report = Report::Object();
    report.Set("files", std::move(done));
    return report;
  };
  uint32_t code = 0;
  ScopedObject object(MivraCreateBkMdataObject(&code));
  if (!object) return FailLibraryCall(line, "starting the staging backup", code, out, err, details());
  progress << "staging backup started: " << CountOf(files.size(), "file", "files") << ", " << totalText << "\n"
           << std::flush;

  const auto started = std::chrono::steady_clock::now();
  uint64_t bytesDone = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    const PlannedFile& file = files[i];
    const std::string counter = ProgressCounter(i + 1, files.size()) + file.name;
    // Said before the call, so that a call that takes long shows what it is working on.
    progress << counter << (file.exists ? ": " + std::to_string(file.size) + " bytes..." : ": not there...") << "\n"
             << std::flush;
    const auto callStarted = std::chrono::steady_clock::now();
    code = 0;
    const bool added = MivraAddToBackup(object.get(), file.path.c_str(), &code);
    const uint64_t microseconds = MicrosecondsSince(callStarted);
    if (!added) {
      progress << counter << ": failed\n" << std::flush;
      object.reset();
      const bool discarded = DiscardStagingBackup();
      progress << (discarded ? "staging backup discarded\n" : "the staging backup could not be discarded\n")
               << std::flush;
      Report report = details();
      report.Set("stagingDiscarded", Report::Flag(discarded));
      return FailLibraryCall(line, "adding " + file.name, code, out, err, std::move(report));
    }
    bytesDone += file.size;
    std::string finished = counter + Recorded(file);
    if (file.exists) {
      finished += " in " + FormatSeconds(microseconds) + " (" + FormatThroughput(file.size, microseconds) + ")";
    }
    progress << finished << "; total " << bytesDone << " of " << totalText << "\n" << std::flush;
    Report item = FileReport(file);
    item.Set("microseconds", Report::Number(microseconds));
    done.Append(std::move(item), finished);
  }
  object.reset();
  const uint64_t microseconds = MicrosecondsSince(started);
  progress << "staging backup closed: " << CountOf(files.size(), "file", "files") << ", " << totalText << " in "
           << FormatSeconds(microseconds) << " (" << FormatThroughput(totalBytes, microseconds) << ")\n"
           << std::flush;
  Report report = details();
  report.Set("totalBytes", Report::Number(totalBytes)).Set("microseconds", Report::Number(microseconds));
  if (!line.Has("--commit")) {
    report.Set("committed", Report::Flag(false));
    return Succeed(line, "not committed yet (mivractl commit)\n", std::move(report), out);
  }
  code = 0;
  if (!MivraCommitBackup(&code)) return FailLibraryCall(line, "committing", code, out, err, std::move(report));
  report.Set("committed", Report::Flag(true));
  return Succeed(line, "committed\n", std::move(report), out);
}

int RunAdd(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.size() != 1) return UsageError(kAddCommand, "name exactly one FILE", err);
  std::vector<PlannedFile> files;
  if (!PlanFiles(line, &files, out, err)) return kExitFailed;
  const PlannedFile& file = files[0];
  Report details = Report::Object();
  details.Set("file", FileReport(file));
  uint32_t code = 0;
  if (!MivraAddToBackup(nullptr, file.path.c_str(), &code)) {
    return FailLibraryCall(line, "adding " + file.name, code, out, err, std::move(details));
  }
  return Succeed(line, file.name + Recorded(file) + " in the committed backup\n", std::move(details), out);
}

// The records the library finds in a backup folder: none when the folder, or a bkmdata.dat it
// would accept, is missing.
struct FolderRecords {
  bool folderExists = false;
  uint32_t records = 0;
};

FolderRecords CountRecords(uint32_t kind) {
  FolderRecords found;
  std::wstring folder;
  if (!FindLibraryFolder(kind, &folder) || !FolderExists(folder)) return found;
  found.folderExists = true;
  const MetadataFile metadata = ReadMetadataFile(folder + L"\\bkmdata.dat", kBkMdataFormat);
  if (metadata.accepted()) found.records = metadata.verdict.recordsInFile;
  return found;
}

int RunCommit(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kCommitCommand, "takes no arguments", err);
  // Held from the look at both backups to the end of the commit, so that no other process changes
  // them in between; the library's call takes the same lock again, which its owner may.
  // Folders that cannot be named are the library call's to report, with its code.
  ProductLock lock;
  if (lock.Acquire() == ProductLock::Result::kBusy) {
    return FailWithoutCode(line, "another process holds the product's lock; nothing was committed", out, err);
  }
  if (!line.Has("--force")) {
    const FolderRecords staging = CountRecords(BKF_TMPBKUP);
    const FolderRecords committed = CountRecords(BKF_BKUP);
    if (staging.folderExists && staging.records == 0 && committed.records > 0) {
      Report details = Report::Object();
      details.Set("stagingRecords", Report::Number(0)).Set("committedRecords", Report::Number(committed.records));
      return FailWithoutCode(line,
                             "refused: the staging backup holds no records and would replace a committed backup of " +
                                 CountOf(committed.records, "record", "records") +
                                 "; nothing was committed (mivractl commit --force replaces it all the same)",
                             out, err, std::move(details));
    }
  }
  uint32_t code = 0;
  if (!MivraCommitBackup(&code)) return FailLibraryCall(line, "committing", code, out, err);
  return Succeed(line, "committed\n", Report::Object(), out);
}

int RunRemove(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.size() != 1) return UsageError(kRemoveCommand, "name exactly one NAME", err);
  const std::string& argument = line.positional[0];
  const std::wstring name = Widen(argument);
  Report details = Report::Object();
  details.Set("name", Report::Text(argument));
  uint32_t code = 0;
  if (!MivraRemoveFromBackup(name.c_str(), &code)) {
    return FailLibraryCall(line, "removing " + argument, code, out, err, std::move(details));
  }
  return Succeed(line, argument + ": removed from the committed backup\n", std::move(details), out);
}

struct ListRelease {
  void operator()(wchar_t* list) const { MivraFreeBkMdataFileList(list); }
};

int RunList(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kListCommand, "takes no arguments", err);
  wchar_t* block = nullptr;
  uint32_t count = 0;
  uint32_t code = 0;
  if (!MivraGetBkMdataFileList(&block, &count, &code)) {
    return FailLibraryCall(line, "listing the committed backup", code, out, err);
  }
  const std::unique_ptr<wchar_t, ListRelease> list(block);
  // Entries are 260 characters each; a name fills at most 259 of them and its NUL.
  constexpr size_t kEntryChars = 260;
  Report names = Report::List();
  for (uint32_t i = 0; i < count; ++i) {
    const wchar_t* entry = list.get() + size_t{i} * kEntryChars;
    const std::string name = Narrow(std::wstring(entry, wcsnlen(entry, kEntryChars)));
    names.Append(Report::Text(name), name);
  }
  Report report = Report::Object();
  report.Set("files", std::move(names));
  out << (line.json ? RenderJson(report) : RenderText(report));
  return kExitOk;
}

int RunDeleteBackup(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kDeleteBackupCommand, "takes no arguments", err);
  uint32_t code = 0;
  MivraDeleteBackup(&code);
  if (code != 0) return FailLibraryCall(line, "deleting the committed backup", code, out, err);
  std::wstring bkup;
  if (FindLibraryFolder(BKF_BKUP, &bkup) && FolderExists(bkup)) {
    return FailWithoutCode(line, "the committed backup folder is still there: " + Narrow(bkup), out, err);
  }
  return Succeed(line, "committed backup deleted\n", Report::Object(), out);
}

}  // namespace

const Command kBackupCommand = {"backup", "back up files into a fresh staging backup, optionally commit it",
                                kBackupHelp, {"--commit"}, RunBackup};
const Command kAddCommand = {"add", "add one file straight to the committed backup", kAddHelp, {}, RunAdd};
const Command kCommitCommand = {"commit", "make the staging backup the committed backup", kCommitHelp, {"--force"},
                                RunCommit};
const Command kRemoveCommand = {"remove", "take one file out of the committed backup", kRemoveHelp, {}, RunRemove};
const Command kListCommand = {"list", "list the names in the committed backup", kListHelp, {"--json"}, RunList};
const Command kDeleteBackupCommand = {"delete-backup", "delete the committed backup", kDeleteBackupHelp, {},
                                      RunDeleteBackup};

}  // namespace mivra::ctl
