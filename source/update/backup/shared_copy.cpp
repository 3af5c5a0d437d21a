#include "update/backup/shared_copy.h"

#include <windows.h>

#include <string>

#include "update/backup/bkmdata_store.h"
#include "update/frame/bounded_string.h"
#include "update/frame/platform_calls.h"

namespace mivra {
namespace {

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The long form of `folder\name`; false when it cannot be taken (the file is not there).
bool LongPathOf(const wchar_t* folder, std::wstring_view name, wchar_t (&longPath)[kPathCapacity]) {
  wchar_t path[kPathCapacity];
  if (!JoinPath(path, folder, name)) return false;
  const DWORD length = Platform().GetLongPathNameW(path, longPath, kPathCapacity);
  return length != 0 && length < kPathCapacity;
}

}  // namespace

bool NamesShareFile(const wchar_t* folder, std::wstring_view a, std::wstring_view b) {
  if (EqualIgnoringCase(a, b)) return true;
  // Only a short name (8.3, with its '~') can be another spelling of a different-looking name.
  if (a.find(L'~') == std::wstring_view::npos && b.find(L'~') == std::wstring_view::npos) return false;
  wchar_t longA[kPathCapacity];
  wchar_t longB[kPathCapacity];
  return LongPathOf(folder, a, longA) && LongPathOf(folder, b, longB) && EqualIgnoringCase(longA, longB);
}

CopyUse CopyUsedByOtherRecord(const MdataObject& object, const wchar_t* folder, uint32_t index,
                              std::wstring_view name) {
  const uint32_t count = CountBkRecords(object);
  for (uint32_t other = 0; other < count; ++other) {
    if (other == index) continue;
    BkMdataRecord record;
    if (!ReadBkRecord(object, other, &record)) return CopyUse::kUnknown;
    if (record.flags & (BKREC_REMOVED | BKREC_ABSENT)) continue;
    if (NamesShareFile(folder, name, RecordFieldName(record.fileName))) return CopyUse::kUsed;
  }
  return CopyUse::kUnused;
}

}  // namespace mivra
