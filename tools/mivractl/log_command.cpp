#include "log_command.h"

#include <string>
#include <vector>

#include "file_bytes.h"
#include "report.h"
#include "text_format.h"
#include "trace_story.h"

namespace mivra::ctl {
namespace {

constexpr char kHelp[] =
    "usage: mivractl log FILE... [--json] [--failures]\n"
    "\n"
    "Tells what the library did, from the trace it writes when the environment variable MIVRA_TRACE\n"
    "names a file (or when mivractl runs with --trace FILE). A trace that passed 16 MiB was moved\n"
    "aside to FILE.1: give FILE.1 first, then FILE, to read both in order.\n"
    "\n"
    "Prints one line per export call (when it started, process and thread, its arguments, its\n"
    "result, the error code it wrote with its name, and the time it took), and under it, indented,\n"
    "each step the call took: files opened and checked, copies, digests, renames, deletions, waits\n"
    "for files in use. A call that failed, and a step that failed, are marked with '!' in the first\n"
    "column; a failed step names the system error (win32 32 ERROR_SHARING_VIOLATION) or the C-runtime\n"
    "error (errno 13 EACCES) that stood in the way.\n"
    "\n"
    "options:\n"
    "  --failures  only the calls that failed or had a failed step, with only their failed steps\n"
    "  --json      print the same as one JSON object\n"
    "\n"
    "Exit status: 0 when the trace was read, 1 when a FILE cannot be read, 2 for a wrong command line.\n";

int RunLog(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.empty()) return UsageError(kLogCommand, "name the trace FILE", err);
  std::string text;
  for (const std::string& argument : line.positional) {
    std::vector<uint8_t> bytes;
    switch (ReadWholeFile(PathFromUtf8(argument), &bytes)) {
      case FileRead::kOk:
        break;
      case FileRead::kMissing:
        err << "mivractl log: " << argument << ": no such file\n";
        return kExitFailed;
      case FileRead::kUnreadable:
        err << "mivractl log: " << argument << ": cannot be read\n";
        return kExitFailed;
    }
    text.append(bytes.begin(), bytes.end());
    if (!text.empty() && text.back() != '\n') text += '\n';
  }
  const TraceStory story = ReadTraceStory(text);
  const bool failuresOnly = line.Has("--failures");
  if (line.json) {
    out << RenderJson(StoryReport(story, failuresOnly));
  } else {
    out << RenderStoryText(story, failuresOnly);
  }
  return kExitOk;
}

}  // namespace

const Command kLogCommand = {"log", "tells what the library did, from its trace", kHelp, {"--json", "--failures"},
                             RunLog};

}  // namespace mivra::ctl
