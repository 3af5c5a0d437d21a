// CRC-32 (reflected, polynomial 0xEDB88320) over bytes in memory. No platform code.
#ifndef MIVRA_UPDATE_DIGEST_CRC32_H_
#define MIVRA_UPDATE_DIGEST_CRC32_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

inline constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;

// Advances the register over `length` bytes; the register starts at kCrc32Initial. The metadata
// files store the complement of the final register, the update configuration stores the register
// itself. Uses carry-less multiplication where the processor has it, else the portable path.
uint32_t Crc32Update(uint32_t reg, const uint8_t* data, size_t length);

// The common CRC-32 of a buffer: initial register, every byte, final complement.
uint32_t Crc32(const uint8_t* data, size_t length);

// The CRC-32 of A followed by B, from the CRC-32 of each and the length of B (both complemented
// values, as Crc32 returns them). Costs O(log lengthB), whatever the lengths.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t lengthB);

// The two paths Crc32Update chooses between, for tests and benchmarks. Both give the same
// register. The folding path exists only where Crc32FoldingAvailable() is true.
uint32_t Crc32UpdatePortable(uint32_t reg, const uint8_t* data, size_t length);
bool Crc32FoldingAvailable();
uint32_t Crc32UpdateFolding(uint32_t reg, const uint8_t* data, size_t length);

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_CRC32_H_
