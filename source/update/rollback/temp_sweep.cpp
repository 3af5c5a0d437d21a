#include "update/rollback/temp_sweep.h"

#include <windows.h>

#include <set>
#include <string_view>

#include "update/frame/bounded_string.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_info.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/rollback/temp_names.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool SweepTempFiles(const RollbackContext* staged) {
  // The staged copies' names as this rollback made them, which is how the search returns them.
  std::set<std::wstring_view> kept;
  if (staged) {
    for (const RestoreEntry& entry : staged->entries) kept.insert(entry.tempPath);
  }
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return false;
  wchar_t pattern[kPathCapacity];
  if (!BoundedConcat(pattern, {installDir, kTempNamePrefix, L"*.", kTempNameExtension})) return false;

  WIN32_FIND_DATAW found = {};
  ScopedFindHandle search(Platform().FindFirstFileW(pattern, &found));
  if (!TraceStep("sweep").Path("pattern", pattern).Win32(search.valid())) return false;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    wchar_t path[kPathCapacity];
    if (!BoundedConcat(path, {installDir, found.cFileName})) return false;
    if (kept.count(path) == 0) DeleteFileIfPresent(path);
  } while (Platform().FindNextFileW(search.get(), &found));
  return true;
}

}  // namespace mivra
