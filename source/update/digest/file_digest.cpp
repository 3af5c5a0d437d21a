#include "update/digest/file_digest.h"

#include <windows.h>
#include <wincrypt.h>
#include <fcntl.h>

#include <cstring>
#include <memory>
#include <new>

#include "update/digest/crypt_provider.h"
#include "update/digest/md5.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {

int32_t CMd5::GetFileMd5W(const wchar_t* path, uint8_t* digest) {
  if (!path || !digest) return 0;
  // The C runtime opens without sharing restrictions, so files in use by others are still read.
  ScopedFd fd(Platform().wopen(path, _O_RDONLY | _O_BINARY, 0));
  if (!fd) return 0;
  return Md5OfStream(
      *this, [&fd](void* buffer, unsigned capacity) { return Platform().read(fd.get(), buffer, capacity); },
      digest);
}

int32_t GetFileMd5Crypt(const wchar_t* path, uint8_t* digest) {
  if (!digest || !path) return 0;
  const HCRYPTPROV provider = SharedCryptProvider();
  if (provider == 0) return 0;
  ScopedCryptHash hash;
  if (!::CryptCreateHash(provider, CALG_MD5, 0, 0, hash.receive()) || !hash) return 0;
  {
    ScopedHandle file(Platform().CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return 0;
    std::unique_ptr<BYTE[]> piece(new (std::nothrow) BYTE[kFilePieceSize]);
    if (!piece) return 0;
    for (;;) {
      DWORD got = 0;
      if (!Platform().ReadFile(file.get(), piece.get(), static_cast<DWORD>(kFilePieceSize), &got, nullptr)) return 0;
      if (got == 0) break;
      if (!::CryptHashData(hash.get(), piece.get(), got, 0)) return 0;
    }
  }
  BYTE value[16];
  DWORD valueLength = sizeof(value);
  if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, value, &valueLength, 0) || valueLength != sizeof(value)) {
    return 0;
  }
  std::memcpy(digest, value, sizeof(value));
  return 1;
}

bool GetFileDigest(const wchar_t* path, uint8_t* digest) {
  if (GetFileMd5Crypt(path, digest) == 1) {
    TraceStep("digest").Path("path", path).Bytes("md5", digest, 16).Outcome("ok");
    return true;
  }
  CMd5 md5;
  const bool taken = md5.GetFileMd5W(path, digest) == 1;
  TraceEvent step = TraceStep("digest");
  step.Path("path", path).Text("through", "C runtime");
  if (taken) step.Bytes("md5", digest, 16);
  step.Crt(taken);
  return taken;
}

}  // namespace mivra
