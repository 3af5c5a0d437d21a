// Why the install directory cannot be resolved, found by taking the library's steps once more:
// which App Paths key and value were read, for which executable name, and what was missing.
#ifndef MIVRA_TOOLS_MIVRACTL_INSTALL_DIR_PROBLEM_H_
#define MIVRA_TOOLS_MIVRACTL_INSTALL_DIR_PROBLEM_H_

#include <string>

namespace mivra::ctl {

// Empty when the install directory resolves.
std::string InstallDirProblem();

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_INSTALL_DIR_PROBLEM_H_
