#include "update/manifest/component_list_reader.h"

#include <windows.h>

#include <memory>
#include <string>

#include "update/manifest/manifest_folder_test_util.h"
#include "update/manifest/manifest_test_files.h"

namespace mivra {
namespace {

using mivra_test::BuildComponentList;

class ComponentListReaderTest : public mivra_test::ManifestFolderTest {
 protected:
  std::wstring ListPath() const { return PathOf(L"0000002a_compns.lst"); }
};

TEST_F(ComponentListReaderTest, ReadsTheEntriesOfAListFile) {
  Write(L"0000002a_compns.lst", BuildComponentList({{1, "prdcore.dll"}, {0, "prdui.dll"}}));
  ComponentEntries entries;
  uint32_t count = 0;
  ASSERT_EQ(ReadComponentList(ListPath().c_str(), &entries, &count), 1);
  ASSERT_EQ(count, 2u);
  ASSERT_EQ(entries.count(), 2u);
  EXPECT_STREQ(entries.Name(0), "prdcore.dll");
  EXPECT_EQ(entries.Included(0), 1u);
  EXPECT_STREQ(entries.Name(1), "prdui.dll");
  EXPECT_EQ(entries.Included(1), 0u);
  EXPECT_TRUE(DeleteFileW(ListPath().c_str())) << "the list was left open";
}

TEST_F(ComponentListReaderTest, HeaderOnlyListHasNoEntries) {
  Write(L"0000002a_compns.lst", BuildComponentList({}));
  ComponentEntries entries;
  uint32_t count = 5;
  ASSERT_EQ(ReadComponentList(ListPath().c_str(), &entries, &count), 1);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(entries.slots(), nullptr);
}

TEST_F(ComponentListReaderTest, FailsWithoutTouchingTheOutputs) {
  const std::string valid = BuildComponentList({{1, "a.dll"}});
  std::string company = valid;
  company[20] = 'x';
  struct Case {
    const char* what;
    const std::string* bytes;  // null: no file
    int failingRead;           // 0: none
  };
  const std::string shortFile = valid.substr(0, 79);
  const Case cases[] = {
      {"missing file", nullptr, 0},
      {"79 bytes", &shortFile, 0},
      {"company string", &company, 0},
      {"read error", &valid, 1},
  };
  for (const Case& c : cases) {
    if (c.bytes) Write(L"0000002a_compns.lst", *c.bytes);
    if (c.failingRead) FailNthRead(c.failingRead);
    ComponentEntries entries(std::make_unique<uint8_t[]>(kComponentSlotSize), 1);
    uint32_t count = 77;
    EXPECT_EQ(ReadComponentList(ListPath().c_str(), &entries, &count), 0) << c.what;
    EXPECT_EQ(count, 77u) << c.what;
    EXPECT_EQ(entries.count(), 1u) << c.what;
    if (c.bytes) {
      EXPECT_TRUE(DeleteFileW(ListPath().c_str())) << c.what << ": the list was left open";
    }
  }

  Write(L"0000002a_compns.lst", valid);
  ComponentEntries entries;
  uint32_t count = 0;
  EXPECT_EQ(ReadComponentList(nullptr, &entries, &count), 0);
  EXPECT_EQ(ReadComponentList(ListPath().c_str(), nullptr, &count), 0);
  EXPECT_EQ(ReadComponentList(ListPath().c_str(), &entries, nullptr), 0);
}

}  // namespace
}  // namespace mivra
