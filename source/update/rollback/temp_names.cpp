#include "update/rollback/temp_names.h"

#include <windows.h>

#include <ctime>
#include <iterator>

#include "update/frame/file_info.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// Takes a free name by creating its file exclusively, so that two callers who draw the same number
// at once never share a file: the loser finds it taken and tries the next. A creation that fails
// for another reason proves nothing about the name; it is judged by its existence as before, and
// the copy into it then meets that reason itself. The handle of a file created here goes to
// `created` when given: it is open as a copy into it is (for writing and for reading it back,
// reading shared so that a large copy can be read back while it is written), with the right to
// rename it into its place later, and an exclusive creation follows no link.
bool ReserveName(const wchar_t* path, ScopedHandle* created) {
  ScopedHandle file(Platform().CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) {
    if (created) *created = std::move(file);
    return true;
  }
  if (IsExistsError(Platform().GetLastError())) return false;
  return !PathExists(path);
}

// "<path>.<digit>kv"
bool AsideName(const wchar_t* path, wchar_t digit, wchar_t (&aside)[kPathCapacity]) {
  const wchar_t suffix[] = {digit, L'k', L'v', L'\0'};
  return BoundedConcat(aside, {path, L".", suffix});
}

}  // namespace

uint32_t TempNameStartNumber(int64_t seconds) {
  // The C runtime's generator: state = state * 214013 + 2531011, value = bits 16..30.
  uint32_t state = static_cast<uint32_t>(seconds);
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFF;
}

uint32_t IssuedTempNumbers::RunFrom(uint32_t number) const {
  uint32_t length = 0;
  // At most twice round: a run may end at FFFFFF and another begin at 0.
  for (int pass = 0; pass < 2 && length < kTempNumberSpace; ++pass) {
    auto run = runs_.upper_bound(number);
    if (run == runs_.begin()) break;
    --run;
    if (run->second < number) break;
    length += run->second - number + 1;
    if (run->second != kTempNumberSpace - 1) break;
    number = 0;
  }
  return length < kTempNumberSpace ? length : kTempNumberSpace;
}

void IssuedTempNumbers::Add(uint32_t number) {
  uint32_t first = number, last = number;
  auto next = runs_.upper_bound(number);
  if (next != runs_.begin()) {
    auto previous = std::prev(next);
    if (previous->second >= number) return;
    if (previous->second + 1 == number) {
      first = previous->first;
      runs_.erase(previous);
    }
  }
  if (next != runs_.end() && next->first == number + 1) {
    last = next->second;
    runs_.erase(next);
  }
  runs_[first] = last;
}

bool MakeUniqueTempName(const wchar_t* directory, wchar_t (&name)[kPathCapacity], IssuedTempNumbers* issued,
                        ScopedHandle* created) {
  return MakeUniqueTempNameFrom(directory, TempNameStartNumber(::_time64(nullptr)), name, issued, created);
}

bool MakeUniqueTempNameFrom(const wchar_t* directory, uint32_t start, wchar_t (&name)[kPathCapacity],
                            IssuedTempNumbers* issued, ScopedHandle* created) {
  if (!directory) return false;
  wchar_t folder[kPathCapacity] = {};
  if (!BoundedCopy(folder, directory)) return false;
  const size_t length = std::wstring_view(folder).size();
  if ((length == 0 || folder[length - 1] != L'\\') && !BoundedAppend(folder, L"\\")) return false;

  uint32_t number = start % kTempNumberSpace;
  wchar_t candidate[kPathCapacity];
  for (uint32_t attempt = 0; attempt < kTempNumberSpace - 1; ++attempt) {
    // An issued name is taken: counted as tried, as the file system would have answered.
    const uint32_t taken = issued ? issued->RunFrom(number) : 0;
    if (taken >= kTempNumberSpace - 1 - attempt) return false;
    attempt += taken;
    number = (number + taken) % kTempNumberSpace;
    const HexDigits digits = FormatHex(number, 6, true);
    if (BoundedConcat(candidate, {folder, kTempNamePrefix, digits.view(), L".", kTempNameExtension}) &&
        ReserveName(candidate, created) && BoundedCopy(name, candidate)) {
      if (issued) issued->Add(number);
      return true;
    }
    number = (number + 1) % kTempNumberSpace;
  }
  return false;
}

bool MoveAsideLockedFile(const wchar_t* path) {
  wchar_t aside[kPathCapacity];
  return MoveAsideLockedFileTo(path, aside);
}

bool MoveAsideLockedFileTo(const wchar_t* path, wchar_t (&aside)[kPathCapacity]) {
  if (!path) return false;
  for (wchar_t digit = L'1'; digit <= L'9'; ++digit) {
    if (!AsideName(path, digit, aside)) return false;
    if (PathExists(aside)) {
      Platform().SetFileAttributesW(aside, FILE_ATTRIBUTE_NORMAL);
      const BOOL deleted = Platform().DeleteFileW(aside);
      TraceStep("delete").Path("path", aside).Win32(deleted);
      if (!deleted) continue;
    }
    const bool moved = Platform().wrename(path, aside) == 0;
    return TraceStep("move-aside").Path("from", path).Path("to", aside).Crt(moved);
  }
  return false;
}

}  // namespace mivra
