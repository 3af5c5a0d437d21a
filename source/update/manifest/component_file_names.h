// The names of the product files listed by its enabled components: the rollback need check does
// not count these files as changed.
#ifndef MIVRA_UPDATE_MANIFEST_COMPONENT_FILE_NAMES_H_
#define MIVRA_UPDATE_MANIFEST_COMPONENT_FILE_NAMES_H_

#include <string>
#include <vector>

#include "update/manifest/update_config_parser.h"

namespace mivra {

// Reads updtconf.dat from `directory` (with or without a trailing backslash) and, for every
// component in it whose enabled field is 1, the list file "<directory>\<id:%08x>_compns.lst",
// skipping a component whose list file does not exist. Appends the names of the included
// entries, components in configuration order and entries in file order, and returns 1. Returns 0
// and appends nothing when the configuration or any existing list is invalid, or a path does not
// fit. Prints nothing: `config`, when given, receives how reading updtconf.dat went (ok unless
// that read failed), for the caller to print (PrintUpdateConfigFailure) or show.
int CollectComponentFileNames(std::vector<std::string>* names, const wchar_t* directory,
                              UpdateConfigStatus* config = nullptr);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_COMPONENT_FILE_NAMES_H_
