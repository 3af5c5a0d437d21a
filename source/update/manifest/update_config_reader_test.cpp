#include "update/manifest/update_config_reader.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/stdout_capture.h"
#include "update/manifest/manifest_folder_test_util.h"
#include "update/manifest/manifest_test_files.h"
#include "update/manifest/update_config_parser.h"

namespace mivra {
namespace {

using mivra_test::BuildUpdateConfig;
using mivra_test::ConfigRecord;
using mivra_test::OneZeroRecord;
using mivra_test::PutLe32;

class UpdateConfigReaderTest : public mivra_test::ManifestFolderTest {
 protected:
  std::wstring ConfigPath() const { return PathOf(L"updtconf.dat"); }

  // Reads the configuration into `chain`.
  UpdateConfigStatus Read(cLinkList* chain) const { return ReadUpdateConfig(ConfigPath().c_str(), chain); }

  // Expects the read of `bytes` to fail with `message`, leaving the chain alone and the file
  // closed.
  void ExpectFailure(const std::string& bytes, const std::string& message, const char* what) {
    Write(L"updtconf.dat", bytes);
    cLinkList chain;
    ASSERT_EQ(chain.Insert(Node(ConfigRecord(99, 1)).get(), &existing_), 1);
    const UpdateConfigStatus status = Read(&chain);
    EXPECT_FALSE(status.ok()) << what;
    EXPECT_EQ(UpdateConfigMessage(status), message) << what;
    ASSERT_EQ(chain.count(), 1u) << what;
    EXPECT_EQ(chain.head()->RecordId(), 99u) << what;
    EXPECT_TRUE(DeleteFileW(ConfigPath().c_str())) << what << ": the file was left open";
  }

  static std::unique_ptr<UpdateConfigNode> Node(const std::string& record) {
    auto node = std::make_unique<UpdateConfigNode>();
    std::copy(record.begin(), record.end(), node->record);
    return node;
  }

  uint32_t existing_ = 0;
};

TEST_F(UpdateConfigReaderTest, ReportsEachInvalidFileWithItsStep) {
  const std::string valid = BuildUpdateConfig({ConfigRecord(1, 1), ConfigRecord(2, 1)});
  for (size_t size : {0, 1, 4, 11}) ExpectFailure(valid.substr(0, size), "read failed", "short header");

  std::string badMagic = valid;
  badMagic[0] = 'u';
  ExpectFailure(badMagic, "memcmp failed", "magic");
  std::string count = valid;
  PutLe32(&count, 8, 0);
  ExpectFailure(count, "Invalid UpdateConfigFileHeader.dwRecordCount(0)", "count 0");
  PutLe32(&count, 8, 257);
  ExpectFailure(count, "Invalid UpdateConfigFileHeader.dwRecordCount(257)", "count 257");
  ExpectFailure(valid + 'x', "Inconsistent dat file", "one byte longer");
  ExpectFailure(valid.substr(0, valid.size() - 1), "Inconsistent dat file", "one byte shorter");
  ExpectFailure(OneZeroRecord(3400920294u),
                "Checksum mismatched (CalculatedCheckSum:894047001) != (ConfigFileHeaderCheckSum:3400920294)",
                "common CRC-32 stored");
}

TEST_F(UpdateConfigReaderTest, MissingFileReportsTheOpenError) {
  cLinkList chain;
  const UpdateConfigStatus status = Read(&chain);
  EXPECT_EQ(status.step, UpdateConfigStep::kOpen);
  EXPECT_EQ(status.value, 2u) << "errno ENOENT";
  EXPECT_EQ(chain.head(), nullptr);
  EXPECT_EQ(ReadUpdateConfig(nullptr, &chain).step, UpdateConfigStep::kOpen);
  EXPECT_EQ(ReadUpdateConfig(ConfigPath().c_str(), nullptr).step, UpdateConfigStep::kOpen);
}

// The library's one line on standard output, byte for byte; nothing for a read that succeeded.
TEST_F(UpdateConfigReaderTest, FailureIsPrintedAsOneLineOnStandardOutput) {
  const struct {
    UpdateConfigStatus status;
    const char* printed;
  } kCases[] = {
      {{UpdateConfigStep::kOpen, 2}, "ReadUpdateConfigData: _topen failed, (errno: 2)\n"},
      {{UpdateConfigStep::kRecordRead, 3}, "ReadUpdateConfigData: read failed for RecordIndex:(3)\n"},
      {{}, ""},
  };
  for (const auto& c : kCases) {
    mivra_test::StdoutCapture capture;
    PrintUpdateConfigFailure(c.status);
    EXPECT_EQ(capture.Finish(), c.printed);
  }
}

TEST_F(UpdateConfigReaderTest, ReportsFailedReadsOfTheAreaAndOfARecord) {
  Write(L"updtconf.dat", BuildUpdateConfig({ConfigRecord(1, 1), ConfigRecord(2, 1), ConfigRecord(3, 1)}));
  struct Case {
    int failingRead;  // 1: header, 2: record area, 3 and on: the records one by one
    const char* message;
  };
  const Case cases[] = {
      {1, "read failed"},
      {2, "read failed"},
      {3, "read failed for RecordIndex:(0)"},
      {5, "read failed for RecordIndex:(2)"},
  };
  for (const Case& c : cases) {
    FailNthRead(c.failingRead);
    cLinkList chain;
    const UpdateConfigStatus status = Read(&chain);
    EXPECT_FALSE(status.ok()) << c.failingRead;
    EXPECT_EQ(UpdateConfigMessage(status), c.message) << c.failingRead;
    EXPECT_EQ(chain.count(), 0u);
  }
}

TEST_F(UpdateConfigReaderTest, ReadsTheZeroRecordTestVector) {
  Write(L"updtconf.dat", OneZeroRecord(894047001u));
  cLinkList chain;
  EXPECT_TRUE(Read(&chain).ok());
  ASSERT_EQ(chain.count(), 1u);
  EXPECT_EQ(chain.head()->RecordId(), 0u);
  EXPECT_EQ(chain.head()->Enabled(), 0u);
  EXPECT_TRUE(DeleteFileW(ConfigPath().c_str()));
}

TEST_F(UpdateConfigReaderTest, DecodesNibbleSwappedRecords) {
  std::string file = OneZeroRecord(0);
  file[12] = 0x10;
  file[16] = 0x10;
  mivra_test::ResealUpdateConfig(&file);
  Write(L"updtconf.dat", file);
  cLinkList chain;
  ASSERT_TRUE(Read(&chain).ok());
  ASSERT_EQ(chain.count(), 1u);
  EXPECT_EQ(chain.head()->RecordId(), 1u);
  EXPECT_EQ(chain.head()->Enabled(), 1u);
}

TEST_F(UpdateConfigReaderTest, DropsLaterDuplicatesKeepingFileOrder) {
  Write(L"updtconf.dat", BuildUpdateConfig({ConfigRecord(7, 1), ConfigRecord(9, 1), ConfigRecord(7, 2)}));
  cLinkList chain;
  ASSERT_TRUE(Read(&chain).ok());
  ASSERT_EQ(chain.count(), 2u);
  EXPECT_EQ(chain.head()->RecordId(), 7u);
  EXPECT_EQ(chain.head()->recordIndex, 0u);
  EXPECT_EQ(chain.head()->Enabled(), 1u);
  EXPECT_EQ(chain.head()->next->RecordId(), 9u);
  EXPECT_EQ(chain.head()->next->recordIndex, 1u);
}

TEST_F(UpdateConfigReaderTest, AcceptsTwoHundredFiftySixRecords) {
  std::vector<std::string> records;
  for (uint32_t i = 0; i < 256; ++i) records.push_back(ConfigRecord(i, 1));
  Write(L"updtconf.dat", BuildUpdateConfig(records));
  cLinkList chain;
  EXPECT_TRUE(Read(&chain).ok());
  EXPECT_EQ(chain.count(), 256u);
}

}  // namespace
}  // namespace mivra
