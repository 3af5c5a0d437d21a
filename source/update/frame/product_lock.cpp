#include "update/frame/product_lock.h"

#include <sddl.h>

#include <cstdint>
#include <string>

#include "update/frame/backup_folder.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

constexpr wchar_t kLockNamePrefix[] = L"MivraProductLock:";

// The folders under Common Files grant Everyone full access, so any user's process may work on
// them: any user may wait on the lock and release it, whoever created it.
constexpr wchar_t kLockSecurity[] = L"D:(A;;0x00100001;;;WD)";  // SYNCHRONIZE | MUTEX_MODIFY_STATE

uint64_t Fnv1a64(std::wstring_view text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (wchar_t c : text) {
    for (int shift = 0; shift < 16; shift += 8) {
      hash ^= (static_cast<uint16_t>(c) >> shift) & 0xFF;
      hash *= 0x100000001B3ull;
    }
  }
  return hash;
}

HANDLE CreateLockMutex(const wchar_t* name) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ::ConvertStringSecurityDescriptorToSecurityDescriptorW(kLockSecurity, SDDL_REVISION_1, &descriptor, nullptr);
  ScopedLocalMem descriptorOwner(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  return Platform().CreateMutexW(descriptor ? &attributes : nullptr, FALSE, name);
}

// The updater may run as a service while a tool runs in a user's session: the lock lives in the
// global namespace. A process that may not create global objects, when no one has created this
// one yet, falls back to its session's, which still keeps the processes of that session apart.
HANDLE OpenProductMutex(std::wstring_view baseFolder) {
  wchar_t name[kPathCapacity];
  if (!ProductLockName(baseFolder, L"Global\\", name)) return nullptr;
  HANDLE mutex = CreateLockMutex(name);
  if (mutex || Platform().GetLastError() != ERROR_ACCESS_DENIED) return mutex;
  if (!ProductLockName(baseFolder, L"Local\\", name)) return nullptr;
  return CreateLockMutex(name);
}

void TraceLockWait(const wchar_t* base, DWORD waited) {
  TraceEvent step = TraceStep("lock");
  step.Path("folder", base);
  switch (waited) {
    case WAIT_OBJECT_0: step.Outcome("ok"); return;
    case WAIT_ABANDONED: step.Outcome("taken-over"); return;
    case WAIT_TIMEOUT: step.Number("ms", kProductLockWaitMs).Failed("held by another process"); return;
    default: step.Win32(false); return;
  }
}

}  // namespace

bool ProductLockName(std::wstring_view baseFolder, std::wstring_view nameSpace, wchar_t (&name)[kPathCapacity]) {
  std::wstring folded(baseFolder);
  if (!folded.empty()) {
    const int length = static_cast<int>(folded.size());
    if (::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, folded.data(), length, folded.data(), length) != length) {
      return false;
    }
  }
  for (wchar_t& c : folded) {
    if (c == L'\\') c = L'/';
  }
  if (BoundedConcat(name, {nameSpace, kLockNamePrefix, folded})) return true;
  const uint64_t digest = Fnv1a64(folded);
  const HexDigits high = FormatHex(static_cast<uint32_t>(digest >> 32), 8, true);
  const HexDigits low = FormatHex(static_cast<uint32_t>(digest), 8, true);
  return BoundedConcat(name, {nameSpace, kLockNamePrefix, high.view(), low.view()});
}

ProductLock::Result ProductLock::Acquire() {
  Release();
  wchar_t base[kPathCapacity];
  if (!GetBackupFolder(base, BKF_BASE, false)) return Result::kUnnamed;
  ScopedHandle mutex(OpenProductMutex(base));
  if (!mutex) {
    TraceStep("lock").Path("folder", base).Text("at", "open").Win32(false);
    return Result::kBusy;
  }
  const DWORD waited = Platform().WaitForSingleObject(mutex.get(), kProductLockWaitMs);
  TraceLockWait(base, waited);
  // A lock abandoned by a process that died is this caller's now.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return Result::kBusy;
  mutex_ = std::move(mutex);
  return Result::kHeld;
}

void ProductLock::Release() {
  if (!mutex_) return;
  Platform().ReleaseMutex(mutex_.get());
  mutex_.reset();
}

}  // namespace mivra
