// The opt-in trace, seen from a caller of the DLL: what it holds, and that it changes nothing.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "mivra.h"
#include "support/file_util.h"
#include "support/held_file.h"
#include "support/product_test.h"
#include "support/trace_lines.h"
#include "update/backup/backup_exports_fixture.h"
#include "update/frame/trace_format.h"

namespace {

using mivra::TraceField;
using mivra_test::FileExists;
using mivra_test::ReadFileBytes;
using mivra_test::ReadTrace;
using mivra_test::SetEnv;
using mivra_test::WriteFileBytes;

constexpr wchar_t kVariable[] = L"MIVRA_TRACE";

std::string FieldOf(const std::vector<TraceField>& line, const char* key) {
  for (const TraceField& field : line) {
    if (field.key == key) return field.value;
  }
  return "<none>";
}

bool HasField(const std::vector<TraceField>& line, const char* key) { return FieldOf(line, key) != "<none>"; }

// "call F", "return F RESULT [CODE]", "step NAME RESULT [win32=N]": what the tests compare.
std::string Summary(const std::vector<TraceField>& line) {
  const std::string event = FieldOf(line, "event");
  if (event == "call") return "call " + FieldOf(line, "fn");
  if (event == "return") {
    std::string text = "return " + FieldOf(line, "fn") + " " + FieldOf(line, "result");
    if (HasField(line, "code")) text += " " + FieldOf(line, "code");
    return text;
  }
  std::string text = event + " " + FieldOf(line, "step") + " " + FieldOf(line, "result");
  if (HasField(line, "win32")) text += " win32=" + FieldOf(line, "win32");
  return text;
}

// The call and return lines, without the steps between them.
std::vector<std::vector<TraceField>> ExportLines(const std::vector<std::vector<TraceField>>& lines) {
  std::vector<std::vector<TraceField>> exportLines;
  for (const auto& line : lines) {
    if (FieldOf(line, "event") != "step") exportLines.push_back(line);
  }
  return exportLines;
}

std::vector<std::string> Summaries(const std::vector<std::vector<TraceField>>& lines) {
  std::vector<std::string> summaries;
  for (const auto& line : lines) summaries.push_back(Summary(line));
  return summaries;
}

// Every expected summary appears, in this order, among the lines (others may come between).
void ExpectInOrder(const std::vector<std::string>& summaries, const std::vector<std::string>& expected) {
  size_t next = 0;
  for (const std::string& summary : summaries) {
    if (next < expected.size() && summary == expected[next]) ++next;
  }
  if (next < expected.size()) {
    std::string all;
    for (const std::string& summary : summaries) all += "  " + summary + "\n";
    ADD_FAILURE() << "missing in order: " << expected[next] << "\ntrace:\n" << all;
  }
}

std::string Utf8Of(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

class TraceTest : public mivra_test::ProductTest {
 protected:
  void SetUp() override {
    ProductTest::SetUp();
    SetEnv(kVariable, nullptr);
    folder_ = mivra_test::ExeFolder() + L"trace_test";
    mivra_test::RemoveTree(folder_);
    mivra_test::MakeFolder(folder_);
  }
  void TearDown() override { SetEnv(kVariable, nullptr); }

  std::wstring TraceFile(const wchar_t* name) const { return folder_ + L"\\" + name; }
  void TraceInto(const std::wstring& path) const { SetEnv(kVariable, path.c_str()); }

  // Writes a file of the install directory with a fixed last-write time, so that the records of
  // two runs are byte for byte the same.
  std::wstring Install(const wchar_t* name, const std::string& content) const {
    const std::wstring path = InstallPath(name);
    WriteFileBytes(path, content);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME fixed = {0x2A000000u, 0x01DA0000u};
    SetFileTime(file, nullptr, nullptr, &fixed);
    CloseHandle(file);
    return path;
  }

  std::wstring folder_;
};

// Everything a caller can see of a short road through the backup and rollback database exports.
struct RoadOutcome {
  std::vector<uint32_t> results;
  std::vector<uint32_t> codes;
  std::string committed;
  std::string database;

  friend bool operator==(const RoadOutcome&, const RoadOutcome&) = default;
};

class TraceRoadTest : public TraceTest {
 protected:
  static std::string Masked(std::string bytes, size_t from, size_t to) {
    for (size_t i = from; i < to && i < bytes.size(); ++i) bytes[i] = '\0';
    return bytes;
  }

  RoadOutcome RunRoad() {
    RoadOutcome outcome;
    const std::wstring a = Install(L"a.dll", "version 1");
    uint32_t code = 0;
    // The code is read once the call has returned.
    auto note = [&outcome, &code](uint32_t result) {
      outcome.results.push_back(result);
      outcome.codes.push_back(code);
    };
    MdataObject* object = MivraCreateBkMdataObject(&code);
    note(object != nullptr);
    note(MivraAddToBackup(object, a.c_str(), &code));
    note(MivraAddToBackup(object, InstallPath(L"new.dll").c_str(), &code));
    note(MivraAddToBackup(object, L"no-folder.dll", &code));
    MivraDeleteBkMdataObject(object);
    note(MivraCommitBackup(&code));
    note(MivraMarkUpdateStatus(1, &code));
    note(MivraUpdateRollBackDB(nullptr, a.c_str(), 9, reinterpret_cast<const uint8_t*>("0123456789abcdef"), &code));
    uint8_t needed = 0;
    note(MivraRollback(MIVRA_ROLLBACK_INTERRUPTED, &needed, &code));
    note(needed);
    wchar_t* list = nullptr;
    uint32_t count = 0;
    note(MivraGetBkMdataFileList(&list, &count, &code));
    note(count);
    MivraFreeBkMdataFileList(list);
    // The state blocks hold the time of the last write, which differs from run to run.
    outcome.committed = Masked(ReadFileBytes(BkupFolder() + L"\\bkmdata.dat"), 69, 85);
    outcome.database = Masked(ReadFileBytes(BaseFolder() + L"\\rbmdata.dat"), 78, 86);
    return outcome;
  }
};

TEST_F(TraceRoadTest, EveryExportCallIsOneCallAndOneReturnLine) {
  const std::wstring trace = TraceFile(L"road.log");
  TraceInto(trace);
  RunRoad();
  const std::vector<std::vector<TraceField>> lines = ReadTrace(trace);
  std::vector<std::string> exportLines;
  for (const auto& line : lines) {
    EXPECT_EQ(FieldOf(line, "pid"), std::to_string(GetCurrentProcessId()));
    EXPECT_EQ(FieldOf(line, "tid"), std::to_string(GetCurrentThreadId()));
    const std::string time = FieldOf(line, "time");
    EXPECT_EQ(time.size(), 24u) << time;  // 2026-12-10T14:18:05.172Z
    EXPECT_EQ(time.substr(19, 1) + time.substr(23), ".Z") << time;
    if (FieldOf(line, "event") != "step") exportLines.push_back(Summary(line));
  }
  const std::vector<std::string> expected = {
      "call MivraCreateBkMdataObject", "return MivraCreateBkMdataObject " + FieldOf(ExportLines(lines)[1], "result"),
      "call MivraAddToBackup",         "return MivraAddToBackup 1",
      "call MivraAddToBackup",         "return MivraAddToBackup 1",
      "call MivraAddToBackup",         "return MivraAddToBackup 0 101",
      "call MivraDeleteBkMdataObject", "return MivraDeleteBkMdataObject <none>",
      "call MivraCommitBackup",        "return MivraCommitBackup 1",
      "call MivraMarkUpdateStatus",    "return MivraMarkUpdateStatus 1",
      "call MivraUpdateRollBackDB",    "return MivraUpdateRollBackDB 1",
      "call MivraRollback",            "return MivraRollback 1",
      "call MivraGetBkMdataFileList",  "return MivraGetBkMdataFileList 1",
      "call MivraFreeBkMdataFileList", "return MivraFreeBkMdataFileList <none>",
  };
  EXPECT_EQ(exportLines, expected);

  // Arguments and outputs, as the calls had them.
  std::vector<std::vector<TraceField>> calls;
  std::vector<std::vector<TraceField>> returns;
  for (const auto& line : lines) {
    if (FieldOf(line, "event") == "call") calls.push_back(line);
    if (FieldOf(line, "event") == "return") returns.push_back(line);
  }
  ASSERT_EQ(calls.size(), expected.size() / 2);
  EXPECT_EQ(FieldOf(calls[1], "object"), FieldOf(returns[0], "result"));
  EXPECT_EQ(FieldOf(calls[1], "path"), Utf8Of(InstallPath(L"a.dll")));
  EXPECT_EQ(FieldOf(calls[3], "path"), "no-folder.dll");
  EXPECT_EQ(FieldOf(calls[6], "status"), "1");
  EXPECT_EQ(FieldOf(calls[7], "object"), "null");
  EXPECT_EQ(FieldOf(calls[7], "size"), "9");
  EXPECT_EQ(FieldOf(calls[7], "digest"), "30313233343536373839616263646566");
  EXPECT_EQ(FieldOf(calls[8], "flags"), "0x2");
  EXPECT_EQ(FieldOf(returns[8], "needed"), "1");
  EXPECT_EQ(FieldOf(returns[9], "count"), "2");
  for (const auto& line : returns) EXPECT_TRUE(HasField(line, "ms")) << Summary(line);
}

TEST_F(TraceRoadTest, ATraceThatCannotBeWrittenChangesNothing) {
  const RoadOutcome untraced = RunRoad();
  ASSERT_EQ(untraced.codes[3], MIVRA_E_BAD_PATH);

  WriteFileBytes(TraceFile(L"held.log"), "held\n");
  mivra_test::HeldFile held(TraceFile(L"held.log"), GENERIC_READ, 0);
  ASSERT_TRUE(held.ok());
  struct Unwritable {
    const char* what;
    std::wstring path;
  };
  const Unwritable kCases[] = {
      {"a folder", folder_},
      {"a file in a missing folder", TraceFile(L"missing\\trace.log")},
      {"a file another process holds without sharing", TraceFile(L"held.log")},
      {"an invalid name", TraceFile(L"bad|name?.log")},
  };
  for (const Unwritable& c : kCases) {
    ProductTest::SetUp();
    TraceInto(c.path);
    SetLastError(12345);
    const RoadOutcome traced = RunRoad();
    EXPECT_EQ(traced.results, untraced.results) << c.what;
    EXPECT_EQ(traced.codes, untraced.codes) << c.what;
    EXPECT_EQ(traced.committed, untraced.committed) << c.what;
    EXPECT_EQ(traced.database, untraced.database) << c.what;
  }
  SetEnv(kVariable, nullptr);
  EXPECT_FALSE(FileExists(TraceFile(L"missing")));
  held.Release();
  EXPECT_EQ(ReadFileBytes(TraceFile(L"held.log")), "held\n");
}

// The road support meets: a backup that cannot copy a file in use, a commit, and a rollback that
// cannot place a file in use.
TEST_F(TraceTest, BackupCommitAndRollbackWithFilesInUseAreToldStepByStep) {
  const std::wstring a = Install(L"a.dll", "a version 1");
  const std::wstring b = Install(L"b.dll", "b version 1");
  const std::wstring trace = TraceFile(L"road.log");
  TraceInto(trace);
  uint32_t code = 0;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  ASSERT_NE(object, nullptr);
  {
    mivra_test::HeldFile held(b, GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(held.ok());
    EXPECT_FALSE(MivraAddToBackup(object, b.c_str(), &code));
    EXPECT_EQ(code, MIVRA_E_FILE_COPY);
  }
  ASSERT_TRUE(MivraAddToBackup(object, a.c_str(), &code)) << code;
  ASSERT_TRUE(MivraAddToBackup(object, InstallPath(L"c.dll").c_str(), &code)) << code;
  MivraDeleteBkMdataObject(object);
  ASSERT_TRUE(MivraCommitBackup(&code)) << code;

  Install(L"a.dll", "a version 2");
  Install(L"c.dll", "c added by the update");
  {
    // Neither deleted, renamed nor written while held.
    mivra_test::HeldFile held(a, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(held.ok());
    EXPECT_FALSE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code));
    EXPECT_EQ(code, MIVRA_E_RESTORE_APPLY);
  }
  const std::vector<std::vector<TraceField>> lines = ReadTrace(trace);
  ExpectInOrder(Summaries(lines),
                {
                    "call MivraCreateBkMdataObject",
                    "step open-metadata ok",
                    // The file in use cannot be read for its digest.
                    "call MivraAddToBackup",
                    "step digest failed win32=32",
                    "return MivraAddToBackup 0 127",
                    "call MivraAddToBackup",
                    "step copy ok",
                    "step write-record ok",
                    "return MivraAddToBackup 1",
                    "call MivraAddToBackup",
                    "step exists absent",
                    "step write-record ok",
                    "return MivraAddToBackup 1",
                    // No committed backup yet: nothing to retire.
                    "call MivraCommitBackup",
                    "step rename absent",
                    "step rename ok",
                    "return MivraCommitBackup 1",
                    "call MivraRollback",
                    "step rollback-count ok",
                    "step validate-metadata valid",
                    // Each copy is proved by the digest of its staged copy; the files the update
                    // added go once every copy is proved.
                    "step copy ok",
                    "step digest ok",
                    "step added-by-update delete",
                    "step delete ok",
                    // a.dll is in use: waited for five times, then written over five times in vain.
                    "step wait in-use",
                    "step wait in-use",
                    "step wait in-use",
                    "step wait in-use",
                    "step wait in-use",
                    "step overwrite failed win32=32",
                    "step retry waiting",
                    "step overwrite failed win32=32",
                    "step place failed",
                    "return MivraRollback 0 121",
                });
  // Each step line names what it worked on.
  for (const auto& line : lines) {
    if (Summary(line) == "step overwrite failed win32=32") {
      EXPECT_EQ(FieldOf(line, "to"), Utf8Of(a));
    }
    if (Summary(line) == "step added-by-update delete") {
      EXPECT_EQ(FieldOf(line, "path"), Utf8Of(InstallPath(L"c.dll")));
    }
  }
}

TEST_F(TraceTest, TheVariableIsReadAtEveryCallAndUnsetWritesNothing) {
  const std::wstring first = TraceFile(L"first.log");
  const std::wstring second = TraceFile(L"second.log");
  EXPECT_FALSE(MivraIsFeatureOFF());
  EXPECT_TRUE(mivra_test::FilesIn(folder_).empty());

  TraceInto(first);
  MivraIsFeatureOFF();
  EXPECT_EQ(ExportLines(ReadTrace(first)).size(), 2u);

  SetEnv(kVariable, L"");
  MivraIsFeatureOFF();
  SetEnv(kVariable, nullptr);
  MivraIsFeatureOFF();
  uint32_t code = 0;
  MivraCommitBackup(&code);
  EXPECT_EQ(ExportLines(ReadTrace(first)).size(), 2u);

  TraceInto(second);
  MivraIsFeatureOFF();
  EXPECT_EQ(ExportLines(ReadTrace(first)).size(), 2u);
  EXPECT_EQ(ExportLines(ReadTrace(second)).size(), 2u);
  EXPECT_EQ(mivra_test::FilesIn(folder_), (std::vector<std::wstring>{L"first.log", L"second.log"}));
}

TEST_F(TraceTest, PathsOfEveryKindStayOnOneLineAndReadBackExactly) {
  const std::wstring trace = TraceFile(L"odd names.log");
  TraceInto(trace);
  const std::wstring odd = InstallDir() + L"two words \"quoted\"\nnext\tline 100%\x00e9\xd800.dll";
  uint32_t code = 0;
  MivraAddToBackup(nullptr, odd.c_str(), &code);
  MivraRemoveFromBackup(L"", &code);
  const std::vector<std::vector<TraceField>> lines = ExportLines(ReadTrace(trace));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(FieldOf(lines.front(), "path"), Utf8Of(odd.substr(0, odd.size() - 5)) + "\xEF\xBF\xBD.dll");
  EXPECT_EQ(Summary(lines.back()), "return MivraRemoveFromBackup 0 " + std::to_string(code));
  const auto removeCall = lines[lines.size() - 2];
  EXPECT_EQ(Summary(removeCall), "call MivraRemoveFromBackup");
  EXPECT_EQ(FieldOf(removeCall, "name"), "");
}

// Each line is appended in one write under a lock: writers on two threads (as in two processes)
// interleave whole lines, never parts of them.
TEST_F(TraceTest, TwoWritersAppendWholeLinesToOneTrace) {
  EXPECT_FALSE(MivraIsFeatureOFF());  // the install directory is cached before the threads start
  const std::wstring trace = TraceFile(L"shared.log");
  TraceInto(trace);
  constexpr int kCalls = 100;
  const auto calls = [] {
    for (int i = 0; i < kCalls; ++i) MivraIsFeatureOFF();
  };
  std::thread first(calls);
  std::thread second(calls);
  first.join();
  second.join();

  const std::vector<std::vector<TraceField>> lines = ReadTrace(trace);
  EXPECT_EQ(lines.size(), 2u * kCalls * 3);
  std::map<std::string, std::vector<std::string>> byThread;
  for (const auto& line : lines) byThread[FieldOf(line, "tid")].push_back(Summary(line));
  ASSERT_EQ(byThread.size(), 2u);
  for (const auto& [thread, summaries] : byThread) {
    ASSERT_EQ(summaries.size(), 3u * kCalls) << thread;
    for (size_t i = 0; i < summaries.size(); i += 3) {
      EXPECT_EQ(summaries[i], "call MivraIsFeatureOFF");
      EXPECT_EQ(summaries[i + 1], "step switch on");
      EXPECT_EQ(summaries[i + 2], "return MivraIsFeatureOFF 0");
    }
  }
}

// A trace of `length` zero bytes.
void MakeTraceOfLength(const std::wstring& trace, int64_t length) {
  HANDLE file = CreateFileW(trace.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER size;
  size.QuadPart = length;
  SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  CloseHandle(file);
}

uint64_t LengthOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

TEST_F(TraceTest, AFullTraceIsMovedAsideOnceAndStartedAgain) {
  const std::wstring trace = TraceFile(L"full.log");
  MakeTraceOfLength(trace, mivra::kTraceFileLimit);
  WriteFileBytes(trace + L".1", "an older trace\n");
  TraceInto(trace);
  MivraIsFeatureOFF();
  MivraIsFeatureOFF();

  EXPECT_EQ(LengthOf(trace + L".1"), mivra::kTraceFileLimit);
  EXPECT_EQ(Summaries(ExportLines(ReadTrace(trace))),
            (std::vector<std::string>{"call MivraIsFeatureOFF", "return MivraIsFeatureOFF 0", "call MivraIsFeatureOFF",
                                      "return MivraIsFeatureOFF 0"}));
}

// A call holds its trace open from its first line: one that fills the trace moves it aside itself,
// and goes on in a new file.
TEST_F(TraceTest, ACallThatFillsTheTraceMovesItAsideAndGoesOn) {
  const std::wstring trace = TraceFile(L"filling.log");
  MakeTraceOfLength(trace, mivra::kTraceFileLimit - 1);
  TraceInto(trace);
  MivraIsFeatureOFF();

  // The first line went to the old file, which the second then found full.
  EXPECT_GT(LengthOf(trace + L".1"), mivra::kTraceFileLimit);
  EXPECT_EQ(Summaries(ReadTrace(trace)), (std::vector<std::string>{"step switch on", "return MivraIsFeatureOFF 0"}));
  // And no handle of the trace outlives the call: the file can be had without sharing.
  HANDLE alone = CreateFileW(trace.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(alone, INVALID_HANDLE_VALUE);
  if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
}

}  // namespace
