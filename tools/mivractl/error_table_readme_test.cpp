// The README's table of error codes is the library's list, row for row.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "error_names.h"

namespace mivra::ctl {
namespace {

TEST(ErrorTableReadme, EveryRowIsTheListsEntryInOrder) {
  std::ifstream readme(MIVRA_README);
  ASSERT_TRUE(readme) << MIVRA_README;
  const std::regex row(R"(^\| \d+ \| `MIVRA_E_.*)");
  std::vector<std::string> rows;
  for (std::string line; std::getline(readme, line);) {
    if (std::regex_match(line, row)) rows.push_back(line);
  }
  std::string expected;
  std::string found;
  for (const ErrorName& entry : ErrorNames()) {
    expected += "| " + std::to_string(entry.code) + " | `" + entry.name + "` | " + entry.meaning + " |\n";
  }
  for (const std::string& line : rows) found += line + "\n";
  EXPECT_EQ(found, expected) << "the README's error table, as the list in include/mivra_errors.h gives it:\n"
                             << expected;
}

}  // namespace
}  // namespace mivra::ctl
