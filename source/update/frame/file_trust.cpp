#include "update/frame/file_trust.h"

#include "update/frame/file_owner.h"
#include "update/frame/reparse_point.h"
#include "update/frame/trace_log.h"

namespace mivra {

FileTrust JudgeLibraryEntry(const wchar_t* path) {
  switch (ProbeEntry(path)) {
    case EntryKind::kAbsent: return FileTrust::kAbsent;
    case EntryKind::kLink: TraceStep("link").Path("path", path).Failed("reparse point"); return FileTrust::kLink;
    case EntryKind::kUnknown: return FileTrust::kUnknown;
    case EntryKind::kFile:
    case EntryKind::kFolder: break;
  }
  return FileTrust::kTrusted;
}

FileTrust JudgeLibraryFile(const wchar_t* path) {
  const FileTrust entry = JudgeLibraryEntry(path);
  if (entry != FileTrust::kTrusted) return entry;
  switch (CheckFileOwner(path)) {
    case OwnerTrust::kTrusted: return FileTrust::kTrusted;
    case OwnerTrust::kForeign: return FileTrust::kForeign;
    case OwnerTrust::kUnknown: break;
  }
  return FileTrust::kUnknown;
}

}  // namespace mivra
