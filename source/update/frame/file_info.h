// Size and last-write time of a file as the metadata records keep them.
#ifndef MIVRA_UPDATE_FRAME_FILE_INFO_H_
#define MIVRA_UPDATE_FRAME_FILE_INFO_H_

#include <cstdint>

#include "update/frame/system_time.h"

namespace mivra {

// The low 32 bits of the file's size and its last-write time converted to local time. False
// when the file's attributes cannot be read (for instance because it does not exist).
// True when something exists at `path`.
bool PathExists(const wchar_t* path);

bool ReadFileSizeAndTime(const wchar_t* path, uint32_t* sizeLow, SystemTime16* localWriteTime);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FILE_INFO_H_
