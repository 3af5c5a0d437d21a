#include "update/frame/deferred_delete.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "support/deferred_delete_probe.h"
#include "support/file_util.h"
#include "support/held_file.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/frame/platform_calls.h"

namespace {

using mivra_test::DeferredDeleteProbe;
using mivra_test::Utf8;

class DeferredDeleteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    wchar_t longTemp[MAX_PATH] = {};
    GetLongPathNameW(temp, longTemp, MAX_PATH);
    folder_ = std::wstring(longTemp) + L"mivra-deferred-delete";
    mivra_test::RemoveTree(folder_);
    mivra_test::MakeFolder(folder_);
    path_ = folder_ + L"\\in use.dat";
    mivra_test::WriteFileBytes(path_, "data");
  }
  void TearDown() override { mivra_test::RemoveTree(folder_); }

  std::wstring folder_;
  std::wstring path_;
};

bool IsPending(const std::wstring& path) {
  for (const std::wstring& pending : DeferredDeleteProbe::PendingDeletions()) {
    if (_wcsicmp(pending.c_str(), path.c_str()) == 0) return true;
  }
  return false;
}

struct TrustCase {
  const wchar_t* mode;
  // Expected log lines; "$PATH" and "$PID" stand for the path and this process.
  std::vector<std::string> calls;
};

TEST_F(DeferredDeleteTest, SchedulesInEveryTrustModeAndCallsInOrder) {
  const TrustCase cases[] = {
      {L"open",
       {"open result=1 pending=0", "trust pid=$PID path=$PATH newName=(null) flags=4 context=0 pending=0",
        "close module=zkstub context=42 pending=1"}},
      {L"refuse", {"open result=0 pending=0"}},
      {L"noexport", {"open result=1 pending=0", "close module=kernel32 context=17 pending=1"}},
  };
  for (const TrustCase& c : cases) {
    SCOPED_TRACE(Utf8(c.mode));
    DeferredDeleteProbe probe(c.mode);
    EXPECT_NE(mivra::DeleteOnReboot(path_.c_str()), 0);
    EXPECT_TRUE(IsPending(path_));

    std::vector<std::string> expected;
    for (std::string line : c.calls) {
      if (size_t at = line.find("$PID"); at != std::string::npos) {
        line.replace(at, 4, std::to_string(GetCurrentProcessId()));
      }
      if (size_t at = line.find("$PATH"); at != std::string::npos) line.replace(at, 5, Utf8(path_));
      expected.push_back(line);
    }
    EXPECT_EQ(probe.TrustCalls(), expected);
  }
}

TEST_F(DeferredDeleteTest, NullPathDoesNothing) {
  DeferredDeleteProbe probe(L"open");
  EXPECT_EQ(mivra::DeleteOnReboot(nullptr), 0);
  EXPECT_TRUE(probe.TrustCalls().empty());
  EXPECT_TRUE(DeferredDeleteProbe::PendingDeletions().empty());
}

TEST_F(DeferredDeleteTest, DeletesAFreeFileAtOnceWithoutTrustStep) {
  DeferredDeleteProbe probe(L"open");
  SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(mivra::DeleteFileIfPresent(path_.c_str()), mivra::DeleteOutcome::kDeleted);
  EXPECT_FALSE(mivra_test::FileExists(path_));
  EXPECT_TRUE(probe.TrustCalls().empty());
  EXPECT_TRUE(DeferredDeleteProbe::PendingDeletions().empty());
}

TEST_F(DeferredDeleteTest, SchedulesAFileHeldOpenByAnotherProcess) {
  DeferredDeleteProbe probe(L"open");
  mivra_test::HeldFile held(path_, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());
  EXPECT_EQ(mivra::DeleteFileIfPresent(path_.c_str()), mivra::DeleteOutcome::kScheduled);
  EXPECT_TRUE(mivra_test::FileExists(path_));
  EXPECT_TRUE(IsPending(path_));
  EXPECT_EQ(probe.TrustCalls().size(), 3u);
}

// A link goes itself or not at all: deleted or scheduled, it would take what it points to. Under
// Wine a link to a folder cannot be proved to be one on its handle, so it stays; a link to a file,
// which Wine cannot show, is given through the platform table as Windows reports it.
DWORD WINAPI ReadsAsLink(LPCWSTR path) {
  const DWORD attributes = mivra::RealPlatformCalls().GetFileAttributesW(path);
  return attributes == INVALID_FILE_ATTRIBUTES ? attributes : attributes | FILE_ATTRIBUTE_REPARSE_POINT;
}

TEST_F(DeferredDeleteTest, ALinkIsNeitherDeletedThroughNorScheduled) {
  DeferredDeleteProbe probe(L"open");
  const std::wstring sentinel = folder_ + L"\\sentinel";
  mivra_test::MakeFolder(sentinel);
  mivra_test::WriteFileBytes(sentinel + L"\\s.dat", "someone else's");
  const auto before = mivra_test::ReadTree(sentinel);
  const std::wstring link = folder_ + L"\\linked.dll";
  ASSERT_TRUE(mivra_test::MakeUnixSymlink(sentinel, link));

  EXPECT_EQ(mivra::DeleteFileIfPresent(link.c_str()), mivra::DeleteOutcome::kFailed);
  EXPECT_EQ(mivra_test::ReadTree(sentinel), before);
  EXPECT_TRUE(mivra_test::RemoveUnixSymlink(link)) << "the link is still there";
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::GetFileAttributesW> attributes(&ReadsAsLink);
    EXPECT_EQ(mivra::DeleteFileIfPresent(path_.c_str()), mivra::DeleteOutcome::kFailed);
  }
  EXPECT_EQ(mivra_test::ReadFileBytes(path_), "data");
  EXPECT_FALSE(IsPending(link));
  EXPECT_FALSE(IsPending(path_));
  EXPECT_TRUE(probe.TrustCalls().empty());
}

}  // namespace
