#include <gtest/gtest.h>

#include "mivra.h"
#include "support/file_util.h"
#include "support/product_test.h"

namespace {

class FeatureSwitchTest : public mivra_test::ProductTest {};

struct SwitchCase {
  const char* ini;  // null: no section.ini
  bool off;
};

const SwitchCase kSwitchCases[] = {
    {nullptr, false},
    {"[UPDATE]\r\nMIVRA=0\r\n", true},
    {"[UPDATE]\r\nMIVRA=1\r\n", false},
    {"[UPDATE]\r\nMIVRA=7\r\n", false},
    {"[MIVRA]\r\nUPDATE=0\r\n", false},
    {"[UPDATE]\r\nOTHER=0\r\n", false},
};

TEST_F(FeatureSwitchTest, IsFeatureOffReadsUpdateSectionOfSwitchFile) {
  for (const SwitchCase& c : kSwitchCases) {
    WriteSwitchFile(c.ini);
    EXPECT_EQ(MivraIsFeatureOFF(), c.off) << (c.ini ? c.ini : "(no file)");
  }
}

}  // namespace
