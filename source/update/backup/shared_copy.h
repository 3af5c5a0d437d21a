// Backup copies that several records share. Records are keyed by their exact name, but the file
// system is not: "Dup.txt" and "dup.txt" (or a long name and its short alias) are one copy on disk.
#ifndef MIVRA_UPDATE_BACKUP_SHARED_COPY_H_
#define MIVRA_UPDATE_BACKUP_SHARED_COPY_H_

#include <cstdint>
#include <string_view>

#include "update/store/mdata_object.h"

namespace mivra {

// True when the names `a` and `b` open one file in `folder`: equal without regard to letter case,
// or, where a short name may be involved, resolving to the same long name there.
bool NamesShareFile(const wchar_t* folder, std::wstring_view a, std::wstring_view b);

enum class CopyUse { kUnused, kUsed, kUnknown };

// Whether a live record other than record `index` (one not removed and not recorded absent) keeps
// its backup copy in `folder` under a name that is the same file as `name`. kUnknown when the
// records cannot be read.
CopyUse CopyUsedByOtherRecord(MdataObject& object, const wchar_t* folder, uint32_t index,
                              std::wstring_view name);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_SHARED_COPY_H_
