// Which mivra.dll the program runs with: its version resource and the file it was loaded from,
// the first thing support asks.
#ifndef MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_
#define MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_

#include <string>

namespace mivra::ctl {

// "mivra.dll 1.0.0.0 (C:\...\mivra.dll)\n".
std::string LibraryVersionLine();

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_LIBRARY_VERSION_H_
