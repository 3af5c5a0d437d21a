#include "update/frame/file_trust.h"

#include "update/frame/file_owner.h"
#include "update/frame/reparse_point.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

FileTrust AsFileTrust(OwnerTrust owner) {
  switch (owner) {
    case OwnerTrust::kTrusted: return FileTrust::kTrusted;
    case OwnerTrust::kForeign: return FileTrust::kForeign;
    case OwnerTrust::kUnknown: break;
  }
  return FileTrust::kUnknown;
}

}  // namespace

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
  return AsFileTrust(CheckFileOwner(path));
}

FileTrust JudgeOpenedLibraryFile(HANDLE opened, const wchar_t* path) {
  return AsFileTrust(CheckOpenedFileOwner(opened, path));
}

}  // namespace mivra
