// The subcommands of the Windows program, each working through the library's exports.
#ifndef MIVRA_TOOLS_MIVRACTL_COMMANDS_H_
#define MIVRA_TOOLS_MIVRACTL_COMMANDS_H_

#include "command_line.h"

namespace mivra::ctl {

extern const Command kStatusCommand;
extern const Command kBackupCommand;
extern const Command kAddCommand;
extern const Command kCommitCommand;
extern const Command kRemoveCommand;
extern const Command kListCommand;
extern const Command kDeleteBackupCommand;
extern const Command kRegisterCommand;
extern const Command kMarkStatusCommand;
extern const Command kDeleteDbCommand;
extern const Command kQueryCommand;
extern const Command kRollbackCommand;
extern const Command kExplainCommand;

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_COMMANDS_H_
