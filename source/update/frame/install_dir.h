// Where the product is installed, and whether a file lies directly in that folder.
#ifndef MIVRA_UPDATE_FRAME_INSTALL_DIR_H_
#define MIVRA_UPDATE_FRAME_INSTALL_DIR_H_

#include <cstddef>

namespace mivra {

// The App Paths key of the product's main executable, whose "Path" value names the install
// directory.
inline constexpr wchar_t kAppPathsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Corvane.exe";

// Copies the install directory (ending with a backslash) into `buffer` of `capacity` characters,
// resolving it first when the process-wide cache is empty. False when it cannot be resolved or
// does not fit; a failed resolution is tried again at the next call.
bool GetInstallDir(wchar_t* buffer, size_t capacity);
template <size_t N>
bool GetInstallDir(wchar_t (&buffer)[N]) {
  return GetInstallDir(buffer, N);
}

// Decides whether the folder part of `path` (up to its last backslash) is the install directory,
// whether or not the file exists: the same folder in any spelling (letter case, short or long
// form, a trailing backslash more or less) is inside; a relative path, a subfolder, any other
// folder, and a folder part that cannot be judged are outside. True when it decided, with
// `outside` set; false (outside false) only for a path without a backslash, which names no
// folder, or when the install directory cannot be resolved.
bool IsOutsideInstallDir(const wchar_t* path, bool* outside);

// Empties the cache so that a test can resolve again under a changed registry.
void ResetInstallDirCacheForTesting();

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_INSTALL_DIR_H_
