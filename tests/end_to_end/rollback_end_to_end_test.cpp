// The whole road of an update and its rollback, through the DLL as an updater calls it, with the
// product's service in a process of its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "mivra.h"
#include "support/file_util.h"
#include "support/test_program.h"
#include "update/rollback/rollback_test_fixture.h"

namespace rollback_test {
namespace {

// The service stand-in in a process of its own, holding the two global events.
class ServiceProcess {
 public:
  explicit ServiceProcess(const std::wstring& report) {
    process_ = mivra_test::StartTestProgram(L"notify_service.exe", L"\"" + report + L"\" 30000");
    if (!process_) return;
    // Ready once both events can be opened.
    for (int i = 0; i < 200 && !ready_; ++i) {
      HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "Global\\ORV_SERVICE_UI_WriteEvent");
      if (event) {
        CloseHandle(event);
        ready_ = true;
      } else {
        Sleep(50);
      }
    }
  }
  ~ServiceProcess() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) TerminateProcess(process_, 3);
    CloseHandle(process_);
  }
  bool ready() const { return ready_; }
  // Waits for the service to end and returns its exit code.
  DWORD Finish() {
    if (!process_ || WaitForSingleObject(process_, 40000) != WAIT_OBJECT_0) return 99;
    DWORD code = 99;
    GetExitCodeProcess(process_, &code);
    return code;
  }

 private:
  HANDLE process_ = nullptr;
  bool ready_ = false;
};

class RollbackEndToEndTest : public RollbackTest {
 protected:
  void TearDown() override { RemoveNotificationLibrary(); }

  // One restored file whose name is the watched one in another letter case.
  void BackUpWatchedFileThenUpdate() {
    Install(L"VentraEx.Ext", "service extension 1.0");
    BackUpAndCommit({L"VentraEx.Ext"});
    Install(L"VentraEx.Ext", "service extension 2.0");
  }
};

TEST_F(RollbackEndToEndTest, UpdateRolledBackAndServiceNotifiedAcrossProcesses) {
  // The installed product.
  Install(L"Corvane.exe", "main program 1.0");
  Install(L"ventraex.ext", "service extension 1.0");
  Install(L"library.dll", std::string(3000, 'L'));
  Install(L"obsolete.txt", "dropped by the update");
  Register({L"Corvane.exe", L"ventraex.ext", L"library.dll", L"obsolete.txt"});

  // Before changing anything, the updater backs up every file it will touch, and commits.
  BackUpAndCommit({L"Corvane.exe", L"ventraex.ext", L"obsolete.txt", L"addon.dll"});
  MarkStatus(1);

  // The update: replaces, deletes, adds; then registers what it installed, and stops short.
  Install(L"Corvane.exe", "main program 2.0 with more");
  Install(L"ventraex.ext", "service extension 2.0");
  DeleteFileW(InstallPath(L"obsolete.txt").c_str());
  Install(L"addon.dll", "new in 2.0");
  Register({L"Corvane.exe", L"ventraex.ext", L"addon.dll"});

  uint8_t needed = 0;
  uint32_t code = 0;
  ASSERT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, &code));
  EXPECT_EQ(needed, 1);
  EXPECT_EQ(code, kUntouched);

  const std::wstring report = InstallDir() + L"service-report.txt";
  ServiceProcess service(report);
  ASSERT_TRUE(service.ready());
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(service.Finish(), 0u);
  EXPECT_EQ(mivra_test::ReadFileBytes(report), "notified\n");

  EXPECT_EQ(Installed(L"Corvane.exe"), "main program 1.0");
  EXPECT_EQ(Installed(L"ventraex.ext"), "service extension 1.0");
  EXPECT_EQ(Installed(L"obsolete.txt"), "dropped by the update");
  EXPECT_EQ(Installed(L"library.dll"), std::string(3000, 'L'));
  EXPECT_FALSE(IsInstalled(L"addon.dll"));
  EXPECT_EQ(DbRollbackCount(), 1u);
  EXPECT_EQ(DbUpdateStatus(), 0);

  ASSERT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, &code));
  EXPECT_EQ(needed, 0);
  EXPECT_EQ(code, kUntouched);
}

TEST_F(RollbackEndToEndTest, RollbackWithoutTheWatchedFileTellsNobody) {
  Install(L"Corvane.exe", "main program 1.0");
  BackUpAndCommit({L"Corvane.exe"});
  Install(L"Corvane.exe", "main program 2.0");
  // A service is waiting; a rollback that does not restore the watched file leaves it waiting.
  const std::wstring report = InstallDir() + L"service-report.txt";
  {
    ServiceProcess service(report);
    ASSERT_TRUE(service.ready());
    uint32_t code = 0;
    ASSERT_TRUE(Perform(&code)) << code;
    EXPECT_EQ(Installed(L"Corvane.exe"), "main program 1.0");
    Sleep(300);
  }
  EXPECT_FALSE(mivra_test::FileExists(report));
}

TEST_F(RollbackEndToEndTest, NotificationLibraryThatAsksToBeUsedIsToldInsteadOfTheEvents) {
  BackUpWatchedFileThenUpdate();
  PlaceNotificationLibrary();
  LogNotificationCalls();
  mivra_test::SetEnv(L"MIVRA_STANDIN_NTFHUB", L"library");
  uint32_t code = 0;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(NotificationLog(), "use\nopen OPSOptionsChanged\nnotify\nclose\n");
}

TEST_F(RollbackEndToEndTest, NotificationLibraryThatDeclinesLeavesItToTheServiceEvents) {
  BackUpWatchedFileThenUpdate();
  PlaceNotificationLibrary();
  LogNotificationCalls();
  const std::wstring report = InstallDir() + L"service-report.txt";
  ServiceProcess service(report);
  ASSERT_TRUE(service.ready());
  uint32_t code = 0;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(service.Finish(), 0u);
  EXPECT_EQ(mivra_test::ReadFileBytes(report), "notified\n");
  EXPECT_EQ(NotificationLog(), "use\n");
}

}  // namespace
}  // namespace rollback_test
