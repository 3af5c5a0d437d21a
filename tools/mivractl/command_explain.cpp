// explain: why a rollback is or is not needed, file by file, read from the rollback database with
// the layout code, the component lists with the manifest code, and digests with the library's MD5.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
#include "stdout_capture.h"
#include "text_format.h"
#include "update/digest/file_digest.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/file_info.h"
#include "update/manifest/component_file_names.h"
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
    "      missing                   the file is not there (the check skips it)\n"
    "      time changed              its last-write time is not the registered one (skipped)\n"
    "      size differs              registered time, other size: a rollback is needed\n"
    "      content differs           registered time and size, other MD5: a rollback is needed\n"
    "      exempt by component list  it differs, but a component list names it\n"
    "      unchanged                 time, size and content as registered\n"
    "      digest unavailable        registered time, but it cannot be read: the check fails\n"
    "  rollbackNeeded  yes, no, or \"check fails\"; reason says which test or file decides it, as\n"
    "                  the library's query would (it stops at the first deciding file)\n"
    "\n"
    "Exit status: 0 when the answer is known, 1 when the library's check would fail or the install\n"
    "directory or the library's folders cannot be resolved.\n";

// The name as the need check compares it: the C runtime's conversion in the current locale.
bool MultiByteName(const std::wstring& name, std::string* converted) {
  std::vector<char> buffer(name.size() + 1, '\0');
  const size_t length = std::wcstombs(buffer.data(), name.c_str(), buffer.size());
  if (length == static_cast<size_t>(-1)) return false;
  converted->assign(buffer.data(), length);
  return true;
}

struct FileLine {
  std::string text;   // the verdict as printed
  std::string word;   // the verdict as one JSON word
  bool decidesNeeded = false;
  bool failsCheck = false;
};

int RunExplain(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kExplainCommand, "takes no arguments", err);
  std::wstring installDir;
  if (!FindInstallDir(&installDir)) return FailWithoutCode(line, "explaining needs the install directory", out, err);
  std::wstring base;
  if (!FindLibraryFolder(BKF_BASE, &base)) {
    return FailLibraryCall(line, "resolving the library's folders", MIVRA_E_BACKUP_FOLDER, out, err);
  }
  const std::wstring databasePath = base + L"\\rbmdata.dat";
  const MetadataFile database = ReadMetadataFile(databasePath, kRbMdataFormat);

  Report report = Report::Object();
  report.Set("installDir", Report::Text(Narrow(installDir)));
  report.Set("database", Report::Text(Narrow(databasePath)));
  auto print = [&]() { out << (line.Has("--json") ? RenderJson(report) : RenderText(report)); };

  if (!database.present()) {
    report.Set("databaseVerdict", Report::Text(database.read == FileRead::kMissing ? "missing" : "unreadable"));
    if (database.read == FileRead::kMissing) {
      report.Set("rollbackNeeded", Report::Text("no"));
      report.Set("reason", Report::Text("there is no rollback database: nothing is registered and no update is "
                                        "under way"));
      print();
      return kExitOk;
    }
    report.Set("rollbackNeeded", Report::Text("check fails"));
    report.Set("reason", Report::Text("the rollback database cannot be read"));
    print();
    return kExitFailed;
  }
  report.Set("databaseVerdict", Report::Text(VerdictName(JudgeMetadataFile(database.verdict))));
  if (!database.accepted()) {
    report.Set("rollbackNeeded", Report::Text("check fails"));
    report.Set("reason", Report::Text("the library discards this rollback database at its next open, and the "
                                      "query fails with " + DescribeError(MIVRA_E_RBMDATA_OPEN)));
    print();
    return kExitFailed;
  }

  const RbMdataState state = DecodeRbState(database.bytes.data() + kRbMdataFormat.stateOffset());
  const bool interrupted = state.updateStatus == 1;
  report.Set("updateStatus", Report::Number(state.updateStatus));

  std::vector<std::string> exemptNames;
  StdoutCapture capture;
  const bool listsUsable = CollectComponentFileNames(&exemptNames, installDir.c_str()) == 1;
  const std::string readerMessage = capture.Finish();
  Report lists = Report::Object();
  lists.Set("usable", Report::Flag(listsUsable));
  lists.Set("names", Report::Number(listsUsable ? exemptNames.size() : 0));
  if (!readerMessage.empty()) lists.Set("message", Report::Text(readerMessage));
  report.Set("componentLists", std::move(lists));

  Report files = Report::List();
  std::string decidingFile;
  std::string failingFile;
  uint32_t changed = 0;
  for (uint32_t i = 0; i < database.verdict.recordsInFile; ++i) {
    RbMdataRecord record;
    DecodeRbRecord(database.bytes.data() + kRbMdataFormat.recordOffset(i), &record);
    const std::wstring name = RecordFieldName(record.fileName);
    std::string narrowName;
    const bool exempt = listsUsable && MultiByteName(name, &narrowName) &&
                        std::find(exemptNames.begin(), exemptNames.end(), narrowName) != exemptNames.end();
    Report item = Report::Object();
    item.Set("index", Report::Number(i)).Set("name", Report::Text(Narrow(name)));
    Report recorded = Report::Object();
    recorded.Set("size", Report::Number(record.fileSizeLow))
        .Set("time", Report::Text(FormatSystemTime(record.lastWriteTime)))
        .Set("digest", Report::Text(HexBytes(record.digest, sizeof(record.digest))));

    FileLine found;
    wchar_t path[kPathCapacity];
    if (!BoundedConcat(path, {installDir, name})) {
      found = {"path too long", "path-too-long", false, true};
    } else {
      InstalledFile installed{};
      const bool readable = ReadFileSizeAndTime(path, &installed.sizeLow, &installed.localWriteTime);
      const FileJudgement judgement = JudgeRegisteredFile(
          record, readable ? &installed : nullptr, exempt,
          [&path](uint8_t (&digest)[16]) { return GetFileDigest(path, digest); });
      found.text = JudgementText(judgement);
      found.word = JudgementWord(judgement);
      found.decidesNeeded = judgement.needsRollback();
      found.failsCheck = judgement.finding == FileFinding::kDigestUnavailable;
      if (judgement.exemptDifference()) found.text += std::string(" (") + FindingText(judgement.finding) + ")";
      if (judgement.finding == FileFinding::kTimeChanged) {
        found.text += " (registered " + FormatSystemTime(record.lastWriteTime) + ", now " +
                      FormatSystemTime(installed.localWriteTime) + ")";
      } else if (judgement.finding == FileFinding::kSizeDiffers) {
        found.text += " (registered " + std::to_string(record.fileSizeLow) + " bytes, now " +
                      std::to_string(installed.sizeLow) + ")";
      }
      if (readable) {
        Report now = Report::Object();
        now.Set("size", Report::Number(installed.sizeLow))
            .Set("time", Report::Text(FormatSystemTime(installed.localWriteTime)));
        item.Set("found", std::move(now));
      }
    }
    item.Set("verdict", Report::Text(found.word)).Set("exempt", Report::Flag(exempt)).Set("recorded", std::move(recorded));
    files.Append(std::move(item), "file " + Narrow(name) + ": " + found.text);

    if (found.decidesNeeded) ++changed;
    // The library's changed-file test stops at the first file that decides or fails it.
    if (decidingFile.empty() && failingFile.empty()) {
      if (found.decidesNeeded) decidingFile = Narrow(name) + ": " + found.text;
      if (found.failsCheck) failingFile = Narrow(name) + ": " + found.text;
    }
  }
  report.Set("files", std::move(files));
  report.Set("changedFiles", Report::Number(changed));

  int status = kExitOk;
  if (interrupted) {
    report.Set("rollbackNeeded", Report::Text("yes"));
    report.Set("reason", Report::Text("the update status is 1: an update was left unfinished"));
  } else if (!decidingFile.empty()) {
    report.Set("rollbackNeeded", Report::Text("yes"));
    report.Set("reason", Report::Text(decidingFile));
  } else if (!failingFile.empty()) {
    report.Set("rollbackNeeded", Report::Text("check fails"));
    report.Set("reason", Report::Text(failingFile));
    status = kExitFailed;
  } else {
    report.Set("rollbackNeeded", Report::Text("no"));
    report.Set("reason", Report::Text("the update status is not 1 and no registered file differs behind its "
                                      "registered time"));
  }
  print();
  return status;
}

}  // namespace

const Command kExplainCommand = {"explain", "tell why a rollback is or is not needed, file by file", kHelp,
                                 {"--json"}, RunExplain};

}  // namespace mivra::ctl
