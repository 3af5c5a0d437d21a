// Links (junctions, symbolic links, mount points: every reparse point) in the library's folders
// and in the install directory. The elevated updater never works through one: whoever made the
// link would steer what it reads, writes, renames or deletes somewhere else. The rule for files
// and folders alike: an entry that is a link is not opened, written, renamed or deleted through;
// at most the link itself is removed, and only through a handle proved to be the link.
#ifndef MIVRA_UPDATE_FRAME_REPARSE_POINT_H_
#define MIVRA_UPDATE_FRAME_REPARSE_POINT_H_

#include <windows.h>

#include "update/frame/scoped_handles.h"

namespace mivra {

// What the last component of a path is, told without following it when it is a link. Only
// "not found" proves kAbsent; any other failure to tell is kUnknown, never a verdict.
enum class EntryKind { kAbsent, kFile, kFolder, kLink, kUnknown };
EntryKind ProbeEntry(const wchar_t* path);

// True when `path` is absent or a plain folder or file: safe to work in or through. A link, or
// an entry that cannot be told, is not.
bool IsNotLink(const wchar_t* path);

// Whether an open handle is to a reparse point itself; the handle must have been opened with
// FILE_FLAG_OPEN_REPARSE_POINT, or the system answers for what the link points to.
enum class HandleKind { kLink, kNotLink, kUnknown };
HandleKind ProbeHandle(HANDLE handle);

// Opens a file that must not be a link: refused when the path names one, and, since a link may
// appear between the look and the open, the open itself does not follow one and the handle is
// checked again. Invalid when refused or when the open fails.
ScopedHandle OpenFileNotLink(const wchar_t* path, DWORD access, DWORD share, DWORD disposition);

// Removes the link at `path` itself, never what it points to: through a handle opened without
// following the link and proved to be a reparse point. False when the path is no link, when the
// handle does not prove it (a system that opens the target instead is never asked to delete), or
// when the deletion fails.
bool RemoveLink(const wchar_t* path);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_REPARSE_POINT_H_
