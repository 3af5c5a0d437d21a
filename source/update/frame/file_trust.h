// Whether the library may use a file it keeps in its own folders: a metadata file, a journal
// beside one, a backup copy. Only a plain file that nobody less trusted owns is used; a link
// would steer the elevated updater to a file elsewhere, and a file another user owns says
// whatever that user wrote, whichever folder it lies in.
#ifndef MIVRA_UPDATE_FRAME_FILE_TRUST_H_
#define MIVRA_UPDATE_FRAME_FILE_TRUST_H_

#include <windows.h>

namespace mivra {

enum class FileTrust {
  kTrusted,  // a plain file (or folder) owned by SYSTEM, the administrators, TrustedInstaller or this user
  kAbsent,   // proved not there
  kLink,     // a reparse point: never opened, written or deleted through
  kForeign,  // owned by another user: not used, and left for an administrator to look at
  kUnknown,  // what it is, or whose, cannot be told now: no verdict either way
};

// Tells the link first, without following it, so that the owner asked about is never that of
// what a link points to.
FileTrust JudgeLibraryFile(const wchar_t* path);

// Its first half, for a file whose owner is to be judged through the handle it is then read from:
// the entry alone, kTrusted meaning a file or folder that is not a link, whose owner is still to
// be judged.
FileTrust JudgeLibraryEntry(const wchar_t* path);

// Its second half, through the handle the file is read from (named `path` in the trace): the
// owner alone, kTrusted, kForeign or kUnknown, so that the file judged is the very file read.
FileTrust JudgeOpenedLibraryFile(HANDLE opened, const wchar_t* path);

// kLink and kForeign: there, and not to be used.
inline bool IsUntrusted(FileTrust trust) { return trust == FileTrust::kLink || trust == FileTrust::kForeign; }

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FILE_TRUST_H_
