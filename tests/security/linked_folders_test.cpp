// Each of the library's folders replaced by a link to a folder elsewhere (as a standard user could
// do while the folders stood open), then every export that touches it called: the call fails
// with the code of the step that needed the folder, or does its work without the folder, and
// the folder the link points to is left exactly as it was, names and bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "mivra.h"
#include "security/update_road.h"
#include "support/file_util.h"
#include "support/unix_file_ops.h"

namespace {

using security_test::kUntouched;

enum class Linked { kBase, kBkup, kTmpBkup, kDelBkup, kDelBkupWithoutBkup };

const char* NameOf(Linked linked) {
  switch (linked) {
    case Linked::kBase: return "base";
    case Linked::kBkup: return "bkup";
    case Linked::kTmpBkup: return "tmpbkup";
    case Linked::kDelBkup: return "delbkup";
    case Linked::kDelBkupWithoutBkup: return "delbkup_without_bkup";
  }
  return "?";
}

struct Outcome {
  bool ok;
  uint32_t code;
  bool operator==(const Outcome&) const = default;
};
void PrintTo(const Outcome& outcome, std::ostream* os) {
  *os << (outcome.ok ? "ok" : "failed");
  if (outcome.code != kUntouched) *os << " with " << outcome.code;
}

constexpr Outcome kOk = {true, kUntouched};
constexpr Outcome Fails(uint32_t code) { return {false, code}; }

// One export call, given the staging object made before the folder was linked when it needs one.
struct ExportCall {
  const char* name;
  std::function<Outcome(MdataObject* staging, const std::wstring& installDir)> call;
  bool needsStaging = false;
};

// Taken after the call, never beside it in one argument list: the order of arguments is not fixed.
Outcome Result(bool ok, uint32_t code) { return {ok, code}; }

const ExportCall kCalls[] = {
    {"create staging object", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       MdataObject* object = MivraCreateBkMdataObject(&code);
       MivraDeleteBkMdataObject(object);
       return Result(object != nullptr, code);
     }},
    {"add with object", [](MdataObject* staging, const std::wstring& dir) {
       uint32_t code = kUntouched;
       const bool ok = MivraAddToBackup(staging, (dir + L"b.dll").c_str(), &code);
       return Result(ok, code);
     },
     true},
    {"add", [](MdataObject*, const std::wstring& dir) {
       uint32_t code = kUntouched;
       const bool ok = MivraAddToBackup(nullptr, (dir + L"b.dll").c_str(), &code);
       return Result(ok, code);
     }},
    {"remove", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraRemoveFromBackup(L"a.dll", &code);
       return Result(ok, code);
     }},
    {"delete backup", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       MivraDeleteBackup(&code);
       return Result(code == kUntouched, code);
     }},
    {"commit", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraCommitBackup(&code);
       return Result(ok, code);
     }},
    {"list", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       wchar_t* list = nullptr;
       uint32_t count = 0;
       const bool ok = MivraGetBkMdataFileList(&list, &count, &code);
       MivraFreeBkMdataFileList(list);
       return Result(ok, code);
     }},
    {"query", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       uint8_t needed = 0;
       const bool ok = MivraRollback(MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED, &needed, &code);
       return Result(ok, code);
     }},
    {"rollback", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code);
       return Result(ok, code);
     }},
    {"register", [](MdataObject*, const std::wstring& dir) {
       uint32_t code = kUntouched;
       const uint8_t digest[16] = {};
       const bool ok = MivraUpdateRollBackDB(nullptr, (dir + L"b.dll").c_str(), 8, digest, &code);
       return Result(ok, code);
     }},
    {"open database", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       MdataObject* object = MivraCreateRBMdataObject(&code);
       MivraDeleteRBMdataObject(object);
       return Result(object != nullptr, code);
     }},
    {"mark status", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraMarkUpdateStatus(2, &code);
       return Result(ok, code);
     }},
    {"delete database", [](MdataObject*, const std::wstring&) {
       uint32_t code = kUntouched;
       const bool ok = MivraDeleteRollBackDB(&code);
       return Result(ok, code);
     }},
};

// Base folder linked: whatever needs it is refused where it is resolved (103), or where the
// metadata file in it is opened (102 for bkmdata.dat, 106 for rbmdata.dat).
// bkup linked: refused where it is resolved (103), opened (102), verified (119) or renamed (116).
// tmpbkup linked: refused where it is resolved (103) or renamed (116).
// delbkup linked: only the commit needs it, and refuses to delete it (108). Without bkup, beside a
// staged b.dll, the folders look like a commit cut off between its renames: the next call's
// recovery puts the staged backup in place, as it would any, and leaves the link where it is
// (moved back as the old backup, it would have moved the folder it points to). The calls then see
// a committed backup of b.dll alone (113: b.dll is recorded; 114: a.dll is not).
const std::map<std::string, std::map<Linked, Outcome>> kExpected = {
    {"create staging object", {{Linked::kBase, Fails(103)}, {Linked::kBkup, kOk}, {Linked::kTmpBkup, Fails(103)},
                               {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"add with object", {{Linked::kBase, Fails(103)}, {Linked::kBkup, kOk}, {Linked::kTmpBkup, Fails(103)},
                         {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"add", {{Linked::kBase, Fails(102)}, {Linked::kBkup, Fails(102)}, {Linked::kTmpBkup, kOk},
             {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, Fails(113)}}},
    {"remove", {{Linked::kBase, Fails(103)}, {Linked::kBkup, Fails(103)}, {Linked::kTmpBkup, kOk},
                {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, Fails(114)}}},
    {"delete backup", {{Linked::kBase, Fails(103)}, {Linked::kBkup, Fails(103)}, {Linked::kTmpBkup, kOk},
                       {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"commit", {{Linked::kBase, Fails(103)}, {Linked::kBkup, Fails(116)}, {Linked::kTmpBkup, Fails(116)},
                {Linked::kDelBkup, Fails(108)}, {Linked::kDelBkupWithoutBkup, Fails(108)}}},
    {"list", {{Linked::kBase, Fails(103)}, {Linked::kBkup, Fails(103)}, {Linked::kTmpBkup, kOk},
              {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"query", {{Linked::kBase, Fails(106)}, {Linked::kBkup, Fails(103)}, {Linked::kTmpBkup, kOk},
               {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"rollback", {{Linked::kBase, Fails(106)}, {Linked::kBkup, Fails(119)}, {Linked::kTmpBkup, kOk},
                  {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"register", {{Linked::kBase, Fails(106)}, {Linked::kBkup, kOk}, {Linked::kTmpBkup, kOk},
                  {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"open database", {{Linked::kBase, Fails(106)}, {Linked::kBkup, kOk}, {Linked::kTmpBkup, kOk},
                       {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"mark status", {{Linked::kBase, Fails(106)}, {Linked::kBkup, kOk}, {Linked::kTmpBkup, kOk},
                     {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
    {"delete database", {{Linked::kBase, Fails(103)}, {Linked::kBkup, kOk}, {Linked::kTmpBkup, kOk},
                         {Linked::kDelBkup, kOk}, {Linked::kDelBkupWithoutBkup, kOk}}},
};

class LinkedFolderTest : public security_test::UpdateRoadTest,
                         public testing::WithParamInterface<std::tuple<Linked, int>> {
 protected:
  void SetUp() override {
    UpdateRoadTest::SetUp();
    sentinel_ = InstallDir() + L"..\\mivra-security-sentinel";
    mivra_test::RemoveTree(sentinel_);
    mivra_test::MakeFolder(sentinel_ + L"\\bkup");
    mivra_test::WriteFileBytes(sentinel_ + L"\\bkup\\bkmdata.dat", "not the library's");
    mivra_test::WriteFileBytes(sentinel_ + L"\\a.dll", "someone else's a.dll");
    mivra_test::WriteFileBytes(sentinel_ + L"\\rbmdata.dat", "not the library's");
    before_ = mivra_test::ReadTree(sentinel_);
  }
  void TearDown() override {
    if (staging_) MivraDeleteBkMdataObject(staging_);
    if (!linkedFolder_.empty()) mivra_test::RemoveUnixSymlink(linkedFolder_);
    mivra_test::RemoveTree(sentinel_);
  }

  // A committed backup of a.dll and the absent n.dll, a.dll registered and updated with the update
  // under way, and b.dll staged and not yet committed, or a staging object open.
  void PrepareUpdate(Linked linked, bool withStagingObject) {
    Install(L"a.dll", "alpha v1");
    Install(L"b.dll", "bravo v1");
    CommitBackupOf({L"a.dll", L"n.dll"});
    Install(L"a.dll", "alpha v2");
    Register({L"a.dll"});
    MarkStatus(1);
    if (linked == Linked::kDelBkupWithoutBkup) {
      uint32_t code = kUntouched;
      MivraDeleteBackup(&code);
      ASSERT_EQ(code, kUntouched);
    }
    StageBackupOf({L"b.dll"});
    if (!withStagingObject) return;
    uint32_t code = kUntouched;
    staging_ = MivraCreateBkMdataObject(&code);
    ASSERT_NE(staging_, nullptr);
  }

  std::wstring FolderOf(Linked linked) const {
    switch (linked) {
      case Linked::kBase: return BaseFolder();
      case Linked::kBkup: return BkupFolder();
      case Linked::kTmpBkup: return TmpBkupFolder();
      case Linked::kDelBkup:
      case Linked::kDelBkupWithoutBkup: return BaseFolder() + L"\\delbkup";
    }
    return L"";
  }

  // The folder moves aside, and a link to the sentinel takes its name.
  void ReplaceByLink(Linked linked) {
    const std::wstring folder = FolderOf(linked);
    if (mivra_test::FileExists(folder)) {
      ASSERT_TRUE(MoveFileW(folder.c_str(), (folder + L".real").c_str()));
    }
    ASSERT_TRUE(mivra_test::MakeUnixSymlink(sentinel_, folder));
    linkedFolder_ = folder;
    ASSERT_EQ(GetFileAttributesW(folder.c_str()), DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY});
  }

  std::wstring sentinel_;
  std::map<std::wstring, std::string> before_;
  std::wstring linkedFolder_;
  MdataObject* staging_ = nullptr;
};

TEST_P(LinkedFolderTest, TheExportRefusesOrGoesOnWithoutTouchingWhatTheLinkPointsTo) {
  const auto [linked, callIndex] = GetParam();
  const ExportCall& call = kCalls[callIndex];
  PrepareUpdate(linked, call.needsStaging);
  ReplaceByLink(linked);

  const Outcome outcome = call.call(staging_, InstallDir());
  EXPECT_EQ(outcome, kExpected.at(call.name).at(linked)) << call.name;
  EXPECT_EQ(mivra_test::ReadTree(sentinel_), before_) << "the folder the link points to changed";
  EXPECT_EQ(GetFileAttributesW(linkedFolder_.c_str()), DWORD{FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY})
      << "the link itself is still there";
}

std::string CaseName(const testing::TestParamInfo<std::tuple<Linked, int>>& info) {
  std::string name = std::string(NameOf(std::get<0>(info.param))) + "_" + kCalls[std::get<1>(info.param)].name;
  for (char& c : name) {
    if (c == ' ') c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFolderEveryExport, LinkedFolderTest,
                         testing::Combine(testing::Values(Linked::kBase, Linked::kBkup, Linked::kTmpBkup,
                                                          Linked::kDelBkup, Linked::kDelBkupWithoutBkup),
                                          testing::Range(0, static_cast<int>(std::size(kCalls)))),
                         CaseName);

}  // namespace
