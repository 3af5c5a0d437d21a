// One move-only owner per kind of Windows resource, so every path out of a call releases what the
// call opened by scope alone. Files, folders, keys and modules are closed through the platform
// table (platform_calls.cpp).
#ifndef MIVRA_UPDATE_FRAME_SCOPED_HANDLES_H_
#define MIVRA_UPDATE_FRAME_SCOPED_HANDLES_H_

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace mivra {

template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle handle) : handle_(handle) {}
  ~ScopedGeneric() { reset(); }
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;

  bool valid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return valid(); }
  Handle get() const { return handle_; }
  Handle release() { return std::exchange(handle_, Traits::Invalid()); }
  void reset(Handle handle = Traits::Invalid()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }
  // For out-parameters of the acquiring call; releases what is held first.
  Handle* receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// File, event and process handles: both null and INVALID_HANDLE_VALUE mean none.
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h);
};
using ScopedHandle = ScopedGeneric<KernelHandleTraits>;

// C-runtime file descriptor.
struct FdTraits {
  using Handle = int;
  static Handle Invalid() { return -1; }
  static bool IsValid(Handle fd) { return fd != -1; }
  static void Close(Handle fd);
};
using ScopedFd = ScopedGeneric<FdTraits>;

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h);
};
using ScopedModule = ScopedGeneric<ModuleTraits>;

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h);
};
using ScopedRegKey = ScopedGeneric<RegKeyTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Handle h);
};
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;

struct CryptProvTraits {
  using Handle = HCRYPTPROV;
  static Handle Invalid() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::CryptReleaseContext(h, 0); }
};
using ScopedCryptProv = ScopedGeneric<CryptProvTraits>;

struct CryptHashTraits {
  using Handle = HCRYPTHASH;
  static Handle Invalid() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::CryptDestroyHash(h); }
};
using ScopedCryptHash = ScopedGeneric<CryptHashTraits>;

struct LocalMemTraits {
  using Handle = HLOCAL;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};
using ScopedLocalMem = ScopedGeneric<LocalMemTraits>;

struct ProcessHeapTraits {
  using Handle = void*;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::HeapFree(::GetProcessHeap(), 0, h); }
};
using ScopedProcessHeapBlock = ScopedGeneric<ProcessHeapTraits>;

// A SID from AllocateAndInitializeSid.
struct AllocatedSidTraits {
  using Handle = PSID;
  static Handle Invalid() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeSid(h); }
};
using ScopedAllocatedSid = ScopedGeneric<AllocatedSidTraits>;

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_SCOPED_HANDLES_H_
