// The error tables of the README and of the SDK's README are the library's list, row for row.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "error_names.h"

namespace mivra::ctl {
namespace {

TEST(ErrorTableReadme, EveryRowIsTheListsEntryInOrder) {
  std::string expected;
  for (const ErrorName& entry : ErrorNames()) {
    expected += "| " + std::to_string(entry.code) + " | `" + entry.name + "` | " + entry.meaning + " |\n";
  }
  for (const char* path : {MIVRA_README, MIVRA_SDK_README}) {
    std::ifstream readme(path);
    ASSERT_TRUE(readme) << path;
    const std::regex row(R"(^\| \d+ \| `MIVRA_E_.*)");
    std::string found;
    for (std::string line; std::getline(readme, line);) {
      if (std::regex_match(line, row)) found += line + "\n";
    }
    EXPECT_EQ(found, expected) << path << ": its error table, as the list in include/mivra_errors.h gives it:\n"
                               << expected;
  }
}

}  // namespace
}  // namespace mivra::ctl
