// Size and last-write time of a file as the metadata records keep them.
#ifndef MIVRA_UPDATE_FRAME_FILE_INFO_H_
#define MIVRA_UPDATE_FRAME_FILE_INFO_H_

#include <cstdint>

#include "update/frame/system_time.h"

namespace mivra {

// True when something exists at `path`; false when it is absent or cannot be told.
bool PathExists(const wchar_t* path);

// What an existence test found. Only "not found" proves absence: a test that fails for any other
// reason (access denied, a sharing violation, an I/O error) says nothing about the file.
enum class PathState { kPresent, kAbsent, kUnknown };

// The existence test of the C runtime (_waccess, mode 0): absent only for ENOENT.
PathState ProbePath(const wchar_t* path);

// True for the last errors that mean the file or a folder of its path is not there.
bool IsNotFoundError(unsigned long lastError);
// True for the last errors of an exclusive creation that met a name already there.
bool IsExistsError(unsigned long lastError);

// The low 32 bits of the file's size and its last-write time converted to local time. False
// when the file's attributes cannot be read (for instance because it does not exist).
bool ReadFileSizeAndTime(const wchar_t* path, uint32_t* sizeLow, SystemTime16* localWriteTime);

// The same read, telling a file that is not there (kAbsent) from one whose attributes cannot be
// read now (kUnknown).
PathState ReadPresentFileSizeAndTime(const wchar_t* path, uint32_t* sizeLow, SystemTime16* localWriteTime);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FILE_INFO_H_
