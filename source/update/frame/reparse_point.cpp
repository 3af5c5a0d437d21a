#include "update/frame/reparse_point.h"

#include "update/frame/file_info.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"

namespace mivra {

EntryKind ProbeEntry(const wchar_t* path) {
  if (!path) return EntryKind::kUnknown;
  // The attributes of the last component are its own: a link reports the reparse attribute, not
  // those of its target.
  const DWORD attributes = Platform().GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return IsNotFoundError(Platform().GetLastError()) ? EntryKind::kAbsent : EntryKind::kUnknown;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return EntryKind::kLink;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::kFolder : EntryKind::kFile;
}

bool IsNotLink(const wchar_t* path) {
  switch (ProbeEntry(path)) {
    case EntryKind::kAbsent:
    case EntryKind::kFile:
    case EntryKind::kFolder: return true;
    case EntryKind::kLink: TraceStep("link").Path("path", path).Failed("reparse point"); return false;
    case EntryKind::kUnknown: break;
  }
  TraceStep("link").Path("path", path).Win32(false);
  return false;
}

HandleKind ProbeHandle(HANDLE handle) {
  FILE_ATTRIBUTE_TAG_INFO info = {};
  if (!Platform().GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof(info))) {
    return HandleKind::kUnknown;
  }
  return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? HandleKind::kLink : HandleKind::kNotLink;
}

ScopedHandle OpenFileNotLink(const wchar_t* path, DWORD access, DWORD share, DWORD disposition, bool* existed) {
  if (existed) *existed = false;
  if (disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
    // Most such opens make a new file. An exclusive creation never follows a link (any entry of
    // that name makes it fail) and looks for the name once; asking about an absent name first
    // would look twice, and under Wine each look for an absent name reads the whole folder.
    ScopedHandle created(Platform().CreateFileW(path, access, share, nullptr, CREATE_NEW,
                                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (created || disposition == CREATE_NEW) return created;
    if (!IsExistsError(Platform().GetLastError())) return created;
  }
  if (!IsNotLink(path)) return ScopedHandle();
  ScopedHandle file(Platform().CreateFileW(path, access, share, nullptr, disposition,
                                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file) return file;
  const bool found = disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING ||
                     ((disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS) &&
                      Platform().GetLastError() == ERROR_ALREADY_EXISTS);
  if (existed) *existed = found;
  // A file this open created is no link; asking again could only fail and leave it behind.
  if (!found) return file;
  if (ProbeHandle(file.get()) != HandleKind::kNotLink) {
    TraceStep("link").Path("path", path).Failed("opened a reparse point");
    return ScopedHandle();
  }
  return file;
}

bool RemoveLink(const wchar_t* path) {
  if (ProbeEntry(path) != EntryKind::kLink) return false;
  // Backup semantics open a link to a folder as well as one to a file.
  ScopedHandle link(Platform().CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                           nullptr));
  if (!link) return TraceStep("remove-link").Path("path", path).Win32(false);
  if (ProbeHandle(link.get()) != HandleKind::kLink) {
    TraceStep("remove-link").Path("path", path).Failed("the handle is not the link itself");
    return false;
  }
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  const bool removed =
      Platform().SetFileInformationByHandle(link.get(), FileDispositionInfo, &disposition, sizeof(disposition));
  return TraceStep("remove-link").Path("path", path).Win32(removed);
}

}  // namespace mivra
