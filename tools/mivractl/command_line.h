// The subcommands and their arguments: one table per program, each entry with its help text, and
// the dispatch that handles --help and usage errors the same way for all of them.
#ifndef MIVRA_TOOLS_MIVRACTL_COMMAND_LINE_H_
#define MIVRA_TOOLS_MIVRACTL_COMMAND_LINE_H_

#include <initializer_list>
#include <ostream>
#include <span>
#include <string>
#include <vector>

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

// More version lines after "mivractl VERSION" (the library the program runs with).
using VersionDetails = std::string (*)();

// Runs the subcommand named by args[0] with the rest of the arguments (UTF-8). "--help", "-h" or
// "/?" anywhere prints the help instead, "--version" the version; no arguments or a help option
// alone prints the list of subcommands. `about` is the program's description under its usage line.
//
// With --json standard output carries exactly one JSON object: what the subcommand printed, or,
// when it failed without printing one, {"command", "result": "failed" or "usage-error", "code":
// null, "codeName": null, "message"}. Messages stay on standard error.
int Dispatch(std::span<const Command> commands, const char* about, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err, VersionDetails versionDetails = nullptr);

// Prints "mivractl NAME: message" and the usage line of the command, and returns kExitUsage.
int UsageError(const Command& command, const std::string& message, std::ostream& err);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_COMMAND_LINE_H_
