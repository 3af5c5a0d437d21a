#include "update/digest/crc32.h"

#include <array>

namespace mivra {
namespace {

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

}  // namespace

uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) reg = kCrc32Table[(reg ^ data[i]) & 0xFF] ^ (reg >> 8);
  return reg;
}

uint32_t Crc32(const uint8_t* data, size_t length) {
  return Crc32Update(kCrc32Initial, data, length) ^ 0xFFFFFFFFu;
}

}  // namespace mivra
