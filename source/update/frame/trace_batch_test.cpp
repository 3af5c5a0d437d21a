// Trace lines gathered by a batch: held until it ends or fills, then written together, whole and
// in order, also when two threads batch into one trace.
#include "update/frame/trace_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/file_util.h"
#include "support/trace_lines.h"
#include "update/frame/trace_format.h"

namespace {

using mivra::TraceField;
using mivra_test::ReadTrace;

std::string FieldOf(const std::vector<TraceField>& line, const char* key) {
  for (const TraceField& field : line) {
    if (field.key == key) return field.value;
  }
  return "<none>";
}

// "call F" or "step NAME", line by line.
std::vector<std::string> Summaries(const std::wstring& path) {
  std::vector<std::string> summaries;
  for (const auto& line : ReadTrace(path)) {
    const std::string event = FieldOf(line, "event");
    summaries.push_back(event + " " + FieldOf(line, event == "call" ? "fn" : "step"));
  }
  return summaries;
}

class TraceBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"mivra-trace-batch";
    mivra_test::RemoveTree(folder_);
    mivra_test::MakeFolder(folder_);
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"MIVRA_TRACE", nullptr);
    mivra_test::RemoveTree(folder_);
  }
  std::wstring TraceInto(const wchar_t* name) const {
    const std::wstring path = folder_ + L"\\" + name;
    SetEnvironmentVariableW(L"MIVRA_TRACE", path.c_str());
    return path;
  }

  std::wstring folder_;
};

TEST_F(TraceBatchTest, HoldsItsLinesUntilItEndsOrFills) {
  const std::wstring trace = TraceInto(L"batched.log");
  mivra::ExportTrace call("Batched");
  call.Arguments();
  {
    mivra::TraceBatch batch;
    mivra::TraceStep("first");
    mivra::TraceStep("second");
    EXPECT_EQ(Summaries(trace), (std::vector<std::string>{"call Batched"})) << "held by the batch";
  }
  EXPECT_EQ(Summaries(trace), (std::vector<std::string>{"call Batched", "step first", "step second"}));

  mivra::TraceBatch batch;
  const size_t before = ReadTrace(trace).size();
  size_t steps = 0;
  while (ReadTrace(trace).size() == before) {
    mivra::TraceStep("filling");
    ASSERT_LT(++steps, mivra::kTraceBatchBytes) << "a full batch is written before it ends";
  }
  EXPECT_GT(steps, 10u) << "one line does not fill a batch";
  EXPECT_EQ(ReadTrace(trace).size(), before + steps) << "the filling line went with the rest";
}

TEST_F(TraceBatchTest, TwoThreadsBatchingIntoOneTraceEachFindTheirLinesWholeAndInOrder) {
  const std::wstring trace = TraceInto(L"shared.log");
  constexpr int kSteps = 2000;
  const auto batched = [] {
    mivra::ExportTrace call("Batched");
    mivra::TraceBatch batch;
    for (int i = 0; i < kSteps; ++i) mivra::TraceStep("n").Number("i", static_cast<uint64_t>(i));
  };
  std::thread first(batched);
  std::thread second(batched);
  first.join();
  second.join();
  std::map<std::string, std::vector<std::string>> byThread;
  for (const auto& line : ReadTrace(trace)) byThread[FieldOf(line, "tid")].push_back(FieldOf(line, "i"));
  ASSERT_EQ(byThread.size(), 2u);
  for (const auto& [thread, numbers] : byThread) {
    ASSERT_EQ(numbers.size(), static_cast<size_t>(kSteps)) << thread;
    for (int i = 0; i < kSteps; ++i) ASSERT_EQ(numbers[i], std::to_string(i)) << thread;
  }
}

}  // namespace
