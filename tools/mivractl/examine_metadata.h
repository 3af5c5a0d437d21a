// Inspection of the two metadata files, bkmdata.dat and rbmdata.dat, with the library's own layout
// code: header, state block, the checks of the record store, and every record decoded.
#ifndef MIVRA_TOOLS_MIVRACTL_EXAMINE_METADATA_H_
#define MIVRA_TOOLS_MIVRACTL_EXAMINE_METADATA_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "examination.h"

namespace mivra::ctl {

// With `copiesFolder`, every backup copy the records keep is checked there against its digest.
Inspection InspectBkMdata(const std::vector<uint8_t>& bytes, const std::filesystem::path* copiesFolder);
Inspection InspectRBMdata(const std::vector<uint8_t>& bytes);

// The names of the set bits ("removed", "absent", others in hex); none for no bit.
std::vector<std::string> BkFlagWords(uint32_t flags);
// "none", or those names joined by '|'.
std::string BkFlagNames(uint32_t flags);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_EXAMINE_METADATA_H_
