// Deletion of a file that cannot go now: scheduled for the next restart, after asking the
// product's trust component ("zkstub.dll") to trust the pending rename.
#ifndef MIVRA_UPDATE_FRAME_DEFERRED_DELETE_H_
#define MIVRA_UPDATE_FRAME_DEFERRED_DELETE_H_

namespace mivra {

// Schedules `path` for deletion at restart; returns what the scheduling call returned (non-zero
// when scheduled). Callers ignore it: a file left in place does not fail their operation.
int DeleteOnReboot(const wchar_t* path);

enum class DeleteOutcome {
  kDeleted,
  kAbsent,     // not there: nothing to delete
  kScheduled,  // cannot go now; it goes at the next restart
  kFailed,     // neither deleted nor scheduled
};

// Deletes `path` unless an existence test proves it absent: a test that fails for another reason
// does not stop the deletion. A file that cannot go now is scheduled for deletion at restart. A
// link is never deleted through: the link itself is removed (RemoveLink) or the call fails.
DeleteOutcome DeleteFileIfPresent(const wchar_t* path);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_DEFERRED_DELETE_H_
