// --trace FILE: the library traces this run into FILE (through MIVRA_TRACE, which it reads at
// every call). The library skips a trace it cannot write without a word, so the tool looks first
// and warns once.
#ifndef MIVRA_TOOLS_MIVRACTL_TRACE_OPTION_H_
#define MIVRA_TOOLS_MIVRACTL_TRACE_OPTION_H_

#include <string>

namespace mivra::ctl {

// False when the variable cannot be set (`problem` says why); true with `problem` set when FILE
// cannot be opened for appending, which leaves the run without a trace.
bool StartLibraryTrace(const std::string& file, std::string* problem);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_TRACE_OPTION_H_
