// Small file and environment helpers for tests.
#ifndef MIVRA_TESTS_SUPPORT_FILE_UTIL_H_
#define MIVRA_TESTS_SUPPORT_FILE_UTIL_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace mivra_test {

// The folder of the running executable, ending with a backslash.
std::wstring ExeFolder();

bool FileExists(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, std::string_view bytes);
std::string ReadFileBytes(const std::wstring& path);
void RemoveTree(const std::wstring& path);
// Every file and folder under `folder`, by path relative to it, with each file's bytes (a
// folder's path ends with a backslash and holds none; a link's ends with "@" and is not followed).
std::map<std::wstring, std::string> ReadTree(const std::wstring& folder);
void MakeFolder(const std::wstring& path);

void SetEnv(const wchar_t* name, const wchar_t* value);  // null value removes the variable
std::wstring GetEnv(const wchar_t* name);

// Writes or deletes the App Paths "Path" value that names the install directory.
void SetAppPathsValue(const std::wstring& value);
void SetAppPathsDword(uint32_t value);
void DeleteAppPathsKey();
void DeleteAppPathsValue();

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_FILE_UTIL_H_
