// Fixture of the manifest reader tests: an empty folder for the files under test, the captured
// standard output of the code under test, and read faults injected through the platform layer.
#ifndef MIVRA_UPDATE_MANIFEST_MANIFEST_FOLDER_TEST_H_
#define MIVRA_UPDATE_MANIFEST_MANIFEST_FOLDER_TEST_H_

#include <gtest/gtest.h>

#include <string>

namespace mivra_test {

// Sends file descriptor 1 to a file until Finish, which returns what was written.
class StdoutCapture {
 public:
  explicit StdoutCapture(const std::wstring& file);
  ~StdoutCapture() { Restore(); }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string Finish();

 private:
  void Restore();

  std::wstring file_;
  int saved_ = -1;
};

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

  // Runs `call` with standard output captured; returns what it printed.
  template <typename Call>
  std::string Printed(Call call) {
    StdoutCapture capture(CaptureFile());
    call();
    return capture.Finish();
  }

 private:
  std::wstring CaptureFile() const;
};

}  // namespace mivra_test

#endif  // MIVRA_UPDATE_MANIFEST_MANIFEST_FOLDER_TEST_H_
