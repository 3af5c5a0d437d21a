#include "install_paths.h"

#include <windows.h>

#include <vector>

#include "text_format.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"

namespace mivra::ctl {

std::wstring Widen(const std::string& utf8) {
  const std::u16string text = Utf8ToUtf16(utf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text) { return Utf16ToUtf8(std::u16string(text.begin(), text.end())); }

bool FindInstallDir(std::wstring* dir) {
  wchar_t buffer[kPathCapacity] = {};
  if (!GetInstallDir(buffer)) return false;
  *dir = buffer;
  return true;
}

bool FindLibraryFolder(uint32_t kind, std::wstring* folder) {
  wchar_t buffer[kPathCapacity] = {};
  if (!GetBackupFolder(buffer, kind, false)) return false;
  *folder = buffer;
  return true;
}

std::string FileNameOf(const std::wstring& path) { return Narrow(path.substr(path.find_last_of(L"\\/") + 1)); }

bool ProductFilePath(const std::string& argument, std::wstring* path) {
  const std::wstring name = Widen(argument);
  if (name.empty()) return false;
  if (name.find_first_of(L"\\/") == std::wstring::npos) {
    std::wstring dir;
    if (!FindInstallDir(&dir)) return false;
    *path = dir + name;
    return true;
  }
  const DWORD needed = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::vector<wchar_t> full(needed);
  const DWORD written = ::GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return false;
  *path = full.data();
  return true;
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace mivra::ctl
