// A trace file read back as a story: every export call with its arguments, result, code and time
// taken, and inside it, in order, its steps and the export calls it made. Lines of one process
// and thread belong together, so traces of two processes written into one file come apart again.
#ifndef MIVRA_TOOLS_MIVRACTL_TRACE_STORY_H_
#define MIVRA_TOOLS_MIVRACTL_TRACE_STORY_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report.h"
#include "update/frame/trace_format.h"

namespace mivra::ctl {

struct TracedCall;

struct TracedStep {
  std::string time;
  std::string name;
  std::string result;               // "ok", "failed", or the word of a decision
  std::vector<TraceField> details;  // the step's own fields, in order
  std::optional<uint64_t> win32;
  std::optional<uint64_t> crtErrno;
  std::string why;

  bool failed() const { return result == "failed"; }
};

// A step, or an export call made inside another one.
struct TracedEntry {
  TracedStep step;
  std::unique_ptr<TracedCall> call;
};

struct TracedCall {
  std::string function;
  std::string pid;
  std::string tid;
  std::string start;
  std::vector<TraceField> arguments;
  bool returned = false;  // false when the trace ends inside the call
  std::string result;     // "1", "0", a handle, "null", or empty for the exports without one
  std::optional<uint32_t> code;
  std::optional<double> milliseconds;
  std::vector<TraceField> outputs;
  std::vector<TracedEntry> entries;

  // Failed itself: a false or null result, a code written without a true result, or no return.
  bool failed() const;
  // Failed, or holds a failed step or call at any depth.
  bool troubled() const;
};

struct TraceStory {
  std::vector<std::unique_ptr<TracedCall>> calls;  // in the order they started
  size_t unreadableLines = 0;                      // not lines of a trace, or cut off
};

TraceStory ReadTraceStory(std::string_view text);

// With `failuresOnly`, only the troubled calls, and in them only the failed steps and calls.
std::string RenderStoryText(const TraceStory& story, bool failuresOnly);
Report StoryReport(const TraceStory& story, bool failuresOnly);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_TRACE_STORY_H_
