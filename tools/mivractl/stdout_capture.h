// The library's update configuration reader writes its failures to standard output, which the
// library and the tool share. Around such calls the tool takes that text into its own report, so
// that its output keeps its shape (and --json stays one JSON document).
#ifndef MIVRA_TOOLS_MIVRACTL_STDOUT_CAPTURE_H_
#define MIVRA_TOOLS_MIVRACTL_STDOUT_CAPTURE_H_

#include <string>

namespace mivra::ctl {

class StdoutCapture {
 public:
  // Redirects standard output to a temporary file; when that is not possible, output stays where
  // it was and Finish returns nothing.
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  // Restores standard output and returns what was written meanwhile, lines joined by "; ".
  std::string Finish();

 private:
  int temp_ = -1;
  int saved_ = -1;
};

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_STDOUT_CAPTURE_H_
