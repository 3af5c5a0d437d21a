#include "update/rollback/temp_names.h"

#include <windows.h>

#include <ctime>

#include "update/frame/file_info.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

namespace mivra {
namespace {

// Takes a free name by creating its file exclusively, so that two callers who draw the same number
// at once never share a file: the loser finds it taken and tries the next. A creation that fails
// for another reason proves nothing about the name; it is judged by its existence as before, and
// the copy into it then meets that reason itself.
bool ReserveName(const wchar_t* path) {
  ScopedHandle file(Platform().CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
  if (file) return true;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return false;
  return !PathExists(path);
}

}  // namespace

uint32_t TempNameStartNumber(int64_t seconds) {
  // The C runtime's generator: state = state * 214013 + 2531011, value = bits 16..30.
  uint32_t state = static_cast<uint32_t>(seconds);
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFF;
}

bool MakeUniqueTempName(const wchar_t* directory, wchar_t (&name)[kPathCapacity]) {
  return MakeUniqueTempNameFrom(directory, TempNameStartNumber(::_time64(nullptr)), name);
}

bool MakeUniqueTempNameFrom(const wchar_t* directory, uint32_t start, wchar_t (&name)[kPathCapacity]) {
  if (!directory) return false;
  wchar_t folder[kPathCapacity] = {};
  if (!BoundedCopy(folder, directory)) return false;
  const size_t length = std::wstring_view(folder).size();
  if ((length == 0 || folder[length - 1] != L'\\') && !BoundedAppend(folder, L"\\")) return false;

  uint32_t number = start % kTempNumberSpace;
  wchar_t candidate[kPathCapacity];
  for (uint32_t attempt = 0; attempt < kTempNumberSpace - 1; ++attempt) {
    const HexDigits digits = FormatHex(number, 6, true);
    if (BoundedConcat(candidate, {folder, kTempNamePrefix, digits.view(), L".", kTempNameExtension}) &&
        ReserveName(candidate) && BoundedCopy(name, candidate)) {
      return true;
    }
    number = (number + 1) % kTempNumberSpace;
  }
  return false;
}

bool MoveAsideLockedFile(const wchar_t* path) {
  if (!path) return false;
  wchar_t aside[kPathCapacity];
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) {
    const wchar_t suffix[] = {digit, L'k', L'v', L'\0'};
    if (!BoundedConcat(aside, {path, L".", suffix})) return false;
    if (PathExists(aside)) {
      Platform().SetFileAttributesW(aside, FILE_ATTRIBUTE_NORMAL);
      if (!Platform().DeleteFileW(aside)) continue;
    }
    return Platform().wrename(path, aside) == 0;
  }
  return false;
}

}  // namespace mivra
