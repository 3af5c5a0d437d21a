// Fixture of the manifest reader tests: an empty folder for the files under test, and read faults
// injected through the platform layer.
#ifndef MIVRA_UPDATE_MANIFEST_MANIFEST_FOLDER_TEST_UTIL_H_
#define MIVRA_UPDATE_MANIFEST_MANIFEST_FOLDER_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <string>

namespace mivra_test {

class ManifestFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test folder, ending with a backslash.
  std::wstring Folder() const;
  std::wstring PathOf(const std::wstring& name) const { return Folder() + name; }
  void Write(const std::wstring& name, const std::string& bytes) const;

  // The platform layer's read returns 0 at the `n`th call from now (counted from 1).
  void FailNthRead(int n);
};

}  // namespace mivra_test

#endif  // MIVRA_UPDATE_MANIFEST_MANIFEST_FOLDER_TEST_UTIL_H_
