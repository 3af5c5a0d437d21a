// The dispatch every program shares: where its own options may stand, and that --json gives one
// JSON object whatever the command line holds.
#include "command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "mivra_version.h"
#include "support/json_check.h"

namespace mivra::ctl {
namespace {

using mivra_test::JsonValue;
using mivra_test::MemberText;
using mivra_test::ParseJson;

int g_traceCalls = 0;
std::string g_tracedFile;

// "echo [--loud] WORD...": prints its words (as an object with --json); fails without a word
// printed when the word is "fail"; a usage error without words.
constexpr char kEchoHelp[] = "usage: mivractl echo [--loud] [--json] WORD...\n\nPrints its words.\n";
extern const Command kEcho;
int RunEcho(const CommandLine& line, std::ostream& out, std::ostream& err) {
  if (line.positional.empty()) return UsageError(kEcho, "name at least one WORD", err);
  if (line.positional[0] == "fail") {
    err << "mivractl echo: it failed\n";
    return kExitFailed;
  }
  std::string words;
  for (const std::string& word : line.positional) words += (words.empty() ? "" : " ") + word;
  if (line.Has("--loud")) words += "!";
  if (!line.json) {
    out << words << "\n";
  } else {
    Report report = Report::Object();
    report.Set("words", Report::Text(words));
    out << RenderJson(report);
  }
  return kExitOk;
}
const Command kEcho = {"echo", "prints its words", kEchoHelp, {"--loud"}, RunEcho};

// "quiet": succeeds and prints nothing, even with --json.
int RunQuiet(const CommandLine&, std::ostream&, std::ostream&) { return kExitOk; }
const Command kQuiet = {"quiet", "does nothing", "usage: mivractl quiet\n", {}, RunQuiet};

const Command kCommands[] = {kEcho, kQuiet};

bool StartTrace(const std::string& file, std::string* problem) {
  ++g_traceCalls;
  g_tracedFile = file;
  if (file == "unsettable") {
    *problem = "cannot set MIVRA_TRACE";
    return false;
  }
  if (file == "unwritable") *problem = "the trace file \"unwritable\" cannot be written";
  return true;
}

VersionDetail Library() {
  VersionDetail detail;
  detail.text = "mivra.dll 9.9.9.9 (here)\n";
  detail.json.Set("library", Report::Text("here"));
  return detail;
}

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Dispatched(const std::vector<std::string>& args, bool withLibrary = true) {
  Program program;
  program.commands = kCommands;
  program.about = "A program for tests.\n";
  if (withLibrary) {
    program.versionDetail = Library;
    program.startTrace = StartTrace;
  }
  std::ostringstream out;
  std::ostringstream err;
  const int status = Dispatch(program, args, out, err);
  return {status, out.str(), err.str()};
}

// Standard output is one JSON object; its members are returned through `value`.
::testing::AssertionResult IsOneObject(const std::string& out, JsonValue* value) {
  std::string error;
  if (!ParseJson(out, value, &error)) return ::testing::AssertionFailure() << error << "\n" << out;
  if (!value->Is(JsonValue::Kind::kObject)) return ::testing::AssertionFailure() << "not an object\n" << out;
  return ::testing::AssertionSuccess();
}

TEST(Dispatch, JsonAndTraceMayStandAnywhere) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--json", "--trace", "t.log", "echo", "a"},
           {"echo", "--trace", "t.log", "a", "--json"},
           {"--trace", "t.log", "echo", "--json", "a"},
       }) {
    g_traceCalls = 0;
    const Outcome run = Dispatched(args);
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "{\n  \"words\": \"a\"\n}\n");
    EXPECT_EQ(g_traceCalls, 1);
    EXPECT_EQ(g_tracedFile, "t.log");
  }
  // After "--" they are words like any other.
  const Outcome words = Dispatched({"echo", "--", "--json", "--trace"});
  EXPECT_EQ(words.out, "--json --trace\n");
}

TEST(Dispatch, EveryAnswerUnderJsonIsOneObject) {
  struct JsonCase {
    std::vector<std::string> args;
    int status;
    const char* command;  // null: the member is JSON null
    const char* result;
    const char* message;  // a part of "message", or null
  };
  const JsonCase kCases[] = {
      {{"frobnicate"}, kExitUsage, "frobnicate", "usage-error", "unknown command \"frobnicate\""},
      {{}, kExitUsage, nullptr, "usage-error", "name a command"},
      {{"-x", "echo"}, kExitUsage, nullptr, "usage-error", "unknown option -x"},
      {{"echo"}, kExitUsage, "echo", "usage-error", "name at least one WORD"},
      {{"echo", "a", "--bogus"}, kExitUsage, "echo", "usage-error", "unknown option --bogus"},
      {{"echo", "--trace"}, kExitUsage, "echo", "usage-error", "--trace needs a FILE"},
      {{"echo", "fail"}, kExitFailed, "echo", "failed", "it failed"},
      {{"echo", "a", "--trace", "unsettable"}, kExitFailed, "echo", "failed", "cannot set MIVRA_TRACE"},
      {{"quiet"}, kExitOk, "quiet", "ok", nullptr},
      {{"echo", "a", "--help"}, kExitOk, "echo", "ok", nullptr},
      {{"-h"}, kExitOk, nullptr, "ok", nullptr},
  };
  for (const JsonCase& c : kCases) {
    std::vector<std::string> args = c.args;
    args.push_back("--json");
    const Outcome run = Dispatched(args);
    SCOPED_TRACE(run.out + run.err);
    EXPECT_EQ(run.status, c.status);
    JsonValue value;
    ASSERT_TRUE(IsOneObject(run.out, &value));
    EXPECT_EQ(MemberText(value, "command"), c.command ? c.command : "null");
    EXPECT_EQ(MemberText(value, "result"), c.result);
    EXPECT_EQ(MemberText(value, "code"), "null");
    if (c.message) {
      EXPECT_NE(MemberText(value, "message").find(c.message), std::string::npos);
      // The message is said on standard error too.
      EXPECT_NE(run.err.find(c.message), std::string::npos);
    }
  }
  const Outcome help = Dispatched({"echo", "--json", "/?"});
  JsonValue value;
  ASSERT_TRUE(IsOneObject(help.out, &value));
  EXPECT_EQ(value.Find("help")->text, kEchoHelp);
}

TEST(Dispatch, VersionNamesToolAndLibraryInTextAndJson) {
  const std::string text = std::string("mivractl ") + MIVRA_VERSION_TEXT + "\n";
  EXPECT_EQ(Dispatched({"--version"}).out, text + "mivra.dll 9.9.9.9 (here)\n");
  EXPECT_EQ(Dispatched({"echo", "--version"}).out, text + "mivra.dll 9.9.9.9 (here)\n");
  EXPECT_EQ(Dispatched({"--version"}, false).out, text);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--version", "--json"}, {"--json", "echo", "--version"}}) {
    const Outcome run = Dispatched(args);
    EXPECT_EQ(run.status, kExitOk);
    JsonValue value;
    ASSERT_TRUE(IsOneObject(run.out, &value));
    EXPECT_EQ(value.Find("tool")->text, "mivractl");
    EXPECT_EQ(value.Find("version")->text, MIVRA_VERSION_TEXT);
    EXPECT_EQ(value.Find("library")->text, "here");
  }
}

TEST(Dispatch, AnUnwritableTraceIsOneWarningAndTheRunGoesOn) {
  const Outcome run = Dispatched({"--trace", "unwritable", "echo", "a"});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, "a\n");
  EXPECT_EQ(run.err, "mivractl echo: warning: the trace file \"unwritable\" cannot be written\n");

  // A program without the library has nothing to trace.
  const Outcome native = Dispatched({"--trace", "t.log", "echo", "a"}, false);
  EXPECT_EQ(native.status, kExitUsage);
  EXPECT_NE(native.err.find("--trace needs Windows"), std::string::npos) << native.err;
}

TEST(Dispatch, ACommandOfTheWindowsProgramIsNamedAsNeedingWindows) {
  const Outcome run = Dispatched({"status"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_EQ(run.err.rfind("mivractl status: needs Windows", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find("unknown command"), std::string::npos);
  const Outcome json = Dispatched({"rollback", "--json"});
  JsonValue value;
  ASSERT_TRUE(IsOneObject(json.out, &value));
  EXPECT_EQ(value.Find("result")->text, "failed");
  EXPECT_NE(value.Find("message")->text.find("needs Windows"), std::string::npos);
  // The program's help names every one of them.
  const Outcome help = Dispatched({"--help"});
  for (const char* name : WindowsOnlyCommandNames()) {
    EXPECT_NE(help.out.find(std::string(" ") + name), std::string::npos) << name << "\n" << help.out;
  }
}

}  // namespace
}  // namespace mivra::ctl
