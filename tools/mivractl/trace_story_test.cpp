#include "trace_story.h"

#include <gtest/gtest.h>

#include <string>

namespace mivra::ctl {
namespace {

// Two processes traced into one file: process 7 backs up a file and fails to commit, process 9
// runs a rollback in between whose placing step meets a file in use.
constexpr char kTwoProcesses[] =
    "time=2026-03-01T10:00:00.000Z pid=7 tid=1 event=call fn=MivraAddToBackup object=null "
    "path=C:\\Program%20Files\\P\\a%22b.dll\n"
    "time=2026-03-01T10:00:00.010Z pid=9 tid=4 event=call fn=MivraRollback flags=0x1\n"
    "time=2026-03-01T10:00:00.020Z pid=7 tid=1 event=step step=copy from=C:\\P\\a.dll to=C:\\B\\a.dll result=ok\n"
    "time=2026-03-01T10:00:00.030Z pid=9 tid=4 event=step step=place to=C:\\P\\x.dll result=failed win32=32\n"
    "time=2026-03-01T10:00:00.040Z pid=7 tid=1 event=return fn=MivraAddToBackup result=1 ms=40.000\n"
    "time=2026-03-01T10:00:00.050Z pid=9 tid=4 event=step step=wait to=C:\\P\\x.dll result=ok\n"
    "time=2026-03-01T10:00:00.060Z pid=7 tid=1 event=call fn=MivraCommitBackup\n"
    "time=2026-03-01T10:00:00.070Z pid=7 tid=1 event=step step=rename from=C:\\B\\tmpbkup to=C:\\B\\bkup "
    "result=failed errno=13 win32=5\n"
    "time=2026-03-01T10:00:00.080Z pid=7 tid=1 event=return fn=MivraCommitBackup result=0 code=116 ms=20.500\n"
    "time=2026-03-01T10:00:01.000Z pid=9 tid=4 event=return fn=MivraRollback result=0 code=121 ms=990.000\n";

TEST(TraceStory, SortsTheLinesOfTwoProcessesIntoTheirCalls) {
  const TraceStory story = ReadTraceStory(kTwoProcesses);
  ASSERT_EQ(story.calls.size(), 3u);
  EXPECT_EQ(story.unreadableLines, 0u);

  const TracedCall& add = *story.calls[0];
  EXPECT_EQ(add.function, "MivraAddToBackup");
  EXPECT_EQ(add.pid, "7");
  ASSERT_EQ(add.arguments.size(), 2u);
  EXPECT_EQ(add.arguments[1].value, "C:\\Program Files\\P\\a\"b.dll");
  ASSERT_EQ(add.entries.size(), 1u);
  EXPECT_EQ(add.entries[0].step.name, "copy");
  EXPECT_FALSE(add.troubled());

  const TracedCall& rollback = *story.calls[1];
  EXPECT_EQ(rollback.function, "MivraRollback");
  ASSERT_EQ(rollback.entries.size(), 2u);
  EXPECT_EQ(rollback.entries[0].step.win32, 32u);
  EXPECT_EQ(rollback.entries[1].step.name, "wait");
  EXPECT_EQ(rollback.code, 121u);
  EXPECT_TRUE(rollback.failed());

  const TracedCall& commit = *story.calls[2];
  ASSERT_EQ(commit.entries.size(), 1u);
  EXPECT_EQ(commit.entries[0].step.crtErrno, 13u);
  EXPECT_EQ(commit.entries[0].step.win32, 5u);
  EXPECT_DOUBLE_EQ(commit.milliseconds.value(), 20.5);
}

TEST(TraceStory, TellsEachCallWithItsStepsAndMarksFailuresWithTheirNames) {
  const std::string text = RenderStoryText(ReadTraceStory(kTwoProcesses), false);
  EXPECT_NE(text.find("  2026-03-01 10:00:00.000  pid 7 tid 1  MivraAddToBackup(object=null, "
                      "path=\"C:\\Program Files\\P\\a\\\"b.dll\") = 1 in 40.0 ms\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("      10:00:00.020  copy from=C:\\P\\a.dll to=C:\\B\\a.dll: ok\n"), std::string::npos) << text;
  EXPECT_NE(text.find("! 2026-03-01 10:00:00.010  pid 9 tid 4  MivraRollback(flags=0x1) = 0, code 121 "
                      "MIVRA_E_RESTORE_APPLY in 990.0 ms\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("!     10:00:00.030  place to=C:\\P\\x.dll: failed, win32 32 ERROR_SHARING_VIOLATION\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(": failed, errno 13 EACCES, win32 5 ERROR_ACCESS_DENIED\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n3 calls, 2 failed; 2 failed steps\n"), std::string::npos) << text;
}

TEST(TraceStory, FailuresOnlyKeepsTheFailedCallsAndTheirFailedSteps) {
  const std::string text = RenderStoryText(ReadTraceStory(kTwoProcesses), true);
  EXPECT_EQ(text.find("MivraAddToBackup"), std::string::npos) << text;
  EXPECT_EQ(text.find("wait"), std::string::npos) << text;
  EXPECT_NE(text.find("MivraRollback"), std::string::npos) << text;
  EXPECT_NE(text.find("place"), std::string::npos) << text;
  EXPECT_NE(text.find("MivraCommitBackup"), std::string::npos) << text;
  EXPECT_NE(text.find("rename"), std::string::npos) << text;
}

TEST(TraceStory, KeepsCallsThatNeverReturnedAndStepsWhoseCallLineWasMovedAside) {
  const TraceStory story = ReadTraceStory(
      // Steps of a call that started in the trace moved aside, then its return.
      "time=2026-03-01T10:00:00.000Z pid=3 tid=3 event=step step=verify path=C:\\B\\a.dll result=ok\n"
      "time=2026-03-01T10:00:00.010Z pid=3 tid=3 event=return fn=MivraRollback result=1 ms=5.000\n"
      // An export called inside another one, then the process ends inside the outer call.
      "time=2026-03-01T10:00:01.000Z pid=3 tid=3 event=call fn=MivraAddToBackup object=null path=C:\\P\\a\n"
      "time=2026-03-01T10:00:01.001Z pid=3 tid=3 event=call fn=MivraIsFeatureOFF\n"
      "time=2026-03-01T10:00:01.002Z pid=3 tid=3 event=return fn=MivraIsFeatureOFF result=1 ms=1.000\n"
      "time=2026-03-01T10:00:01.003Z pid=3 tid=3 event=step step=copy from=C:\\P\\a to=C:\\B\\a result=ok\n"
      "not a trace line\n"
      "time=2026-03-01T10:00:01.004Z pid=3 event=step step=cut\n");
  ASSERT_EQ(story.calls.size(), 2u);
  EXPECT_EQ(story.unreadableLines, 2u);

  const TracedCall& earlier = *story.calls[0];
  EXPECT_EQ(earlier.function, "MivraRollback");
  EXPECT_TRUE(earlier.start.empty());
  EXPECT_TRUE(earlier.returned);
  ASSERT_EQ(earlier.entries.size(), 1u);
  EXPECT_FALSE(earlier.failed());

  const TracedCall& cut = *story.calls[1];
  EXPECT_FALSE(cut.returned);
  EXPECT_TRUE(cut.failed());
  ASSERT_EQ(cut.entries.size(), 2u);
  ASSERT_TRUE(cut.entries[0].call);
  EXPECT_EQ(cut.entries[0].call->function, "MivraIsFeatureOFF");
  EXPECT_FALSE(cut.entries[0].call->failed());
  EXPECT_EQ(cut.entries[1].step.name, "copy");

  const std::string text = RenderStoryText(story, false);
  EXPECT_NE(text.find("  (started before the trace)  pid 3 tid 3  MivraRollback() = 1 in 5.0 ms\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("MivraAddToBackup(object=null, path=C:\\P\\a) did not return"), std::string::npos) << text;
  EXPECT_NE(text.find("\n      2026-03-01 10:00:01.001  pid 3 tid 3  MivraIsFeatureOFF() = 1"), std::string::npos)
      << text;
  EXPECT_NE(text.find("; 2 lines not read\n"), std::string::npos) << text;
}

TEST(TraceStory, JsonCarriesTheSameStory) {
  const std::string json = RenderJson(StoryReport(ReadTraceStory(kTwoProcesses), true));
  EXPECT_NE(json.find("\"function\": \"MivraCommitBackup\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"code\": 116"), std::string::npos) << json;
  EXPECT_NE(json.find("\"codeName\": \"MIVRA_E_FOLDER_RENAME\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"microseconds\": 20500"), std::string::npos) << json;
  EXPECT_NE(json.find("\"win32Name\": \"ERROR_SHARING_VIOLATION\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"errnoName\": \"EACCES\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"from\": \"C:\\\\B\\\\tmpbkup\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"failedCalls\": 2"), std::string::npos) << json;
  EXPECT_EQ(json.find("MivraAddToBackup"), std::string::npos) << json;
}

}  // namespace
}  // namespace mivra::ctl
