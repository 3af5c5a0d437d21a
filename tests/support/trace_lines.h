// A trace file read back line by line, for the tests of the trace.
#ifndef MIVRA_TESTS_SUPPORT_TRACE_LINES_H_
#define MIVRA_TESTS_SUPPORT_TRACE_LINES_H_

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/file_util.h"
#include "update/frame/trace_format.h"

namespace mivra_test {

// Each whole line of the trace at `path`, parsed (none when it is missing); a last line without its
// end fails the test.
inline std::vector<std::vector<mivra::TraceField>> ReadTrace(const std::wstring& path) {
  std::vector<std::vector<mivra::TraceField>> lines;
  const std::string text = ReadFileBytes(path);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    EXPECT_NE(end, std::string::npos) << "the last line is not ended";
    if (end == std::string::npos) break;
    lines.push_back(mivra::ParseTraceLine(std::string_view(text).substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_TRACE_LINES_H_
