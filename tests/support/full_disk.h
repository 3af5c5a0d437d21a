// A disk with no free space, through the platform table: data written over bytes a file already
// holds goes through, while a write that would make a file longer, a length set past its end, or a
// copy fails as a full disk fails it (ENOSPC / ERROR_DISK_FULL). Creating an empty file still
// works, as it does on a full disk: only its first data fails.
//
//   { mivra_test::FullDisk full; EXPECT_EQ(mivra::MarkUpdateStatus(1), MarkStatusResult::kMarked); }
#ifndef MIVRA_TESTS_SUPPORT_FULL_DISK_H_
#define MIVRA_TESTS_SUPPORT_FULL_DISK_H_

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstdint>

#include "support/platform_fault.h"
#include "update/frame/platform_calls.h"

namespace mivra_test {

class FullDisk {
 public:
  FullDisk() = default;
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

 private:
  static int Write(int fd, const void* buffer, unsigned count) {
    const int64_t at = mivra::RealPlatformCalls().seek(fd, 0, SEEK_CUR);
    const int64_t end = ::_filelengthi64(fd);
    if (at < 0 || end < 0 || at + static_cast<int64_t>(count) > end) {
      errno = ENOSPC;
      return -1;
    }
    return mivra::RealPlatformCalls().write(fd, buffer, count);
  }
  static int SetLength(int fd, int64_t length) {
    const int64_t end = ::_filelengthi64(fd);
    if (end < 0 || length > end) return ENOSPC;
    return mivra::RealPlatformCalls().chsize(fd, length);
  }
  static BOOL WINAPI WriteHandle(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED position) {
    LARGE_INTEGER at = {};
    if (position) {
      at.LowPart = position->Offset;
      at.HighPart = static_cast<LONG>(position->OffsetHigh);
    } else {
      const LARGE_INTEGER zero = {};
      ::SetFilePointerEx(file, zero, &at, FILE_CURRENT);
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size) || at.QuadPart + count > size.QuadPart) {
      if (written) *written = 0;
      ::SetLastError(ERROR_DISK_FULL);
      return FALSE;
    }
    return mivra::RealPlatformCalls().WriteFile(file, buffer, count, written, position);
  }
  static BOOL WINAPI Copy(LPCWSTR, LPCWSTR, BOOL) {
    ::SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }

  PlatformOverride<&mivra::PlatformCalls::write> write_{&Write};
  PlatformOverride<&mivra::PlatformCalls::chsize> chsize_{&SetLength};
  PlatformOverride<&mivra::PlatformCalls::WriteFile> writeFile_{&WriteHandle};
  PlatformOverride<&mivra::PlatformCalls::CopyFileW> copy_{&Copy};
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_FULL_DISK_H_
