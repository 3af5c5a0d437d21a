// "mivractl inspect FILE [--verify] [--json]": examines one of the library's files, on any
// platform, also on copies taken from another machine.
#ifndef MIVRA_TOOLS_MIVRACTL_INSPECT_COMMAND_H_
#define MIVRA_TOOLS_MIVRACTL_INSPECT_COMMAND_H_

#include "command_line.h"

namespace mivra::ctl {

extern const Command kInspectCommand;

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_INSPECT_COMMAND_H_
