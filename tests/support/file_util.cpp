#include "support/file_util.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace mivra_test {
namespace {

constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Corvane.exe";

HKEY CreateAppPathsKey() {
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

}  // namespace

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteFileBytes(const std::wstring& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (!bytes.empty()) WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char piece[65536];
  DWORD got = 0;
  while (ReadFile(file, piece, sizeof(piece), &got, nullptr) && got > 0) bytes.append(piece, got);
  CloseHandle(file);
  return bytes;
}

void RemoveTree(const std::wstring& path) {
  if (!FileExists(path)) return;
  std::vector<wchar_t> from(path.begin(), path.end());
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.data();
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  SHFileOperationW(&operation);
}

namespace {

void ReadTreeInto(const std::wstring& folder, const std::wstring& relative, std::map<std::wstring, std::string>* tree) {
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      (*tree)[relative + name + L"@"] = "link";
    } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*tree)[relative + name + L"\\"] = "";
      ReadTreeInto(folder + L"\\" + name, relative + name + L"\\", tree);
    } else {
      (*tree)[relative + name] = ReadFileBytes(folder + L"\\" + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

std::map<std::wstring, std::string> ReadTree(const std::wstring& folder) {
  std::map<std::wstring, std::string> tree;
  ReadTreeInto(folder, L"", &tree);
  return tree;
}

void MakeFolder(const std::wstring& path) { SHCreateDirectoryExW(nullptr, path.c_str(), nullptr); }

void SetEnv(const wchar_t* name, const wchar_t* value) { SetEnvironmentVariableW(name, value); }

std::wstring GetEnv(const wchar_t* name) {
  wchar_t value[1024] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value) : std::wstring();
}

void SetAppPathsValue(const std::wstring& value) {
  HKEY key = CreateAppPathsKey();
  RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void SetAppPathsDword(uint32_t value) {
  HKEY key = CreateAppPathsKey();
  DWORD data = value;
  RegSetValueExW(key, L"Path", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof(data));
  RegCloseKey(key);
}

void DeleteAppPathsValue() {
  HKEY key = CreateAppPathsKey();
  RegDeleteValueW(key, L"Path");
  RegCloseKey(key);
}

void DeleteAppPathsKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, kAppPathsKey); }

}  // namespace mivra_test
