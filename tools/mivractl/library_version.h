// Which mivra.dll the program runs with: its version resource and the file it was loaded from,
// the first thing support asks.
#ifndef MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_
#define MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_

#include "command_line.h"

namespace mivra::ctl {

// Text "mivra.dll 1.0.0.0 (C:\...\mivra.dll)\n"; JSON "library": {"file", "version"}, with
// "version": null when the file has no version resource, or "library": null and "libraryProblem"
// when the program cannot tell which file it runs with.
VersionDetail LibraryVersion();

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_
