#include "update/manifest/component_file_names.h"

#include <string>
#include <vector>

#include "support/file_util.h"
#include "update/frame/platform_calls.h"
#include "update/manifest/manifest_folder_test_util.h"
#include "update/manifest/manifest_test_files.h"

namespace mivra {
namespace {

using mivra_test::BuildComponentList;
using mivra_test::BuildUpdateConfig;
using mivra_test::ConfigRecord;
using mivra_test::ListEntry;
using Names = std::vector<std::string>;

std::vector<std::wstring> g_opened;

int RecordingOpen(const wchar_t* path, int flags, int mode) {
  g_opened.push_back(path);
  return RealPlatformCalls().wopen(path, flags, mode);
}

class ComponentFileNamesTest : public mivra_test::ManifestFolderTest {
 protected:
  void SetUp() override {
    ManifestFolderTest::SetUp();
    g_opened.clear();
  }

  void WriteConfig(const std::vector<std::string>& records) { Write(L"updtconf.dat", BuildUpdateConfig(records)); }

  void WriteList(const wchar_t* name, const std::vector<ListEntry>& entries) {
    Write(name, BuildComponentList(entries));
  }

  // The folder without its trailing backslash.
  std::wstring Bare() const { return Folder().substr(0, Folder().size() - 1); }

  // Collects from `directory` into a sequence that already holds one name; `config` receives how
  // reading updtconf.dat went.
  int Collect(const std::wstring& directory, Names* names, UpdateConfigStatus* config) {
    names->assign({"before"});
    *config = UpdateConfigStatus{UpdateConfigStep::kInsert, 99, 99};
    return CollectComponentFileNames(names, directory.c_str(), config);
  }
};

TEST_F(ComponentFileNamesTest, DirectoryWithOrWithoutTrailingBackslash) {
  WriteConfig({ConfigRecord(0x2A, 1)});
  WriteList(L"0000002a_compns.lst", {{1, "prdcore.dll"}});
  Platform().wopen = RecordingOpen;
  struct Case {
    std::wstring directory;
    std::wstring listPath;
  };
  const Case cases[] = {
      {Bare(), Bare() + L"\\0000002a_compns.lst"},
      {Folder(), Folder() + L"\\0000002a_compns.lst"},
  };
  for (const Case& c : cases) {
    g_opened.clear();
    Names names;
    UpdateConfigStatus config;
    ASSERT_EQ(Collect(c.directory, &names, &config), 1);
    EXPECT_TRUE(config.ok());
    EXPECT_EQ(names, (Names{"before", "prdcore.dll"}));
    EXPECT_EQ(g_opened, (std::vector<std::wstring>{Folder() + L"updtconf.dat", c.listPath}));
  }
}

TEST_F(ComponentFileNamesTest, CollectsIncludedNamesOfEnabledComponentsInOrder) {
  WriteConfig({ConfigRecord(0xB, 1), ConfigRecord(0x1, 0), ConfigRecord(0xA, 1), ConfigRecord(0x2, 2),
               ConfigRecord(0xC, 1), ConfigRecord(0xD, 1), ConfigRecord(0xB, 1)});
  WriteList(L"0000000b_compns.lst", {{0, "first-excluded.dll"}, {1, "b1.dll"}, {5, "shared.dll"}});
  WriteList(L"00000001_compns.lst", {{1, "disabled0.dll"}});
  WriteList(L"0000000a_compns.lst", {{1, "a1.dll"}, {1, "shared.dll"}});
  WriteList(L"00000002_compns.lst", {{1, "disabled2.dll"}});
  WriteList(L"0000000c_compns.lst", {});  // 80 bytes, no entries
  // 0000000d has no list file.
  Names names;
  UpdateConfigStatus config;
  ASSERT_EQ(Collect(Folder(), &names, &config), 1);
  EXPECT_TRUE(config.ok());
  // The repeated component 0xB is read once.
  EXPECT_EQ(names, (Names{"before", "b1.dll", "shared.dll", "a1.dll", "shared.dll"}));
}

TEST_F(ComponentFileNamesTest, AnInvalidListFailsTheWholeCollection) {
  const std::string good = BuildComponentList({{1, "good.dll"}});
  std::string company = good;
  company[6 + 12] ^= 0x20;
  // Mended: a name that does not end within its length fails the list instead of running on.
  const std::string unterminated = BuildComponentList({{1, "open.dll", false}, {1, "next.dll"}});
  const std::string tooLong = BuildComponentList({{1, std::string(260, 'n')}});
  for (const std::string& bad : {company, unterminated, tooLong}) {
    WriteConfig({ConfigRecord(1, 1), ConfigRecord(2, 1)});
    Write(L"00000001_compns.lst", good);
    Write(L"00000002_compns.lst", bad);
    Names names;
    UpdateConfigStatus config;
    EXPECT_EQ(Collect(Folder(), &names, &config), 0);
    EXPECT_TRUE(config.ok());
    EXPECT_EQ(names, Names{"before"});
  }
}

TEST_F(ComponentFileNamesTest, FailsWithTheReadersStatusWhenTheConfigurationIsInvalid) {
  WriteList(L"00000001_compns.lst", {{1, "good.dll"}});
  Names names;
  UpdateConfigStatus config;
  EXPECT_EQ(Collect(Folder(), &names, &config), 0);
  EXPECT_EQ(UpdateConfigMessage(config), "_topen failed, (errno: 2)");
  EXPECT_EQ(names, Names{"before"});

  Write(L"updtconf.dat", "UPCN");
  EXPECT_EQ(Collect(Folder(), &names, &config), 0);
  EXPECT_EQ(UpdateConfigMessage(config), "read failed");
}

TEST_F(ComponentFileNamesTest, FailsWhenAPathDoesNotFit) {
  WriteConfig({ConfigRecord(1, 1)});
  Names names;
  UpdateConfigStatus config;
  // 247 characters and "\updtconf.dat" fill the 260-character buffer exactly, with no room left.
  EXPECT_EQ(Collect(std::wstring(L"C:\\") + std::wstring(244, L'd'), &names, &config), 0);
  EXPECT_EQ(names, Names{"before"});
  EXPECT_TRUE(config.ok());

  // A real folder of 243 characters: its configuration path fits, the list path (seven characters
  // longer) does not. The list cannot be checked, so nothing is exempted.
  const std::wstring deep = Folder() + std::wstring(243 - Folder().size(), L'd');
  mivra_test::MakeFolder(deep);
  mivra_test::WriteFileBytes(deep + L"\\updtconf.dat", BuildUpdateConfig({ConfigRecord(1, 1)}));
  ASSERT_TRUE(mivra_test::FileExists(deep + L"\\updtconf.dat"));
  EXPECT_EQ(Collect(deep, &names, &config), 0);
  EXPECT_EQ(names, Names{"before"});
  EXPECT_TRUE(config.ok());
}

TEST_F(ComponentFileNamesTest, RejectsNullArguments) {
  Names names;
  EXPECT_EQ(CollectComponentFileNames(nullptr, Folder().c_str()), 0);
  EXPECT_EQ(CollectComponentFileNames(&names, nullptr), 0);
}

}  // namespace
}  // namespace mivra
