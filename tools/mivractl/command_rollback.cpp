// query and rollback: MivraRollback in its two modes.
#include "command_result.h"
#include "commands.h"
#include "error_names.h"
#include "examination.h"
#include "install_paths.h"
#include "library_files.h"
#include "mivra.h"
#include "support/stdout_capture.h"
#include "text_format.h"
#include "update/backup/bk_record_layout.h"
#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_journal.h"
#include "update/frame/backup_folder.h"
#include "update/frame/product_lock.h"
#include "update/rollback/restore_plan.h"

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
    "serve it (backup: usable, or none with code 130 MIVRA_E_NO_BACKUP). With --json both are\n"
    "booleans.\n"
    "\n"
    "Exit status: 0 when the library answered, 1 when the check failed (with the library's error\n"
    "code when it gives one).\n";

constexpr char kRollbackHelp[] =
    "usage: mivractl rollback [--json]\n"
    "\n"
    "Rolls the product back from the committed backup: the library verifies every backup copy,\n"
    "sweeps leftover temporary files when the update status is 1, restores every backed-up file,\n"
    "deletes the files the update added, rebuilds the rollback database (raising its counter) and\n"
    "notifies the product's service when VENTRAEX.EXT was restored. Before the library starts, the\n"
    "tool says what it is about to do: every file the committed backup restores or deletes.\n"
    "\n"
    "Exit status: 0 when rolled back, 1 on a failure with the library's error code (118 damaged\n"
    "backup, 121 nothing to restore, 131 after 15 rollbacks, ...).\n";

// The lines of `text`, without their ends, joined by "; ".
std::string JoinLines(const std::string& text) {
  std::string joined;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) joined += (joined.empty() ? "" : "; ") + line;
    start = end + 1;
  }
  return joined;
}

int RunQuery(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kQueryCommand, "takes no arguments", err);
  uint32_t flags = 0;
  if (line.Has("--interrupted")) flags |= MIVRA_ROLLBACK_INTERRUPTED;
  if (line.Has("--changed")) flags |= MIVRA_ROLLBACK_CHANGED;
  if (flags == 0) flags = MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED;

  uint8_t needed = 0;
  uint32_t code = 0;
  // The library prints its reader's failure on standard output; the tool keeps it in its report,
  // so that the output keeps its shape (and --json stays one JSON document).
  mivra_test::StdoutCapture capture;
  const bool answered = MivraRollback(flags, &needed, &code);
  const std::string libraryMessage = JoinLines(capture.Finish());
  Report report = Report::Object();
  if (!libraryMessage.empty()) report.Set("libraryMessage", Report::Text(libraryMessage));
  if (!answered) {
    if (!libraryMessage.empty()) err << "mivractl query: the library says: " << libraryMessage << "\n";
    return FailLibraryCall(line, "the rollback need check", code, out, err, std::move(report));
  }
  std::vector<std::string> tests;
  for (const auto& [flag, name] : {std::pair{MIVRA_ROLLBACK_INTERRUPTED, "interrupted"},
                                   std::pair{MIVRA_ROLLBACK_CHANGED, "changed"}}) {
    if (flags & flag) tests.push_back(name);
  }
  Report answer = Report::Object();
  answer.Set("tests", Report::Words(tests));
  answer.Set("rollbackNeeded", Report::Flag(needed != 0));
  if (needed != 0) {
    // The one code written with a true result: a rollback is needed, but there is nothing to do it from.
    const bool usable = code != MIVRA_E_NO_BACKUP;
    answer.Set("backup", Report::Flag(usable, "usable", "none (" + DescribeError(code) + ")"));
    if (code != 0) {
      const ErrorName* name = FindErrorName(code);
      answer.Set("code", Report::Number(code));
      if (name) answer.Set("codeName", Report::Text(name->name));
    }
  }
  answer.Merge(std::move(report));
  out << (line.json ? RenderJson(answer) : RenderText(answer));
  return kExitOk;
}

// What the library's plan says a rollback will do, asked before it runs.
struct RestorePlanView {
  bool readable = false;
  std::string problem;  // why there is no plan
  std::vector<std::string> restore;
  std::vector<std::string> remove;
  std::vector<std::string> refuse;
};

// The library's own plan (PlanRestore) of the committed backup, taken as the rollback takes it:
// under the product lock, after a commit cut off is finished, from the file its open finds (a
// journal put back). A file that is missing or that the library would discard is read as bytes
// only, so that asking changes nothing the rollback would not.
RestorePlanView AskRestorePlan() {
  RestorePlanView view;
  std::wstring bkup;
  if (!FindLibraryFolder(BKF_BKUP, &bkup)) {
    view.problem = "the library's folders cannot be resolved";
    return view;
  }
  const std::string file = Narrow(bkup) + "\\bkmdata.dat";
  const MetadataFile metadata = ReadMetadataFile(bkup + L"\\bkmdata.dat", kBkMdataFormat);
  if (!metadata.present()) {
    view.problem = file + (metadata.read == FileRead::kMissing ? " is missing" : " cannot be read");
    return view;
  }
  if (!metadata.accepted()) {
    view.problem = file + " is invalid; the library discards it";
    return view;
  }
  ProductLock lock;
  if (lock.Acquire() == ProductLock::Result::kBusy) {
    view.problem = "another process holds the library's lock";
    return view;
  }
  RecoverInterruptedCommit(true);
  MdataObject backup;
  std::vector<PlannedFile> plan;
  if (!OpenBkMdata(backup, BKF_BKUP)) {
    view.problem = file + " cannot be opened by the library";
    return view;
  }
  if (!PlanRestore(backup, &plan)) {
    view.problem = "a record of " + file + " cannot be read";
    return view;
  }
  view.readable = true;
  for (const PlannedFile& planned : plan) {
    const std::string name = Narrow(planned.name);
    switch (planned.action) {
      case RestoreAction::kRestore: view.restore.push_back(name); break;
      case RestoreAction::kDelete: view.remove.push_back(name); break;
      case RestoreAction::kRefuse: view.refuse.push_back(name); break;
    }
  }
  return view;
}

Report NameList(const std::vector<std::string>& names, const char* verb) {
  Report list = Report::List();
  for (const std::string& name : names) list.Append(Report::Text(name), std::string("  ") + verb + " " + name);
  return list;
}

int RunRollback(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kRollbackCommand, "takes no arguments", err);
  const RestorePlanView plan = AskRestorePlan();
  Report restore = NameList(plan.restore, "restore");
  Report remove = NameList(plan.remove, "delete");
  Report refuse = NameList(plan.refuse, "refuse");
  std::ostream& progress = ProgressStream(line, out, err);
  // Said before the call: the restore can wait on files in use for a long time.
  if (plan.readable) {
    progress << "about to roll back from the committed backup: restore " << CountOf(plan.restore.size(), "file", "files")
             << ", delete " << plan.remove.size() << "\n"
             << RenderText(restore) << RenderText(remove);
    if (!plan.refuse.empty()) {
      progress << "the backup records " << CountOf(plan.refuse.size(), "name", "names")
               << " that are no plain file names; the library refuses the backup as damaged:\n"
               << RenderText(refuse);
    }
  } else {
    progress << "about to roll back; no plan to show: " << plan.problem << "\n";
  }
  progress << "rolling back...\n" << std::flush;
  Report planned = Report::Object();
  planned.Set("readable", Report::Flag(plan.readable));
  if (!plan.readable) planned.Set("problem", Report::Text(plan.problem));
  planned.Set("restore", std::move(restore)).Set("delete", std::move(remove));
  if (!plan.refuse.empty()) planned.Set("refuse", std::move(refuse));
  Report details = Report::Object();
  details.Set("plan", std::move(planned));
  uint8_t unused = 0;
  uint32_t code = 0;
  if (!MivraRollback(MIVRA_ROLLBACK_PERFORM, &unused, &code)) {
    return FailLibraryCall(line, "the rollback", code, out, err, std::move(details));
  }
  return Succeed(line,
                 "rolled back: " + std::to_string(plan.restore.size()) + " restored, " +
                     std::to_string(plan.remove.size()) + " deleted\n",
                 std::move(details), out);
}

}  // namespace

const Command kQueryCommand = {"query", "ask the library whether a rollback is needed", kQueryHelp,
                               {"--interrupted", "--changed", "--json"}, RunQuery};
const Command kRollbackCommand = {"rollback", "roll the product back from the committed backup", kRollbackHelp, {},
                                  RunRollback};

}  // namespace mivra::ctl
