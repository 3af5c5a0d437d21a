// The library's error codes by number, with their names and what they mean, for messages.
#ifndef MIVRA_TOOLS_MIVRACTL_ERROR_NAMES_H_
#define MIVRA_TOOLS_MIVRACTL_ERROR_NAMES_H_

#include <cstdint>
#include <ostream>
#include <span>
#include <string>

namespace mivra::ctl {

struct ErrorName {
  uint32_t code;
  const char* name;     // MIVRA_E_...
  const char* meaning;
};

// Every code of the library, in code order.
std::span<const ErrorName> ErrorNames();

// Null for a number that is not one of the library's codes.
const ErrorName* FindErrorName(uint32_t code);

// "error 104 MIVRA_E_NOT_IN_INSTALL_DIR: the file ... directory"; an unknown number is said so.
std::string DescribeError(uint32_t code);

// Prints "mivractl COMMAND: WHAT failed: <DescribeError(code)>" on `err`, or "... failed without an
// error code" when the library wrote none (code 0, the value the tool sets before each call), and
// returns the failure exit status.
int ReportLibraryFailure(const char* command, const std::string& what, uint32_t code, std::ostream& err);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_ERROR_NAMES_H_
