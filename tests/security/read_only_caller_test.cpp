// A caller that may only read the library's folders, as a standard user's program may: every
// platform call that would create, write, rename or delete is denied (the exports are linked into
// the test so that the platform table can deny them). The query and the list still answer, from
// files opened for reading; every export that writes fails with its code and changes nothing; an
// interrupted change is left for the next caller that can write; a missing database reads as empty.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "mivra.h"
#include "security/update_road.h"
#include "support/file_util.h"
#include "support/read_only_caller.h"
#include "update/store/journal_format.h"
#include "update/store/metadata_journal.h"

// The DLL exports this name for the same function through its .def; linked in, it needs saying.
extern "C" void MivraDeleteRBMdataObject(MdataObject* object) { MivraDeleteBkMdataObject(object); }

namespace {

using security_test::Fails;
using security_test::kCalls;
using security_test::kUntouched;
using security_test::Outcome;

constexpr uint32_t kQueryFlags[] = {MIVRA_ROLLBACK_INTERRUPTED, MIVRA_ROLLBACK_CHANGED,
                                    MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED};

struct Answer {
  bool ok;
  uint8_t needed;
  uint32_t code;
  bool operator==(const Answer&) const = default;
};
void PrintTo(const Answer& answer, std::ostream* os) {
  *os << (answer.ok ? "answered " : "failed ") << int{answer.needed} << " code " << answer.code;
}

Answer Query(uint32_t flags) {
  Answer answer = {false, 0xEE, kUntouched};
  answer.ok = MivraRollback(flags, &answer.needed, &answer.code);
  return answer;
}

class ReadOnlyCallerTest : public security_test::UpdateRoadTest {
 protected:
  void SetUp() override {
    UpdateRoadTest::SetUp();
    PrepareCommittedUpdate();
    StageBackupOf({L"b.dll"});
  }
  std::wstring Database() const { return BaseFolder() + L"\\rbmdata.dat"; }
  std::wstring DatabaseJournal() const { return BaseFolder() + L"\\rbmdata.jnl"; }
};

TEST_F(ReadOnlyCallerTest, TheQueryAndTheListAnswerAsTheyDoForAWriter) {
  std::map<uint32_t, Answer> writer;
  for (uint32_t flags : kQueryFlags) writer[flags] = Query(flags);
  ASSERT_EQ(writer[MIVRA_ROLLBACK_INTERRUPTED], (Answer{true, 1, kUntouched})) << "the update is under way";
  const std::vector<std::wstring> listed = mivra_test::ListedBackupNames();
  ASSERT_EQ(listed, (std::vector<std::wstring>{L"a.dll", L"n.dll"}));
  const auto folders = mivra_test::ReadTree(BaseFolder());
  const auto installed = mivra_test::ReadTree(InstallDir());

  mivra_test::ReadOnlyCaller caller;
  for (uint32_t flags : kQueryFlags) {
    SCOPED_TRACE(flags);
    EXPECT_EQ(Query(flags), writer[flags]);
  }
  EXPECT_EQ(mivra_test::ListedBackupNames(), listed);
  EXPECT_GT(caller.denied(), 0u) << "the opens for writing were tried and denied";
  EXPECT_EQ(mivra_test::ReadTree(BaseFolder()), folders);
  EXPECT_EQ(mivra_test::ReadTree(InstallDir()), installed);
}

// Before the first update there is no rbmdata.dat, and the reader may not start the empty one:
// its query answers what the empty database says, as the writer's does, and leaves no file.
TEST_F(ReadOnlyCallerTest, WithoutADatabaseTheQueryAnswersAsAnEmptyOneWould) {
  ASSERT_TRUE(DeleteFileW(Database().c_str()));
  std::map<uint32_t, Answer> reader;
  {
    mivra_test::ReadOnlyCaller caller;
    for (uint32_t flags : kQueryFlags) reader[flags] = Query(flags);
  }
  EXPECT_FALSE(mivra_test::FileExists(Database())) << "the reader made nothing";
  for (uint32_t flags : kQueryFlags) {
    SCOPED_TRACE(flags);
    EXPECT_EQ(reader[flags], (Answer{true, 0, kUntouched}));
    EXPECT_EQ(Query(flags), reader[flags]) << "the writer, which starts the empty database";
    EXPECT_TRUE(mivra_test::FileExists(Database()));
  }
}

// Each export that writes fails where it first needs to write: 102 and 106 where bkmdata.dat or
// rbmdata.dat is opened, 108 where the staging folder is to be deleted, 116 where the commit
// renames, 126 where the database is deleted (MivraDeleteBackup reports nothing: it has no
// result). The folders and the install directory are left as they were, names and bytes.
TEST_F(ReadOnlyCallerTest, EveryExportThatWritesFailsWithItsCodeAndChangesNothing) {
  const std::map<std::string, Outcome> kExpected = {
      {"create staging object", Fails(108)}, {"add", Fails(102)},           {"remove", Fails(102)},
      {"delete backup", security_test::kOk},         {"commit", Fails(116)},        {"rollback", Fails(106)},
      {"register", Fails(106)},              {"open database", Fails(106)}, {"mark status", Fails(106)},
      {"delete database", Fails(126)},
  };
  for (const auto& [name, expected] : kExpected) {
    SCOPED_TRACE(name);
    const auto folders = mivra_test::ReadTree(BaseFolder());
    const auto installed = mivra_test::ReadTree(InstallDir());
    mivra_test::ReadOnlyCaller caller;
    EXPECT_EQ(security_test::CallNamed(name.c_str()).call(nullptr, InstallDir()), expected);
    EXPECT_EQ(mivra_test::ReadTree(BaseFolder()), folders);
    EXPECT_EQ(mivra_test::ReadTree(InstallDir()), installed);
  }
}

// rbmdata.dat torn by a change cut off with its process, its journal beside it: the reader cannot
// put it back, so its query fails with the open's code and leaves both as they are; the next
// caller that can write puts the file back and answers.
TEST_F(ReadOnlyCallerTest, AnInterruptedChangeIsLeftForTheNextCallerThatCanWrite) {
  const std::string database = mivra_test::ReadFileBytes(Database());
  mivra::JournalImage image;
  image.oldLength = database.size();
  image.ranges.push_back({0, std::vector<uint8_t>(database.begin(), database.begin() + 86)});
  const std::vector<uint8_t> journal = mivra::EncodeJournal(image);
  mivra_test::WriteFileBytes(DatabaseJournal(), std::string(journal.begin(), journal.end()));
  const std::string torn = std::string("XXXXXX") + database.substr(6);
  mivra_test::WriteFileBytes(Database(), torn);
  {
    mivra_test::ReadOnlyCaller caller;
    EXPECT_EQ(Query(MIVRA_ROLLBACK_INTERRUPTED), (Answer{false, 0xEE, 106}));
    EXPECT_EQ(caller.deletionsTried(), 0u);
  }
  EXPECT_EQ(mivra_test::ReadFileBytes(Database()), torn);
  EXPECT_TRUE(mivra_test::FileExists(DatabaseJournal()));

  EXPECT_EQ(Query(MIVRA_ROLLBACK_INTERRUPTED), (Answer{true, 1, kUntouched}));
  EXPECT_EQ(mivra_test::ReadFileBytes(Database()), database);
  EXPECT_TRUE(mivra::JournalHoldsNothing(Database().c_str()));
}

}  // namespace
