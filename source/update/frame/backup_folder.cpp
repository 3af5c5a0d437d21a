#include "update/frame/backup_folder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string_view>

#include "update/frame/folder_access.h"
#include "update/frame/platform_calls.h"
#include "update/frame/product_identity.h"
#include "update/frame/reparse_point.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// True when no entry anywhere under `folder` is a link, proved by a full walk.
bool TreeHoldsNoLink(const wchar_t* folder) {
  wchar_t pattern[kPathCapacity];
  if (!JoinPath(pattern, folder, L"*")) return false;
  WIN32_FIND_DATAW found = {};
  ScopedFindHandle search(Platform().FindFirstFileW(pattern, &found));
  if (!search) return TraceStep("walk").Path("path", folder).Win32(false);
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    wchar_t entry[kPathCapacity];
    if (!JoinPath(entry, folder, name)) {
      TraceStep("walk").Path("path", folder).Failed("path too long");
      return false;
    }
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      TraceStep("walk").Path("path", entry).Failed("reparse point");
      return false;
    }
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !TreeHoldsNoLink(entry)) return false;
  } while (Platform().FindNextFileW(search.get(), &found));
  const DWORD ended = Platform().GetLastError();
  return ended == ERROR_NO_MORE_FILES || TraceStep("walk").Path("path", folder).Win32(false);
}

thread_local CommonFilesScope* tCommonFilesScope = nullptr;

bool AskCommonFiles(wchar_t (&folder)[kPathCapacity]) {
  static_assert(kPathCapacity >= MAX_PATH, "the shell writes up to MAX_PATH characters");
  return SUCCEEDED(
      Platform().SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, folder));
}

bool CommonFilesFolder(wchar_t (&folder)[kPathCapacity]) {
  return tCommonFilesScope ? tCommonFilesScope->Get(folder) : AskCommonFiles(folder);
}

}  // namespace

CommonFilesScope::CommonFilesScope() : outer_(tCommonFilesScope) { tCommonFilesScope = this; }

CommonFilesScope::~CommonFilesScope() { tCommonFilesScope = outer_; }

bool CommonFilesScope::Get(wchar_t (&folder)[kPathCapacity]) {
  if (!known_) known_ = AskCommonFiles(folder_);
  return known_ && BoundedCopy(folder, folder_);
}

bool GetBackupFolder(wchar_t (&buffer)[kPathCapacity], uint32_t kind, bool create, ExistingFolders existing) {
  if (kind != BKF_BASE && kind != BKF_BKUP && kind != BKF_TMPBKUP) return false;

  wchar_t company[kProductNameCapacity] = {};
  wchar_t product[kProductNameCapacity] = {};
  if (!GetProductIdentity(company, product)) {
    TraceStep("folder").Failed("company or product name unavailable");
    return false;
  }

  wchar_t commonFiles[kPathCapacity] = {};
  if (!CommonFilesFolder(commonFiles)) {
    TraceStep("folder").Failed("no Common Files folder");
    return false;
  }
  wchar_t base[kPathCapacity] = {};
  if (!BoundedConcat(base, {commonFiles, L"\\", company, L"\\", product})) {
    TraceStep("folder").Failed("path too long");
    return false;
  }

  bool composed = false;
  switch (kind) {
    case BKF_BASE: composed = BoundedCopy(buffer, base); break;
    case BKF_BKUP: composed = JoinPath(buffer, base, L"bkup"); break;
    case BKF_TMPBKUP: composed = JoinPath(buffer, base, L"tmpbkup"); break;
  }
  if (!composed) {
    TraceStep("folder").Failed("path too long");
    return false;
  }

  // A link in place of one of the library's folders would take every file of it somewhere else:
  // refused before anything is created through it.
  if (!IsNotLink(base) || (kind != BKF_BASE && !IsNotLink(buffer))) return false;

  if (create) {
    // The folder this call created gets the closed access rights; one that existed is closed
    // only when an earlier version left it open to others, and so is the base folder holding it,
    // unless the caller holds both closed already.
    const bool close = existing == ExistingFolders::kClose;
    if (Platform().SHCreateDirectoryExW(nullptr, buffer, nullptr) == ERROR_SUCCESS) {
      TraceStep("create-folder").Path("path", buffer).Outcome("ok");
      ApplyFolderAccess(buffer);
    } else if (close) {
      TightenFolderAccess(buffer);
    }
    if (kind != BKF_BASE && close) TightenFolderAccess(base);
  }
  return true;
}

bool DeleteFolderTree(const wchar_t* path) {
  if (!path) return false;
  // Only a folder proved absent counts as deleted. The shell deletes what a link points to, so a
  // tree that is or holds a link, or one that cannot be told, is not given to it.
  switch (ProbeEntry(path)) {
    case EntryKind::kAbsent:
      TraceStep("delete-folder").Path("path", path).Outcome("absent");
      return true;
    case EntryKind::kFolder:
      if (!TreeHoldsNoLink(path)) return false;
      break;
    case EntryKind::kFile:
      break;
    case EntryKind::kLink:
      TraceStep("delete-folder").Path("path", path).Failed("reparse point");
      return false;
    case EntryKind::kUnknown:
      TraceStep("delete-folder").Path("path", path).Win32(false);
      return false;
  }

  // The shell takes a list of paths ended by two NULs.
  wchar_t from[kPathCapacity + 1] = {};
  if (!BoundedCopy(from, kPathCapacity, path)) return false;

  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from;
  operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  const int shellResult = Platform().SHFileOperationW(&operation);
  TraceStep("delete-folder").Path("path", path).Number("shell", static_cast<uint32_t>(shellResult)).Ok(
      shellResult == 0);
  return shellResult == 0;
}

}  // namespace mivra
