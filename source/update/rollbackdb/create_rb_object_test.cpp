// MivraCreateRBMdataObject: opens the database in place, creating an empty one when it is
// missing, and discards a file that fails validation.
#include <gtest/gtest.h>

#include <string>

#include "mivra.h"
#include "support/held_file.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"

namespace {

using rbmdata_test::kUntouched;

class CreateRBObjectTest : public rbmdata_test::RBExportTest {};

TEST_F(CreateRBObjectTest, CreatesAnEmptyDatabaseOrOpensTheOneThere) {
  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateRBMdataObject(&code);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(code, kUntouched);
  MivraDeleteRBMdataObject(object);
  EXPECT_EQ(ReadDb(), mivra_test::NewMetadataFile(mivra_test::kRBLayout));

  WriteDb(OneRecordDatabase());
  object = MivraCreateRBMdataObject(&code);
  ASSERT_NE(object, nullptr);
  MivraDeleteBkMdataObject(object);  // the same function under its other name
  EXPECT_EQ(code, kUntouched);
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

TEST_F(CreateRBObjectTest, RefusesWithoutErrorPointerOrWhenSwitchedOff) {
  EXPECT_EQ(MivraCreateRBMdataObject(nullptr), nullptr);
  EXPECT_FALSE(DbExists());

  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  uint32_t code = kUntouched;
  EXPECT_EQ(MivraCreateRBMdataObject(&code), nullptr);
  EXPECT_EQ(code, MIVRA_E_FEATURE_OFF);
  EXPECT_FALSE(DbExists());
}

struct InvalidFile {
  const char* what;
  std::string bytes;
};

std::string WithBytes(std::string file, size_t offset, const std::string& bytes) {
  file.replace(offset, bytes.size(), bytes);
  return file;
}

TEST_F(CreateRBObjectTest, InvalidFileIsDeletedAndTheNextOpenStartsEmpty) {
  const std::string sound = OneRecordDatabase();
  const InvalidFile kFiles[] = {
      {"wrong magic", WithBytes(sound, 5, "Q")},
      {"magic of the backup file", WithBytes(sound, 0, "KVBKUP")},
      {"record byte changed", WithBytes(sound, mivra_test::kRBAreaOffset + 100, "\x01")},
      {"stored CRC changed",
       WithBytes(sound, mivra_test::kCrcAt, std::string(1, static_cast<char>(sound[61] ^ 0x40)))},
      {"69 bytes", mivra_test::NewMetadataFile(mivra_test::kRBLayout).substr(0, 69)},
      {"85 bytes", mivra_test::NewMetadataFile(mivra_test::kRBLayout).substr(0, 85)},
      {"shorter than the header", std::string("KVRBUP")},
      {"empty", std::string()},
  };
  for (const InvalidFile& invalid : kFiles) {
    WriteDb(invalid.bytes);
    uint32_t code = kUntouched;
    EXPECT_EQ(MivraCreateRBMdataObject(&code), nullptr) << invalid.what;
    EXPECT_EQ(code, MIVRA_E_RBMDATA_OPEN) << invalid.what;
    EXPECT_FALSE(DbExists()) << invalid.what;

    MdataObject* object = MivraCreateRBMdataObject(&code);
    EXPECT_NE(object, nullptr) << invalid.what;
    MivraDeleteRBMdataObject(object);
    EXPECT_EQ(ReadDb(), mivra_test::NewMetadataFile(mivra_test::kRBLayout)) << invalid.what;
  }
}

// A database another process holds without sharing cannot be opened; nothing says it is damaged,
// so it stays.
TEST_F(CreateRBObjectTest, DatabaseThatCannotBeOpenedIsKept) {
  WriteDb(OneRecordDatabase());
  mivra_test::HeldFile held(DbPath(), GENERIC_READ, 0);
  ASSERT_TRUE(held.ok());
  uint32_t code = kUntouched;
  EXPECT_EQ(MivraCreateRBMdataObject(&code), nullptr);
  EXPECT_EQ(code, MIVRA_E_RBMDATA_OPEN);
  held.Release();
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

}  // namespace
