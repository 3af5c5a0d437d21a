#include "update/frame/file_info.h"

#include <windows.h>

#include <cerrno>

#include "update/frame/platform_calls.h"

namespace mivra {

bool PathExists(const wchar_t* path) { return ProbePath(path) == PathState::kPresent; }

PathState ProbePath(const wchar_t* path) {
  if (!path) return PathState::kUnknown;
  errno = 0;
  if (Platform().waccess(path, 0) == 0) return PathState::kPresent;
  return errno == ENOENT ? PathState::kAbsent : PathState::kUnknown;
}

bool IsNotFoundError(unsigned long lastError) {
  return lastError == ERROR_FILE_NOT_FOUND || lastError == ERROR_PATH_NOT_FOUND;
}

bool IsExistsError(unsigned long lastError) {
  return lastError == ERROR_FILE_EXISTS || lastError == ERROR_ALREADY_EXISTS;
}

PathState ReadPresentFileSizeAndTime(const wchar_t* path, uint32_t* sizeLow, SystemTime16* localWriteTime) {
  if (ReadFileSizeAndTime(path, sizeLow, localWriteTime)) return PathState::kPresent;
  return IsNotFoundError(Platform().GetLastError()) ? PathState::kAbsent : PathState::kUnknown;
}

bool ReadFileSizeAndTime(const wchar_t* path, uint32_t* sizeLow, SystemTime16* localWriteTime) {
  if (!path || !sizeLow || !localWriteTime) return false;
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!Platform().GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return false;
  *sizeLow = data.nFileSizeLow;
  // The records keep whatever the two conversions give, as the stored times always have.
  FILETIME local = {};
  SYSTEMTIME time = {};
  ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  ::FileTimeToSystemTime(&local, &time);
  *localWriteTime = {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
                     time.wHour, time.wMinute, time.wSecond, time.wMilliseconds};
  return true;
}

}  // namespace mivra
