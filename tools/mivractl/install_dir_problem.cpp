#include "install_dir_problem.h"

#include <windows.h>

#include "install_paths.h"
#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

namespace mivra::ctl {
namespace {

std::string ErrorNumber(LSTATUS status) { return "(error " + std::to_string(status) + ")"; }

const char* RegistryTypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "not a string type";
  }
}

// What the registry holds where the library looks; empty when the value is a usable path.
std::string AppPathsProblem(std::wstring* value) {
  ScopedRegKey key;
  const LSTATUS opened = Platform().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_QUERY_VALUE, key.receive());
  if (opened == ERROR_FILE_NOT_FOUND) return "the key does not exist";
  if (opened != ERROR_SUCCESS) return "the key cannot be opened " + ErrorNumber(opened);
  wchar_t text[kPathCapacity] = {};
  DWORD type = 0;
  DWORD size = sizeof(text);
  const LSTATUS read =
      Platform().RegQueryValueExW(key.get(), L"Path", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  if (read == ERROR_FILE_NOT_FOUND) return "the key has no value \"Path\"";
  if (read == ERROR_MORE_DATA) return "the value is longer than 260 characters";
  if (read != ERROR_SUCCESS) return "the value cannot be read " + ErrorNumber(read);
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    return std::string("the value is of type ") + RegistryTypeName(type) + ", not a string";
  }
  text[kPathCapacity - 1] = L'\0';
  if (text[0] == L'\0') return "the value is empty";
  *value = text;
  return std::string();
}

}  // namespace

std::string InstallDirProblem() {
  std::wstring resolved;
  if (FindInstallDir(&resolved)) return std::string();
  const std::wstring keyPath = kAppPathsKey;
  const std::string read = "read HKLM\\" + Narrow(keyPath) + ", value \"Path\", the App Paths entry of the executable name " +
                           Narrow(keyPath.substr(keyPath.rfind(L'\\') + 1)) + ": ";
  std::wstring value;
  const std::string problem = AppPathsProblem(&value);
  if (!problem.empty()) return read + problem;

  // The value is there; what fails is this program's own folder, which lends the spelling.
  wchar_t self[kPathCapacity] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, self, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) {
    return read + "it names " + Narrow(value) + ", but the path of this program does not fit 260 characters";
  }
  std::wstring folder(self);
  folder.erase(folder.rfind(L'\\') + 1);
  wchar_t longForm[kPathCapacity] = {};
  const DWORD longLength = Platform().GetLongPathNameW(folder.c_str(), longForm, kPathCapacity);
  if (longLength == 0 || longLength >= kPathCapacity) {
    return read + "it names " + Narrow(value) + ", but the long form of this program's folder " + Narrow(folder) +
           " cannot be taken";
  }
  return read + "it names " + Narrow(value) + ", but the library could not resolve it from there";
}

}  // namespace mivra::ctl
