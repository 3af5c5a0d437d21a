#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/held_file.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "update/backup/bkmdata_store.h"
#include "update/frame/backup_folder.h"
#include "update/rollback/restore_plan.h"
#include "update/rollback/rollback_test_fixture.h"
#include "update/rollback/service_notify.h"
#include "update/rollback/temp_names.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace rollback_test {
namespace {

using mivra_test::FileExists;
using mivra_test::ReadFileBytes;
using mivra_test::WriteFileBytes;

class RestoreHelpersTest : public RollbackTest {};

TEST_F(RestoreHelpersTest, TempNameStartsWhereTheRuntimeGeneratorWouldWithoutReseedingIt) {
  for (int64_t seconds : {int64_t{0}, int64_t{1}, int64_t{1765000000}, int64_t{0x1FFFFFFFF}}) {
    std::srand(static_cast<unsigned>(seconds));
    EXPECT_EQ(mivra::TempNameStartNumber(seconds), static_cast<uint32_t>(std::rand())) << seconds;
  }
  // The caller's sequence goes on undisturbed.
  std::srand(42);
  const int first = std::rand();
  const int second = std::rand();
  std::srand(42);
  EXPECT_EQ(std::rand(), first);
  wchar_t name[mivra::kPathCapacity];
  ASSERT_TRUE(mivra::MakeUniqueTempName(InstallDir().c_str(), name));
  EXPECT_EQ(std::rand(), second);
}

TEST_F(RestoreHelpersTest, TempNamesSkipTakenNumbersAndWrap) {
  wchar_t name[mivra::kPathCapacity];
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0x1234, name));
  EXPECT_EQ(std::wstring(name), InstallPath(L"kvupd001234.tmp"));
  WriteFileBytes(name, "staged");
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0x1234, name));
  EXPECT_EQ(std::wstring(name), InstallPath(L"kvupd001235.tmp"));

  WriteFileBytes(InstallPath(L"kvupdFFFFFF.tmp"), "taken");
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0xFFFFFF, name));
  EXPECT_EQ(std::wstring(name), InstallPath(L"kvupd000000.tmp"));

  // A directory without its trailing backslash gets one.
  std::wstring bare = InstallDir();
  bare.pop_back();
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(bare.c_str(), 0xABCDEF, name));
  EXPECT_EQ(std::wstring(name), InstallPath(L"kvupdABCDEF.tmp"));
  // A directory that leaves no room for the name fails.
  const std::wstring deep = L"C:\\" + std::wstring(250, L'x') + L"\\";
  EXPECT_FALSE(mivra::MakeUniqueTempNameFrom(deep.c_str(), 0, name));
}

TEST_F(RestoreHelpersTest, DrawnTempNameIsTakenByItsFileAtOnce) {
  wchar_t first[mivra::kPathCapacity];
  wchar_t second[mivra::kPathCapacity];
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0x777, first));
  EXPECT_EQ(std::wstring(first), InstallPath(L"kvupd000777.tmp"));
  EXPECT_TRUE(FileExists(first));
  EXPECT_EQ(ReadFileBytes(first), "");
  // Drawn again from the same number before anything was written to it: another file.
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0x777, second));
  EXPECT_EQ(std::wstring(second), InstallPath(L"kvupd000778.tmp"));
}

// The caller that asks for it gets the handle of the file that holds the name, to fill it.
TEST_F(RestoreHelpersTest, DrawnTempNameHandsOverTheFileItCreated) {
  wchar_t name[mivra::kPathCapacity];
  mivra::ScopedHandle created;
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0x888, name, nullptr, &created));
  ASSERT_TRUE(created);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(created.get(), "staged", 6, &written, nullptr));
  // Read by name while it is held, as a large copy is read back while it is written.
  EXPECT_EQ(ReadFileBytes(name), "staged");
  created.reset();
  EXPECT_EQ(ReadFileBytes(InstallPath(L"kvupd000888.tmp")), "staged");
}

TEST_F(RestoreHelpersTest, TempNameWhoseFileCannotBeMadeIsJudgedByItsExistence) {
  WriteFileBytes(InstallPath(L"kvupd000900.tmp"), "taken");
  mivra_test::PlatformFault<&mivra::PlatformCalls::CreateFileW> creation(mivra_test::FaultPlan::Always(),
                                                                         INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  wchar_t name[mivra::kPathCapacity];
  // Taken without a creation: no handle to hand over.
  mivra::ScopedHandle created;
  ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), 0x900, name, nullptr, &created));
  EXPECT_EQ(std::wstring(name), InstallPath(L"kvupd000901.tmp"));
  EXPECT_FALSE(FileExists(name));
  EXPECT_FALSE(created);
}

TEST(IssuedTempNumbersTest, RunsMergeAndWrap) {
  mivra::IssuedTempNumbers issued;
  for (uint32_t n : {5u, 6u, 7u, 9u, 7u}) issued.Add(n);
  const struct {
    uint32_t from;
    uint32_t run;
  } before[] = {{4, 0}, {5, 3}, {6, 2}, {7, 1}, {8, 0}, {9, 1}, {10, 0}};
  for (const auto& c : before) EXPECT_EQ(issued.RunFrom(c.from), c.run) << c.from;
  issued.Add(8);  // joins the two runs
  EXPECT_EQ(issued.RunFrom(5), 5u);
  issued.Add(4);
  EXPECT_EQ(issued.RunFrom(4), 6u);
  // A run through FFFFFF goes on at 0.
  for (uint32_t n : {0xFFFFFEu, 0xFFFFFFu, 0u, 1u}) issued.Add(n);
  EXPECT_EQ(issued.RunFrom(0xFFFFFE), 4u);
  EXPECT_EQ(issued.RunFrom(0xFFFFFF), 3u);
  EXPECT_EQ(issued.RunFrom(2), 0u);
}

std::vector<std::wstring> g_askedPaths;
int RecordingAccess(const wchar_t* path, int mode) {
  g_askedPaths.emplace_back(path);
  return mivra::RealPlatformCalls().waccess(path, mode);
}
HANDLE WINAPI RecordingCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  g_askedPaths.emplace_back(path);
  return mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

// Staging draws its start from the clock, so consecutive names start at the same few numbers:
// the names issued before are passed over without a question to the file system, and the names
// come out as they would if it had been asked. A name taken by someone else is still asked about.
TEST_F(RestoreHelpersTest, IssuedNamesAreSkippedUnaskedWithTheSameResult) {
  WriteFileBytes(InstallPath(L"kvupd000014.tmp"), "someone else's");
  const struct {
    uint32_t start;
    const wchar_t* name;
  } steps[] = {{0x10, L"kvupd000010.tmp"}, {0x10, L"kvupd000011.tmp"}, {0x10, L"kvupd000012.tmp"},
               {0x12, L"kvupd000013.tmp"}, {0xFFFFFE, L"kvupdFFFFFE.tmp"}, {0xFFFFFE, L"kvupdFFFFFF.tmp"},
               {0xFFFFFF, L"kvupd000000.tmp"}, {0x10, L"kvupd000015.tmp"}};
  mivra::IssuedTempNumbers issued;
  std::vector<std::wstring> made;
  for (const auto& step : steps) {
    wchar_t name[mivra::kPathCapacity];
    g_askedPaths.clear();
    {
      mivra_test::PlatformOverride<&mivra::PlatformCalls::waccess> access(&RecordingAccess);
      mivra_test::PlatformOverride<&mivra::PlatformCalls::CreateFileW> create(&RecordingCreate);
      ASSERT_TRUE(mivra::MakeUniqueTempNameFrom(InstallDir().c_str(), step.start, name, &issued));
    }
    EXPECT_EQ(std::wstring(name), InstallPath(step.name));
    for (const std::wstring& asked : g_askedPaths) {
      EXPECT_EQ(std::find(made.begin(), made.end(), asked), made.end()) << "asked about issued " << asked;
    }
    made.emplace_back(name);
    if (!FileExists(name)) WriteFileBytes(name, "staged");
  }
}

TEST_F(RestoreHelpersTest, MovingAsideTakesTheFirstSuffixThatIsFreeOrFreeable) {
  const std::wstring target = InstallPath(L"locked.dll");
  WriteFileBytes(target, "in use");
  WriteFileBytes(target + L".1kv", "older, in use");
  WriteFileBytes(target + L".2kv", "older, deletable");
  mivra_test::HeldFile held(target + L".1kv", GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());

  ASSERT_TRUE(mivra::MoveAsideLockedFile(target.c_str()));
  EXPECT_FALSE(FileExists(target));
  EXPECT_EQ(ReadFileBytes(target + L".2kv"), "in use");
  EXPECT_EQ(ReadFileBytes(target + L".1kv"), "older, in use");
}

int FailingRead(int, void*, unsigned) { return -1; }

// One entry per live record in record order: restored, deleted (recorded absent) or refused (no
// plain name); removed records are left out.
TEST_F(RestoreHelpersTest, RestorePlanNamesWhatEachLiveRecordMeans) {
  using mivra_test::MetadataRecord;
  std::vector<MetadataRecord> records(5);
  records[0].name = L"app.exe";
  records[0].size = 10;
  records[0].digest = std::string(16, '\x11');
  records[1].name = L"gone.dll";
  records[1].flags = mivra::BKREC_REMOVED;
  records[2].name = L"new.dll";
  records[2].flags = mivra::BKREC_ABSENT;
  records[3].name = L"..\\evil.dll";
  records[4].name = L"removed-absent.dll";
  records[4].flags = mivra::BKREC_REMOVED | mivra::BKREC_ABSENT;
  mivra_test::MakeFolder(BkupFolder());
  WriteFileBytes(BkMdataPath(), mivra_test::MetadataFile(mivra_test::kBkLayout, records));

  MdataObject backup;
  ASSERT_TRUE(mivra::OpenBkMdata(backup, mivra::BKF_BKUP));
  std::vector<mivra::PlannedFile> plan;
  ASSERT_TRUE(mivra::PlanRestore(backup, &plan));
  ASSERT_EQ(plan.size(), 3u);
  const struct {
    uint32_t index;
    const wchar_t* name;
    mivra::RestoreAction action;
  } expected[] = {{0, L"app.exe", mivra::RestoreAction::kRestore},
                  {2, L"new.dll", mivra::RestoreAction::kDelete},
                  {3, L"..\\evil.dll", mivra::RestoreAction::kRefuse}};
  for (size_t i = 0; i < plan.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(plan[i].index, expected[i].index);
    EXPECT_EQ(plan[i].name, expected[i].name);
    EXPECT_EQ(plan[i].action, expected[i].action);
  }
  EXPECT_EQ(plan[0].fileSize, 10u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(plan[0].digest), 16), records[0].digest);

  // A record that cannot be read leaves no plan, rather than part of one.
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&FailingRead);
    EXPECT_FALSE(mivra::PlanRestore(backup, &plan));
  }
  EXPECT_TRUE(plan.empty());

  // Only a backup object is planned from.
  MdataObject database;
  ASSERT_TRUE(mivra::OpenRBMdata(database));
  EXPECT_FALSE(mivra::PlanRestore(database, &plan));
  EXPECT_TRUE(plan.empty());
}

class ServiceNotifyTest : public RollbackTest {
 protected:
  void SetUp() override {
    RollbackTest::SetUp();
    LogNotificationCalls();
  }
  void TearDown() override { RemoveNotificationLibrary(); }
};

TEST_F(ServiceNotifyTest, LibraryThatAsksToBeUsedIsCalledInOrder) {
  PlaceNotificationLibrary();
  mivra_test::SetEnv(L"MIVRA_STANDIN_NTFHUB", L"library");
  mivra::NotifyServiceOfRollback();
  EXPECT_EQ(NotificationLog(), "use\nopen OPSOptionsChanged\nnotify\nclose\n");
}

TEST_F(ServiceNotifyTest, RefusedOpeningEndsTheNotification) {
  PlaceNotificationLibrary();
  mivra_test::SetEnv(L"MIVRA_STANDIN_NTFHUB", L"refuse");
  mivra::NotifyServiceOfRollback();
  EXPECT_EQ(NotificationLog(), "use\nopen OPSOptionsChanged\n");
}

TEST_F(ServiceNotifyTest, WithoutServiceEventsNothingWaits) {
  PlaceNotificationLibrary();
  mivra::NotifyServiceOfRollback();  // the library says: use the events; there are none
  EXPECT_EQ(NotificationLog(), "use\n");
  RemoveNotificationLibrary();
  mivra::NotifyServiceOfRollback();  // no library at all
  EXPECT_EQ(NotificationLog(), "use\n");
}

}  // namespace
}  // namespace rollback_test
