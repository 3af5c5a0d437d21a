// Standard output taken into a string for a while: file descriptor 1 goes to a temporary file until
// Finish. The library writes there in one place (the update configuration reader's failure line);
// mivractl takes that line into its own report, so that --json stays one JSON document, and a test
// checks the line byte for byte.
#ifndef MIVRA_TESTS_SUPPORT_STDOUT_CAPTURE_H_
#define MIVRA_TESTS_SUPPORT_STDOUT_CAPTURE_H_

#include <string>

namespace mivra_test {

class StdoutCapture {
 public:
  // Redirects standard output to a temporary file; when that is not possible, output stays where
  // it was and Finish returns nothing.
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Restores standard output and returns the bytes written meanwhile.
  std::string Finish();

 private:
  int temp_ = -1;
  int saved_ = -1;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_STDOUT_CAPTURE_H_
