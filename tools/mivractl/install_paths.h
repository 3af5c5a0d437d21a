// Where the tool finds the product and the library's folders: resolved by the library's own frame
// code (App Paths registry value, company and product names), read-only, creating nothing.
#ifndef MIVRA_TOOLS_MIVRACTL_INSTALL_PATHS_H_
#define MIVRA_TOOLS_MIVRACTL_INSTALL_PATHS_H_

#include <cstdint>
#include <string>

namespace mivra::ctl {

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// The install directory, ending with a backslash; false when it cannot be resolved.
bool FindInstallDir(std::wstring* dir);

// The library's folder of `kind` (BKF_BASE, BKF_BKUP or BKF_TMPBKUP) without creating it; false
// when the names or the Common Files folder are unavailable.
bool FindLibraryFolder(uint32_t kind, std::wstring* folder);

// The full path the tool hands the library for a FILE argument: a bare name (no '\' or '/') is a
// file of the install directory; any other path is made absolute against the current directory.
// False when the install directory is needed and cannot be resolved, or the path cannot be formed.
bool ProductFilePath(const std::string& argument, std::wstring* path);

// The file name at the end of such a path, as UTF-8.
std::string FileNameOf(const std::wstring& path);

bool FolderExists(const std::wstring& path);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_INSTALL_PATHS_H_
