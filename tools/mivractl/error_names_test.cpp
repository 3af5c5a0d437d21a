#include "error_names.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

namespace mivra::ctl {
namespace {

TEST(ErrorNames, NamesEveryCodeTheLibraryWrites) {
  std::set<std::string> names;
  for (uint32_t code = 101; code <= 131; ++code) {
    const ErrorName* entry = FindErrorName(code);
    if (code == 122 || code == 123) {
      EXPECT_EQ(entry, nullptr) << code;
      continue;
    }
    ASSERT_NE(entry, nullptr) << code;
    EXPECT_EQ(std::string(entry->name).rfind("MIVRA_E_", 0), 0u) << code;
    EXPECT_GT(std::string(entry->meaning).size(), 10u) << code;
    EXPECT_TRUE(names.insert(entry->name).second) << entry->name;
  }
  EXPECT_EQ(FindErrorName(100), nullptr);
  EXPECT_EQ(FindErrorName(132), nullptr);
}

TEST(ErrorNames, FailuresNameTheCodeOrSayThatThereIsNone) {
  EXPECT_EQ(DescribeError(114), "error 114 MIVRA_E_NOT_IN_BACKUP: the name is not recorded in the committed backup");
  EXPECT_EQ(DescribeError(7), "error 7: not a code of the library");
  std::ostringstream err;
  EXPECT_EQ(ReportLibraryFailure("remove", "removing X.DLL", 114, err), 1);
  EXPECT_EQ(err.str(), "mivractl remove: removing X.DLL failed: " + DescribeError(114) + "\n");
  err.str("");
  ReportLibraryFailure("mark-status", "storing the update status", 0, err);
  EXPECT_EQ(err.str(), "mivractl mark-status: storing the update status failed: without an error code\n");
}

}  // namespace
}  // namespace mivra::ctl
