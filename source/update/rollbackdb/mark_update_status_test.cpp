// MivraMarkUpdateStatus: the status byte of the state block, and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "mivra.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"

namespace {

using rbmdata_test::kUntouched;

class MarkUpdateStatusTest : public rbmdata_test::RBExportTest {};

TEST_F(MarkUpdateStatusTest, StatusOtherThanOneOrTwoFailsWithoutCodeAndTouchesNothing) {
  for (uint8_t status : {0, 3, 255}) {
    uint32_t code = kUntouched;
    EXPECT_FALSE(MivraMarkUpdateStatus(status, &code)) << int{status};
    EXPECT_EQ(code, kUntouched);
    EXPECT_FALSE(DbExists()) << int{status};
  }
  WriteDb(OneRecordDatabase());
  for (uint8_t status : {0, 3}) {
    uint32_t code = kUntouched;
    EXPECT_FALSE(MivraMarkUpdateStatus(status, &code)) << int{status};
    EXPECT_EQ(code, kUntouched);
    EXPECT_EQ(ReadDb(), OneRecordDatabase()) << int{status};
  }
  EXPECT_FALSE(MivraMarkUpdateStatus(1, nullptr));
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

TEST_F(MarkUpdateStatusTest, MissingDatabaseIsCreatedHoldingTheStatusAndNoRecords) {
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraMarkUpdateStatus(1, &code));
  EXPECT_EQ(code, kUntouched);
  std::string expected = mivra_test::NewMetadataFile(mivra_test::kRBLayout);
  expected[mivra_test::kRBStatusAt] = 1;
  EXPECT_EQ(ReadDb(), expected);
}

TEST_F(MarkUpdateStatusTest, StatusChangesOnlyItsByteAndTheFileStaysValid) {
  std::string file = OneRecordDatabase();
  file[mivra_test::kRBStatusAt] = 1;
  mivra_test::PutLe32(file, mivra_test::kRBRollbackCountAt, 7);
  WriteDb(file);

  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraMarkUpdateStatus(2, &code));
  file[mivra_test::kRBStatusAt] = 2;
  EXPECT_EQ(ReadDb(), file);

  // The file still opens: the state block lies outside the CRC.
  MdataObject* object = MivraCreateRBMdataObject(&code);
  EXPECT_NE(object, nullptr);
  MivraDeleteRBMdataObject(object);
  EXPECT_EQ(code, kUntouched);
}

TEST_F(MarkUpdateStatusTest, SwitchedOffOrInvalidDatabaseFailsWithItsCode) {
  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraMarkUpdateStatus(1, &code));
  EXPECT_EQ(code, MIVRA_E_FEATURE_OFF);
  EXPECT_FALSE(DbExists());

  WriteSwitchFile(nullptr);
  WriteDb("KVRBUP but not a database");
  code = kUntouched;
  EXPECT_FALSE(MivraMarkUpdateStatus(1, &code));
  EXPECT_EQ(code, MIVRA_E_RBMDATA_OPEN);
  EXPECT_FALSE(DbExists());
}

}  // namespace
