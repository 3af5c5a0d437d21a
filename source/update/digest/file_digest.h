// MD5 digests of files: through the system's CryptoAPI service and through the built-in CMd5.
#ifndef MIVRA_UPDATE_DIGEST_FILE_DIGEST_H_
#define MIVRA_UPDATE_DIGEST_FILE_DIGEST_H_

#include <cstdint>

namespace mivra {

// MD5 of a file through CryptoAPI. The file is opened sharing reading only, so it fails on a file
// that another process holds open for writing. 1 when the 16 bytes were written, else 0.
int32_t GetFileMd5Crypt(const wchar_t* path, uint8_t* digest);

// The one rule for every file digest: the system service first, the built-in MD5 when it fails.
// Both give the same bytes. False when neither succeeds.
bool GetFileDigest(const wchar_t* path, uint8_t* digest);

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_FILE_DIGEST_H_
