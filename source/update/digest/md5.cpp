#include "update/digest/md5.h"

#include <fcntl.h>

#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace mivra {
namespace {

constexpr uint32_t kInitialState[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void DecodeWords(const uint8_t* bytes, uint32_t* words, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    words[i] = static_cast<uint32_t>(bytes[4 * i]) | (static_cast<uint32_t>(bytes[4 * i + 1]) << 8) |
               (static_cast<uint32_t>(bytes[4 * i + 2]) << 16) |
               (static_cast<uint32_t>(bytes[4 * i + 3]) << 24);
  }
}

int ReadNarrowFile(int fd, void* buffer, unsigned capacity) {
#ifdef _WIN32
  return _read(fd, buffer, capacity);
#else
  return static_cast<int>(::read(fd, buffer, capacity));
#endif
}

}  // namespace

int32_t CMd5::Md5Init(Md5Context* context) {
  if (!context) return 0;
  context->bitCountLow = 0;
  context->bitCountHigh = 0;
  for (int i = 0; i < 4; ++i) context->state[i] = kInitialState[i];
  return 1;
}

int32_t CMd5::Md5Update(Md5Context* context, const uint8_t* data, uint32_t length) {
  if (!context || !data) return 0;
  uint32_t index = (context->bitCountLow >> 3) & 63;
  const uint32_t oldLow = context->bitCountLow;
  context->bitCountLow += length << 3;
  if (context->bitCountLow < oldLow) ++context->bitCountHigh;
  context->bitCountHigh += length >> 29;

  uint32_t words[16];
  uint32_t consumed = 0;
  // Complete a partly filled block, then transform whole blocks straight from the input.
  if (index > 0) {
    const uint32_t room = 64 - index;
    const uint32_t take = length < room ? length : room;
    std::memcpy(context->buffer + index, data, take);
    consumed = take;
    index += take;
    if (index < 64) return 1;
    DecodeWords(context->buffer, words, 16);
    if (!Md5Transform(words, context->state)) return 0;
    index = 0;
  }
  while (length - consumed >= 64) {
    DecodeWords(data + consumed, words, 16);
    if (!Md5Transform(words, context->state)) return 0;
    consumed += 64;
  }
  std::memcpy(context->buffer, data + consumed, length - consumed);
  return 1;
}

int32_t CMd5::Md5Final(Md5Context* context) {
  if (!context) return 0;
  const uint32_t savedLow = context->bitCountLow;
  const uint32_t savedHigh = context->bitCountHigh;
  const uint32_t index = (savedLow >> 3) & 63;
  const uint32_t padLength = index < 56 ? 56 - index : 120 - index;
  uint8_t padding[64] = {0x80};
  if (!Md5Update(context, padding, padLength)) return 0;
  uint32_t words[16];
  DecodeWords(context->buffer, words, 14);
  words[14] = savedLow;
  words[15] = savedHigh;
  if (!Md5Transform(words, context->state)) return 0;
  for (int i = 0; i < 4; ++i) {
    for (int b = 0; b < 4; ++b) context->digest[4 * i + b] = static_cast<uint8_t>(context->state[i] >> (8 * b));
  }
  return 1;
}

int32_t CMd5::Md5Transform(const uint32_t* block, uint32_t* state) {
  if (!block || !state) return 0;
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) & 15;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) & 15;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) & 15;
    }
    const uint32_t next = b + RotateLeft(a + f + kSine[i] + block[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  return 1;
}

int32_t CMd5::GetBufferMd5(const uint8_t* data, uint32_t length, uint8_t* digest) {
  if (!data || !digest) return 0;
  Md5Context context{};
  if (!Md5Init(&context) || !Md5Update(&context, data, length) || !Md5Final(&context)) return 0;
  std::memcpy(digest, context.digest, kMd5DigestSize);
  return 1;
}

int32_t CMd5::GetFileMd5A(const char* path, uint8_t* digest) {
  if (!path || !digest) return 0;
#ifdef _WIN32
  const int fd = _open(path, _O_RDONLY | _O_BINARY);
#else
  const int fd = ::open(path, O_RDONLY);
#endif
  if (fd < 0) return 0;
  const int32_t result =
      Md5OfStream(*this, [fd](void* buffer, unsigned capacity) { return ReadNarrowFile(fd, buffer, capacity); },
                  digest);
#ifdef _WIN32
  _close(fd);
#else
  ::close(fd);
#endif
  return result;
}

namespace {

int32_t CompareDigests(const uint8_t* actual, const uint8_t* expected, uint32_t* match) {
  *match = 1;
  for (size_t i = 0; i < kMd5DigestSize; ++i) {
    if (actual[i] != expected[i]) {
      *match = 0;
      break;
    }
  }
  return 1;
}

}  // namespace

int32_t CMd5::VerifyFileMd5A(const char* path, const uint8_t* expected, uint32_t* match) {
  if (!path || !expected || !match) return 0;
  uint8_t actual[kMd5DigestSize];
  if (!GetFileMd5A(path, actual)) return 0;
  return CompareDigests(actual, expected, match);
}

int32_t CMd5::VerifyBufferMd5(const uint8_t* data, uint32_t length, const uint8_t* expected,
                              uint32_t* match) {
  if (!data || !expected || !match) return 0;
  uint8_t actual[kMd5DigestSize];
  if (!GetBufferMd5(data, length, actual)) return 0;
  return CompareDigests(actual, expected, match);
}

}  // namespace mivra
