// explain: why a rollback is or is not needed, file by file, read from the rollback database with
// the layout code, the component lists with the manifest code, and digests with the library's MD5.
#include <windows.h>

#include <string>
#include <vector>

#include "command_result.h"
#include "commands.h"
#include "error_names.h"
#include "explain_verdict.h"
#include "examination.h"
#include "install_paths.h"
#include "library_files.h"
#include "mivra.h"
#include "text_format.h"
#include "update/frame/backup_folder.h"
#include "update/manifest/component_file_names.h"
#include "update/rollback/need_decision.h"
#include "update/rollback/registered_file_check.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra::ctl {
namespace {

constexpr char kHelp[] =
    "usage: mivractl explain [--json]\n"
    "\n"
    "Tells why a rollback is or is not needed, reading what the library reads, changing nothing:\n"
    "  updateStatus    the status byte of rbmdata.dat; 1 (an update left unfinished) alone makes a\n"
    "                  rollback needed\n"
    "  componentLists  whether updtconf.dat and the component lists could be read; the files they\n"
    "                  name are exempt from the changed-file test\n"
    "  file NAME: ...  one line per registered file, in record order, with its verdict:\n"
    "      not a plain file name     the record names nothing in the install directory (skipped)\n"
    "      path too long             the install directory and the name make no path: the check fails\n"
    "      missing                   the file is not there (the check skips it)\n"
    "      time changed              its last-write time is not the registered one (skipped)\n"
    "      size differs              registered time, other size: a rollback is needed\n"
    "      content differs           registered time and size, other MD5: a rollback is needed\n"
    "      exempt by component list  it differs, but a component list names it\n"
    "      unchanged                 time, size and content as registered\n"
    "      digest unavailable        registered time, but it cannot be read: the check fails\n"
    "  checkFails      yes when the library's query would fail: the database cannot be used, or a file\n"
    "                  cannot be judged\n"
    "  rollbackNeeded  yes or no, when the check does not fail; reason says which test or file decides\n"
    "                  it, as the library's query would (it stops at the first deciding file)\n"
    "\n"
    "Exit status: 0 when the answer is known, 1 when the library's check would fail or the install\n"
    "directory or the library's folders cannot be resolved.\n";

// What the query would answer: a rollback needed or not, or a check that fails, and why.
struct Answer {
  bool checkFails;
  bool needed;
  std::string reason;
};

void SetAnswer(const Answer& answer, Report* report) {
  report->Set("checkFails", Report::Flag(answer.checkFails));
  if (!answer.checkFails) report->Set("rollbackNeeded", Report::Flag(answer.needed));
  report->Set("reason", Report::Text(answer.reason));
}

// A database that is not there or that the library would not open decides the answer alone.
Answer AnswerWithoutRecords(const MetadataFile& database) {
  if (database.read == FileRead::kMissing) {
    return {false, false, "there is no rollback database: nothing is registered and no update is under way"};
  }
  if (!database.present()) return {true, false, "the rollback database cannot be read"};
  return {true, false,
          "the library discards this rollback database at its next open, and the query fails with " +
              DescribeError(MIVRA_E_RBMDATA_OPEN)};
}

const char* DatabaseVerdict(const MetadataFile& database) {
  if (database.read == FileRead::kMissing) return "missing";
  if (!database.present()) return "unreadable";
  return VerdictName(JudgeMetadataFile(database.verdict));
}

// The component lists as the need check reads them, with the line the library prints when the
// configuration cannot be read.
Report ComponentListsReport(const std::wstring& installDir, std::vector<std::string>* names, bool* usable) {
  UpdateConfigStatus config;
  *usable = CollectComponentFileNames(names, installDir.c_str(), &config) == 1;
  Report lists = Report::Object();
  lists.Set("usable", Report::Flag(*usable));
  lists.Set("names", Report::Number(*usable ? names->size() : 0));
  if (!config.ok()) lists.Set("message", Report::Text("ReadUpdateConfigData: " + UpdateConfigMessage(config)));
  return lists;
}

// The verdict as printed: the judgement's words and what was measured against the record.
std::string VerdictLine(const RBMdataRecord& record, const RegisteredFileCheck& check) {
  const FileJudgement& judgement = check.judgement;
  std::string text = JudgementText(judgement);
  if (judgement.exemptDifference()) text += std::string(" (") + FindingText(judgement.finding) + ")";
  if (judgement.finding == FileFinding::kTimeChanged) {
    text += " (registered " + FormatSystemTime(record.lastWriteTime) + ", now " +
            FormatSystemTime(check.installed.localWriteTime) + ")";
  } else if (judgement.finding == FileFinding::kSizeDiffers) {
    text += " (registered " + std::to_string(record.fileSizeLow) + " bytes, now " +
            std::to_string(check.installed.sizeLow) + ")";
  }
  return text;
}

Report FileReport(uint32_t index, const RBMdataRecord& record, const RegisteredFileCheck& check) {
  Report item = Report::Object();
  item.Set("index", Report::Number(index)).Set("name", Report::Text(Narrow(check.name)));
  if (check.found) {
    Report now = Report::Object();
    now.Set("size", Report::Number(check.installed.sizeLow))
        .Set("time", Report::Text(FormatSystemTime(check.installed.localWriteTime)));
    item.Set("found", std::move(now));
  }
  Report recorded = Report::Object();
  recorded.Set("size", Report::Number(record.fileSizeLow))
      .Set("time", Report::Text(FormatSystemTime(record.lastWriteTime)))
      .Set("digest", Report::Text(HexBytes(record.digest, sizeof(record.digest))));
  item.Set("verdict", Report::Text(JudgementWord(check.judgement)))
      .Set("exempt", Report::Flag(check.judgement.exempt))
      .Set("recorded", std::move(recorded));
  return item;
}

// Judges every record as the need check does, and shows each; the answer is the library's
// decision (NeedDecision) over the update status and the judgements, which the first file that
// decides or fails the check settles, as the query stops there, unless the status settled it first.
Answer JudgeRegisteredFiles(const MetadataFile& database, uint8_t updateStatus, const std::wstring& installDir,
                            const std::vector<std::string>* exemptNames, Report* report) {
  NeedDecision decision(kCheckInterruptedUpdate | kCheckChangedFiles);
  decision.TakeUpdateStatus(updateStatus);
  Report files = Report::List();
  std::vector<std::string> lines;
  uint32_t changed = 0;
  for (uint32_t i = 0; i < database.verdict.recordsInFile; ++i) {
    RBMdataRecord record;
    DecodeRBRecord(database.bytes.data() + kRBMdataFormat.recordOffset(i), &record);
    const RegisteredFileCheck check = CheckRegisteredFile(installDir.c_str(), record, exemptNames);
    lines.push_back(Narrow(check.name) + ": " + VerdictLine(record, check));
    files.Append(FileReport(i, record, check), "file " + lines.back());
    if (check.judgement.needsRollback()) ++changed;
    decision.TakeFile(i, check.judgement);
  }
  report->Set("files", std::move(files));
  report->Set("changedFiles", Report::Number(changed));
  const NeedAnswer& answer = decision.answer();
  switch (answer.reason) {
    case NeedReason::kNone:
      return {false, false, "the update status is not 1 and no registered file differs behind its registered time"};
    case NeedReason::kInterruptedUpdate:
      return {false, true, "the update status is 1: an update was left unfinished"};
    case NeedReason::kChangedFile:
      return {false, true, lines[answer.record]};
    case NeedReason::kCheckFails:
      return {true, false, lines[answer.record]};
  }
  return {true, false, "the check cannot be completed"};
}

int RunExplain(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kExplainCommand, "takes no arguments", err);
  std::wstring installDir;
  if (!FindInstallDir(&installDir)) return FailWithoutCode(line, "explaining needs the install directory", out, err);
  std::wstring base;
  if (!FindLibraryFolder(BKF_BASE, &base)) {
    return FailLibraryCall(line, "resolving the library's folders", MIVRA_E_BACKUP_FOLDER, out, err);
  }
  const std::wstring databasePath = base + L"\\rbmdata.dat";
  const MetadataFile database = ReadMetadataFile(databasePath, kRBMdataFormat);

  Report report = Report::Object();
  report.Set("installDir", Report::Text(Narrow(installDir)));
  report.Set("database", Report::Text(Narrow(databasePath)));
  report.Set("databaseVerdict", Report::Text(DatabaseVerdict(database)));
  if (database.journal.state != JournalState::kNone) report.Set("databaseJournal", JournalReport(database.journal));
  Answer answer;
  if (!database.accepted()) {
    answer = AnswerWithoutRecords(database);
  } else {
    const RBMdataState state = DecodeRBState(database.bytes.data() + kRBMdataFormat.stateOffset());
    report.Set("updateStatus", Report::Number(state.updateStatus));
    std::vector<std::string> exemptNames;
    bool listsUsable = false;
    report.Set("componentLists", ComponentListsReport(installDir, &exemptNames, &listsUsable));
    answer = JudgeRegisteredFiles(database, state.updateStatus, installDir, listsUsable ? &exemptNames : nullptr,
                                  &report);
  }
  SetAnswer(answer, &report);
  out << (line.json ? RenderJson(report) : RenderText(report));
  return answer.checkFails ? kExitFailed : kExitOk;
}

}  // namespace

const Command kExplainCommand = {"explain", "tell why a rollback is or is not needed, file by file", kHelp,
                                 {"--json"}, RunExplain};

}  // namespace mivra::ctl
