#include "command_line.h"

#include <algorithm>
#include <cstring>

namespace mivra::ctl {
namespace {

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

void PrintProgramHelp(std::span<const Command> commands, const char* about, std::ostream& out) {
  out << "usage: mivractl COMMAND [ARGUMENTS]\n\n" << about << "Every command takes --help.\n\ncommands:\n";
  size_t width = 0;
  for (const Command& command : commands) width = std::max(width, std::strlen(command.name));
  for (const Command& command : commands) {
    out << "  " << command.name << std::string(width - std::strlen(command.name) + 2, ' ') << command.summary
        << "\n";
  }
  out << "\nExit status: 0 success, 1 failure, 2 wrong command line.\n";
}

std::string UsageLine(const Command& command) {
  const std::string help = command.help;
  return help.substr(0, help.find('\n'));
}

}  // namespace

bool CommandLine::Has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

int UsageError(const Command& command, const std::string& message, std::ostream& err) {
  err << "mivractl " << command.name << ": " << message << "\n" << UsageLine(command) << "\n";
  return kExitUsage;
}

int Dispatch(std::span<const Command> commands, const char* about, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err) {
  if (args.empty() || IsHelp(args[0])) {
    PrintProgramHelp(commands, about, out);
    return args.empty() ? kExitUsage : kExitOk;
  }
  const auto command = std::find_if(commands.begin(), commands.end(),
                                    [&args](const Command& c) { return args[0] == c.name; });
  if (command == commands.end()) {
    err << "mivractl: unknown command \"" << args[0] << "\"; mivractl --help lists them\n";
    return kExitUsage;
  }
  CommandLine line;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && IsHelp(arg)) {
      out << command->help;
      return kExitOk;
    }
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      const bool known = std::any_of(command->flags.begin(), command->flags.end(),
                                     [&arg](const char* flag) { return arg == flag; });
      if (!known) return UsageError(*command, "unknown option " + arg, err);
      if (!line.Has(arg)) line.flags.push_back(arg);
    } else {
      line.positional.push_back(arg);
    }
  }
  return command->run(line, out, err);
}

}  // namespace mivra::ctl
