// Everything the library makes under its base folder is closed to others: read back from disk
// (under Wine, Everyone's rights are the "other" mode bits the DACL was mapped onto), no folder
// or file there lets Everyone write, delete or change its rights. A tree an earlier version left
// open is closed by the next update.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "mivra.h"
#include "security/update_road.h"
#include "support/access_rights.h"
#include "support/deferred_delete_probe.h"
#include "support/file_util.h"

namespace {

using mivra_test::EveryoneRightsOnDisk;
using mivra_test::kUntouched;
using mivra_test::kChangingRights;
using mivra_test::kReadExecute;
using mivra_test::Utf8;

class ClosedFoldersTest : public security_test::UpdateRoadTest {
 protected:
  void SetUp() override {
    UpdateRoadTest::SetUp();
    // Files take their rights from the folder on Windows and from the umask under Wine: a umask
    // that leaves new files open to everyone would show that, not the library.
    const std::wstring control = InstallPath(L"control.dat");
    mivra_test::WriteFileBytes(control, "x");
    if (EveryoneRightsOnDisk(control) & kChangingRights) GTEST_SKIP() << "new files are open to everyone here (umask)";
  }

  // Every folder and file under the base folder, each with what Everyone may do to it.
  void ExpectEverythingClosed(const char* when) const {
    SCOPED_TRACE(when);
    const std::map<std::wstring, std::string> tree = mivra_test::ReadTree(BaseFolder());
    ASSERT_FALSE(tree.empty());
    EXPECT_EQ(EveryoneRightsOnDisk(BaseFolder()), kReadExecute) << "the base folder";
    for (const auto& [relative, bytes] : tree) {
      const std::wstring path = BaseFolder() + L"\\" + relative;
      const ACCESS_MASK rights = EveryoneRightsOnDisk(path);
      EXPECT_EQ(rights & kChangingRights, 0u) << Utf8(relative) << " 0x" << std::hex << rights;
      if (relative.back() == L'\\') {
        EXPECT_EQ(rights, kReadExecute) << Utf8(relative);
      }
    }
  }
};

TEST_F(ClosedFoldersTest, EverythingAnUpdateMakesIsClosedToOthers) {
  Install(L"a.dll", "alpha v1");
  Install(L"b.dll", "bravo v1");

  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  ASSERT_NE(object, nullptr);
  for (const wchar_t* name : {L"a.dll", L"b.dll", L"new.dll"}) {
    ASSERT_TRUE(MivraAddToBackup(object, InstallPath(name).c_str(), &code)) << code;
  }
  ASSERT_TRUE(mivra_test::FileExists(TmpBkupFolder() + L"\\a.dll"));
  ExpectEverythingClosed("staging");
  MivraDeleteBkMdataObject(object);
  code = kUntouched;
  ASSERT_TRUE(MivraCommitBackup(&code)) << code;
  ASSERT_TRUE(MivraAddToBackup(nullptr, InstallPath(L"c.dll").c_str(), &code)) << code;

  Install(L"a.dll", "alpha v2");
  Install(L"new.dll", "added");
  Register({L"a.dll", L"new.dll"});
  MarkStatus(1);
  ExpectEverythingClosed("committed and registered");

  ASSERT_TRUE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code)) << code;
  EXPECT_EQ(Installed(L"a.dll"), "alpha v1");
  ExpectEverythingClosed("rolled back, with the database rebuilt");
}

TEST_F(ClosedFoldersTest, ATreeAnEarlierVersionLeftOpenIsClosedByTheNextUpdate) {
  Install(L"a.dll", "alpha v1");
  CommitBackupOf({L"a.dll"});
  Register({L"a.dll"});
  // What earlier versions left: the base folder and the backup folder open to everyone, and so
  // everything made in them.
  const std::wstring entries[] = {BaseFolder(), BkupFolder(), BkupFolder() + L"\\bkmdata.dat",
                                  BkupFolder() + L"\\a.dll", BaseFolder() + L"\\rbmdata.dat"};
  for (const std::wstring& path : entries) {
    ASSERT_TRUE(mivra_test::OpenToEveryone(path, path == BaseFolder() || path == BkupFolder()));
    ASSERT_EQ(EveryoneRightsOnDisk(path), mivra_test::kFullAccessReadBack) << "set up as meant";
  }

  StageBackupOf({L"a.dll"});
  ExpectEverythingClosed("after the next update's first calls");
  EXPECT_EQ(mivra_test::ReadFileBytes(BkupFolder() + L"\\a.dll"), "alpha v1") << "closed, not changed";
}

}  // namespace
