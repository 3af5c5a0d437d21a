// Inspection of the product's manifests, updtconf.dat and the component lists, with the library's
// own parsers: header, each check in the order the library makes them, every record decoded.
#ifndef MIVRA_TOOLS_MIVRACTL_EXAMINE_MANIFEST_H_
#define MIVRA_TOOLS_MIVRACTL_EXAMINE_MANIFEST_H_

#include <cstdint>
#include <vector>

#include "examination.h"

namespace mivra::ctl {

Inspection InspectUpdateConfig(const std::vector<uint8_t>& bytes);
Inspection InspectComponentList(const std::vector<uint8_t>& bytes);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_EXAMINE_MANIFEST_H_
