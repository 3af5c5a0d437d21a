// Where the product is installed, and whether a file lies directly in that folder.
#ifndef MIVRA_UPDATE_FRAME_INSTALL_DIR_H_
#define MIVRA_UPDATE_FRAME_INSTALL_DIR_H_

#include <cstddef>
#include <cstdint>

#include "update/frame/bounded_string.h"

namespace mivra {

// The App Paths key of the product's main executable, whose "Path" value names the install
// directory.
inline constexpr wchar_t kAppPathsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Corvane.exe";

// Where the resolution of the install directory ended: resolved, or the step that failed.
enum class InstallDirStep {
  kResolved,
  kProgramPathTooLong,     // the path of the calling program does not fit 260 characters
  kKeyMissing,             // the App Paths key does not exist
  kKeyUnreadable,          // it cannot be opened (registryStatus)
  kValueMissing,           // it has no value "Path"
  kValueTooLong,           // the value does not fit 260 characters
  kValueUnreadable,        // it cannot be read (registryStatus)
  kValueNotString,         // it is of another type than a string (valueType)
  kValueEmpty,             // it is an empty string
  kProgramFolderLongForm,  // the long form of the program's folder, which lends the spelling, cannot be taken
};

// One resolution, with what each step read: the library acts on it and traces it, and mivractl
// says from it why the directory is unresolved.
struct InstallDirResolution {
  InstallDirStep step = InstallDirStep::kProgramPathTooLong;
  int32_t registryStatus = 0;                 // the registry's error, for kKeyUnreadable and kValueUnreadable
  uint32_t valueType = 0;                     // the value's registry type, for kValueNotString
  wchar_t programFolder[kPathCapacity] = {};  // the calling program's folder, once taken
  wchar_t value[kPathCapacity] = {};          // the "Path" value, once read as a string
  wchar_t installDir[kPathCapacity] = {};     // the result, when resolved

  bool resolved() const { return step == InstallDirStep::kResolved; }
};

// Takes the resolution's steps once, without the process-wide cache.
InstallDirResolution ResolveInstallDir();

// The step as one word, as the trace gives it: "resolved", "program-path-too-long", "key-missing",
// "key-unreadable", "value-missing", "value-too-long", "value-unreadable", "value-not-string",
// "value-empty", "program-folder-long-form".
const char* InstallDirStepWord(InstallDirStep step);

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
