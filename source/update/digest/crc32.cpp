#include "update/digest/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define MIVRA_CRC32_FOLDING 1
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "update/frame/byte_codec.h"

namespace mivra {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr int kSlices = 8;

// Slice k holds the register after the byte i is followed by k zero bytes, so that eight bytes
// advance with eight independent lookups instead of eight dependent steps.
constexpr std::array<std::array<uint32_t, 256>, kSlices> MakeSliceTables() {
  std::array<std::array<uint32_t, 256>, kSlices> tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (kPolynomial ^ (c >> 1)) : (c >> 1);
    tables[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i) {
    for (int s = 1; s < kSlices; ++s) tables[s][i] = (tables[s - 1][i] >> 8) ^ tables[0][tables[s - 1][i] & 0xFF];
  }
  return tables;
}

constexpr std::array<std::array<uint32_t, 256>, kSlices> kTables = MakeSliceTables();

// a * b modulo the polynomial, both in the reflected bit order of the register.
uint32_t MultiplyModP(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = 0x80000000u; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = (b & 1) ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// x^(8 * bytes) modulo the polynomial, by squaring.
uint32_t PowerOfXForBytes(uint64_t bytes) {
  uint32_t result = 0x80000000u;  // x^0
  uint32_t square = 0x00800000u;  // x^8
  while (bytes != 0) {
    if (bytes & 1) result = MultiplyModP(square, result);
    square = MultiplyModP(square, square);
    bytes >>= 1;
  }
  return result;
}

#ifdef MIVRA_CRC32_FOLDING

bool ProcessorHasCarrylessMultiply() {
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (c & bit_PCLMUL) != 0 && (c & bit_SSE4_1) != 0;
}

// Carries 128 bits of remainder over the next 128 bits of input.
__attribute__((target("pclmul,sse4.1"))) inline __m128i FoldInto(__m128i acc, __m128i next, __m128i k) {
  const __m128i low = _mm_clmulepi64_si128(acc, k, 0x00);
  const __m128i high = _mm_clmulepi64_si128(acc, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, next), low);
}

// Folds 64 bytes per step in four independent lanes, then 16, then reduces the 128-bit remainder
// to the 32-bit register (Barrett). The constants are powers of x modulo the polynomial, bit-
// reflected: x^(4*128+32), x^(4*128-32), x^(128+32), x^(128-32), x^64, and the polynomial with
// its Barrett quotient. `length` is a multiple of 16, at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldBlocks(uint32_t reg, const uint8_t* p, size_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
  __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
  __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(reg)));
  p += 64;
  length -= 64;

  while (length >= 64) {
    const __m128i h1 = _mm_clmulepi64_si128(x1, k1k2, 0x11);
    const __m128i h2 = _mm_clmulepi64_si128(x2, k1k2, 0x11);
    const __m128i h3 = _mm_clmulepi64_si128(x3, k1k2, 0x11);
    const __m128i h4 = _mm_clmulepi64_si128(x4, k1k2, 0x11);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(x1, k1k2, 0x00), h1);
    x2 = _mm_xor_si128(_mm_clmulepi64_si128(x2, k1k2, 0x00), h2);
    x3 = _mm_xor_si128(_mm_clmulepi64_si128(x3, k1k2, 0x00), h3);
    x4 = _mm_xor_si128(_mm_clmulepi64_si128(x4, k1k2, 0x00), h4);
    x1 = _mm_xor_si128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    x2 = _mm_xor_si128(x2, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    x3 = _mm_xor_si128(x3, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)));
    x4 = _mm_xor_si128(x4, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)));
    p += 64;
    length -= 64;
  }

  x1 = FoldInto(x1, x2, k3k4);
  x1 = FoldInto(x1, x3, k3k4);
  x1 = FoldInto(x1, x4, k3k4);
  while (length >= 16) {
    x1 = FoldInto(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), k3k4);
    p += 16;
    length -= 16;
  }

  // 128 bits to 64.
  __m128i t = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
  t = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), t);

  // Barrett reduction to 32 bits.
  t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
  x1 = _mm_xor_si128(x1, t);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

#endif  // MIVRA_CRC32_FOLDING

}  // namespace

uint32_t Crc32UpdatePortable(uint32_t reg, const uint8_t* data, size_t length) {
  while (length > 0 && (reinterpret_cast<uintptr_t>(data) & 7) != 0) {
    reg = kTables[0][(reg ^ *data++) & 0xFF] ^ (reg >> 8);
    --length;
  }
  while (length >= 8) {
    const uint32_t one = ReadLe32(data) ^ reg;
    const uint32_t two = ReadLe32(data + 4);
    reg = kTables[7][one & 0xFF] ^ kTables[6][(one >> 8) & 0xFF] ^ kTables[5][(one >> 16) & 0xFF] ^
          kTables[4][one >> 24] ^ kTables[3][two & 0xFF] ^ kTables[2][(two >> 8) & 0xFF] ^
          kTables[1][(two >> 16) & 0xFF] ^ kTables[0][two >> 24];
    data += 8;
    length -= 8;
  }
  while (length-- > 0) reg = kTables[0][(reg ^ *data++) & 0xFF] ^ (reg >> 8);
  return reg;
}

bool Crc32FoldingAvailable() {
#ifdef MIVRA_CRC32_FOLDING
  // Asked once: the instruction that asks is slow under a hypervisor.
  static const bool available = ProcessorHasCarrylessMultiply();
  return available;
#else
  return false;
#endif
}

uint32_t Crc32UpdateFolding(uint32_t reg, const uint8_t* data, size_t length) {
#ifdef MIVRA_CRC32_FOLDING
  const size_t folded = length < 64 ? 0 : length & ~size_t{15};
  if (folded > 0) reg = FoldBlocks(reg, data, folded);
  return Crc32UpdatePortable(reg, data + folded, length - folded);
#else
  return Crc32UpdatePortable(reg, data, length);
#endif
}

uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t length) {
  if (length >= 64 && Crc32FoldingAvailable()) return Crc32UpdateFolding(reg, data, length);
  return Crc32UpdatePortable(reg, data, length);
}

uint32_t Crc32(const uint8_t* data, size_t length) {
  return Crc32Update(kCrc32Initial, data, length) ^ 0xFFFFFFFFu;
}

uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB) {
  return MultiplyModP(PowerOfXForBytes(lengthB), crcA) ^ crcB;
}

}  // namespace mivra
