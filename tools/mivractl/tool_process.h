// Runs mivractl.exe as a separate process, as a person or a script would, and collects what it
// printed and its exit status.
#ifndef MIVRA_TOOLS_MIVRACTL_TOOL_PROCESS_H_
#define MIVRA_TOOLS_MIVRACTL_TOOL_PROCESS_H_

#include <string>
#include <vector>

namespace mivra_test {

struct ToolResult {
  int exitCode = -1;  // -1 when the program could not be started or did not end in time
  std::string out;
  std::string err;
};

// Starts mivractl.exe from the test's own folder, or `program`, with `args` (UTF-8) and waits for
// it to end.
ToolResult RunMivractl(const std::vector<std::string>& args, const std::wstring& program = std::wstring());

// One command-line argument quoted the way the C runtime reads it back.
std::wstring QuoteArgument(const std::wstring& arg);

}  // namespace mivra_test

#endif  // MIVRA_TOOLS_MIVRACTL_TOOL_PROCESS_H_
