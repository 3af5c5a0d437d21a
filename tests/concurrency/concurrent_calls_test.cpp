// Two processes using the library at once, through the DLL: this test process and
// library_caller.exe. Each overlap that once lost data is run for a bounded number of calls; what
// the writer wrote must all be there, valid, and no reader may have failed or discarded anything.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "mivra.h"
#include "support/caller_process.h"
#include "support/deferred_delete_probe.h"
#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "update/backup/backup_exports_fixture.h"
#include "update/rollback/rollback_test_fixture.h"

namespace rollback_test {
namespace {

using mivra_test::CallerProcess;

// Calls of the test's own side while the other process works; bounded, whatever the machine's pace.
constexpr int kMaxRounds = 3000;

std::wstring Numbered(const std::wstring& prefix, int i) { return prefix + std::to_wstring(i) + L".bin"; }

class ConcurrentCallsTest : public RollbackTest {
 protected:
  std::wstring Folder() const { return InstallDir().substr(0, InstallDir().size() - 1); }

  void InstallNumbered(const std::wstring& prefix, int count, const std::string& version) const {
    for (int i = 0; i < count; ++i) Install(Numbered(prefix, i), version + " of " + std::to_string(i));
  }

  // The version each numbered file holds; "other" for content that is no version of that file.
  std::vector<std::string> InstalledVersions(const std::wstring& prefix, int count) const {
    std::vector<std::string> versions;
    for (int i = 0; i < count; ++i) {
      const std::string content = Installed(Numbered(prefix, i));
      const std::string tail = " of " + std::to_string(i);
      const bool versioned = content.size() > tail.size() && content.ends_with(tail);
      versions.push_back(versioned ? content.substr(0, content.size() - tail.size()) : "other");
    }
    return versions;
  }

  void CommitNumbered(const std::wstring& prefix, int count) const {
    uint32_t code = kUntouched;
    MdataObject* object = MivraCreateBkMdataObject(&code);
    ASSERT_NE(object, nullptr) << code;
    for (int i = 0; i < count; ++i) {
      ASSERT_TRUE(MivraAddToBackup(object, InstallPath(Numbered(prefix, i)).c_str(), &code)) << code;
    }
    MivraDeleteBkMdataObject(object);
    ASSERT_TRUE(MivraCommitBackup(&code)) << code;
  }

  // Runs `call` while `other` works, up to kMaxRounds times; returns the number that failed.
  template <typename Call>
  static int WhileRunning(CallerProcess& other, Call call) {
    int failures = 0;
    for (int round = 0; round < kMaxRounds && other.running(); ++round) {
      if (!call()) ++failures;
    }
    return failures;
  }

  static bool QueryAnswers() {
    uint8_t needed = 0;
    uint32_t code = kUntouched;
    return MivraRollback(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, &code);
  }

  // Lists the committed backup; true when it holds `expected` names.
  static bool ListHolds(uint32_t expected) {
    wchar_t* list = nullptr;
    uint32_t count = 0;
    uint32_t code = kUntouched;
    const bool listed = MivraGetBkMdataFileList(&list, &count, &code);
    MivraFreeBkMdataFileList(list);
    return listed && count == expected;
  }

  // The database's records, checked valid and counted right.
  std::vector<mivra_test::MetadataRecord> DbRecords() const {
    const std::string db = ReadDb();
    EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, db));
    EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, db), mivra_test::RecordsInFile(mivra_test::kRBLayout, db));
    return mivra_test::RecordsOf(mivra_test::kRBLayout, db);
  }

  // The names of the records, each as often as it is recorded.
  std::multiset<std::wstring> DbNames() const {
    std::multiset<std::wstring> names;
    for (const mivra_test::MetadataRecord& record : DbRecords()) names.insert(record.name);
    return names;
  }

  static std::multiset<std::wstring> NumberedNames(std::initializer_list<const wchar_t*> prefixes, int count) {
    std::multiset<std::wstring> names;
    for (const wchar_t* prefix : prefixes) {
      for (int i = 0; i < count; ++i) names.insert(Numbered(prefix, i));
    }
    return names;
  }

  std::vector<std::wstring> TempFilesLeft() const {
    std::vector<std::wstring> left;
    for (const std::wstring& name : mivra_test::FilesIn(Folder())) {
      if (name.rfind(L"kvupd", 0) == 0) left.push_back(name);
    }
    return left;
  }
};

TEST_F(ConcurrentCallsTest, QueriesWhileAnotherProcessRegistersLoseNoRegistration) {
  constexpr int kFiles = 250;
  InstallNumbered(L"reg", kFiles, "1.0");
  CallerProcess registrar(L"register \"" + Folder() + L"\" " + std::to_wstring(kFiles) + L" single reg");
  ASSERT_TRUE(registrar.started());
  EXPECT_EQ(WhileRunning(registrar, QueryAnswers), 0);
  EXPECT_EQ(registrar.Finish(), 0u);

  EXPECT_EQ(DbNames(), NumberedNames({L"reg"}, kFiles));
}

TEST_F(ConcurrentCallsTest, TwoRegistrarsKeepEachOthersRecordsAndShareNames) {
  constexpr int kFiles = 80;
  for (const wchar_t* prefix : {L"shared", L"first", L"second"}) InstallNumbered(prefix, kFiles, "1.0");
  // One keeps an object for its whole run, the other registers file by file; both register the
  // shared names, which must each end up in one record.
  CallerProcess first(L"register \"" + Folder() + L"\" " + std::to_wstring(kFiles) + L" object shared first");
  CallerProcess second(L"register \"" + Folder() + L"\" " + std::to_wstring(kFiles) + L" single shared second");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(second.started());
  EXPECT_EQ(first.Finish(), 0u);
  EXPECT_EQ(second.Finish(), 0u);

  EXPECT_EQ(DbNames(), NumberedNames({L"shared", L"first", L"second"}, kFiles));
}

TEST_F(ConcurrentCallsTest, ListsWhileAnotherProcessRemovesNamesKeepTheBackup) {
  constexpr int kFiles = 150;
  InstallNumbered(L"kept", kFiles, "1.0");
  CommitNumbered(L"kept", kFiles);
  CallerProcess remover(L"remove kept " + std::to_wstring(kFiles));
  ASSERT_TRUE(remover.started());
  EXPECT_EQ(WhileRunning(remover, [] { return ListHolds(kFiles); }), 0);
  EXPECT_EQ(remover.Finish(), 0u);

  const std::vector<mivra_test::MetadataRecord> records = mivra_test::RecordsOf(mivra_test::kBkLayout, mivra_test::ReadFileBytes(BkMdataPath()));
  std::multiset<std::wstring> removed;
  for (const mivra_test::MetadataRecord& record : records) {
    if (record.flags & 1u) removed.insert(record.name);
  }
  EXPECT_EQ(records.size(), static_cast<size_t>(kFiles));
  EXPECT_EQ(removed, NumberedNames({L"kept"}, kFiles));
  EXPECT_TRUE(ListHolds(kFiles));
}

TEST_F(ConcurrentCallsTest, ListsBetweenTheRenamesOfCommitsAlwaysFindTheCommittedBackup) {
  InstallNumbered(L"app", 1, "1.0");
  CommitNumbered(L"app", 1);
  CallerProcess committer(L"commit \"" + Folder() + L"\" " + Numbered(L"app", 0) + L" 25");
  ASSERT_TRUE(committer.started());
  EXPECT_EQ(WhileRunning(committer, [] { return ListHolds(1); }), 0);
  EXPECT_EQ(committer.Finish(), 0u);

  EXPECT_TRUE(ListHolds(1));
  EXPECT_EQ(mivra_test::FilesIn(BaseFolder()), std::vector<std::wstring>{L"bkup"}) << "nothing left of a commit";
}

TEST_F(ConcurrentCallsTest, QueriesDuringRollbacksNeverMeetTheDatabaseHalfRebuilt) {
  constexpr int kFiles = 8;
  constexpr int kRollbacks = 6;
  InstallNumbered(L"lib", kFiles, "1.0");
  CommitNumbered(L"lib", kFiles);
  InstallNumbered(L"lib", kFiles, "2.0");
  for (int i = 0; i < kFiles; ++i) Register({Numbered(L"lib", i)});
  MarkStatus(1);
  mivra_test::DeferredDeleteProbe::ClearPendingDeletions();

  CallerProcess rollbacks(L"rollback " + std::to_wstring(kRollbacks));
  ASSERT_TRUE(rollbacks.started());
  EXPECT_EQ(WhileRunning(rollbacks, QueryAnswers), 0);
  EXPECT_EQ(rollbacks.Finish(), 0u);

  EXPECT_EQ(DbRollbackCount(), static_cast<uint32_t>(kRollbacks));
  EXPECT_EQ(DbUpdateStatus(), 0);
  EXPECT_EQ(DbRecords().size(), static_cast<size_t>(kFiles));
  EXPECT_TRUE(mivra_test::DeferredDeleteProbe::PendingDeletions().empty());
  EXPECT_EQ(InstalledVersions(L"lib", kFiles), std::vector<std::string>(kFiles, "1.0"));
}

TEST_F(ConcurrentCallsTest, TwoRollbacksAtOnceRestoreEveryFileFromItsOwnCopy) {
  constexpr int kFiles = 15;
  InstallNumbered(L"part", kFiles, "1.0");
  CommitNumbered(L"part", kFiles);
  InstallNumbered(L"part", kFiles, "2.0");

  CallerProcess first(L"rollback 1");
  CallerProcess second(L"rollback 1");
  ASSERT_TRUE(first.started());
  ASSERT_TRUE(second.started());
  EXPECT_EQ(first.Finish(), 0u);
  EXPECT_EQ(second.Finish(), 0u);

  EXPECT_EQ(InstalledVersions(L"part", kFiles), std::vector<std::string>(kFiles, "1.0"));
  EXPECT_TRUE(TempFilesLeft().empty());
  EXPECT_EQ(DbRollbackCount(), 2u);
}

TEST_F(ConcurrentCallsTest, ServiceThatCallsTheLibraryBeforeAnsweringIsNotKeptWaiting) {
  Install(L"VENTRAEX.EXT", "service extension 1.0");
  BackUpAndCommit({L"VENTRAEX.EXT"});
  Install(L"VENTRAEX.EXT", "service extension 2.0");

  const std::wstring report = InstallPath(L"service-report.txt");
  CallerProcess service(L"service \"" + report + L"\" \"" + InstallPath(L"VENTRAEX.EXT") +
                        L"\" \"service extension 1.0\"");
  ASSERT_TRUE(service.started());
  // Ready once it has made its events.
  for (int i = 0; i < 200; ++i) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "Global\\ORV_SERVICE_UI_WriteEvent");
    if (event) {
      CloseHandle(event);
      break;
    }
    Sleep(50);
  }

  uint32_t code = kUntouched;
  ASSERT_TRUE(Perform(&code)) << code;
  EXPECT_EQ(service.Finish(), 0u);
  EXPECT_EQ(mivra_test::ReadFileBytes(report), "listed");
}

}  // namespace
}  // namespace rollback_test
