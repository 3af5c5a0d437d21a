// register_sample.exe: installs the SDK's sample product, so that the example and mivractl.exe
// have a product to work on. It puts the product's two components that name it (prdinf.dll and
// LBLRES.DLL, from this program's own folder) and two product files of version 4.1 into the
// install directory, and registers that directory under the App Paths key of Corvane.exe, where
// mivra.dll looks for it. Run it as an administrator: the key lies under HKEY_LOCAL_MACHINE.
//
//   register_sample [INSTALL_DIR]      (default C:\CorvaneSample\)
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr wchar_t kDefaultInstallDir[] = L"C:\\CorvaneSample\\";
constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Corvane.exe";
constexpr const wchar_t* kComponents[] = {L"prdinf.dll", L"LBLRES.DLL"};
struct ProductFile {
  const wchar_t* name;
  const char* content;
};
constexpr ProductFile kProductFiles[] = {{L"CORVCORE.DLL", "CORVCORE 4.1"}, {L"CORVUI.DLL", "CORVUI 4.1"}};

int Failed(const char* what, const std::wstring& path) {
  std::fprintf(stderr, "register_sample: %s %ls failed (win32 %lu)\n", what, path.c_str(), ::GetLastError());
  return 1;
}

std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The install directory as the library wants it: a full path ending with a backslash.
std::wstring FullFolder(const wchar_t* given) {
  wchar_t full[MAX_PATH] = {};
  const DWORD length = ::GetFullPathNameW(given, MAX_PATH, full, nullptr);
  if (length == 0 || length >= MAX_PATH - 1) return std::wstring();
  std::wstring folder(full, length);
  if (folder.back() != L'\\') folder += L'\\';
  return folder;
}

bool WriteWholeFile(const std::wstring& path, const char* content) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD length = static_cast<DWORD>(std::strlen(content));
  DWORD written = 0;
  const bool ok = ::WriteFile(file, content, length, &written, nullptr) && written == length;
  return ::CloseHandle(file) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 2 || (argc == 2 && (argv[1][0] == L'-' || argv[1][0] == L'/'))) {
    std::fprintf(stderr, "usage: register_sample [INSTALL_DIR]   (default %ls)\n", kDefaultInstallDir);
    return 2;
  }
  const std::wstring dir = FullFolder(argc == 2 ? argv[1] : kDefaultInstallDir);
  const std::wstring own = OwnFolder();
  if (dir.empty() || own.empty()) {
    std::fprintf(stderr, "register_sample: the install directory or this program's folder is too long\n");
    return 1;
  }
  if (!::CreateDirectoryW(dir.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return Failed("creating", dir);
  }
  for (const wchar_t* component : kComponents) {
    if (!::CopyFileW((own + component).c_str(), (dir + component).c_str(), FALSE)) return Failed("copying", own + component);
  }
  for (const ProductFile& file : kProductFiles) {
    if (!WriteWholeFile(dir + file.name, file.content)) return Failed("writing", dir + file.name);
  }
  HKEY key = nullptr;
  LSTATUS status = ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                     nullptr);
  if (status == ERROR_SUCCESS) {
    status = ::RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                              static_cast<DWORD>((dir.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return Failed("writing the value Path of HKLM\\", kAppPathsKey);
  }
  std::printf("sample product installed in %ls (prdinf.dll, LBLRES.DLL, CORVCORE.DLL, CORVUI.DLL)\n", dir.c_str());
  std::printf("registered: HKLM\\%ls, value Path = %ls\n", kAppPathsKey, dir.c_str());
  return 0;
}
