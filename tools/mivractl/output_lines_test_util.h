// Test-only: what the tests ask of the tool's printed output, one line at a time.
#ifndef MIVRA_TOOLS_MIVRACTL_OUTPUT_LINES_TEST_UTIL_H_
#define MIVRA_TOOLS_MIVRACTL_OUTPUT_LINES_TEST_UTIL_H_

#include <sstream>
#include <string>

namespace mivra_test {

// True when `text` holds `line` as a whole line.
inline bool HasLine(const std::string& text, const std::string& line) {
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (l == line) return true;
  }
  return false;
}

// True when some line of `text` begins with `start`.
inline bool HasLineStarting(const std::string& text, const std::string& start) {
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) {
    if (l.rfind(start, 0) == 0) return true;
  }
  return false;
}

}  // namespace mivra_test

#endif  // MIVRA_TOOLS_MIVRACTL_OUTPUT_LINES_TEST_UTIL_H_
