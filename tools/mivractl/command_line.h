// The subcommands and their arguments: one table per program, each entry with its help text, and
// the dispatch that handles the program's own options, --help and usage errors the same way for
// all of them.
#ifndef MIVRA_TOOLS_MIVRACTL_COMMAND_LINE_H_
#define MIVRA_TOOLS_MIVRACTL_COMMAND_LINE_H_

#include <initializer_list>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "report.h"

namespace mivra::ctl {

// Exit status of every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the operation failed, or the file is not sound
inline constexpr int kExitUsage = 2;   // the command line is wrong

struct CommandLine {
  std::string command;  // the subcommand's name
  std::vector<std::string> positional;
  std::vector<std::string> flags;
  bool json = false;  // --json, which every subcommand takes
  bool Has(const std::string& flag) const;
};

struct Command {
  const char* name;
  const char* summary;  // one line for the program's --help
  const char* help;     // the subcommand's --help, starting with its usage line
  std::initializer_list<const char*> flags;  // the options it accepts
  int (*run)(const CommandLine& line, std::ostream& out, std::ostream& err);
};

// What --version adds after "mivractl VERSION": text lines, and the same as members of the JSON object.
struct VersionDetail {
  std::string text;
  Report json = Report::Object();
};

struct Program {
  std::span<const Command> commands;
  const char* about;  // the program's description under its usage line
  // The library the program runs with, for --version; null when there is none.
  VersionDetail (*versionDetail)() = nullptr;
  // Makes the library trace this run into `file`. False when that cannot be arranged at all
  // (`problem` says why); true with `problem` set when the file cannot be written: a warning.
  // Null when the program has no library to trace.
  bool (*startTrace)(const std::string& file, std::string* problem) = nullptr;
};

// The subcommands that work through mivra.dll and so exist only in mivractl.exe; a build without
// the library names them as needing Windows.
std::span<const char* const> WindowsOnlyCommandNames();

// Runs the program with its arguments (UTF-8). "--json" and "--trace FILE" may stand anywhere
// before "--"; the first other argument names the subcommand. "--help", "-h" or "/?" anywhere
// before "--" prints the help instead (of the subcommand when one is named), "--version" the
// version; no subcommand at all prints the program's help as a usage error.
//
// With --json standard output carries exactly one JSON object whatever happens: what the
// subcommand printed; or {"command", "result", "code": null, "codeName": null, "message"} with
// result "failed" or "usage-error" when it, or the command line, failed without one; {"tool",
// "version", ...} for --version; {"command", "result": "ok", ..., "help"} for help. Messages stay
// on standard error.
int Dispatch(const Program& program, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Prints "mivractl NAME: message" and the usage line of the command, and returns kExitUsage.
int UsageError(const Command& command, const std::string& message, std::ostream& err);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_COMMAND_LINE_H_
