#include "update/frame/deferred_delete.h"

#include <windows.h>

#include <cstdint>

#include "update/frame/file_info.h"
#include "update/frame/module_loader.h"
#include "update/frame/platform_calls.h"
#include "update/frame/reparse_point.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

constexpr WORD kTrustConnectionOpenOrdinal = 3;
constexpr WORD kTrustConnectionCloseOrdinal = 4;
constexpr DWORD kDeleteAtRestart = MOVEFILE_DELAY_UNTIL_REBOOT;

using TrustConnectionOpenFn = uint8_t (*)(HMODULE* module, uint32_t* context);
using TrustConnectionCloseFn = void (*)(HMODULE module, uint32_t* context);
using TrustPendingRenameFn = uint32_t (*)(uint32_t processId, const wchar_t* path, const wchar_t* newName,
                                          uint32_t flags, uint32_t* context);

// Asks the trust component to accept the pending rename for the length of the scheduling call.
// An absent or refusing component only skips the trust step.
class TrustConnection {
 public:
  TrustConnection() : component_(LoadProductComponent(L"zkstub.dll")) {
    auto open = GetOrdinal<TrustConnectionOpenFn>(component_.get(), kTrustConnectionOpenOrdinal);
    open_ = open && open(&module_, &context_) == 1;
  }
  ~TrustConnection() {
    if (!open_) return;
    auto close = GetOrdinal<TrustConnectionCloseFn>(component_.get(), kTrustConnectionCloseOrdinal);
    if (close) close(module_, &context_);
  }
  TrustConnection(const TrustConnection&) = delete;
  TrustConnection& operator=(const TrustConnection&) = delete;

  void TrustDeletion(const wchar_t* path) {
    if (!open_) return;
    auto trust = GetProc<TrustPendingRenameFn>(module_, "ZK_TrustPendingRenameForEntity");
    if (!trust) return;
    context_ = 0;
    trust(::GetCurrentProcessId(), path, nullptr, kDeleteAtRestart, &context_);
  }

 private:
  ScopedModule component_;
  HMODULE module_ = nullptr;
  uint32_t context_ = 0;
  bool open_ = false;
};

}  // namespace

int DeleteOnReboot(const wchar_t* path) {
  if (!path) return 0;
  TrustConnection trust;
  trust.TrustDeletion(path);
  const BOOL scheduled = Platform().MoveFileExW(path, nullptr, kDeleteAtRestart);
  TraceStep("delete-at-restart").Path("path", path).Win32(scheduled);
  return scheduled;
}

DeleteOutcome DeleteFileIfPresent(const wchar_t* path) {
  if (!path) return DeleteOutcome::kFailed;
  switch (ProbeEntry(path)) {
    case EntryKind::kAbsent: return DeleteOutcome::kAbsent;
    // Deleted now or at restart, a link would take what it points to with it: only the link
    // itself goes, or nothing does.
    case EntryKind::kLink: return RemoveLink(path) ? DeleteOutcome::kDeleted : DeleteOutcome::kFailed;
    case EntryKind::kFile:
    case EntryKind::kFolder:
    case EntryKind::kUnknown: break;
  }
  Platform().SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  const bool deleted = Platform().DeleteFileW(path);
  const DWORD error = deleted ? ERROR_SUCCESS : Platform().GetLastError();
  TraceStep("delete").Path("path", path).Win32(deleted, "absent");
  if (deleted) return DeleteOutcome::kDeleted;
  if (IsNotFoundError(error)) return DeleteOutcome::kAbsent;
  return DeleteOnReboot(path) != 0 ? DeleteOutcome::kScheduled : DeleteOutcome::kFailed;
}

}  // namespace mivra
