#include "update/digest/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using mivra::Crc32;
using mivra::Crc32Update;
using mivra::kCrc32Initial;

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t length) {
  std::vector<uint8_t> bytes(length);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

uint32_t ZlibCrc32(const std::vector<uint8_t>& bytes) {
  return static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

TEST(Crc32Test, CheckValueAndEmptyInput) {
  const char* check = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(check), std::strlen(check)), 0xCBF43926u);
  const uint8_t none = 0;
  EXPECT_EQ(Crc32(&none, 0), 0u);
}

TEST(Crc32Test, MatchesZlibOnRandomBuffers) {
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<size_t> lengthOf(0, 5000);
  for (int round = 0; round < 200; ++round) {
    const std::vector<uint8_t> bytes = RandomBytes(rng, lengthOf(rng));
    ASSERT_EQ(Crc32(bytes.data(), bytes.size()), ZlibCrc32(bytes)) << "length " << bytes.size();
  }
}

// The update configuration compares the bare register, so the register variant must be exactly
// the checksum before its final complement, and must carry across pieces.
TEST(Crc32Test, RegisterVariantIsChecksumWithoutFinalComplement) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> lengthOf(0, 2000);
  for (int round = 0; round < 50; ++round) {
    const std::vector<uint8_t> bytes = RandomBytes(rng, lengthOf(rng));
    const uint32_t reg = Crc32Update(kCrc32Initial, bytes.data(), bytes.size());
    ASSERT_EQ(reg, ~ZlibCrc32(bytes));

    const size_t split = std::uniform_int_distribution<size_t>(0, bytes.size())(rng);
    const uint32_t first = Crc32Update(kCrc32Initial, bytes.data(), split);
    ASSERT_EQ(Crc32Update(first, bytes.data() + split, bytes.size() - split), reg) << "split " << split;
  }
}

}  // namespace
