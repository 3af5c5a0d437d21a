// MD5 message digest (RFC 1321) behind the eight-slot IMd5 interface. No platform code, except
// the wide-path file digest, which exists only on Windows (file_digest.cpp).
#ifndef MIVRA_UPDATE_DIGEST_MD5_H_
#define MIVRA_UPDATE_DIGEST_MD5_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "update/digest/file_piece.h"

namespace mivra {

inline constexpr size_t kMd5DigestSize = 16;

// Working state of one computation; callers zero it before Md5Init.
struct Md5Context {
  uint32_t bitCountLow;
  uint32_t bitCountHigh;
  uint8_t digest[kMd5DigestSize];
  uint8_t buffer[64];
  uint32_t state[4];
};

// Every operation returns 1 on success and 0 on failure. The slot order is part of the interface.
class IMd5 {
 public:
  virtual int32_t GetFileMd5A(const char* path, uint8_t* digest) = 0;                       // 0
  virtual int32_t GetBufferMd5(const uint8_t* data, uint32_t length, uint8_t* digest) = 0;  // 1
  virtual int32_t VerifyFileMd5A(const char* path, const uint8_t* expected,
                                 uint32_t* match) = 0;                                     // 2
  virtual int32_t VerifyBufferMd5(const uint8_t* data, uint32_t length, const uint8_t* expected,
                                  uint32_t* match) = 0;                                    // 3
  virtual int32_t Md5Init(Md5Context* context) = 0;                                        // 4
  virtual int32_t Md5Update(Md5Context* context, const uint8_t* data, uint32_t length) = 0; // 5
  virtual int32_t Md5Final(Md5Context* context) = 0;                                       // 6
  virtual int32_t Md5Transform(const uint32_t* block, uint32_t* state) = 0;                // 7

 protected:
  ~IMd5() = default;
};

// Stateless: a local CMd5 needs no set-up or release.
class CMd5 : public IMd5 {
 public:
  int32_t GetFileMd5A(const char* path, uint8_t* digest) override;
  int32_t GetBufferMd5(const uint8_t* data, uint32_t length, uint8_t* digest) override;
  int32_t VerifyFileMd5A(const char* path, const uint8_t* expected, uint32_t* match) override;
  int32_t VerifyBufferMd5(const uint8_t* data, uint32_t length, const uint8_t* expected,
                          uint32_t* match) override;
  int32_t Md5Init(Md5Context* context) override;
  int32_t Md5Update(Md5Context* context, const uint8_t* data, uint32_t length) override;
  int32_t Md5Final(Md5Context* context) override;
  int32_t Md5Transform(const uint32_t* block, uint32_t* state) override;

#ifdef _WIN32
  // The same as GetFileMd5A for a wide path.
  int32_t GetFileMd5W(const wchar_t* path, uint8_t* digest);
#endif
};

// Digests a stream read in pieces of kFilePieceSize through `read(buffer, capacity)`, which
// returns the number of bytes read, 0 at the end, or a negative value on error.
template <typename ReadFn>
int32_t Md5OfStream(IMd5& md5, ReadFn&& read, uint8_t* digest) {
  std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kFilePieceSize]);
  if (!piece) return 0;
  Md5Context context{};
  if (!md5.Md5Init(&context)) return 0;
  for (;;) {
    const int got = read(piece.get(), static_cast<unsigned>(kFilePieceSize));
    if (got < 0) return 0;
    if (got == 0) break;
    if (!md5.Md5Update(&context, piece.get(), static_cast<uint32_t>(got))) return 0;
  }
  if (!md5.Md5Final(&context)) return 0;
  for (size_t i = 0; i < kMd5DigestSize; ++i) digest[i] = context.digest[i];
  return 1;
}

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_MD5_H_
