// Names of the Windows system error codes and C-runtime errno values that the library's file work
// can meet, for reading a trace on any platform (the errno numbers are the Windows C runtime's).
#ifndef MIVRA_TOOLS_MIVRACTL_SYSTEM_ERROR_NAMES_H_
#define MIVRA_TOOLS_MIVRACTL_SYSTEM_ERROR_NAMES_H_

#include <cstdint>

namespace mivra::ctl {

// "ERROR_SHARING_VIOLATION" for 32; null for a number not in the table.
const char* Win32ErrorName(uint64_t code);
// "EACCES" for 13; null for a number not in the table.
const char* CrtErrnoName(uint64_t value);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_SYSTEM_ERROR_NAMES_H_
