#include "update/digest/crypt_provider.h"

#include <atomic>

namespace mivra {
namespace {

// Never released: releasing may unload the provider's DLL, which the loader forbids while it
// runs DllMain, and the system reclaims the context with the process.
constinit std::atomic<HCRYPTPROV> g_provider{0};

}  // namespace

HCRYPTPROV SharedCryptProvider() {
  HCRYPTPROV current = g_provider.load(std::memory_order_acquire);
  if (current != 0) return current;
  HCRYPTPROV fresh = 0;
  if (!::CryptAcquireContextW(&fresh, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) || fresh == 0) return 0;
  // Two first calls at once: one context is kept, the other released.
  if (g_provider.compare_exchange_strong(current, fresh, std::memory_order_acq_rel)) return fresh;
  ::CryptReleaseContext(fresh, 0);
  return current;
}

}  // namespace mivra
