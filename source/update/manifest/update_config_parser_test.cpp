#include "update/manifest/update_config_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "update/manifest/manifest_test_files.h"

namespace mivra {
namespace {

using mivra_test::Bytes;
using mivra_test::BuildUpdateConfig;
using mivra_test::ConfigRecord;
using mivra_test::OneZeroRecord;
using mivra_test::PutLe32;

// Parses `file` and returns the message a failure would print, or "" on success.
std::string ParseMessage(const std::string& file, cLinkList* chain) {
  return UpdateConfigMessage(ParseUpdateConfig(Bytes(file), file.size(), chain));
}

std::vector<uint32_t> Ids(const cLinkList& chain) {
  std::vector<uint32_t> ids;
  for (const UpdateConfigNode* node = chain.head(); node; node = node->next) ids.push_back(node->RecordId());
  return ids;
}

TEST(UpdateConfigParser, FilesShorterThanTheHeaderFailAtTheHeaderRead) {
  const std::string valid = BuildUpdateConfig({ConfigRecord(1, 1)});
  for (size_t size = 0; size < kUpdateConfigHeaderSize; ++size) {
    cLinkList chain;
    EXPECT_EQ(ParseMessage(valid.substr(0, size), &chain), "read failed") << size;
  }
}

TEST(UpdateConfigParser, RejectsDamagedHeadersWithTheirStepMessage) {
  const std::string valid = BuildUpdateConfig({ConfigRecord(1, 1), ConfigRecord(2, 1)});
  struct Case {
    const char* what;
    std::string file;
    const char* message;
  };
  std::string badMagic = valid;
  badMagic[3] = 'M';
  std::string countZero = valid;
  PutLe32(&countZero, 8, 0);
  std::string count257 = valid;
  PutLe32(&count257, 8, 257);
  std::string countMax = valid;
  PutLe32(&countMax, 8, 0xFFFFFFFFu);
  std::string countOne = valid;
  PutLe32(&countOne, 8, 1);
  const Case cases[] = {
      {"magic", badMagic, "memcmp failed"},
      {"count 0", countZero, "Invalid UpdateConfigFileHeader.dwRecordCount(0)"},
      {"count 257", count257, "Invalid UpdateConfigFileHeader.dwRecordCount(257)"},
      {"count shown signed", countMax, "Invalid UpdateConfigFileHeader.dwRecordCount(-1)"},
      {"count below the records present", countOne, "Inconsistent dat file"},
      {"one byte longer", valid + '\0', "Inconsistent dat file"},
      {"one byte shorter", valid.substr(0, valid.size() - 1), "Inconsistent dat file"},
  };
  for (const Case& c : cases) {
    cLinkList chain;
    EXPECT_EQ(ParseMessage(c.file, &chain), c.message) << c.what;
    EXPECT_EQ(chain.count(), 0u) << c.what;
  }
}

TEST(UpdateConfigParser, ChecksumIsTheRegisterWithoutFinalComplement) {
  cLinkList chain;
  EXPECT_EQ(ParseMessage(OneZeroRecord(894047001u), &chain), "");
  ASSERT_EQ(chain.count(), 1u);
  EXPECT_EQ(chain.head()->RecordId(), 0u);
  EXPECT_EQ(chain.head()->recordIndex, 0u);

  // The common CRC-32 of the same bytes is refused, computed value first.
  cLinkList refused;
  EXPECT_EQ(ParseMessage(OneZeroRecord(3400920294u), &refused),
            "Checksum mismatched (CalculatedCheckSum:894047001) != (ConfigFileHeaderCheckSum:3400920294)");
  EXPECT_EQ(refused.count(), 0u);
}

TEST(UpdateConfigParser, ChecksumCoversEveryStoredRecordByte) {
  std::string file = BuildUpdateConfig({ConfigRecord(1, 1), ConfigRecord(2, 1)});
  file[file.size() - 1] ^= 0x01;
  cLinkList chain;
  EXPECT_EQ(ParseMessage(file, &chain).rfind("Checksum mismatched", 0), 0u);
}

TEST(UpdateConfigParser, RecordBytesAreStoredWithNibblesExchanged) {
  std::string file = OneZeroRecord(0);
  file[12] = 0x10;  // recordId 1
  file[16] = 0x10;  // enabled 1
  file[12 + 539] = 0x2B;
  mivra_test::ResealUpdateConfig(&file);
  cLinkList chain;
  ASSERT_EQ(ParseMessage(file, &chain), "");
  ASSERT_EQ(chain.count(), 1u);
  EXPECT_EQ(chain.head()->RecordId(), 1u);
  EXPECT_EQ(chain.head()->Enabled(), 1u);
  EXPECT_EQ(chain.head()->record[539], 0xB2);
}

TEST(UpdateConfigParser, KeepsTheFirstOfDuplicateIdsInFileOrder) {
  const std::string file = BuildUpdateConfig({ConfigRecord(7, 1), ConfigRecord(9, 0), ConfigRecord(7, 2)});
  cLinkList chain;
  ASSERT_EQ(ParseMessage(file, &chain), "");
  ASSERT_EQ(chain.count(), 2u);
  const UpdateConfigNode* first = chain.head();
  EXPECT_EQ(first->RecordId(), 7u);
  EXPECT_EQ(first->recordIndex, 0u);
  EXPECT_EQ(first->Enabled(), 1u);
  ASSERT_NE(first->next, nullptr);
  EXPECT_EQ(first->next->RecordId(), 9u);
  EXPECT_EQ(first->next->recordIndex, 1u);
  EXPECT_EQ(first->next->next, nullptr);
}

TEST(UpdateConfigParser, AcceptsTheLargestFile) {
  std::vector<std::string> records;
  for (uint32_t id = 0; id < kUpdateConfigMaxRecords; ++id) records.push_back(ConfigRecord(1000 + id, 1));
  const std::string file = BuildUpdateConfig(records);
  ASSERT_EQ(file.size(), 138252u);
  cLinkList chain;
  ASSERT_EQ(ParseMessage(file, &chain), "");
  EXPECT_EQ(chain.count(), 256u);
  std::vector<uint32_t> expected;
  for (uint32_t id = 0; id < kUpdateConfigMaxRecords; ++id) expected.push_back(1000 + id);
  EXPECT_EQ(Ids(chain), expected);
}

TEST(UpdateConfigParser, FailureLeavesTheCallersChainAsItWas) {
  cLinkList chain;
  ASSERT_EQ(ParseMessage(BuildUpdateConfig({ConfigRecord(3, 1)}), &chain), "");
  std::string bad = BuildUpdateConfig({ConfigRecord(4, 1), ConfigRecord(5, 1)});
  bad[20] ^= 0x40;
  EXPECT_NE(ParseMessage(bad, &chain), "");
  EXPECT_EQ(Ids(chain), std::vector<uint32_t>{3});
}

TEST(UpdateConfigParser, PeekShowsTheHeaderFieldsWithoutCheckingThem) {
  std::string file = BuildUpdateConfig({ConfigRecord(1, 1)});
  file[0] = 'X';
  PutLe32(&file, 8, 300);
  const UpdateConfigHeaderFields fields = PeekUpdateConfigHeader(Bytes(file));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(fields.magic), 4), "XPCN");
  EXPECT_EQ(fields.recordCount, 300u);
  EXPECT_EQ(fields.checksum, mivra_test::GetLe32(file, 4));
}

TEST(UpdateConfigMessageText, FillsEveryPlaceholder) {
  struct Case {
    UpdateConfigStatus status;
    const char* message;
  };
  const Case cases[] = {
      {{UpdateConfigStep::kOk, 0, 0}, ""},
      {{UpdateConfigStep::kOpen, 2, 0}, "_topen failed, (errno: 2)"},
      {{UpdateConfigStep::kHeaderRead, 0, 0}, "read failed"},
      {{UpdateConfigStep::kMagic, 0, 0}, "memcmp failed"},
      {{UpdateConfigStep::kRecordCount, 300, 0}, "Invalid UpdateConfigFileHeader.dwRecordCount(300)"},
      {{UpdateConfigStep::kLength, 0, 0}, "Inconsistent dat file"},
      {{UpdateConfigStep::kAllocation, 0, 0}, "Unable to allocate memory block"},
      {{UpdateConfigStep::kAreaRead, 0, 0}, "read failed"},
      {{UpdateConfigStep::kChecksum, 0xFFFFFFFFu, 1},
       "Checksum mismatched (CalculatedCheckSum:4294967295) != (ConfigFileHeaderCheckSum:1)"},
      {{UpdateConfigStep::kRecordRead, 17, 0}, "read failed for RecordIndex:(17)"},
      {{UpdateConfigStep::kInsert, 255, 0}, "cLinkList.Insert failed for RecordId:(255)"},
  };
  for (const Case& c : cases) EXPECT_EQ(UpdateConfigMessage(c.status), c.message);
}

TEST(ConfigLinkList, InsertReportsTheHeldIndexOfADuplicate) {
  cLinkList chain;
  UpdateConfigNode node{};
  uint32_t existing = 0;
  EXPECT_EQ(chain.Insert(nullptr, &existing), 0);
  EXPECT_EQ(chain.Insert(&node, nullptr), 0);
  EXPECT_EQ(chain.count(), 0u);

  const std::string record = ConfigRecord(42, 1);
  std::copy(record.begin(), record.end(), node.record);
  node.recordIndex = 5;
  node.next = &node;  // ignored
  ASSERT_EQ(chain.Insert(&node, &existing), 1);
  EXPECT_EQ(existing, kNoExistingRecord);
  node.recordIndex = 8;
  ASSERT_EQ(chain.Insert(&node, &existing), 1);
  EXPECT_EQ(existing, 5u);
  ASSERT_EQ(chain.count(), 1u);
  EXPECT_NE(chain.head(), &node);
  EXPECT_EQ(chain.head()->next, nullptr);
  EXPECT_EQ(chain.head()->recordIndex, 5u);

  cLinkList moved = std::move(chain);
  EXPECT_EQ(chain.count(), 0u);
  EXPECT_EQ(chain.head(), nullptr);
  EXPECT_EQ(moved.count(), 1u);
}

}  // namespace
}  // namespace mivra
