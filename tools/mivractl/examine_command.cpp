#include "examine_command.h"

#include <filesystem>
#include <optional>
#include <vector>

#include "file_bytes.h"
#include "examine_manifest.h"
#include "examine_metadata.h"
#include "file_kind.h"
#include "library_files.h"
#include "text_format.h"
#include "update/backup/bk_record_layout.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra::ctl {
namespace {

constexpr char kHelp[] =
    "usage: mivractl inspect FILE [--verify] [--json]\n"
    "\n"
    "Examines one of the library's files: bkmdata.dat, rbmdata.dat, updtconf.dat or a component list\n"
    "(<id>_compns.lst). The kind is recognised by the file's magic (by its name when the file is too\n"
    "short to show one). Nothing is written; the file may be a copy from another machine.\n"
    "\n"
    "Prints the header, the state block (metadata files), one line per check with ok, bad or not\n"
    "checked, what the library does with the file, the verdict, and every record decoded.\n"
    "  verdict valid         every check passes\n"
    "  verdict inconsistent  the library accepts the file but its record count or length disagree\n"
    "  verdict invalid       the library refuses the file (a metadata file is deleted at its next open)\n"
    "\n"
    "options:\n"
    "  --verify  bkmdata.dat only: check every backup copy kept beside the file against the digest\n"
    "            in its record (copy lines: ok, missing, differs, unreadable, unsafe-name, not-kept)\n"
    "  --json    print the same as one JSON object\n"
    "\n"
    "Exit status: 0 when the file is valid (and with --verify every copy matches), 1 otherwise or when\n"
    "the file cannot be read, 2 for a wrong command line.\n";

int RunInspect(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.size() != 1) return UsageError(kInspectCommand, "name exactly one FILE", err);
  const std::string& argument = line.positional[0];
  const std::filesystem::path path = PathFromUtf8(argument);
  std::vector<uint8_t> bytes;
  switch (ReadWholeFile(path, &bytes)) {
    case FileRead::kOk:
      break;
    case FileRead::kMissing:
      err << "mivractl inspect: " << QuotedPath(argument) << ": no such file\n";
      return kExitFailed;
    case FileRead::kUnreadable:
      err << "mivractl inspect: " << QuotedPath(argument) << ": cannot be read\n";
      return kExitFailed;
  }
  const Recognition recognition = RecognizeFile(bytes.data(), bytes.size(), PathToUtf8(path.filename()));
  if (recognition.kind == FileKind::kUnknown) {
    err << "mivractl inspect: " << QuotedPath(argument)
        << ": not a file of the library (no magic KVBKUP, KVRBUP, UPCN or INXF, and not named like one)\n";
    return kExitFailed;
  }
  const bool verify = line.Has("--verify");
  if (verify && recognition.kind != FileKind::kBkMdata) {
    return UsageError(kInspectCommand, "--verify applies to bkmdata.dat only", err);
  }

  // A metadata file is shown as the library's next open finds it: with the journal beside it put
  // back, when a change was cut off, and an append cut off before its commit point cut off.
  Report journal = Report::Object();
  bool hasJournal = false;
  bool removedByJournal = false;
  std::optional<Report> unfinishedAppend;
  if (recognition.kind == FileKind::kBkMdata || recognition.kind == FileKind::kRBMdata) {
    const MetadataFile metadata =
        ReadMetadataFile(path, recognition.kind == FileKind::kBkMdata ? kBkMdataFormat : kRBMdataFormat);
    if (metadata.journal.state != JournalState::kNone) {
      hasJournal = true;
      journal = JournalReport(metadata.journal);
      removedByJournal = metadata.read == FileRead::kMissing;
      if (metadata.present()) bytes = metadata.bytes;
    }
    if (metadata.unfinishedAppend) {
      unfinishedAppend = UnfinishedAppendReport(metadata);
      bytes = metadata.bytes;
    }
  }

  Inspection inspection;
  const std::filesystem::path folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
  switch (removedByJournal ? FileKind::kUnknown : recognition.kind) {
    case FileKind::kBkMdata:
      inspection = InspectBkMdata(bytes, verify ? &folder : nullptr);
      break;
    case FileKind::kRBMdata:
      inspection = InspectRBMdata(bytes);
      break;
    case FileKind::kUpdateConfig:
      inspection = InspectUpdateConfig(bytes);
      break;
    case FileKind::kComponentList:
      inspection = InspectComponentList(bytes);
      break;
    case FileKind::kUnknown:
      break;
  }
  Report report = Report::Object();
  report.Set("file", Report::Path(argument))
      .Set("kind", Report::Text(FileKindName(recognition.kind)))
      .Set("recognizedBy", Report::Text(recognition.byMagic ? "magic" : "name"));
  if (hasJournal) report.Set("journal", std::move(journal));
  if (unfinishedAppend) report.Set("unfinishedAppend", std::move(*unfinishedAppend));
  if (removedByJournal) {
    report.Set("library", Report::Text("deletes the file at its next open (the change that created it was cut off)"));
    out << (line.json ? RenderJson(report) : RenderText(report));
    return kExitFailed;
  }
  report.Set("size", Report::Number(bytes.size())).Merge(std::move(inspection.report));
  out << (line.json ? RenderJson(report) : RenderText(report));
  return inspection.sound() ? kExitOk : kExitFailed;
}

}  // namespace

const Command kInspectCommand = {"inspect", "examine bkmdata.dat, rbmdata.dat, updtconf.dat or a component list",
                                 kHelp, {"--verify", "--json"}, RunInspect};

}  // namespace mivra::ctl
