// Only files of the install directory are backed up and registered, judged by the folder a path
// names whether or not the file exists: a file named elsewhere and recorded as absent under its
// bare name would have the next rollback delete the install directory's file of that name.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mivra.h"
#include "security/update_road.h"
#include "support/deferred_delete_probe.h"
#include "support/file_util.h"

namespace {

using security_test::kUntouched;

std::wstring ShortForm(const std::wstring& path) {
  wchar_t shortPath[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(shortPath) : std::wstring();
}

class InstallDirPathsTest : public security_test::UpdateRoadTest {};

// The product lives in its install directory; "C:\Other\Y.DLL" does not exist, and the install
// directory holds a Y.DLL of its own.
TEST_F(InstallDirPathsTest, AMissingFileElsewhereIsRefusedAndTheRollbackKeepsTheRealOne) {
  Install(L"Y.DLL", "the product's Y.DLL");
  Install(L"a.dll", "alpha v1");
  const std::wstring elsewhere = L"C:\\Other\\Y.DLL";
  ASSERT_FALSE(mivra_test::FileExists(elsewhere));

  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  ASSERT_NE(object, nullptr);
  EXPECT_FALSE(MivraAddToBackup(object, elsewhere.c_str(), &code));
  EXPECT_EQ(code, uint32_t{MIVRA_E_NOT_IN_INSTALL_DIR});
  code = kUntouched;
  ASSERT_TRUE(MivraAddToBackup(object, InstallPath(L"a.dll").c_str(), &code)) << code;
  MivraDeleteBkMdataObject(object);
  code = kUntouched;
  ASSERT_TRUE(MivraCommitBackup(&code)) << code;
  code = kUntouched;
  EXPECT_FALSE(MivraAddToBackup(nullptr, elsewhere.c_str(), &code)) << "nor straight into the committed backup";
  EXPECT_EQ(code, uint32_t{MIVRA_E_NOT_IN_INSTALL_DIR});
  EXPECT_EQ(mivra_test::ListedBackupNames(), std::vector<std::wstring>{L"a.dll"});

  code = kUntouched;
  const uint8_t digest[16] = {};
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, elsewhere.c_str(), 0, digest, &code));
  EXPECT_EQ(code, uint32_t{MIVRA_E_NOT_IN_INSTALL_DIR});

  Install(L"a.dll", "alpha v2");
  MarkStatus(1);
  code = kUntouched;
  ASSERT_TRUE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code)) << code;
  EXPECT_EQ(Installed(L"a.dll"), "alpha v1");
  EXPECT_EQ(Installed(L"Y.DLL"), "the product's Y.DLL");
}

TEST_F(InstallDirPathsTest, TheInstallDirectoryInAnySpellingIsAcceptedForAFileTheUpdateAdds) {
  const std::wstring shortDir = ShortForm(InstallDir());
  ASSERT_FALSE(shortDir.empty());
  std::wstring upper = InstallDir();
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  ASSERT_NE(object, nullptr);
  for (const std::wstring& path : {shortDir + L"NEW1.DLL", upper + L"NEW2.DLL", InstallDir() + L"\\NEW3.DLL"}) {
    EXPECT_TRUE(MivraAddToBackup(object, path.c_str(), &code)) << mivra_test::Utf8(path) << " " << code;
  }
  for (const std::wstring& path : {InstallPath(L"sub\\NEW4.DLL"), std::wstring(L"NEW5\\NEW5.DLL")}) {
    code = kUntouched;
    EXPECT_FALSE(MivraAddToBackup(object, path.c_str(), &code)) << mivra_test::Utf8(path);
    EXPECT_EQ(code, uint32_t{MIVRA_E_NOT_IN_INSTALL_DIR});
  }
  MivraDeleteBkMdataObject(object);
  code = kUntouched;
  ASSERT_TRUE(MivraCommitBackup(&code)) << code;
  EXPECT_EQ(mivra_test::ListedBackupNames(), (std::vector<std::wstring>{L"NEW1.DLL", L"NEW2.DLL", L"NEW3.DLL"}));
}

}  // namespace
