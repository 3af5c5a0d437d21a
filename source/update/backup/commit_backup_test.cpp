#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "mivra.h"
#include "support/held_file.h"
#include "support/unix_file_ops.h"
#include "update/backup/backup_exports_fixture.h"

namespace {

using mivra_test::FilesIn;
using mivra_test::kUntouched;
using mivra_test::ReadFileBytes;

class CommitBackupTest : public mivra_test::BackupExportsTest {
 protected:
  std::wstring DelbkupFolder() const { return BaseFolder() + L"\\delbkup"; }

  // A released staging backup of the named files.
  void Stage(const std::vector<std::wstring>& names) {
    uint32_t error = kUntouched;
    MdataObject* object = MivraCreateBkMdataObject(&error);
    ASSERT_NE(object, nullptr);
    for (const std::wstring& name : names) ASSERT_TRUE(MivraAddToBackup(object, InstallPath(name).c_str(), &error));
    MivraDeleteBkMdataObject(object);
  }


 public:
  // What a commit cut off between its two moves leaves: the old backup (old.dll) moved aside to
  // "delbkup", the new one (new.dll) still staged, no "bkup"; `phase` is its journal's content.
  void CutOffCommit(const char* phase) {
    Install(L"old.dll", mivra_test::kAbc);
    Install(L"new.dll", mivra_test::kFox);
    CommitBackupOf({L"old.dll"});
    Stage({L"new.dll"});
    ASSERT_TRUE(MoveFileW(BkupFolder().c_str(), DelbkupFolder().c_str()));
    if (phase) mivra_test::WriteFileBytes(JournalPath(), phase);
  }
  std::wstring OtherPath() const { return InstallPath(L"other.dll"); }
  std::wstring JournalPath() const { return BaseFolder() + L"\\cmt.jnl"; }
};

// Every call that uses the backup folders first completes a commit cut off between its moves:
// the staged backup becomes the committed one and the old one goes.
TEST_F(CommitBackupTest, CommitCutOffBetweenItsMovesIsCompletedByTheNextCall) {
  const struct {
    const char* what;
    void (*call)(CommitBackupTest& test);
  } kCalls[] = {
      {"list",
       [](CommitBackupTest&) { EXPECT_EQ(mivra_test::ListedBackupNames(), std::vector<std::wstring>{L"new.dll"}); }},
      {"query", [](CommitBackupTest&) {
         uint32_t error = kUntouched;
         ASSERT_TRUE(MivraMarkUpdateStatus(1, &error));
         uint8_t needed = 0;
         EXPECT_TRUE(MivraRollback(MIVRA_ROLLBACK_INTERRUPTED, &needed, &error));
         EXPECT_EQ(needed, 1);
         EXPECT_EQ(error, kUntouched);
       }},
      {"remove", [](CommitBackupTest&) {
         uint32_t error = kUntouched;
         EXPECT_TRUE(MivraRemoveFromBackup(L"new.dll", &error)) << error;
       }},
      {"add", [](CommitBackupTest& t) {
         uint32_t error = kUntouched;
         EXPECT_TRUE(MivraAddToBackup(nullptr, t.OtherPath().c_str(), &error)) << error;
       }},
      {"stage", [](CommitBackupTest&) {
         uint32_t error = kUntouched;
         MdataObject* object = MivraCreateBkMdataObject(&error);
         EXPECT_NE(object, nullptr);
         MivraDeleteBkMdataObject(object);
       }},
      {"commit", [](CommitBackupTest&) {
         uint32_t error = kUntouched;
         EXPECT_TRUE(MivraCommitBackup(&error));
         EXPECT_EQ(error, kUntouched);
       }},
  };
  for (const char* phase : {static_cast<const char*>(nullptr), "\x01"}) {
    for (const auto& call : kCalls) {
      SCOPED_TRACE(testing::Message() << call.what << (phase ? " with journal" : " without journal"));
      SetUp();
      CutOffCommit(phase);
      call.call(*this);
      ASSERT_TRUE(mivra_test::FileExists(BkupFolder()));
      EXPECT_EQ(FilesIn(BkupFolder())[0], L"bkmdata.dat");
      EXPECT_EQ(CommittedRecords()[0].name, L"new.dll");
      EXPECT_TRUE(mivra_test::FileExists(BkupFolder() + L"\\new.dll") || std::string(call.what) == "remove");
      EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
      EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
    }
  }
}

TEST_F(CommitBackupTest, OldBackupMovedAsideWithNothingStagedIsPutBack) {
  CutOffCommit("\x01");
  mivra_test::RemoveTree(TmpBkupFolder());
  EXPECT_EQ(mivra_test::ListedBackupNames(), std::vector<std::wstring>{L"old.dll"});
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));

  // The commit itself puts it back before it finds nothing staged.
  ASSERT_TRUE(MoveFileW(BkupFolder().c_str(), DelbkupFolder().c_str()));
  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&error));
  EXPECT_EQ(error, MIVRA_E_FOLDER_RENAME);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"old.dll"}));
  EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
}

// An old backup left to be deleted by a commit that had put its successor in place never comes
// back as the committed backup, even once that successor is gone.
TEST_F(CommitBackupTest, RetiredBackupIsNotBroughtBack) {
  CutOffCommit("\x02");
  mivra_test::RemoveTree(TmpBkupFolder());
  EXPECT_TRUE(mivra_test::ListedBackupNames().empty());
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
}

// A commit whose new backup is in place but whose old one is still beside it, whatever its journal
// kept of the phase (a power cut may take back a phase never flushed): deleting the committed
// backup then deletes the old one too, and no later call brings it back.
TEST_F(CommitBackupTest, DeletedBackupStaysDeletedWhenTheOldOneWasStillBesideIt) {
  for (const char* phase : {static_cast<const char*>(nullptr), "\x01", "\x02"}) {
    SCOPED_TRACE(phase ? static_cast<int>(phase[0]) : -1);
    SetUp();
    CutOffCommit(phase);
    ASSERT_TRUE(MoveFileW(TmpBkupFolder().c_str(), BkupFolder().c_str()));
    uint32_t error = kUntouched;
    MivraDeleteBackup(&error);
    EXPECT_EQ(error, kUntouched);
    EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
    EXPECT_TRUE(mivra_test::ListedBackupNames().empty());
    EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
    EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
  }
}

// A journal another user planted tells nothing of a commit of this library: "retiring" there would
// have the next call delete the only backup. Without a phase, the folders alone decide, and the old
// backup goes back in place.
TEST_F(CommitBackupTest, AJournalAnotherUserWroteIsNotActedOn) {
  CutOffCommit("\x02");
  mivra_test::RemoveTree(TmpBkupFolder());
  ASSERT_TRUE(mivra_test::ChangeUnixOwner(JournalPath(), 4242));
  EXPECT_EQ(mivra_test::ListedBackupNames(), std::vector<std::wstring>{L"old.dll"});
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
}

TEST_F(CommitBackupTest, CommitUnderWayInAnotherProcessIsLeftAlone) {
  CutOffCommit(nullptr);
  {
    mivra_test::HeldFile committing(JournalPath(), GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(committing.ok());
    EXPECT_TRUE(mivra_test::ListedBackupNames().empty());
    EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
    EXPECT_EQ(FilesIn(DelbkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"old.dll"}));
    EXPECT_EQ(FilesIn(TmpBkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"new.dll"}));
  }
  EXPECT_EQ(mivra_test::ListedBackupNames(), std::vector<std::wstring>{L"new.dll"});
}

TEST_F(CommitBackupTest, FirstCommitMakesTheStagingBackupTheCommittedOne) {
  Install(L"a.dll", mivra_test::kAbc);
  Stage({L"a.dll", L"absent.dll"});
  const std::string staged = ReadFileBytes(StagingFile());
  ASSERT_FALSE(mivra_test::FileExists(BkupFolder()));

  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraCommitBackup(&error));
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
  EXPECT_EQ(ReadFileBytes(CommittedFile()), staged);
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
}

TEST_F(CommitBackupTest, CommitReplacesTheOldBackup) {
  Install(L"old.dll", mivra_test::kAbc);
  Install(L"new.dll", mivra_test::kFox);
  CommitBackupOf({L"old.dll"});
  Stage({L"new.dll"});
  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraCommitBackup(&error));
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"new.dll"}));
  ASSERT_EQ(CommittedRecords().size(), 1u);
  EXPECT_EQ(CommittedRecords()[0].name, L"new.dll");
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder()));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
}

TEST_F(CommitBackupTest, WithoutStagingBackupTheOldBackupIsPutBack) {
  Install(L"old.dll", mivra_test::kAbc);
  CommitBackupOf({L"old.dll"});
  const std::string committed = ReadFileBytes(CommittedFile());

  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&error));
  EXPECT_EQ(error, MIVRA_E_FOLDER_RENAME);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"bkmdata.dat", L"old.dll"}));
  EXPECT_EQ(ReadFileBytes(CommittedFile()), committed);
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
}

TEST_F(CommitBackupTest, ALeftoverRetiredBackupIsDeletedFirst) {
  Install(L"a.dll", mivra_test::kAbc);
  mivra_test::MakeFolder(DelbkupFolder());
  mivra_test::WriteFileBytes(DelbkupFolder() + L"\\stale.dll", "from an unfinished commit");
  Stage({L"a.dll"});
  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraCommitBackup(&error));
  EXPECT_FALSE(mivra_test::FileExists(DelbkupFolder()));
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
}

TEST_F(CommitBackupTest, ARetiredBackupThatCannotBeDeletedStopsTheCommitBeforeAnyMove) {
  Install(L"a.dll", mivra_test::kAbc);
  CommitBackupOf({L"a.dll"});
  Stage({L"a.dll"});
  mivra_test::MakeFolder(DelbkupFolder());
  const std::wstring stuck = DelbkupFolder() + L"\\stuck.dll";
  mivra_test::WriteFileBytes(stuck, "in use");
  mivra_test::HeldFile held(stuck, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());

  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraCommitBackup(&error));
  EXPECT_EQ(error, MIVRA_E_FOLDER_DELETE);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
  EXPECT_EQ(FilesIn(TmpBkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
}

TEST_F(CommitBackupTest, DeleteBackupRemovesTheCommittedBackup) {
  Install(L"a.dll", mivra_test::kAbc);
  CommitBackupOf({L"a.dll"});
  uint32_t error = kUntouched;
  MivraDeleteBackup(&error);
  EXPECT_EQ(error, kUntouched);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
  EXPECT_TRUE(mivra_test::FileExists(BaseFolder()));

  // With nothing to delete the call reports nothing either.
  MivraDeleteBackup(&error);
  EXPECT_EQ(error, kUntouched);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
}

}  // namespace
