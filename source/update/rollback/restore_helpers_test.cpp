#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "support/file_util.h"
#include "support/held_file.h"
#include "update/rollback/rollback_context.h"
#include "update/rollback/rollback_test_fixture.h"
#include "update/rollback/service_notify.h"
#include "update/rollback/temp_names.h"

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

TEST_F(RestoreHelpersTest, RestoreListKeepsOrderAndReleasesEveryEntry) {
  mivra::RollbackContext context;
  EXPECT_EQ(mivra::AppendRestoreEntry(nullptr, &context.tail), nullptr);
  EXPECT_EQ(mivra::AppendRestoreEntry(&context.head, nullptr), nullptr);
  mivra::RestoreEntry* first = mivra::AppendRestoreEntry(&context.head, &context.tail);
  mivra::RestoreEntry* second = mivra::AppendRestoreEntry(&context.head, &context.tail);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(context.head, first);
  EXPECT_EQ(first->next, second);
  EXPECT_EQ(context.tail, second);
  EXPECT_EQ(second->tempPath[0], L'\0');
  context.FreeRestoreList();
  EXPECT_TRUE(context.empty());
  EXPECT_EQ(context.tail, nullptr);
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
