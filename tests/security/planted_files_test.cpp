// A file in the library's folders that another user owns (as one could plant while the folders
// stood open): a metadata file, a journal beside one, a backup copy. Given to another uid from the
// Unix side, it reads back with a foreign owner (S-1-5-7). Every export that touches it is called:
// the file is never used, a journal is never applied, and the planted file is left as it is.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "mivra.h"
#include "security/update_road.h"
#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "support/unix_file_ops.h"

namespace {

using security_test::Fails;
using security_test::kCalls;
using security_test::kOk;
using security_test::kUntouched;
using security_test::Outcome;

constexpr uint32_t kForeignUid = 4242;

enum class Planted { kCopy, kBackupFile, kBackupJournal, kStagingFile, kDatabase, kDatabaseJournal };

const char* NameOf(Planted planted) {
  switch (planted) {
    case Planted::kCopy: return "copy";
    case Planted::kBackupFile: return "bkmdata";
    case Planted::kBackupJournal: return "bkmdata_journal";
    case Planted::kStagingFile: return "staging_bkmdata";
    case Planted::kDatabase: return "rbmdata";
    case Planted::kDatabaseJournal: return "rbmdata_journal";
  }
  return "?";
}

// A copy of another user's is damage (118) to the rollback, and nothing else reads copies. A
// committed bkmdata.dat, or its journal, of another user's: the backup is damaged to the rollback
// (118) and does not open anywhere else (102); the commit replaces the old backup as it would any.
// A staging bkmdata.dat of another user's is never opened: a new staging backup discards the old
// one, a staging object already open holds the file it opened, and the commit, which renames
// folders, makes it the committed one, which the rollback then finds damaged (above). An
// rbmdata.dat, or its journal, of another user's does not open (106): the query asks it first.
// The calls that do not touch the planted file succeed, as listed.
const std::map<std::string, std::map<Planted, Outcome>> kExpected = {
    {"create staging object", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                               {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk},
                               {Planted::kDatabaseJournal, kOk}}},
    {"add with object", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                         {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk},
                         {Planted::kDatabaseJournal, kOk}}},
    {"add", {{Planted::kCopy, kOk}, {Planted::kBackupFile, Fails(102)}, {Planted::kBackupJournal, Fails(102)},
             {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk}, {Planted::kDatabaseJournal, kOk}}},
    {"remove", {{Planted::kCopy, kOk}, {Planted::kBackupFile, Fails(102)}, {Planted::kBackupJournal, Fails(102)},
                {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk}, {Planted::kDatabaseJournal, kOk}}},
    {"delete backup", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                       {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk}, {Planted::kDatabaseJournal, kOk}}},
    {"commit", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk}, {Planted::kDatabaseJournal, kOk}}},
    {"list", {{Planted::kCopy, kOk}, {Planted::kBackupFile, Fails(102)}, {Planted::kBackupJournal, Fails(102)},
              {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk}, {Planted::kDatabaseJournal, kOk}}},
    {"query", {{Planted::kCopy, kOk}, {Planted::kBackupFile, Fails(102)}, {Planted::kBackupJournal, Fails(102)},
               {Planted::kStagingFile, kOk}, {Planted::kDatabase, Fails(106)},
               {Planted::kDatabaseJournal, Fails(106)}}},
    {"rollback", {{Planted::kCopy, Fails(118)}, {Planted::kBackupFile, Fails(118)},
                  {Planted::kBackupJournal, Fails(118)}, {Planted::kStagingFile, kOk},
                  {Planted::kDatabase, Fails(106)}, {Planted::kDatabaseJournal, Fails(106)}}},
    {"register", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                  {Planted::kStagingFile, kOk}, {Planted::kDatabase, Fails(106)},
                  {Planted::kDatabaseJournal, Fails(106)}}},
    {"open database", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                       {Planted::kStagingFile, kOk}, {Planted::kDatabase, Fails(106)},
                       {Planted::kDatabaseJournal, Fails(106)}}},
    {"mark status", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                     {Planted::kStagingFile, kOk}, {Planted::kDatabase, Fails(106)},
                     {Planted::kDatabaseJournal, Fails(106)}}},
    {"delete database", {{Planted::kCopy, kOk}, {Planted::kBackupFile, kOk}, {Planted::kBackupJournal, kOk},
                         {Planted::kStagingFile, kOk}, {Planted::kDatabase, kOk}, {Planted::kDatabaseJournal, kOk}}},
};

// The calls that delete or replace the folder or file the planted one lies in (and the staging
// object opened before the owner changed, which writes the file it holds): for them the planted
// file may go or change. Every other call leaves it as it was.
bool MayRemovePlanted(const std::string& call, Planted planted) {
  const bool inBkup = planted == Planted::kCopy || planted == Planted::kBackupFile ||
                      planted == Planted::kBackupJournal;
  const bool inDatabase = planted == Planted::kDatabase || planted == Planted::kDatabaseJournal;
  if (planted == Planted::kStagingFile) {
    return call == "create staging object" || call == "add with object" || call == "commit" ||
           call == "delete backup";
  }
  if (call == "commit" || call == "delete backup") return inBkup;
  if (call == "remove") return planted == Planted::kCopy;  // the copy of the name removed
  if (call == "delete database") return inDatabase;
  return false;
}

class PlantedFileTest : public security_test::UpdateRoadTest,
                        public testing::WithParamInterface<std::tuple<Planted, int>> {
 protected:
  void TearDown() override {
    if (staging_) MivraDeleteBkMdataObject(staging_);
  }

  std::wstring PathOf(Planted planted) const {
    switch (planted) {
      case Planted::kCopy: return BkupFolder() + L"\\a.dll";
      case Planted::kBackupFile: return CommittedFile();
      case Planted::kBackupJournal: return BkupFolder() + L"\\bkmdata.jnl";
      case Planted::kStagingFile: return StagingFile();
      case Planted::kDatabase: return BaseFolder() + L"\\rbmdata.dat";
      case Planted::kDatabaseJournal: return BaseFolder() + L"\\rbmdata.jnl";
    }
    return L"";
  }

  // The journals hold what a change cut off with its process would have left; the other files are
  // the library's own, only their owner changes.
  void Plant(Planted planted) {
    planted_ = PathOf(planted);
    if (planted == Planted::kBackupJournal || planted == Planted::kDatabaseJournal) {
      mivra_test::WriteFileBytes(planted_, "KVJRNL planted by another user");
    }
    ASSERT_TRUE(mivra_test::ChangeUnixOwner(planted_, kForeignUid));
    plantedBytes_ = mivra_test::ReadFileBytes(planted_);
  }

  std::wstring planted_;
  std::string plantedBytes_;
  MdataObject* staging_ = nullptr;
};

TEST_P(PlantedFileTest, TheExportNeverUsesAnotherUsersFile) {
  ASSERT_TRUE(mivra_test::MayChangeUnixOwner()) << "the tests run as root";
  const auto [planted, callIndex] = GetParam();
  const security_test::ExportCall& call = kCalls[callIndex];
  PrepareCommittedUpdate();
  StageBackupOf({L"b.dll"});
  if (call.needsStaging) {
    uint32_t code = kUntouched;
    staging_ = MivraCreateBkMdataObject(&code);
    ASSERT_NE(staging_, nullptr) << code;
  }
  Plant(planted);
  const std::string installedBefore = Installed(L"a.dll");

  const Outcome outcome = call.call(staging_, InstallDir());
  EXPECT_EQ(outcome, kExpected.at(call.name).at(planted)) << call.name;
  if (!MayRemovePlanted(call.name, planted)) {
    EXPECT_EQ(mivra_test::ReadFileBytes(planted_), plantedBytes_) << "the planted file is left as it was";
  }
  if (!outcome.ok) {
    EXPECT_EQ(Installed(L"a.dll"), installedBefore) << "nothing was restored";
  }
}

std::string CaseName(const testing::TestParamInfo<std::tuple<Planted, int>>& info) {
  return security_test::CaseNameOf(NameOf(std::get<0>(info.param)), std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(EveryPlantedFileEveryExport, PlantedFileTest,
                         testing::Combine(testing::Values(Planted::kCopy, Planted::kBackupFile,
                                                          Planted::kBackupJournal, Planted::kStagingFile,
                                                          Planted::kDatabase, Planted::kDatabaseJournal),
                                          testing::Range(0, static_cast<int>(std::size(kCalls)))),
                         CaseName);

// A copy of another user's is damage like any: the rollback marks the backup damaged, so that
// every later rollback refuses it at once, and restores nothing. A committed bkmdata.dat of
// another user's is damage as well, but the mark is not written into a file that is not the
// library's: every rollback finds the damage again.
class PlantedBackupTest : public security_test::UpdateRoadTest, public testing::WithParamInterface<bool> {};

TEST_P(PlantedBackupTest, ARollbackFindsAnotherUsersCopyOrBackupDamaged) {
  ASSERT_TRUE(mivra_test::MayChangeUnixOwner()) << "the tests run as root";
  const bool copy = GetParam();
  PrepareCommittedUpdate();
  const std::wstring planted = copy ? BkupFolder() + L"\\a.dll" : CommittedFile();
  ASSERT_TRUE(mivra_test::ChangeUnixOwner(planted, kForeignUid));
  const std::string backupBefore = mivra_test::ReadFileBytes(CommittedFile());
  ASSERT_EQ(mivra_test::Le32At(backupBefore, mivra_test::kBkStateFlagsAt), 0u) << "not marked damaged before";
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    uint32_t code = kUntouched;
    EXPECT_FALSE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code));
    EXPECT_EQ(code, 118u);
    EXPECT_EQ(Installed(L"a.dll"), "alpha v2");
  }
  const std::string backupAfter = mivra_test::ReadFileBytes(CommittedFile());
  if (copy) {
    EXPECT_EQ(mivra_test::Le32At(backupAfter, mivra_test::kBkStateFlagsAt), 1u) << "marked damaged";
    EXPECT_EQ(mivra_test::ReadFileBytes(planted), "alpha v1") << "the copy is left as it was";
  } else {
    EXPECT_EQ(backupAfter, backupBefore) << "another user's file is not written";
  }
}

INSTANTIATE_TEST_SUITE_P(CopyOrBackupFile, PlantedBackupTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "copy" : "bkmdata");
                         });

}  // namespace
