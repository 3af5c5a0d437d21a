#include "command_line.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <streambuf>
#include <string>

#include "mivra_version.h"

namespace mivra::ctl {
namespace {

constexpr const char* kWindowsOnlyCommands[] = {"status",    "backup",      "add",       "commit", "remove",
                                                "list",      "delete-backup", "register", "mark-status",
                                                "delete-db", "query",       "rollback",  "explain"};

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }
bool IsVersion(const std::string& arg) { return arg == "--version"; }

// The arguments with the program's own options taken out. Help and version flags stay in `rest`
// (they win over everything, so `rest` is never parsed when one is there).
struct ProgramArguments {
  std::vector<std::string> rest;
  bool json = false;
  bool help = false;
  bool version = false;
  bool traced = false;
  std::string traceFile;
  std::string problem;  // the first usage error met
};

ProgramArguments ReadProgramOptions(const std::vector<std::string>& args) {
  ProgramArguments read;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--json") {
      read.json = true;
      continue;
    }
    if (!optionsEnded && arg == "--trace") {
      // "--trace --json" lacks its FILE rather than tracing into a file named "--json".
      if (i + 1 == args.size() || args[i + 1] == "--json" || args[i + 1] == "--trace") {
        if (read.problem.empty()) read.problem = "--trace needs a FILE";
      } else {
        read.traced = true;
        read.traceFile = args[++i];
      }
      continue;
    }
    if (!optionsEnded) {
      optionsEnded = arg == "--";
      read.help = read.help || IsHelp(arg);
      read.version = read.version || IsVersion(arg);
    }
    read.rest.push_back(arg);
  }
  return read;
}

void PrintProgramHelp(const Program& program, std::ostream& out) {
  out << "usage: mivractl [--json] [--trace FILE] COMMAND [ARGUMENTS]\n"
         "       mivractl --version\n\n"
      << program.about
      << "Every command takes --help (or -h, /?) and --json (one JSON object on standard output,\n"
         "failures included); --json and --trace FILE may stand anywhere on the command line.\n\ncommands:\n";
  size_t width = 0;
  for (const Command& command : program.commands) width = std::max(width, std::strlen(command.name));
  for (const Command& command : program.commands) {
    out << "  " << command.name << std::string(width - std::strlen(command.name) + 2, ' ') << command.summary
        << "\n";
  }
  std::string elsewhere;
  for (const char* name : kWindowsOnlyCommands) {
    const bool here = std::any_of(program.commands.begin(), program.commands.end(),
                                  [name](const Command& command) { return std::strcmp(command.name, name) == 0; });
    if (!here) elsewhere.append(" ").append(name);
  }
  if (!elsewhere.empty()) out << "\nThese need Windows (mivractl.exe, which carries the library):" << elsewhere << "\n";
  out << "\nExit status: 0 success, 1 failure, 2 wrong command line.\n";
}

// What any program-level answer carries in JSON: the command (null when none was named) and the
// result in the vocabulary of every subcommand.
Report Envelope(const std::string& command, const char* result) {
  Report report = Report::Object();
  report.Set("command", command.empty() ? Report::Null("none") : Report::Text(command))
      .Set("result", Report::Text(result))
      .Set("code", Report::Null("none"))
      .Set("codeName", Report::Null("none"));
  return report;
}

int PrintHelp(const Program& program, const Command* command, bool json, std::ostream& out) {
  std::ostringstream help;
  if (command) {
    help << command->help;
  } else {
    PrintProgramHelp(program, help);
  }
  if (!json) {
    out << help.str();
  } else {
    Report report = Envelope(command ? command->name : std::string(), "ok");
    report.Set("help", Report::Text(help.str()));
    out << RenderJson(report);
  }
  return kExitOk;
}

int PrintVersion(const Program& program, bool json, std::ostream& out) {
  const VersionDetail detail = program.versionDetail ? program.versionDetail() : VersionDetail();
  if (!json) {
    out << "mivractl " << MIVRA_VERSION_TEXT << "\n" << detail.text;
    return kExitOk;
  }
  Report report = Report::Object();
  report.Set("tool", Report::Text("mivractl")).Set("version", Report::Text(MIVRA_VERSION_TEXT));
  report.Merge(detail.json);
  out << RenderJson(report);
  return kExitOk;
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
  for (const std::string& arg : args) {
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
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

// The one JSON object of a failure that printed none of its own: what was said on standard error
// (`said`), without the program's prefix, as its message.
std::string FailureObject(const std::string& command, int status, const std::string& said) {
  std::string text = said;
  for (const std::string& prefix : {"mivractl " + command + ": ", std::string("mivractl: ")}) {
    if (text.rfind(prefix, 0) == 0) {
      text.erase(0, prefix.size());
      break;
    }
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  Report report = Envelope(command, status == kExitUsage ? "usage-error" : "failed");
  report.Set("message", Report::Text(text));
  return RenderJson(report);
}

// Says on standard error what went wrong (`said`, ending with a line feed), and with --json prints
// its object.
int Refuse(const std::string& command, int status, const std::string& said, bool json, std::ostream& out,
           std::ostream& err) {
  err << said;
  if (json) out << FailureObject(command, status, said);
  return status;
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
    return status;
  }
  // A subcommand that printed nothing still answers with one object.
  out << (status == kExitOk ? RenderJson(Envelope(command.name, "ok")) : FailureObject(command.name, status, keeping.kept()));
  return status;
}

}  // namespace

bool CommandLine::Has(const std::string& flag) const {
  return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

std::span<const char* const> WindowsOnlyCommandNames() { return kWindowsOnlyCommands; }

int UsageError(const Command& command, const std::string& message, std::ostream& err) {
  err << "mivractl " << command.name << ": " << message << "\n" << UsageLine(command) << "\n";
  return kExitUsage;
}

int Dispatch(const Program& program, const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ProgramArguments read = ReadProgramOptions(args);
  const bool json = read.json;
  // The subcommand is the first argument that is neither a help nor a version flag.
  const auto named = std::find_if(read.rest.begin(), read.rest.end(),
                                  [](const std::string& arg) { return !IsHelp(arg) && !IsVersion(arg); });
  std::string name = named == read.rest.end() ? std::string() : *named;
  if (named != read.rest.end()) read.rest.erase(named);
  if (!name.empty() && name[0] == '-' && !read.help && !read.version) {
    const std::string problem = name == "--" ? "name a command before \"--\"" : "unknown option " + name;
    return Refuse("", kExitUsage, "mivractl: " + problem + "; mivractl --help tells the usage\n", json, out, err);
  }
  if (!name.empty() && name[0] == '-') name.clear();
  if (!read.problem.empty() && !read.help && !read.version) {
    return Refuse(name, kExitUsage, "mivractl: " + read.problem + "\n", json, out, err);
  }

  const auto command = std::find_if(program.commands.begin(), program.commands.end(),
                                    [&name](const Command& c) { return name == c.name; });
  if (name.empty() || command == program.commands.end()) {
    if (read.version) return PrintVersion(program, json, out);
    if (name.empty() && read.help) return PrintHelp(program, nullptr, json, out);
    if (name.empty()) {
      if (json) return Refuse("", kExitUsage, "mivractl: name a command; mivractl --help lists them\n", true, out, err);
      PrintProgramHelp(program, out);
      return kExitUsage;
    }
    const auto windowsOnly = WindowsOnlyCommandNames();
    if (std::find(windowsOnly.begin(), windowsOnly.end(), name) != windowsOnly.end()) {
      return Refuse(name, kExitFailed,
                    "mivractl " + name +
                        ": needs Windows: it works through the library, which only mivractl.exe carries; this "
                        "build reads the library's files and traces (inspect, log)\n",
                    json, out, err);
    }
    return Refuse(name, kExitUsage, "mivractl: unknown command \"" + name + "\"; mivractl --help lists them\n", json,
                  out, err);
  }
  if (read.help) return PrintHelp(program, &*command, json, out);
  if (read.version) return PrintVersion(program, json, out);

  CommandLine line;
  line.command = command->name;
  line.json = json;
  std::string problem;
  if (!ParseArguments(*command, read.rest, &line, &problem)) {
    std::ostringstream said;
    UsageError(*command, problem, said);
    return Refuse(command->name, kExitUsage, said.str(), json, out, err);
  }
  if (read.traced) {
    if (!program.startTrace) {
      return Refuse(command->name, kExitUsage,
                    "mivractl " + line.command + ": --trace needs Windows: this build runs no library to trace\n",
                    json, out, err);
    }
    std::string traceProblem;
    if (!program.startTrace(read.traceFile, &traceProblem)) {
      return Refuse(command->name, kExitFailed, "mivractl " + line.command + ": " + traceProblem + "\n", json, out,
                    err);
    }
    if (!traceProblem.empty()) err << "mivractl " << line.command << ": warning: " << traceProblem << "\n";
  }
  return json ? RunForJson(*command, line, out, err) : command->run(line, out, err);
}

}  // namespace mivra::ctl
