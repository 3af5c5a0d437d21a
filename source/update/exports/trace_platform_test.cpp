// The trace's own file is written outside the platform table: the calls the library makes through
// the table are the same with the trace on as with it off, so that tests which count or fail
// them hold either way.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "mivra.h"
#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_format.h"

namespace {

using mivra::PlatformCalls;
using mivra_test::FaultPlan;
using mivra_test::PlatformFault;

struct CallCounts {
  uint32_t createFile, writeFile, closeHandle, deleteFile, moveFile, fileAttributes, wopen, write, waccess, wrename;
  friend bool operator==(const CallCounts&, const CallCounts&) = default;
};

class TracePlatformTest : public mivra_test::ProductTest {
 protected:
  // Backs up two files (one absent), commits, changes one, asks, and rolls back: counted.
  CallCounts CountedRoad() {
    ProductTest::SetUp();
    mivra_test::WriteFileBytes(InstallPath(L"a.dll"), "version 1");
    PlatformFault<&PlatformCalls::CreateFileW> createFile(FaultPlan::Never(), INVALID_HANDLE_VALUE);
    PlatformFault<&PlatformCalls::WriteFile> writeFile(FaultPlan::Never(), FALSE);
    PlatformFault<&PlatformCalls::CloseHandle> closeHandle(FaultPlan::Never(), FALSE);
    PlatformFault<&PlatformCalls::DeleteFileW> deleteFile(FaultPlan::Never(), FALSE);
    PlatformFault<&PlatformCalls::MoveFileW> moveFile(FaultPlan::Never(), FALSE);
    PlatformFault<&PlatformCalls::GetFileAttributesW> fileAttributes(FaultPlan::Never(), INVALID_FILE_ATTRIBUTES);
    PlatformFault<&PlatformCalls::wopen> wopen(FaultPlan::Never(), -1);
    PlatformFault<&PlatformCalls::write> write(FaultPlan::Never(), -1);
    PlatformFault<&PlatformCalls::waccess> waccess(FaultPlan::Never(), -1);
    PlatformFault<&PlatformCalls::wrename> wrename(FaultPlan::Never(), -1);

    uint32_t code = 0;
    MdataObject* object = MivraCreateBkMdataObject(&code);
    EXPECT_NE(object, nullptr);
    EXPECT_TRUE(MivraAddToBackup(object, InstallPath(L"a.dll").c_str(), &code)) << code;
    EXPECT_TRUE(MivraAddToBackup(object, InstallPath(L"b.dll").c_str(), &code)) << code;
    MivraDeleteBkMdataObject(object);
    EXPECT_TRUE(MivraCommitBackup(&code)) << code;
    EXPECT_TRUE(MivraMarkUpdateStatus(1, &code)) << code;
    mivra_test::WriteFileBytes(InstallPath(L"a.dll"), "version 2");
    mivra_test::WriteFileBytes(InstallPath(L"b.dll"), "added");
    uint8_t needed = 0;
    EXPECT_TRUE(MivraRollback(MIVRA_ROLLBACK_INTERRUPTED, &needed, &code)) << code;
    EXPECT_TRUE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code)) << code;
    EXPECT_EQ(mivra_test::ReadFileBytes(InstallPath(L"a.dll")), "version 1");
    return {createFile.calls(), writeFile.calls(), closeHandle.calls(), deleteFile.calls(), moveFile.calls(),
            fileAttributes.calls(), wopen.calls(), write.calls(), waccess.calls(), wrename.calls()};
  }
};

TEST_F(TracePlatformTest, TracingMakesNoCallThroughThePlatformTable) {
  const CallCounts untraced = CountedRoad();
  const std::wstring trace = mivra_test::ExeFolder() + L"trace_platform_test.log";
  ::DeleteFileW(trace.c_str());
  mivra_test::SetEnv(L"MIVRA_TRACE", trace.c_str());
  const CallCounts traced = CountedRoad();
  mivra_test::SetEnv(L"MIVRA_TRACE", nullptr);

  EXPECT_TRUE(traced == untraced);
  EXPECT_GT(untraced.createFile + untraced.wopen, 0u);
  // The trace was written all the same, steps included.
  const std::string text = mivra_test::ReadFileBytes(trace);
  EXPECT_NE(text.find("event=step step=copy "), std::string::npos);
  EXPECT_NE(text.find("event=return fn=MivraRollback result=1 "), std::string::npos);
}


// An unresolved install directory is traced with the step of the resolution that failed, at each
// call that tries again. In-process, with the caches emptied: the DLL keeps a resolved directory
// for the life of its process.
class InstallDirTraceTest : public mivra_test::CoreProductTest {
 protected:
  void TearDown() override { mivra_test::SetEnv(L"MIVRA_TRACE", nullptr); }
};

TEST_F(InstallDirTraceTest, UnresolvedInstallDirectoryNamesTheStepThatFailed) {
  const std::wstring trace = InstallPath(L"install-dir trace.log");
  mivra_test::SetEnv(L"MIVRA_TRACE", trace.c_str());
  const struct {
    void (*damage)();
    const char* why;
  } kCases[] = {
      {[] { mivra_test::DeleteAppPathsKey(); }, "key-missing"},
      {[] { mivra_test::SetAppPathsDword(7); }, "value-not-string"},
      {[] { mivra_test::SetAppPathsValue(L""); }, "value-empty"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    ::DeleteFileW(trace.c_str());
    c.damage();
    uint32_t code = 0;
    EXPECT_FALSE(MivraCommitBackup(&code));
    const std::string text = mivra_test::ReadFileBytes(trace);
    int steps = 0;
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
      end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string why;
      std::string result;
      bool installDir = false;
      for (const mivra::TraceField& field : mivra::ParseTraceLine(std::string_view(text).substr(start, end - start))) {
        if (field.key == "step") installDir = field.value == "install-dir";
        if (field.key == "result") result = field.value;
        if (field.key == "why") why = field.value;
      }
      if (!installDir) continue;
      ++steps;
      EXPECT_EQ(result, "failed");
      EXPECT_EQ(why, c.why);
    }
    EXPECT_GE(steps, 1) << text;
  }
}

}  // namespace
