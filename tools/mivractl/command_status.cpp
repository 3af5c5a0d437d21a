#include "commands.h"

#include "command_result.h"

#include <sstream>

#include "error_names.h"
#include "examination.h"
#include "install_paths.h"
#include "library_files.h"
#include "mivra.h"
#include "update/backup/bk_record_layout.h"
#include "update/frame/backup_folder.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra::ctl {
namespace {

constexpr char kHelp[] =
    "usage: mivractl status [--json]\n"
    "\n"
    "Shows where the library works and what it holds, changing nothing:\n"
    "  installDir          the install directory (App Paths \"Path\" value of Corvane.exe); when it\n"
    "                      cannot be resolved, installDirProblem says which key and value were read\n"
    "                      and what was missing\n"
    "  switch              on, or off when section.ini holds [UPDATE] MIVRA=0 (JSON: true, false)\n"
    "  baseFolder          Common Files\\<company>\\<product>, and whether it exists; when the\n"
    "                      company and product names cannot be had, productNamesProblem says which\n"
    "                      library (prdinf.dll, LBLRES.DLL), export or string was missing, and where\n"
    "  bkup, tmpbkup       whether the committed and the staging backup exist; their bkmdata.dat\n"
    "                      (valid, inconsistent, invalid or missing), record count and damaged mark\n"
    "  database            rbmdata.dat: verdict, records, update status byte, rollback counter and\n"
    "                      how many rollbacks remain before the limit of 15\n"
    "  journal             beside a metadata file whose change was cut off: whether it is complete and\n"
    "                      what the library's next open does with it; the file is shown as it will be\n"
    "\n"
    "Exit status: 0, or 1 when the install directory or the library's folders cannot be resolved.\n";

const char* MetadataState(const MetadataFile& file) {
  switch (file.read) {
    case FileRead::kMissing:
      return "missing";
    case FileRead::kUnreadable:
      return "unreadable";
    case FileRead::kOk:
      break;
  }
  return VerdictName(JudgeMetadataFile(file.verdict));
}

Report BackupFolderReport(const std::wstring& folder) {
  Report report = Report::Object();
  const bool exists = FolderExists(folder);
  report.Set("exists", Report::Flag(exists));
  if (!exists) return report;
  const MetadataFile metadata = ReadMetadataFile(folder + L"\\bkmdata.dat", kBkMdataFormat);
  report.Set("metadata", Report::Text(MetadataState(metadata)));
  if (metadata.journal.state != JournalState::kNone) report.Set("journal", JournalReport(metadata.journal));
  if (metadata.unfinishedAppend) report.Set("unfinishedAppend", UnfinishedAppendReport(metadata));
  if (metadata.present() && metadata.verdict.headerComplete) {
    const BkMdataState state = DecodeBkState(metadata.bytes.data() + kBkMdataFormat.stateOffset());
    report.Set("records", Report::Number(metadata.verdict.recordsInFile));
    report.Set("damaged", Report::Flag((state.stateFlags & BKSTATE_DAMAGED) != 0));
  }
  return report;
}

Report DatabaseReport(const std::wstring& base) {
  Report report = Report::Object();
  const MetadataFile database = ReadMetadataFile(base + L"\\rbmdata.dat", kRBMdataFormat);
  report.Set("exists", Report::Flag(database.present()));
  if (database.journal.state != JournalState::kNone) report.Set("journal", JournalReport(database.journal));
  if (database.unfinishedAppend) report.Set("unfinishedAppend", UnfinishedAppendReport(database));
  if (!database.present()) return report;
  report.Set("verdict", Report::Text(MetadataState(database)));
  if (database.verdict.headerComplete) {
    const RBMdataState state = DecodeRBState(database.bytes.data() + kRBMdataFormat.stateOffset());
    report.Set("records", Report::Number(database.verdict.recordsInFile))
        .Set("updateStatus", Report::Number(state.updateStatus))
        .Set("rollbackCount", Report::Number(state.rollbackCount))
        .Set("rollbacksRemaining", Report::Number(RollbacksRemaining(state.rollbackCount)));
  }
  return report;
}

int RunStatus(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kStatusCommand, "takes no arguments", err);
  Report report = Report::Object();
  const std::string installDirProblem = AddInstallDir(&report);
  report.Set("switch", Report::Flag(!MivraIsFeatureOFF(), "on", "off"));
  std::wstring base;
  const bool foldersKnown = FindLibraryFolder(BKF_BASE, &base);
  if (foldersKnown) {
    report.Set("baseFolder", Report::Text(Narrow(base)));
    report.Set("baseFolderExists", Report::Flag(FolderExists(base)));
    report.Set("bkup", BackupFolderReport(base + L"\\bkup"));
    report.Set("tmpbkup", BackupFolderReport(base + L"\\tmpbkup"));
    report.Set("database", DatabaseReport(base));
  } else {
    // The library fails the same way wherever it needs its folders.
    report.Set("baseFolder", Report::Null("unresolved"));
    report.Set("code", Report::Number(MIVRA_E_BACKUP_FOLDER)).Set("codeName", Report::Text(FindErrorName(MIVRA_E_BACKUP_FOLDER)->name));
  }
  std::ostringstream said;
  if (!installDirProblem.empty()) {
    said << "mivractl status: the install directory cannot be resolved: " << installDirProblem << "\n";
  } else if (!foldersKnown) {
    TellUnavailableProductNames("status", &report, said);
  }
  out << (line.json ? RenderJson(report) : RenderText(report));
  err << said.str();
  if (!foldersKnown) return ReportLibraryFailure("status", "resolving the library's folders", MIVRA_E_BACKUP_FOLDER, err);
  return installDirProblem.empty() ? kExitOk : kExitFailed;
}

}  // namespace

const Command kStatusCommand = {"status", "show the install directory, the switch, the backups and the database",
                                kHelp, {"--json"}, RunStatus};

}  // namespace mivra::ctl
