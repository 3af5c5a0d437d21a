// The thin platform layer: every C-runtime and Win32 call that touches files, folders, the
// registry, modules or the product lock goes through this table, and so does the reading of the
// last error after them. It holds no logic. The library only reads it; tests replace single
// entries to make a read, a write or a delete fail without a broken disk.
#ifndef MIVRA_UPDATE_FRAME_PLATFORM_CALLS_H_
#define MIVRA_UPDATE_FRAME_PLATFORM_CALLS_H_

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

namespace mivra {

struct PlatformCalls {
  // C-runtime descriptors, always in binary mode.
  int (*wopen)(const wchar_t* path, int flags, int mode);
  int (*read)(int fd, void* buffer, unsigned count);
  int (*write)(int fd, const void* buffer, unsigned count);
  int64_t (*seek)(int fd, int64_t offset, int origin);
  int (*close)(int fd);
  int (*commit)(int fd);
  // Sets the length of the file: 0 on success, an errno value otherwise.
  int (*chsize)(int fd, int64_t length);
  int (*waccess)(const wchar_t* path, int mode);
  int (*wrename)(const wchar_t* from, const wchar_t* to);

  // Win32 files.
  HANDLE(WINAPI* CreateFileW)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
  BOOL(WINAPI* ReadFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* WriteFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
  BOOL(WINAPI* FlushFileBuffers)(HANDLE);
  BOOL(WINAPI* DeleteFileW)(LPCWSTR);
  BOOL(WINAPI* SetFileAttributesW)(LPCWSTR, DWORD);
  DWORD(WINAPI* GetFileAttributesW)(LPCWSTR);
  BOOL(WINAPI* GetFileAttributesExW)(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
  BOOL(WINAPI* MoveFileW)(LPCWSTR, LPCWSTR);
  BOOL(WINAPI* MoveFileExW)(LPCWSTR, LPCWSTR, DWORD);
  BOOL(WINAPI* CopyFileW)(LPCWSTR, LPCWSTR, BOOL);
  DWORD(WINAPI* GetLongPathNameW)(LPCWSTR, LPWSTR, DWORD);
  HANDLE(WINAPI* FindFirstFileW)(LPCWSTR, LPWIN32_FIND_DATAW);
  BOOL(WINAPI* FindNextFileW)(HANDLE, LPWIN32_FIND_DATAW);
  // What an open handle names (a link itself, when opened without following it), and deleting
  // through the handle. The extended query: under Wine the plain one also asks the mount manager
  // for the volume's serial number, a hundred times the cost.
  BOOL(WINAPI* GetFileInformationByHandleEx)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);
  BOOL(WINAPI* SetFileInformationByHandle)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

  // Waiting between retries.
  VOID(WINAPI* Sleep)(DWORD);

  // The product lock shared by every process that loads the library.
  HANDLE(WINAPI* CreateMutexW)(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR);
  DWORD(WINAPI* WaitForSingleObject)(HANDLE, DWORD);
  BOOL(WINAPI* ReleaseMutex)(HANDLE);

  // Registry.
  LSTATUS(WINAPI* RegOpenKeyExW)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
  LSTATUS(WINAPI* RegQueryValueExW)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);

  // Shell folders.
  HRESULT(WINAPI* SHGetFolderPathW)(HWND, int, HANDLE, DWORD, LPWSTR);
  int(WINAPI* SHCreateDirectoryExW)(HWND, LPCWSTR, const SECURITY_ATTRIBUTES*);
  int(WINAPI* SHFileOperationW)(LPSHFILEOPSTRUCTW);

  // The last error of the calls above, read through the table so that a test's fault is what the
  // code sees.
  DWORD(WINAPI* GetLastError)();

  // Closing what the calls above opened (the scoped owners call these).
  BOOL(WINAPI* CloseHandle)(HANDLE);
  BOOL(WINAPI* FindClose)(HANDLE);
  LSTATUS(WINAPI* RegCloseKey)(HKEY);

  // Access rights of files and folders.
  BOOL(WINAPI* GetFileSecurityW)(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);
  BOOL(WINAPI* SetFileSecurityW)(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR);
  BOOL(WINAPI* GetKernelObjectSecurity)(HANDLE, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD);

  // Settings files.
  UINT(WINAPI* GetPrivateProfileIntW)(LPCWSTR, LPCWSTR, INT, LPCWSTR);

  // Modules.
  HMODULE(WINAPI* LoadLibraryExW)(LPCWSTR, HANDLE, DWORD);
  BOOL(WINAPI* FreeLibrary)(HMODULE);
  HMODULE(WINAPI* GetModuleHandleW)(LPCWSTR);
  DWORD(WINAPI* GetModuleFileNameW)(HMODULE, LPWSTR, DWORD);
  FARPROC(WINAPI* GetProcAddress)(HMODULE, LPCSTR);
  int(WINAPI* LoadStringA)(HINSTANCE, UINT, LPSTR, int);
};

// The table in force. Only tests write to it (see tests/support/platform_fault.h).
PlatformCalls& Platform();

// The table of the real calls, for restoring entries.
const PlatformCalls& RealPlatformCalls();

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_PLATFORM_CALLS_H_
