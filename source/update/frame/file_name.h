// Which names may stand for a file of the install directory. Record names come from files that
// anyone may write, so a name is accepted only when it is one plain file name: joined to the
// install directory, it can name nothing outside it.
#ifndef MIVRA_UPDATE_FRAME_FILE_NAME_H_
#define MIVRA_UPDATE_FRAME_FILE_NAME_H_

#include <string_view>

namespace mivra {

// The text after the last backslash of `path`; false when the path has no backslash.
bool TakeFileName(const wchar_t* path, std::wstring_view* name);

// True only for a name that Windows opens as exactly that file of a folder: non-empty; no '\\',
// '/' or ':' (no folder, no drive, no alternate stream); no wildcard or reserved character
// (* ? < > | ") and no control character; not ending in a dot or a space, which Windows strips
// (so "..." and "a.txt." name other files, or the folder itself); and not a reserved device name
// such as "CON", "NUL" or "COM1" (with or without an extension, in any letter case).
bool IsPlainFileName(std::wstring_view name);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FILE_NAME_H_
