// Reads updtconf.dat into the chain of component records, and the one line the library prints on
// standard output when that fails.
#ifndef MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_READER_H_
#define MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_READER_H_

#include "update/manifest/config_link_list.h"
#include "update/manifest/update_config_parser.h"

namespace mivra {

// Reads the file at `path`. On success `chain` holds at least one node; on failure the status names
// the step that failed (with the C runtime's error number for the open) and `chain` is untouched.
// A null argument fails the open with EINVAL.
UpdateConfigStatus ReadUpdateConfig(const wchar_t* path, cLinkList* chain);

// The library's one output on standard output: for a failed read, the line
// "ReadUpdateConfigData: <message>" (UpdateConfigMessage), flushed; nothing for a read that
// succeeded.
void PrintUpdateConfigFailure(const UpdateConfigStatus& status);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_READER_H_
