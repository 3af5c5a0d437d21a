// query and rollback: MivraRollback in its two modes.
#include "commands.h"
#include "error_names.h"
#include "examination.h"
#include "install_paths.h"
#include "library_files.h"
#include "mivra.h"
#include "stdout_capture.h"
#include "text_format.h"
#include "update/backup/bk_record_layout.h"
#include "update/frame/backup_folder.h"

namespace mivra::ctl {
namespace {

constexpr char kQueryHelp[] =
    "usage: mivractl query [--interrupted] [--changed] [--json]\n"
    "\n"
    "Asks the library whether the installed product needs a rollback. Nothing is changed, except\n"
    "that the library creates an empty rollback database (or an empty bkup\\bkmdata.dat) where one\n"
    "is missing.\n"
    "  --interrupted  the update status byte is 1: an update was left unfinished\n"
    "  --changed      a registered file still has its recorded last-write time, but its size or\n"
    "                 content differs (files named in a component list excepted)\n"
    "Without either option both tests are made. mivractl explain tells why.\n"
    "\n"
    "Prints rollbackNeeded (yes or no) and, when one is needed, whether the committed backup can\n"
    "serve it (backup: usable, or none with code 130 MIVRA_E_NO_BACKUP).\n"
    "\n"
    "Exit status: 0 when the library answered, 1 when the check failed (with the library's error\n"
    "code when it gives one).\n";

constexpr char kRollbackHelp[] =
    "usage: mivractl rollback\n"
    "\n"
    "Rolls the product back from the committed backup: the library verifies every backup copy,\n"
    "sweeps leftover temporary files when the update status is 1, restores every backed-up file,\n"
    "deletes the files the update added, rebuilds the rollback database (raising its counter) and\n"
    "notifies the product's service when VENTRAEX.EXT was restored. Prints one line per file.\n"
    "\n"
    "Exit status: 0 when rolled back, 1 on a failure with the library's error code (118 damaged\n"
    "backup, 121 nothing to restore, 131 after 15 rollbacks, ...).\n";

int RunQuery(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kQueryCommand, "takes no arguments", err);
  uint32_t flags = 0;
  if (line.Has("--interrupted")) flags |= MIVRA_ROLLBACK_INTERRUPTED;
  if (line.Has("--changed")) flags |= MIVRA_ROLLBACK_CHANGED;
  if (flags == 0) flags = MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED;

  uint8_t needed = 0;
  uint32_t code = 0;
  StdoutCapture capture;
  const bool answered = MivraRollback(flags, &needed, &code);
  const std::string libraryMessage = capture.Finish();
  if (!answered) {
    if (!libraryMessage.empty()) err << "mivractl query: the library says: " << libraryMessage << "\n";
    return ReportLibraryFailure("query", "the rollback need check", code, err);
  }
  std::string testNames;
  for (const auto& [flag, name] : {std::pair{MIVRA_ROLLBACK_INTERRUPTED, "interrupted"},
                                   std::pair{MIVRA_ROLLBACK_CHANGED, "changed"}}) {
    if (!(flags & flag)) continue;
    testNames += (testNames.empty() ? "" : ", ") + std::string(name);
  }
  Report report = Report::Object();
  report.Set("tests", Report::Text(testNames));
  report.Set("rollbackNeeded", Report::Flag(needed != 0));
  if (needed != 0) {
    // The one code written with a true result: a rollback is needed, but there is nothing to do it from.
    report.Set("backup", Report::Text(code == MIVRA_E_NO_BACKUP ? "none (" + DescribeError(code) + ")" : "usable"));
    if (code != 0) report.Set("code", Report::Number(code));
  }
  if (!libraryMessage.empty()) report.Set("libraryMessage", Report::Text(libraryMessage));
  out << (line.Has("--json") ? RenderJson(report) : RenderText(report));
  return kExitOk;
}

// What the committed backup says a rollback will do, read before it runs.
std::vector<std::string> PlannedRestore() {
  std::vector<std::string> lines;
  std::wstring bkup;
  if (!FindLibraryFolder(BKF_BKUP, &bkup)) return lines;
  const MetadataFile metadata = ReadMetadataFile(bkup + L"\\bkmdata.dat", kBkMdataFormat);
  if (!metadata.accepted()) return lines;
  for (uint32_t i = 0; i < metadata.verdict.recordsInFile; ++i) {
    BkMdataRecord record;
    DecodeBkRecord(metadata.bytes.data() + kBkMdataFormat.recordOffset(i), &record);
    if (record.flags & BKREC_REMOVED) continue;
    lines.push_back(((record.flags & BKREC_ABSENT) ? "deleted " : "restored ") + Utf16ToUtf8(RecordName(record.fileName)));
  }
  return lines;
}

int RunRollback(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kRollbackCommand, "takes no arguments", err);
  const std::vector<std::string> planned = PlannedRestore();
  uint8_t unused = 0;
  uint32_t code = 0;
  if (!MivraRollback(MIVRA_ROLLBACK_PERFORM, &unused, &code)) {
    return ReportLibraryFailure("rollback", "the rollback", code, err);
  }
  for (const std::string& done : planned) out << done << "\n";
  out << "rolled back\n";
  return kExitOk;
}

}  // namespace

const Command kQueryCommand = {"query", "ask the library whether a rollback is needed", kQueryHelp,
                               {"--interrupted", "--changed", "--json"}, RunQuery};
const Command kRollbackCommand = {"rollback", "roll the product back from the committed backup", kRollbackHelp, {},
                                  RunRollback};

}  // namespace mivra::ctl
