// Why the install directory cannot be resolved, as the library's own resolution tells it: which
// App Paths key and value were read, for which executable name, and what was missing.
#ifndef MIVRA_TOOLS_MIVRACTL_INSTALL_DIR_PROBLEM_H_
#define MIVRA_TOOLS_MIVRACTL_INSTALL_DIR_PROBLEM_H_

#include <string>

#include "update/frame/install_dir.h"

namespace mivra::ctl {

// The resolution in words; empty when it resolved.
std::string DescribeInstallDirProblem(const InstallDirResolution& resolution);

// The library's resolution, taken once more, in words; empty when the install directory resolves.
std::string InstallDirProblem();

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_INSTALL_DIR_PROBLEM_H_
