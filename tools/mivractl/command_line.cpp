#include "command_line.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <streambuf>
#include <string>

#include "mivra_version.h"
#include "report.h"

namespace mivra::ctl {
namespace {

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }
bool IsVersion(const std::string& arg) { return arg == "--version"; }

void PrintProgramHelp(std::span<const Command> commands, const char* about, std::ostream& out) {
  out << "usage: mivractl COMMAND [ARGUMENTS]\n"
         "       mivractl --version\n\n"
      << about
      << "Every command takes --help (or -h, /?) and --json (one JSON object on standard output,\n"
         "failures included).\n\ncommands:\n";
  size_t width = 0;
  for (const Command& command : commands) width = std::max(width, std::strlen(command.name));
  for (const Command& command : commands) {
    out << "  " << command.name << std::string(width - std::strlen(command.name) + 2, ' ') << command.summary
        << "\n";
  }
  out << "\nExit status: 0 success, 1 failure, 2 wrong command line.\n";
}

void PrintVersion(VersionDetails details, std::ostream& out) {
  out << "mivractl " << MIVRA_VERSION_TEXT << "\n";
  if (details) out << details();
}

std::string UsageLine(const Command& command) {
  const std::string help = command.help;
  return help.substr(0, help.find('\n'));
}

// Reads the arguments after the subcommand's name into `line`; false with `problem` set for an
// option the subcommand does not take.
bool ParseArguments(const Command& command, const std::vector<std::string>& args, CommandLine* line,
                    std::string* problem) {
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--json") {
      line->json = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      const bool known = std::any_of(command.flags.begin(), command.flags.end(),
                                     [&arg](const char* flag) { return arg == flag; });
      if (!known && problem->empty()) *problem = "unknown option " + arg;
      if (known && !line->Has(arg)) line->flags.push_back(arg);
    } else {
      line->positional.push_back(arg);
    }
  }
  return problem->empty();
}

// The one JSON object of a subcommand that failed without printing its own: what it said on
// standard error, without the program's prefix.
std::string FailureObject(const std::string& command, int status, const std::string& message) {
  std::string text = message;
  const std::string prefix = "mivractl " + command + ": ";
  if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  Report report = Report::Object();
  report.Set("command", Report::Text(command))
      .Set("result", Report::Text(status == kExitUsage ? "usage-error" : "failed"))
      .Set("code", Report::Null("none"))
      .Set("codeName", Report::Null("none"))
      .Set("message", Report::Text(text));
  return RenderJson(report);
}

// Passes what is written on to `target` at once and keeps a copy: a subcommand's messages reach
// standard error while it runs (a restore may wait long), and its failure object can quote them.
class KeepingBuffer : public std::streambuf {
 public:
  explicit KeepingBuffer(std::streambuf* target) : target_(target) {}
  const std::string& kept() const { return kept_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    kept_.push_back(traits_type::to_char_type(c));
    return target_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    kept_.append(text, static_cast<size_t>(count));
    return target_->sputn(text, count);
  }
  int sync() override { return target_->pubsync(); }

 private:
  std::streambuf* target_;
  std::string kept_;
};

// Runs the subcommand with --json: its standard output must be one JSON object whatever happens.
int RunForJson(const Command& command, const CommandLine& line, std::ostream& out, std::ostream& err) {
  std::ostringstream printed;
  KeepingBuffer keeping(err.rdbuf());
  std::ostream said(&keeping);
  const int status = command.run(line, printed, said);
  said.flush();
  if (!printed.str().empty()) {
    out << printed.str();
  } else if (status != kExitOk) {
    out << FailureObject(command.name, status, keeping.kept());
  }
  return status;
}

}  // namespace

bool CommandLine::Has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

int UsageError(const Command& command, const std::string& message, std::ostream& err) {
  err << "mivractl " << command.name << ": " << message << "\n" << UsageLine(command) << "\n";
  return kExitUsage;
}

int Dispatch(std::span<const Command> commands, const char* about, const std::vector<std::string>& args,
             std::ostream& out, std::ostream& err, VersionDetails versionDetails) {
  if (args.empty() || IsHelp(args[0])) {
    PrintProgramHelp(commands, about, out);
    return args.empty() ? kExitUsage : kExitOk;
  }
  if (IsVersion(args[0])) {
    PrintVersion(versionDetails, out);
    return kExitOk;
  }
  const auto command = std::find_if(commands.begin(), commands.end(),
                                    [&args](const Command& c) { return args[0] == c.name; });
  if (command == commands.end()) {
    err << "mivractl: unknown command \"" << args[0] << "\"; mivractl --help lists them\n";
    return kExitUsage;
  }
  // Help and version win over everything else before "--".
  for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    if (IsHelp(args[i])) {
      out << command->help;
      return kExitOk;
    }
    if (IsVersion(args[i])) {
      PrintVersion(versionDetails, out);
      return kExitOk;
    }
  }
  CommandLine line;
  line.command = command->name;
  std::string problem;
  const bool parsed = ParseArguments(*command, args, &line, &problem);
  if (line.json) {
    if (!parsed) {
      std::ostringstream said;
      UsageError(*command, problem, said);
      err << said.str();
      out << FailureObject(command->name, kExitUsage, said.str());
      return kExitUsage;
    }
    return RunForJson(*command, line, out, err);
  }
  if (!parsed) return UsageError(*command, problem, err);
  return command->run(line, out, err);
}

}  // namespace mivra::ctl
