// Whose a file is. The elevated updater trusts a metadata file, journal or backup copy only when
// nobody less trusted made it: a file that a standard user planted while a folder stood open is
// owned by that user, and whatever it says is theirs.
#ifndef MIVRA_UPDATE_FRAME_FILE_OWNER_H_
#define MIVRA_UPDATE_FRAME_FILE_OWNER_H_

#include <windows.h>

namespace mivra {

// Trusted owners: SYSTEM, the Administrators group, TrustedInstaller, and the user of the calling
// process (or the owner its token gives the files it creates). False for a null SID.
bool IsTrustedOwner(PSID owner);

// The owner of the file or folder at `path`, judged as above. kUnknown when it cannot be read: a
// failure to read is no verdict either way.
enum class OwnerTrust { kTrusted, kForeign, kUnknown };
OwnerTrust CheckFileOwner(const wchar_t* path);

// The same of the file open as `file` (named `path` in the trace): judged through the handle, so
// that the file judged is the one that is read, with no open of its name again.
OwnerTrust CheckOpenedFileOwner(HANDLE file, const wchar_t* path);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FILE_OWNER_H_
