#include "update/frame/file_info.h"

#include <windows.h>

#include "update/frame/platform_calls.h"

namespace mivra {

bool PathExists(const wchar_t* path) { return path && Platform().waccess(path, 0) == 0; }

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
