#include "support/read_only_caller.h"

#include <windows.h>
#include <fcntl.h>

#include <cerrno>

namespace mivra_test {
namespace {

struct State {
  mivra::PlatformCalls real = {};
  uint32_t denied = 0;
  uint32_t deletions = 0;
};

State& TheState() {
  static State state;
  return state;
}

const mivra::PlatformCalls& Real() { return TheState().real; }

// Counts the denial and leaves the errors a denied call leaves.
void Deny(bool deletion = false) {
  ++TheState().denied;
  if (deletion) ++TheState().deletions;
  errno = EACCES;
  ::SetLastError(ERROR_ACCESS_DENIED);
}

constexpr DWORD kWriteAccess = GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC | WRITE_OWNER;

int DenyWriteOpen(const wchar_t* path, int flags, int mode) {
  if (flags & (_O_WRONLY | _O_RDWR | _O_CREAT | _O_TRUNC | _O_APPEND)) {
    Deny();
    return -1;
  }
  return Real().wopen(path, flags, mode);
}
int DenyChsize(int, int64_t) {
  Deny();
  return EACCES;
}
int DenyRename(const wchar_t*, const wchar_t*) {
  Deny();
  return -1;
}
HANDLE WINAPI DenyWriteCreate(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  if ((access & kWriteAccess) || disposition != OPEN_EXISTING) {
    Deny();
    return INVALID_HANDLE_VALUE;
  }
  return Real().CreateFileW(path, access, share, security, disposition, flags, templateFile);
}
BOOL WINAPI DenyDelete(LPCWSTR) {
  Deny(true);
  return FALSE;
}
BOOL WINAPI DenyAttributes(LPCWSTR, DWORD) {
  Deny();
  return FALSE;
}
BOOL WINAPI DenyMove(LPCWSTR, LPCWSTR) {
  Deny();
  return FALSE;
}
BOOL WINAPI DenyMoveEx(LPCWSTR, LPCWSTR, DWORD) {
  Deny();
  return FALSE;
}
BOOL WINAPI DenyCopy(LPCWSTR, LPCWSTR, BOOL) {
  Deny();
  return FALSE;
}
BOOL WINAPI DenyHandleChange(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD) {
  Deny(true);
  return FALSE;
}
int WINAPI DenyCreateFolder(HWND, LPCWSTR, const SECURITY_ATTRIBUTES*) {
  Deny();
  return ERROR_ACCESS_DENIED;
}
int WINAPI DenyShellOperation(LPSHFILEOPSTRUCTW operation) {
  Deny(operation && operation->wFunc == FO_DELETE);
  return ERROR_ACCESS_DENIED;
}
BOOL WINAPI DenySecurity(LPCWSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR) {
  Deny();
  return FALSE;
}

}  // namespace

ReadOnlyCaller::ReadOnlyCaller() : saved_(mivra::Platform()) {
  State& state = TheState();
  state = State{saved_, 0, 0};
  mivra::PlatformCalls& calls = mivra::Platform();
  calls.wopen = &DenyWriteOpen;
  calls.chsize = &DenyChsize;
  calls.wrename = &DenyRename;
  calls.CreateFileW = &DenyWriteCreate;
  calls.DeleteFileW = &DenyDelete;
  calls.SetFileAttributesW = &DenyAttributes;
  calls.MoveFileW = &DenyMove;
  calls.MoveFileExW = &DenyMoveEx;
  calls.CopyFileW = &DenyCopy;
  calls.SetFileInformationByHandle = &DenyHandleChange;
  calls.SHCreateDirectoryExW = &DenyCreateFolder;
  calls.SHFileOperationW = &DenyShellOperation;
  calls.SetFileSecurityW = &DenySecurity;
}

ReadOnlyCaller::~ReadOnlyCaller() { mivra::Platform() = saved_; }

uint32_t ReadOnlyCaller::denied() const { return TheState().denied; }
uint32_t ReadOnlyCaller::deletionsTried() const { return TheState().deletions; }

}  // namespace mivra_test
