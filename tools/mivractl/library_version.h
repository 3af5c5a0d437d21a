// Which library the program runs with: its own copy, linked in, of the version it was built with.
// The first thing support asks.
#ifndef MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_
#define MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_

#include "command_line.h"

namespace mivra::ctl {

// Text "mivra 1.0.0 built in (mivractl carries the library's code and loads no mivra.dll)\n";
// JSON "library": {"version": "1.0.0", "builtIn": true}.
VersionDetail LibraryVersion();

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_
