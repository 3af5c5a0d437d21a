// Reads one component list file (<id>_compns.lst) into its decoded entries.
#ifndef MIVRA_UPDATE_MANIFEST_COMPONENT_LIST_READER_H_
#define MIVRA_UPDATE_MANIFEST_COMPONENT_LIST_READER_H_

#include <cstdint>

#include "update/manifest/component_list_parser.h"

namespace mivra {

// 1 with `entries` and `count` set (no slots when the count is 0); 0 for a null argument, a file
// that is missing or cannot be read, or a list that is not valid. On 0 nothing is written.
int ReadComponentList(const wchar_t* path, ComponentEntries* entries, uint32_t* count);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_COMPONENT_LIST_READER_H_
