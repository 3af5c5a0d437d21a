// Reading the security descriptor of a file or folder through the platform table.
#ifndef MIVRA_UPDATE_FRAME_FILE_SECURITY_H_
#define MIVRA_UPDATE_FRAME_FILE_SECURITY_H_

#include <windows.h>

#include "update/frame/scoped_handles.h"

namespace mivra {

// The parts `what` of the descriptor of the file or folder at `path`, in a buffer grown as the
// system asks, in at most kMaxSecurityReads calls. The first call passes no buffer unless
// `guessSize`, when one of a size that usually suffices saves a call. Empty on failure.
inline constexpr int kMaxSecurityReads = 7;
ScopedProcessHeapBlock ReadFileSecurity(const wchar_t* path, SECURITY_INFORMATION what, bool guessSize);

// The same, of a file already open (with READ_CONTROL, which reading access includes): no open of
// its name again, and the answer is about the very file the handle holds.
ScopedProcessHeapBlock ReadHandleSecurity(HANDLE file, SECURITY_INFORMATION what, bool guessSize);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FILE_SECURITY_H_
