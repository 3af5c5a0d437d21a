// Reads updtconf.dat into the chain of component records. The only part of the library that
// writes to standard output: one line per failure, naming the step that failed.
#ifndef MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_READER_H_
#define MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_READER_H_

#include "update/manifest/config_link_list.h"

namespace mivra {

// True with `chain` holding at least one node; false after printing the failed step's message,
// with `chain` untouched. A null argument is false without a message.
bool ReadUpdateConfigData(const wchar_t* path, cLinkList* chain);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_UPDATE_CONFIG_READER_H_
