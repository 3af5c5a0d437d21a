// CRC-32 (reflected, polynomial 0xEDB88320) over bytes in memory. No platform code.
#ifndef MIVRA_UPDATE_DIGEST_CRC32_H_
#define MIVRA_UPDATE_DIGEST_CRC32_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

inline constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;

// One register step per byte; the register starts at kCrc32Initial. The metadata files store the
// complement of the final register, the update configuration stores the register itself.
uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t length);

// The common CRC-32 of a buffer: initial register, every byte, final complement.
uint32_t Crc32(const uint8_t* data, size_t length);

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_CRC32_H_
