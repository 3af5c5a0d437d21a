#include "trace_story.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "error_names.h"
#include "system_error_names.h"
#include "text_format.h"

namespace mivra::ctl {
namespace {

// The fields every line carries, which the story keeps apart from an event's own.
bool IsFrameKey(const std::string& key) {
  return key == "time" || key == "pid" || key == "tid" || key == "event";
}

const std::string* FindField(const std::vector<TraceField>& fields, const char* key) {
  for (const TraceField& field : fields) {
    if (field.key == key) return &field.value;
  }
  return nullptr;
}

std::optional<uint64_t> NumberField(const std::vector<TraceField>& fields, const char* key) {
  const std::string* text = FindField(fields, key);
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text->c_str(), &end, 10);
  if (*end != '\0') return std::nullopt;
  return value;
}

// The fields of a line minus the frame and the named keys.
std::vector<TraceField> OwnFields(const std::vector<TraceField>& fields, std::initializer_list<const char*> known) {
  std::vector<TraceField> own;
  for (const TraceField& field : fields) {
    bool skip = IsFrameKey(field.key);
    for (const char* key : known) skip = skip || field.key == key;
    if (!skip) own.push_back(field);
  }
  return own;
}

class StoryReader {
 public:
  explicit StoryReader(TraceStory* story) : story_(story) {}

  void Read(std::string_view line) {
    const std::vector<TraceField> fields = ParseTraceLine(line);
    if (fields.empty()) return;
    const std::string* time = FindField(fields, "time");
    const std::string* pid = FindField(fields, "pid");
    const std::string* tid = FindField(fields, "tid");
    const std::string* event = FindField(fields, "event");
    if (!time || !pid || !tid || !event) {
      ++story_->unreadableLines;
      return;
    }
    std::vector<TracedCall*>& open = open_[{*pid, *tid}];
    if (*event == "call") {
      OnCall(fields, *time, *pid, *tid, open);
    } else if (*event == "step") {
      OnStep(fields, *time, *pid, *tid, open);
    } else if (*event == "return") {
      OnReturn(fields, *pid, *tid, open);
    } else {
      ++story_->unreadableLines;
    }
  }

 private:
  // Attaches a call to the innermost open call of its thread, or to the story.
  TracedCall* Attach(std::unique_ptr<TracedCall> call, std::vector<TracedCall*>& open) {
    TracedCall* attached = call.get();
    if (open.empty()) {
      story_->calls.push_back(std::move(call));
    } else {
      open.back()->entries.push_back(TracedEntry{TracedStep{}, std::move(call)});
    }
    return attached;
  }

  static std::unique_ptr<TracedCall> NewCall(std::string function, const std::string& pid, const std::string& tid) {
    auto call = std::make_unique<TracedCall>();
    call->function = std::move(function);
    call->pid = pid;
    call->tid = tid;
    return call;
  }

  void OnCall(const std::vector<TraceField>& fields, const std::string& time, const std::string& pid,
              const std::string& tid, std::vector<TracedCall*>& open) {
    const std::string* function = FindField(fields, "fn");
    if (!function) {
      ++story_->unreadableLines;
      return;
    }
    std::unique_ptr<TracedCall> call = NewCall(*function, pid, tid);
    call->start = time;
    call->arguments = OwnFields(fields, {"fn"});
    open.push_back(Attach(std::move(call), open));
  }

  void OnStep(const std::vector<TraceField>& fields, const std::string& time, const std::string& pid,
              const std::string& tid, std::vector<TracedCall*>& open) {
    const std::string* name = FindField(fields, "step");
    if (!name) {
      ++story_->unreadableLines;
      return;
    }
    // Steps whose call line lies before the trace (moved aside, or cut): an unnamed call holds
    // them until its return line names it.
    if (open.empty()) open.push_back(Attach(NewCall(std::string(), pid, tid), open));
    TracedStep step;
    step.time = time;
    step.name = *name;
    if (const std::string* result = FindField(fields, "result")) step.result = *result;
    if (const std::string* why = FindField(fields, "why")) step.why = *why;
    step.win32 = NumberField(fields, "win32");
    step.crtErrno = NumberField(fields, "errno");
    step.details = OwnFields(fields, {"step", "result", "why", "win32", "errno"});
    open.back()->entries.push_back(TracedEntry{std::move(step), nullptr});
  }

  void OnReturn(const std::vector<TraceField>& fields, const std::string& pid, const std::string& tid,
                std::vector<TracedCall*>& open) {
    const std::string* function = FindField(fields, "fn");
    if (!function) {
      ++story_->unreadableLines;
      return;
    }
    TracedCall* call = nullptr;
    // The innermost open call of that name; calls opened inside it never returned.
    for (size_t i = open.size(); i-- > 0;) {
      if (open[i]->function == *function || open[i]->function.empty()) {
        call = open[i];
        open.resize(i);
        break;
      }
    }
    if (!call) call = Attach(NewCall(*function, pid, tid), open);
    call->function = *function;
    call->returned = true;
    if (const std::string* result = FindField(fields, "result")) call->result = *result;
    if (const std::optional<uint64_t> code = NumberField(fields, "code")) call->code = static_cast<uint32_t>(*code);
    if (const std::string* took = FindField(fields, "ms")) {
      char* end = nullptr;
      const double milliseconds = std::strtod(took->c_str(), &end);
      if (!took->empty() && *end == '\0') call->milliseconds = milliseconds;
    }
    call->outputs = OwnFields(fields, {"fn", "result", "code", "ms"});
  }

  TraceStory* story_;
  std::map<std::pair<std::string, std::string>, std::vector<TracedCall*>> open_;
};

// A value as a person reads it: quoted only when it holds a space or a quote, with control
// characters shown as escapes; a null pointer argument shows as null.
std::string ShowValue(const std::string& value) {
  if (value == std::string(1, '\0')) return "null";
  bool quote = value.empty();
  std::string shown;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ' ' || c == '"') quote = true;
    if (c == '"') {
      shown += "\\\"";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return quote ? "\"" + shown + "\"" : shown;
}

std::string ShowFields(const std::vector<TraceField>& fields, const char* separator) {
  std::string shown;
  for (const TraceField& field : fields) {
    if (!shown.empty()) shown += separator;
    shown += field.key + "=" + ShowValue(field.value);
  }
  return shown;
}

// "2026-12-10T14:18:05.172Z" as "2026-12-10 14:18:05.172", or only its time of day.
std::string ShowTime(const std::string& time, bool withDate) {
  std::string shown = time;
  if (!shown.empty() && shown.back() == 'Z') shown.pop_back();
  const size_t t = shown.find('T');
  if (t == std::string::npos) return shown;
  if (!withDate) return shown.substr(t + 1);
  shown[t] = ' ';
  return shown;
}

std::string CodeText(uint32_t code) {
  std::string text = "code " + std::to_string(code);
  if (const ErrorName* name = FindErrorName(code)) text += std::string(" ") + name->name;
  return text;
}

std::string SystemErrorText(const TracedStep& step) {
  std::string text;
  if (step.crtErrno) {
    text += ", errno " + std::to_string(*step.crtErrno);
    if (const char* name = CrtErrnoName(*step.crtErrno)) text += std::string(" ") + name;
  }
  if (step.win32) {
    text += ", win32 " + std::to_string(*step.win32);
    if (const char* name = Win32ErrorName(*step.win32)) text += std::string(" ") + name;
  }
  return text;
}

struct Counts {
  size_t calls = 0;
  size_t failedCalls = 0;
  size_t failedSteps = 0;
};

void Count(const TracedCall& call, Counts* counts) {
  ++counts->calls;
  if (call.failed()) ++counts->failedCalls;
  for (const TracedEntry& entry : call.entries) {
    if (entry.call) {
      Count(*entry.call, counts);
    } else if (entry.step.failed()) {
      ++counts->failedSteps;
    }
  }
}

class TextWriter {
 public:
  TextWriter(bool failuresOnly, std::string* out) : failuresOnly_(failuresOnly), out_(out) {}

  void Call(const TracedCall& call, size_t depth) {
    std::string line = std::string(call.start.empty() ? "(started before the trace)" : ShowTime(call.start, true));
    line += "  pid " + call.pid + " tid " + call.tid + "  ";
    line += (call.function.empty() ? std::string("(unknown call)") : call.function) + "(" +
            ShowFields(call.arguments, ", ") + ")";
    if (!call.returned) {
      line += " did not return: the process ended, or the trace stops here";
    } else {
      line += call.result.empty() ? " done" : " = " + call.result;
      if (call.code) line += ", " + CodeText(*call.code);
      if (!call.outputs.empty()) line += ", " + ShowFields(call.outputs, ", ");
      if (call.milliseconds) {
        char took[48];
        std::snprintf(took, sizeof took, " in %.1f ms", *call.milliseconds);
        line += took;
      }
    }
    Line(call.failed(), depth, line);
    for (const TracedEntry& entry : call.entries) {
      if (entry.call) {
        if (!failuresOnly_ || entry.call->troubled()) Call(*entry.call, depth + 1);
      } else if (!failuresOnly_ || entry.step.failed()) {
        Step(entry.step, depth + 1);
      }
    }
  }

 private:
  void Step(const TracedStep& step, size_t depth) {
    std::string line = ShowTime(step.time, false) + "  " + step.name;
    if (!step.details.empty()) line.append(" ").append(ShowFields(step.details, " "));
    if (!step.result.empty()) line += ": " + step.result;
    if (!step.why.empty()) line += " (" + step.why + ")";
    line += SystemErrorText(step);
    Line(step.failed(), depth, line);
  }

  // Failed calls and steps are marked with "!" in the first column.
  void Line(bool failed, size_t depth, const std::string& text) {
    *out_ += failed ? "! " : "  ";
    *out_ += std::string(depth * 4, ' ') + text + "\n";
  }

  bool failuresOnly_;
  std::string* out_;
};

Report FieldsReport(const std::vector<TraceField>& fields) {
  Report object = Report::Object();
  for (const TraceField& field : fields) {
    object.Set(field.key, Report::Text(field.value == std::string(1, '\0') ? "null" : field.value));
  }
  return object;
}

Report CallReport(const TracedCall& call, bool failuresOnly);

Report StepReport(const TracedStep& step) {
  Report object = Report::Object();
  object.Set("kind", Report::Text("step"));
  object.Set("time", Report::Text(step.time));
  object.Set("step", Report::Text(step.name));
  object.Set("result", Report::Text(step.result));
  object.Set("failed", Report::Flag(step.failed()));
  if (!step.why.empty()) object.Set("why", Report::Text(step.why));
  if (step.win32) {
    object.Set("win32", Report::Number(*step.win32));
    if (const char* name = Win32ErrorName(*step.win32)) object.Set("win32Name", Report::Text(name));
  }
  if (step.crtErrno) {
    object.Set("errno", Report::Number(*step.crtErrno));
    if (const char* name = CrtErrnoName(*step.crtErrno)) object.Set("errnoName", Report::Text(name));
  }
  object.Set("details", FieldsReport(step.details));
  return object;
}

Report CallReport(const TracedCall& call, bool failuresOnly) {
  Report object = Report::Object();
  object.Set("kind", Report::Text("call"));
  object.Set("function", Report::Text(call.function));
  object.Set("process", Report::Text(call.pid));
  object.Set("thread", Report::Text(call.tid));
  object.Set("start", Report::Text(call.start));
  object.Set("arguments", FieldsReport(call.arguments));
  object.Set("returned", Report::Flag(call.returned));
  if (call.returned) {
    object.Set("result", Report::Text(call.result));
    if (call.code) {
      object.Set("code", Report::Number(*call.code));
      if (const ErrorName* name = FindErrorName(*call.code)) object.Set("codeName", Report::Text(name->name));
    }
    object.Set("outputs", FieldsReport(call.outputs));
    if (call.milliseconds) {
      object.Set("microseconds", Report::Number(static_cast<uint64_t>(std::llround(*call.milliseconds * 1000.0))));
    }
  }
  object.Set("failed", Report::Flag(call.failed()));
  Report entries = Report::List();
  for (const TracedEntry& entry : call.entries) {
    if (entry.call) {
      if (!failuresOnly || entry.call->troubled()) entries.Append(CallReport(*entry.call, failuresOnly), "");
    } else if (!failuresOnly || entry.step.failed()) {
      entries.Append(StepReport(entry.step), "");
    }
  }
  object.Set("entries", std::move(entries));
  return object;
}

}  // namespace

bool TracedCall::failed() const {
  if (!returned) return true;
  if (function == "MivraIsFeatureOFF") return false;  // its result is an answer, not an outcome
  if (result == "0" || result == "null") return true;
  return code.has_value() && result.empty();
}

bool TracedCall::troubled() const {
  if (failed()) return true;
  for (const TracedEntry& entry : entries) {
    if (entry.call ? entry.call->troubled() : entry.step.failed()) return true;
  }
  return false;
}

TraceStory ReadTraceStory(std::string_view text) {
  TraceStory story;
  StoryReader reader(&story);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    reader.Read(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return story;
}

std::string RenderStoryText(const TraceStory& story, bool failuresOnly) {
  std::string out;
  TextWriter writer(failuresOnly, &out);
  Counts counts;
  for (const auto& call : story.calls) {
    Count(*call, &counts);
    if (!failuresOnly || call->troubled()) writer.Call(*call, 0);
  }
  out.append("\n").append(CountOf(counts.calls, "call", "calls")).append(", ");
  out.append(std::to_string(counts.failedCalls)).append(" failed; ");
  out.append(CountOf(counts.failedSteps, "failed step", "failed steps"));
  if (story.unreadableLines > 0) out.append("; ").append(CountOf(story.unreadableLines, "line", "lines")).append(" not read");
  out += "\n";
  return out;
}

Report StoryReport(const TraceStory& story, bool failuresOnly) {
  Counts counts;
  Report calls = Report::List();
  for (const auto& call : story.calls) {
    Count(*call, &counts);
    if (!failuresOnly || call->troubled()) calls.Append(CallReport(*call, failuresOnly), "");
  }
  Report report = Report::Object();
  report.Set("calls", std::move(calls));
  report.Set("callCount", Report::Number(counts.calls));
  report.Set("failedCalls", Report::Number(counts.failedCalls));
  report.Set("failedSteps", Report::Number(counts.failedSteps));
  report.Set("unreadableLines", Report::Number(story.unreadableLines));
  return report;
}

}  // namespace mivra::ctl
