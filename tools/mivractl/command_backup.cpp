// backup, add, commit, remove, list and delete-backup: the backup exports, as an updater calls them.
#include <windows.h>

#include <cwchar>
#include <memory>
#include <vector>

#include "commands.h"
#include "error_names.h"
#include "install_paths.h"
#include "mivra.h"
#include "report.h"
#include "update/frame/backup_folder.h"

namespace mivra::ctl {
namespace {

constexpr char kBackupHelp[] =
    "usage: mivractl backup [--commit] FILE...\n"
    "\n"
    "Starts a fresh staging backup (tmpbkup; an uncommitted one left over is discarded), adds every\n"
    "FILE to it with one progress line each, and releases it. A FILE that does not exist yet is\n"
    "recorded as absent, so that a rollback deletes it. With --commit the staging backup then\n"
    "replaces the committed one (bkup).\n"
    "\n"
    "FILE is a file of the install directory: a bare name is taken from there, a path is used as\n"
    "given (relative to the current directory). The first failure stops the backup; nothing is\n"
    "committed then.\n"
    "\n"
    "Exit status: 0 when every file was recorded (and committed with --commit), 1 on a failure,\n"
    "printed with the library's error code, 2 for a wrong command line.\n";

constexpr char kAddHelp[] =
    "usage: mivractl add FILE\n"
    "\n"
    "Adds one file straight to the committed backup (bkup), without a staging backup. A bare name\n"
    "is a file of the install directory; a FILE that does not exist is recorded as absent.\n"
    "\n"
    "Exit status: 0 when recorded, 1 on a failure with the library's error code.\n";

constexpr char kCommitHelp[] =
    "usage: mivractl commit\n"
    "\n"
    "Makes the staging backup (tmpbkup) the committed backup (bkup); the previous committed backup\n"
    "is deleted.\n"
    "\n"
    "Exit status: 0 when committed, 1 on a failure with the library's error code (116 when there is\n"
    "no staging backup).\n";

constexpr char kRemoveHelp[] =
    "usage: mivractl remove NAME\n"
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
    "usage: mivractl delete-backup\n"
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

bool FileExists(const std::wstring& path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return true;
}

// What was recorded for a file: its size, or that it does not exist yet.
std::string Recorded(bool exists, uint64_t size) {
  if (!exists) return ": recorded as absent";
  std::string text = ": backed up, ";
  text += std::to_string(size);
  text += " bytes";
  return text;
}

std::string FileNameOf(const std::wstring& path) { return Narrow(path.substr(path.find_last_of(L"\\/") + 1)); }

int PathError(const char* command, const std::string& argument, std::ostream& err) {
  err << "mivractl " << command << ": cannot form the path of " << argument
      << " (is the install directory registered?)\n";
  return kExitFailed;
}

int RunBackup(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.empty()) return UsageError(kBackupCommand, "name at least one FILE", err);
  std::vector<std::wstring> paths;
  for (const std::string& argument : line.positional) {
    std::wstring path;
    if (!ProductFilePath(argument, &path)) return PathError("backup", argument, err);
    paths.push_back(path);
  }

  uint32_t code = 0;
  ScopedObject object(MivraCreateBkMdataObject(&code));
  if (!object) return ReportLibraryFailure("backup", "starting the staging backup", code, err);
  out << "staging backup started\n" << std::flush;
  const size_t total = paths.size();
  for (size_t i = 0; i < total; ++i) {
    uint64_t size = 0;
    const bool exists = FileExists(paths[i], &size);
    code = 0;
    std::string progress = "[";
    progress.append(std::to_string(i + 1)).append("/").append(std::to_string(total)).append("] ");
    progress.append(FileNameOf(paths[i]));
    if (!MivraAddToBackup(object.get(), paths[i].c_str(), &code)) {
      out << progress << ": failed\n" << std::flush;
      return ReportLibraryFailure("backup", "adding " + FileNameOf(paths[i]), code, err);
    }
    out << progress << Recorded(exists, size) << "\n" << std::flush;
  }
  object.reset();
  out << "staging backup closed: " << total << (total == 1 ? " file\n" : " files\n");
  if (!line.Has("--commit")) {
    out << "not committed yet (mivractl commit)\n";
    return kExitOk;
  }
  code = 0;
  if (!MivraCommitBackup(&code)) return ReportLibraryFailure("backup", "committing", code, err);
  out << "committed\n";
  return kExitOk;
}

int RunAdd(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.size() != 1) return UsageError(kAddCommand, "name exactly one FILE", err);
  std::wstring path;
  if (!ProductFilePath(line.positional[0], &path)) return PathError("add", line.positional[0], err);
  uint64_t size = 0;
  const bool exists = FileExists(path, &size);
  uint32_t code = 0;
  if (!MivraAddToBackup(nullptr, path.c_str(), &code)) {
    return ReportLibraryFailure("add", "adding " + FileNameOf(path), code, err);
  }
  out << FileNameOf(path) << Recorded(exists, size) << " in the committed backup\n";
  return kExitOk;
}

int RunCommit(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kCommitCommand, "takes no arguments", err);
  uint32_t code = 0;
  if (!MivraCommitBackup(&code)) return ReportLibraryFailure("commit", "committing", code, err);
  out << "committed\n";
  return kExitOk;
}

int RunRemove(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.size() != 1) return UsageError(kRemoveCommand, "name exactly one NAME", err);
  const std::wstring name = Widen(line.positional[0]);
  uint32_t code = 0;
  if (!MivraRemoveFromBackup(name.c_str(), &code)) {
    return ReportLibraryFailure("remove", "removing " + line.positional[0], code, err);
  }
  out << line.positional[0] << ": removed from the committed backup\n";
  return kExitOk;
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
    return ReportLibraryFailure("list", "listing the committed backup", code, err);
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
  out << (line.Has("--json") ? RenderJson(report) : RenderText(report));
  return kExitOk;
}

int RunDeleteBackup(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kDeleteBackupCommand, "takes no arguments", err);
  uint32_t code = 0;
  MivraDeleteBackup(&code);
  if (code != 0) return ReportLibraryFailure("delete-backup", "deleting the committed backup", code, err);
  std::wstring bkup;
  if (FindLibraryFolder(BKF_BKUP, &bkup) && FolderExists(bkup)) {
    err << "mivractl delete-backup: the committed backup folder is still there: " << Narrow(bkup) << "\n";
    return kExitFailed;
  }
  out << "committed backup deleted\n";
  return kExitOk;
}

}  // namespace

const Command kBackupCommand = {"backup", "back up files into a fresh staging backup, optionally commit it",
                                kBackupHelp, {"--commit"}, RunBackup};
const Command kAddCommand = {"add", "add one file straight to the committed backup", kAddHelp, {}, RunAdd};
const Command kCommitCommand = {"commit", "make the staging backup the committed backup", kCommitHelp, {},
                                RunCommit};
const Command kRemoveCommand = {"remove", "take one file out of the committed backup", kRemoveHelp, {}, RunRemove};
const Command kListCommand = {"list", "list the names in the committed backup", kListHelp, {"--json"}, RunList};
const Command kDeleteBackupCommand = {"delete-backup", "delete the committed backup", kDeleteBackupHelp, {},
                                      RunDeleteBackup};

}  // namespace mivra::ctl
