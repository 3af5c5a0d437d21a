#include "update/frame/backup_folder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "update/frame/file_info.h"
#include "update/frame/folder_access.h"
#include "update/frame/platform_calls.h"
#include "update/frame/product_identity.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool GetBackupFolder(wchar_t (&buffer)[kPathCapacity], uint32_t kind, bool create) {
  if (kind != BKF_BASE && kind != BKF_BKUP && kind != BKF_TMPBKUP) return false;

  wchar_t company[kProductNameCapacity] = {};
  wchar_t product[kProductNameCapacity] = {};
  if (!GetProductIdentity(company, product)) {
    TraceStep("folder").Failed("company or product name unavailable");
    return false;
  }

  wchar_t commonFiles[MAX_PATH] = {};
  if (FAILED(Platform().SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT,
                                         commonFiles))) {
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

  // Only the folder this call created gets the open access rights; an existing one keeps its own.
  if (create && Platform().SHCreateDirectoryExW(nullptr, buffer, nullptr) == ERROR_SUCCESS) {
    TraceStep("create-folder").Path("path", buffer).Outcome("ok");
    ApplyFolderAccess(buffer);
  }
  return true;
}

bool DeleteFolderTree(const wchar_t* path) {
  if (!path) return false;
  // Only a folder proved absent counts as deleted; a failed test leaves the deletion to try.
  if (ProbePath(path) == PathState::kAbsent) {
    TraceStep("delete-folder").Path("path", path).Outcome("absent");
    return true;
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
