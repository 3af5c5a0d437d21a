// What every export answers while the install directory cannot be resolved, and that the tables of
// the README and of the SDK's README say the same. Each run is a process of its own: a library that resolved the directory
// once keeps it for the life of its process.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>

#include "support/caller_process.h"
#include "support/file_util.h"
#include "support/product_test.h"

namespace {

// The rows of a README's table of calls with the install directory unresolved.
std::string ReadmeRows(const char* path) {
  std::ifstream readme(path);
  EXPECT_TRUE(readme) << path;
  const std::regex row(R"(^\| `Mivra[^`]*` \| [^|]+ \| (none|\d+) \|$)");
  std::string rows;
  for (std::string line; std::getline(readme, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (std::regex_match(line, row)) rows += line + "\n";
  }
  return rows;
}

class UnresolvedInstallDirTest : public mivra_test::ProductTest {};

TEST_F(UnresolvedInstallDirTest, EveryExportAnswersAsTheReadmeSays) {
  const std::string readme = ReadmeRows(MIVRA_README);
  EXPECT_EQ(ReadmeRows(MIVRA_SDK_README), readme) << "the SDK's README is to say what the README says";
  struct RegistryCase {
    const char* what;
    void (*damage)();
  };
  const RegistryCase kCases[] = {
      {"no App Paths key", mivra_test::DeleteAppPathsKey},
      {"no Path value", mivra_test::DeleteAppPathsValue},
      {"an empty Path value", [] { mivra_test::SetAppPathsValue(L""); }},
  };
  for (const RegistryCase& c : kCases) {
    SCOPED_TRACE(c.what);
    SetUp();
    const std::wstring file = InstallPath(L"product.dll");
    const std::wstring report = InstallPath(L"calls.txt");
    mivra_test::WriteFileBytes(file, "product");
    c.damage();
    mivra_test::CallerProcess caller(L"every-export \"" + report + L"\" \"" + file + L"\"");
    ASSERT_EQ(caller.Finish(), 0u);
    EXPECT_EQ(mivra_test::ReadFileBytes(report), readme)
        << "the README's table under \"With the install directory unresolved\" is to say what the calls answer";
    // Nothing was made under Common Files.
    EXPECT_FALSE(mivra_test::FileExists(BaseFolder()));
  }
}

}  // namespace
