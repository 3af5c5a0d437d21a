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

CopyUse CopyUsedByOtherRecord(MdataObject& object, const wchar_t* folder, uint32_t index,
                              std::wstring_view name) {
  bool used = false;
  const RecordWalk walk = ForEachLiveBkRecord(
      object,
      [index, &used](uint32_t other, const BkMdataRecord& record) {
        // A record of a file that was absent keeps no copy.
        used = other != index && !(record.flags & BKREC_ABSENT);
        return !used;
      },
      [folder, name](std::wstring_view recorded) { return NamesShareFile(folder, name, recorded); });
  if (walk != RecordWalk::kWalked) return CopyUse::kUnknown;
  return used ? CopyUse::kUsed : CopyUse::kUnused;
}

}  // namespace mivra
