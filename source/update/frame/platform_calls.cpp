#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

#include <fcntl.h>
#include <io.h>
#include <shlobj.h>
#include <sys/stat.h>

#include <cstdio>

namespace mivra {
namespace {

int OpenWide(const wchar_t* path, int flags, int mode) { return ::_wopen(path, flags, mode); }
int ReadFd(int fd, void* buffer, unsigned count) { return ::_read(fd, buffer, count); }
int WriteFd(int fd, const void* buffer, unsigned count) { return ::_write(fd, buffer, count); }
int64_t SeekFd(int fd, int64_t offset, int origin) { return ::_lseeki64(fd, offset, origin); }
int CloseFd(int fd) { return ::_close(fd); }
int CommitFd(int fd) { return ::_commit(fd); }
int ResizeFd(int fd, int64_t length) { return ::_chsize_s(fd, length); }
int AccessWide(const wchar_t* path, int mode) { return ::_waccess(path, mode); }
int RenameWide(const wchar_t* from, const wchar_t* to) { return ::_wrename(from, to); }

const PlatformCalls kRealCalls = {
    OpenWide,
    ReadFd,
    WriteFd,
    SeekFd,
    CloseFd,
    CommitFd,
    ResizeFd,
    AccessWide,
    RenameWide,
    ::CreateFileW,
    ::ReadFile,
    ::WriteFile,
    ::FlushFileBuffers,
    ::DeleteFileW,
    ::SetFileAttributesW,
    ::GetFileAttributesW,
    ::GetFileAttributesExW,
    ::MoveFileW,
    ::MoveFileExW,
    ::CopyFileW,
    ::GetLongPathNameW,
    ::FindFirstFileW,
    ::FindNextFileW,
    ::GetFileInformationByHandleEx,
    ::SetFileInformationByHandle,
    ::Sleep,
    ::CreateMutexW,
    ::WaitForSingleObject,
    ::ReleaseMutex,
    ::RegOpenKeyExW,
    ::RegQueryValueExW,
    ::SHGetFolderPathW,
    ::SHCreateDirectoryExW,
    ::SHFileOperationW,
    ::GetLastError,
    ::CloseHandle,
    ::FindClose,
    ::RegCloseKey,
    ::GetFileSecurityW,
    ::SetFileSecurityW,
    ::GetKernelObjectSecurity,
    ::GetPrivateProfileIntW,
    ::LoadLibraryExW,
    ::FreeLibrary,
    ::GetModuleHandleW,
    ::GetModuleFileNameW,
    ::GetProcAddress,
    ::LoadStringA,
};

}  // namespace

PlatformCalls& Platform() {
  static PlatformCalls calls = kRealCalls;
  return calls;
}

const PlatformCalls& RealPlatformCalls() { return kRealCalls; }

}  // namespace mivra

void mivra::FdTraits::Close(int fd) { Platform().close(fd); }
void mivra::KernelHandleTraits::Close(HANDLE h) { Platform().CloseHandle(h); }
void mivra::ModuleTraits::Close(HMODULE h) { Platform().FreeLibrary(h); }
void mivra::RegKeyTraits::Close(HKEY h) { Platform().RegCloseKey(h); }
void mivra::FindHandleTraits::Close(HANDLE h) { Platform().FindClose(h); }
