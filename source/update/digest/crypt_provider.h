// The process's one CryptoAPI provider context for hashing.
#ifndef MIVRA_UPDATE_DIGEST_CRYPT_PROVIDER_H_
#define MIVRA_UPDATE_DIGEST_CRYPT_PROVIDER_H_

#include <windows.h>
#include <wincrypt.h>

namespace mivra {

// The default PROV_RSA_FULL provider in verify-context mode, acquired on first use and kept for
// the life of the process: acquiring one costs milliseconds, and a file digest needs only a hash
// object of its own. Safe to call from several threads at once. 0 when it cannot be acquired;
// the next call tries again.
HCRYPTPROV SharedCryptProvider();

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_CRYPT_PROVIDER_H_
