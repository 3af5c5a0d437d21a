// "mivractl log FILE... [--json] [--failures]": the library's trace told as a story, on any
// platform, also for a trace sent in from another machine.
#ifndef MIVRA_TOOLS_MIVRACTL_LOG_COMMAND_H_
#define MIVRA_TOOLS_MIVRACTL_LOG_COMMAND_H_

#include "command_line.h"

namespace mivra::ctl {

extern const Command kLogCommand;

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_LOG_COMMAND_H_
