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

// Keeps the compiler from moving the constant's addition behind the round function, where it
// would lengthen the chain of dependent steps.
inline void PinSum(uint32_t& value) {
#if defined(__GNUC__) || defined(__clang__)
  __asm__("" : "+r"(value));
#else
  (void)value;
#endif
}

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
  // The four round functions without a branch, each with as few operations as it can after the
  // newest state word (p) is known; the constant and the block word are added before it is.
#define MIVRA_MD5_STEP(f, w, p, q, r, k, s) \
  w += (k);                                 \
  PinSum(w);                                \
  w += f(p, q, r);                          \
  w = RotateLeft(w, s) + p;
#define MIVRA_MD5_F(p, q, r) ((r) ^ ((p) & ((q) ^ (r))))
// G's two halves never share a set bit, so they add; the half without p goes in early.
#define MIVRA_MD5_G_STEP(w, p, q, r, k, s) \
  w += (k) + ((q) & ~(r));                 \
  PinSum(w);                               \
  w += (p) & (r);                          \
  w = RotateLeft(w, s) + p;
#define MIVRA_MD5_H(p, q, r) ((p) ^ (q) ^ (r))
#define MIVRA_MD5_I(p, q, r) ((q) ^ ((p) | ~(r)))
  MIVRA_MD5_STEP(MIVRA_MD5_F, a, b, c, d, block[0] + kSine[0], kShift[0])
  MIVRA_MD5_STEP(MIVRA_MD5_F, d, a, b, c, block[1] + kSine[1], kShift[1])
  MIVRA_MD5_STEP(MIVRA_MD5_F, c, d, a, b, block[2] + kSine[2], kShift[2])
  MIVRA_MD5_STEP(MIVRA_MD5_F, b, c, d, a, block[3] + kSine[3], kShift[3])
  MIVRA_MD5_STEP(MIVRA_MD5_F, a, b, c, d, block[4] + kSine[4], kShift[4])
  MIVRA_MD5_STEP(MIVRA_MD5_F, d, a, b, c, block[5] + kSine[5], kShift[5])
  MIVRA_MD5_STEP(MIVRA_MD5_F, c, d, a, b, block[6] + kSine[6], kShift[6])
  MIVRA_MD5_STEP(MIVRA_MD5_F, b, c, d, a, block[7] + kSine[7], kShift[7])
  MIVRA_MD5_STEP(MIVRA_MD5_F, a, b, c, d, block[8] + kSine[8], kShift[8])
  MIVRA_MD5_STEP(MIVRA_MD5_F, d, a, b, c, block[9] + kSine[9], kShift[9])
  MIVRA_MD5_STEP(MIVRA_MD5_F, c, d, a, b, block[10] + kSine[10], kShift[10])
  MIVRA_MD5_STEP(MIVRA_MD5_F, b, c, d, a, block[11] + kSine[11], kShift[11])
  MIVRA_MD5_STEP(MIVRA_MD5_F, a, b, c, d, block[12] + kSine[12], kShift[12])
  MIVRA_MD5_STEP(MIVRA_MD5_F, d, a, b, c, block[13] + kSine[13], kShift[13])
  MIVRA_MD5_STEP(MIVRA_MD5_F, c, d, a, b, block[14] + kSine[14], kShift[14])
  MIVRA_MD5_STEP(MIVRA_MD5_F, b, c, d, a, block[15] + kSine[15], kShift[15])
  MIVRA_MD5_G_STEP(a, b, c, d, block[1] + kSine[16], kShift[16])
  MIVRA_MD5_G_STEP(d, a, b, c, block[6] + kSine[17], kShift[17])
  MIVRA_MD5_G_STEP(c, d, a, b, block[11] + kSine[18], kShift[18])
  MIVRA_MD5_G_STEP(b, c, d, a, block[0] + kSine[19], kShift[19])
  MIVRA_MD5_G_STEP(a, b, c, d, block[5] + kSine[20], kShift[20])
  MIVRA_MD5_G_STEP(d, a, b, c, block[10] + kSine[21], kShift[21])
  MIVRA_MD5_G_STEP(c, d, a, b, block[15] + kSine[22], kShift[22])
  MIVRA_MD5_G_STEP(b, c, d, a, block[4] + kSine[23], kShift[23])
  MIVRA_MD5_G_STEP(a, b, c, d, block[9] + kSine[24], kShift[24])
  MIVRA_MD5_G_STEP(d, a, b, c, block[14] + kSine[25], kShift[25])
  MIVRA_MD5_G_STEP(c, d, a, b, block[3] + kSine[26], kShift[26])
  MIVRA_MD5_G_STEP(b, c, d, a, block[8] + kSine[27], kShift[27])
  MIVRA_MD5_G_STEP(a, b, c, d, block[13] + kSine[28], kShift[28])
  MIVRA_MD5_G_STEP(d, a, b, c, block[2] + kSine[29], kShift[29])
  MIVRA_MD5_G_STEP(c, d, a, b, block[7] + kSine[30], kShift[30])
  MIVRA_MD5_G_STEP(b, c, d, a, block[12] + kSine[31], kShift[31])
  MIVRA_MD5_STEP(MIVRA_MD5_H, a, b, c, d, block[5] + kSine[32], kShift[32])
  MIVRA_MD5_STEP(MIVRA_MD5_H, d, a, b, c, block[8] + kSine[33], kShift[33])
  MIVRA_MD5_STEP(MIVRA_MD5_H, c, d, a, b, block[11] + kSine[34], kShift[34])
  MIVRA_MD5_STEP(MIVRA_MD5_H, b, c, d, a, block[14] + kSine[35], kShift[35])
  MIVRA_MD5_STEP(MIVRA_MD5_H, a, b, c, d, block[1] + kSine[36], kShift[36])
  MIVRA_MD5_STEP(MIVRA_MD5_H, d, a, b, c, block[4] + kSine[37], kShift[37])
  MIVRA_MD5_STEP(MIVRA_MD5_H, c, d, a, b, block[7] + kSine[38], kShift[38])
  MIVRA_MD5_STEP(MIVRA_MD5_H, b, c, d, a, block[10] + kSine[39], kShift[39])
  MIVRA_MD5_STEP(MIVRA_MD5_H, a, b, c, d, block[13] + kSine[40], kShift[40])
  MIVRA_MD5_STEP(MIVRA_MD5_H, d, a, b, c, block[0] + kSine[41], kShift[41])
  MIVRA_MD5_STEP(MIVRA_MD5_H, c, d, a, b, block[3] + kSine[42], kShift[42])
  MIVRA_MD5_STEP(MIVRA_MD5_H, b, c, d, a, block[6] + kSine[43], kShift[43])
  MIVRA_MD5_STEP(MIVRA_MD5_H, a, b, c, d, block[9] + kSine[44], kShift[44])
  MIVRA_MD5_STEP(MIVRA_MD5_H, d, a, b, c, block[12] + kSine[45], kShift[45])
  MIVRA_MD5_STEP(MIVRA_MD5_H, c, d, a, b, block[15] + kSine[46], kShift[46])
  MIVRA_MD5_STEP(MIVRA_MD5_H, b, c, d, a, block[2] + kSine[47], kShift[47])
  MIVRA_MD5_STEP(MIVRA_MD5_I, a, b, c, d, block[0] + kSine[48], kShift[48])
  MIVRA_MD5_STEP(MIVRA_MD5_I, d, a, b, c, block[7] + kSine[49], kShift[49])
  MIVRA_MD5_STEP(MIVRA_MD5_I, c, d, a, b, block[14] + kSine[50], kShift[50])
  MIVRA_MD5_STEP(MIVRA_MD5_I, b, c, d, a, block[5] + kSine[51], kShift[51])
  MIVRA_MD5_STEP(MIVRA_MD5_I, a, b, c, d, block[12] + kSine[52], kShift[52])
  MIVRA_MD5_STEP(MIVRA_MD5_I, d, a, b, c, block[3] + kSine[53], kShift[53])
  MIVRA_MD5_STEP(MIVRA_MD5_I, c, d, a, b, block[10] + kSine[54], kShift[54])
  MIVRA_MD5_STEP(MIVRA_MD5_I, b, c, d, a, block[1] + kSine[55], kShift[55])
  MIVRA_MD5_STEP(MIVRA_MD5_I, a, b, c, d, block[8] + kSine[56], kShift[56])
  MIVRA_MD5_STEP(MIVRA_MD5_I, d, a, b, c, block[15] + kSine[57], kShift[57])
  MIVRA_MD5_STEP(MIVRA_MD5_I, c, d, a, b, block[6] + kSine[58], kShift[58])
  MIVRA_MD5_STEP(MIVRA_MD5_I, b, c, d, a, block[13] + kSine[59], kShift[59])
  MIVRA_MD5_STEP(MIVRA_MD5_I, a, b, c, d, block[4] + kSine[60], kShift[60])
  MIVRA_MD5_STEP(MIVRA_MD5_I, d, a, b, c, block[11] + kSine[61], kShift[61])
  MIVRA_MD5_STEP(MIVRA_MD5_I, c, d, a, b, block[2] + kSine[62], kShift[62])
  MIVRA_MD5_STEP(MIVRA_MD5_I, b, c, d, a, block[9] + kSine[63], kShift[63])
#undef MIVRA_MD5_STEP
#undef MIVRA_MD5_F
#undef MIVRA_MD5_G_STEP
#undef MIVRA_MD5_H
#undef MIVRA_MD5_I
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
