// register, mark-status and delete-db: the rollback database exports, as an updater calls them.
#include <windows.h>

#include <memory>
#include <vector>

#include "command_result.h"
#include "commands.h"
#include "install_paths.h"
#include "mivra.h"
#include "text_format.h"
#include "update/digest/file_digest.h"

namespace mivra::ctl {
namespace {

constexpr char kRegisterHelp[] =
    "usage: mivractl register [--json] FILE...\n"
    "\n"
    "Registers installed files in the rollback database (rbmdata.dat), as the updater does after it\n"
    "installed them: the tool takes each file's size and MD5 digest itself and hands them to the\n"
    "library, which adds the file's last-write time. A file registered before is updated in place.\n"
    "A bare name is a file of the install directory. A FILE that does not exist is handed over\n"
    "with size 0 and an empty digest, and the library refuses it.\n"
    "\n"
    "Exit status: 0 when every file was registered, 1 on the first failure, with the library's error\n"
    "code (124 for a missing file, 104 for one outside the install directory).\n";

constexpr char kMarkStatusHelp[] =
    "usage: mivractl mark-status [--json] 1|2\n"
    "\n"
    "Stores the update status byte in the rollback database. 1 says that an update is under way:\n"
    "until it is replaced, a query reports that a rollback is needed, and a rollback first sweeps\n"
    "the leftover temporary files (kvupd*.tmp) from the install directory. 2 says that the update\n"
    "finished.\n"
    "\n"
    "Exit status: 0 when stored, 1 on a failure (with the library's error code when it gives one).\n";

constexpr char kDeleteDbHelp[] =
    "usage: mivractl delete-db [--json]\n"
    "\n"
    "Deletes the rollback database: its registrations, update status and rollback counter. The\n"
    "next user starts an empty one.\n"
    "\n"
    "Exit status: 0 when deleted (or scheduled for deletion at restart), 1 on a failure, also when\n"
    "there is no database to delete.\n";

// MivraDeleteRBMdataObject is the DLL's second name (ordinal 10) of this one function; the
// library linked into the tool has it under its first.
struct ObjectRelease {
  void operator()(MdataObject* object) const { MivraDeleteBkMdataObject(object); }
};
using ScopedObject = std::unique_ptr<MdataObject, ObjectRelease>;

int RunRegister(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.empty()) return UsageError(kRegisterCommand, "name at least one FILE", err);
  std::vector<std::wstring> paths;
  for (const std::string& argument : line.positional) {
    std::wstring path;
    if (!ProductFilePath(argument, &path)) return FailWithoutCode(line, "cannot form the path of " + argument, out, err);
    paths.push_back(path);
  }
  Report registered = Report::List();
  auto details = [&registered]() {
    Report report = Report::Object();
    report.Set("files", std::move(registered));
    return report;
  };
  uint32_t code = 0;
  ScopedObject database(MivraCreateRBMdataObject(&code));
  if (!database) return FailLibraryCall(line, "opening the rollback database", code, out, err, details());
  std::ostream& progress = ProgressStream(line, out, err);
  const size_t total = paths.size();
  for (size_t i = 0; i < total; ++i) {
    const std::string name = FileNameOf(paths[i]);
    uint32_t sizeLow = 0;
    uint8_t digest[16] = {};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(paths[i].c_str(), GetFileExInfoStandard, &data)) {
      sizeLow = data.nFileSizeLow;
      if (!GetFileDigest(paths[i].c_str(), digest)) {
        return FailWithoutCode(line, "cannot take the digest of " + name, out, err, details());
      }
    }
    code = 0;
    if (!MivraUpdateRollBackDB(database.get(), paths[i].c_str(), sizeLow, digest, &code)) {
      return FailLibraryCall(line, "registering " + name, code, out, err, details());
    }
    const std::string md5 = HexBytes(digest, sizeof(digest));
    std::string done = ProgressCounter(i + 1, total);
    done.append(name).append(": registered, ").append(std::to_string(sizeLow)).append(" bytes, md5 ").append(md5);
    progress << done << "\n" << std::flush;
    Report item = Report::Object();
    item.Set("name", Report::Text(name)).Set("size", Report::Number(sizeLow)).Set("md5", Report::Text(md5));
    registered.Append(std::move(item), done);
  }
  return Succeed(line, "", details(), out);
}

int RunMarkStatus(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.size() != 1 || (line.positional[0] != "1" && line.positional[0] != "2")) {
    return UsageError(kMarkStatusCommand, "the status is 1 or 2", err);
  }
  const uint8_t status = line.positional[0] == "1" ? 1 : 2;
  Report details = Report::Object();
  details.Set("updateStatus", Report::Number(status));
  uint32_t code = 0;
  if (!MivraMarkUpdateStatus(status, &code)) {
    return FailLibraryCall(line, "storing the update status", code, out, err, std::move(details));
  }
  return Succeed(line, "update status " + std::to_string(status) + " stored\n", std::move(details), out);
}

int RunDeleteDb(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.positional.empty()) return UsageError(kDeleteDbCommand, "takes no arguments", err);
  uint32_t code = 0;
  if (!MivraDeleteRollBackDB(&code)) {
    // The library fails without a code only when there is no database.
    if (code == 0) {
      return FailWithoutCode(line,
                             "deleting the rollback database failed without an error code: there is no rollback "
                             "database",
                             out, err);
    }
    return FailLibraryCall(line, "deleting the rollback database", code, out, err);
  }
  return Succeed(line, "rollback database deleted\n", Report::Object(), out);
}

}  // namespace

const Command kRegisterCommand = {"register", "register installed files in the rollback database", kRegisterHelp,
                                  {}, RunRegister};
const Command kMarkStatusCommand = {"mark-status", "store the update status byte (1 under way, 2 finished)",
                                    kMarkStatusHelp, {}, RunMarkStatus};
const Command kDeleteDbCommand = {"delete-db", "delete the rollback database", kDeleteDbHelp, {}, RunDeleteDb};

}  // namespace mivra::ctl
