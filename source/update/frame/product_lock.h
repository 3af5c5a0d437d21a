// One lock per product, shared by every process that loads the library. Each export that reads
// or changes the backup folders, their metadata or the rollback database holds it for its call, so
// that no call ever meets another's half-written file, and no open discards a file as invalid
// while another process is writing it.
#ifndef MIVRA_UPDATE_FRAME_PRODUCT_LOCK_H_
#define MIVRA_UPDATE_FRAME_PRODUCT_LOCK_H_

#include <windows.h>

#include <string_view>

#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"

namespace mivra {

// How long a call waits for another process's call to end before it gives up. Long enough for a
// rollback that waits on files in use; bounded, so that a hung process fails calls instead of
// hanging them.
inline constexpr DWORD kProductLockWaitMs = 60000;

// Held from a successful Acquire until Release or the end of the owner's scope. The lock is a
// named mutex: recursive for its thread, so a library call made while one is under way on the
// same thread (a callback of the service notification, say) goes through; and left by a process
// that died, it passes to the next waiter, whose opens then recover what that process left.
class ProductLock {
 public:
  ProductLock() = default;
  ~ProductLock() { Release(); }
  ProductLock(const ProductLock&) = delete;
  ProductLock& operator=(const ProductLock&) = delete;

  enum class Result {
    kHeld,
    kUnnamed,  // the product's base folder cannot be named (or is a link): there is no lock to take
    kBusy,     // not had within kProductLockWaitMs, or the lock could not be created or waited for
  };

  // Waits up to kProductLockWaitMs. Only kHeld lets a call go on: without the lock nothing is read
  // or written, whatever the reason.
  Result Acquire();
  void Release();
  bool held() const { return mutex_.valid(); }

 private:
  // The call's folders are composed under the Common Files folder its lock was named from.
  CommonFilesScope commonFiles_;
  ScopedHandle mutex_;
};

// The kernel object name of the lock for `baseFolder` in `nameSpace` ("Global\" or "Local\"): the
// folder case-folded, so that every spelling of one folder names one lock, with its backslashes
// replaced; a folder too long for an object name is named by a digest of it instead.
bool ProductLockName(std::wstring_view baseFolder, std::wstring_view nameSpace, wchar_t (&name)[kPathCapacity]);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_PRODUCT_LOCK_H_
