// Deletion of a file that cannot go now: scheduled for the next restart, after asking the
// product's trust component ("zkstub.dll") to trust the pending rename.
#ifndef MIVRA_UPDATE_FRAME_DEFERRED_DELETE_H_
#define MIVRA_UPDATE_FRAME_DEFERRED_DELETE_H_

namespace mivra {

// Schedules `path` for deletion at restart; returns what the scheduling call returned (non-zero
// when scheduled). Callers ignore it: a file left in place does not fail their operation.
int DeleteOnReboot(const wchar_t* path);

// Sets normal attributes and deletes `path`; a file that cannot be deleted now is handed to
// DeleteOnReboot. True when the file is gone now.
bool DeleteFileNowOrAtRestart(const wchar_t* path);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_DEFERRED_DELETE_H_
