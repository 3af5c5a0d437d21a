#include "update/manifest/component_list_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "update/manifest/manifest_test_files.h"

namespace mivra {
namespace {

using mivra_test::Bytes;
using mivra_test::BuildComponentList;
using mivra_test::ListEntry;
using mivra_test::PutLe32;
using mivra_test::ResealComponentList;

bool Parse(const std::string& file, ComponentEntries* entries) {
  return ParseComponentList(Bytes(file), file.size(), entries);
}

std::vector<std::string> Names(const ComponentEntries& entries) {
  std::vector<std::string> names;
  for (uint32_t i = 0; i < entries.count(); ++i) names.push_back(entries.Name(i));
  return names;
}

uint8_t RotateLeft3(uint8_t b) { return static_cast<uint8_t>((b << 3) | (b >> 5)); }

TEST(ComponentListParser, DecodesEntriesIntoSlots) {
  const std::string file = BuildComponentList({{1, "prdcore.dll"}, {0, "skipped.exe", true, 5}, {7, "x"}});
  ComponentEntries entries;
  ASSERT_TRUE(Parse(file, &entries));
  ASSERT_EQ(entries.count(), 3u);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"prdcore.dll", "skipped.exe", "x"}));
  EXPECT_EQ(entries.Included(0), 1u);
  EXPECT_EQ(entries.Included(1), 0u);
  EXPECT_EQ(entries.Included(2), 7u);

  // The fixed part is kept exactly as decoded, and the name field is zero behind the name.
  const uint8_t* slot = entries.slot(1);
  for (size_t i = 4; i < 28; ++i) EXPECT_EQ(slot[i], 0xA0 + i) << i;
  EXPECT_EQ(slot[kComponentNameLengthOffset], 12 + 5);
  for (size_t i = 32; i < 40; ++i) EXPECT_EQ(slot[i], 0xB0 + i) << i;
  for (size_t i = kComponentEntryFixedSize + 11; i < kComponentSlotSize; ++i) EXPECT_EQ(slot[i], 0) << i;
}

TEST(ComponentListParser, BodyBytesAreStoredRotatedLeftByThree) {
  std::string file = BuildComponentList({});
  PutLe32(&file, 76, 1);
  std::string plain(kComponentEntryFixedSize, '\0');
  plain[0] = 0x01;
  plain[kComponentNameLengthOffset] = 2;
  plain += std::string("\xE1\0", 2);
  for (char c : plain) file.push_back(static_cast<char>(RotateLeft3(static_cast<uint8_t>(c))));
  ASSERT_EQ(static_cast<uint8_t>(file[80]), 0x08);
  ResealComponentList(&file);
  ComponentEntries entries;
  ASSERT_TRUE(Parse(file, &entries));
  EXPECT_EQ(entries.Included(0), 1u);
  EXPECT_STREQ(entries.Name(0), "\xE1");
}

TEST(ComponentListParser, HeaderOnlyListWithNoEntriesIsValid) {
  const std::string file = BuildComponentList({});
  ASSERT_EQ(file.size(), 80u);
  ComponentEntries entries(std::make_unique<uint8_t[]>(kComponentSlotSize), 1);
  ASSERT_TRUE(Parse(file, &entries));
  EXPECT_EQ(entries.count(), 0u);
  EXPECT_EQ(entries.slots(), nullptr);
}

TEST(ComponentListParser, RejectsDamagedHeaderOrChecksum) {
  const std::string valid = BuildComponentList({{1, "a.dll"}, {1, "b.dll"}});
  // One bit changed at each checked place.
  const struct {
    const char* what;
    size_t offset;
  } cases[] = {
      {"magic", 3},          {"first version byte", 4}, {"second version byte", 5}, {"company first", 6},
      {"company last", 37},  {"checksum", 56},          {"body byte", 90},
  };
  for (const auto& c : cases) {
    std::string file = valid;
    file[c.offset] ^= 0x01;
    ComponentEntries entries;
    EXPECT_FALSE(Parse(file, &entries)) << c.what;
  }
  ComponentEntries entries;
  EXPECT_FALSE(Parse(valid.substr(0, 79), &entries));
  EXPECT_FALSE(ParseComponentList(nullptr, 0, &entries));
}

TEST(ComponentListParser, BytesAfterTheLastEntryCountOnlyTowardsTheChecksum) {
  std::string file = BuildComponentList({{1, "a.dll"}});
  file += "trailing";
  ComponentEntries entries;
  EXPECT_FALSE(Parse(file, &entries));
  ResealComponentList(&file);
  ASSERT_TRUE(Parse(file, &entries));
  EXPECT_EQ(Names(entries), std::vector<std::string>{"a.dll"});
}

// Lists whose entries do not fit the file or the slot: the read fails as a whole.
TEST(ComponentListParser, RejectsEntriesThatOverrunTheFileOrTheSlot) {
  const std::string name259(259, 'n');
  struct Case {
    const char* what;
    std::vector<ListEntry> entries;
    bool valid;
  };
  const Case cases[] = {
      {"name of 259 characters", {{1, name259}}, true},
      {"name of 260 characters", {{1, name259 + "n"}}, false},
      {"name of 260 characters, NUL within a long length", {{1, name259 + "n", true, 40}}, false},
      {"name without its NUL", {{1, "a.dll", false}, {1, "b.dll"}}, false},
      {"empty name field", {{1, "", false}}, false},
      {"empty name", {{1, ""}}, true},
  };
  for (const Case& c : cases) {
    ComponentEntries entries;
    EXPECT_EQ(Parse(BuildComponentList(c.entries), &entries), c.valid) << c.what;
  }

  // Each entry of this list takes 40 + 6 bytes.
  const std::string valid = BuildComponentList({{1, "a.dll"}, {1, "b.dll"}});
  struct Damaged {
    const char* what;
    std::string file;
  };
  std::vector<Damaged> damaged = {
      {"name cut by the end of the file", valid.substr(0, valid.size() - 1)},
      {"fixed part cut by the end of the file", valid.substr(0, 80 + 46 + 39)},
      {"count above the entries present", valid},
      {"count whose slots cannot be sized", valid},
      {"name length that would wrap the offset", valid},
  };
  PutLe32(&damaged[2].file, 76, 3);
  PutLe32(&damaged[3].file, 76, 0xFFFFFFFFu);
  for (size_t i = 0; i < 4; ++i) damaged[4].file[80 + 46 + 28 + i] = static_cast<char>(0xFF);
  for (Damaged& d : damaged) {
    ResealComponentList(&d.file);
    ComponentEntries entries;
    EXPECT_FALSE(Parse(d.file, &entries)) << d.what;
  }
}

TEST(ComponentListParser, FailureLeavesTheCallersEntriesAsTheyWere) {
  ComponentEntries entries;
  ASSERT_TRUE(Parse(BuildComponentList({{1, "kept.dll"}}), &entries));
  std::string bad = BuildComponentList({{1, "other.dll"}});
  bad[6] = 'X';
  EXPECT_FALSE(Parse(bad, &entries));
  EXPECT_EQ(Names(entries), std::vector<std::string>{"kept.dll"});
}

}  // namespace
}  // namespace mivra
