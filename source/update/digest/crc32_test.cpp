#include "update/digest/crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

using mivra::Crc32;
using mivra::Crc32Combine;
using mivra::Crc32Update;
using mivra::Crc32UpdateFolding;
using mivra::Crc32UpdatePortable;
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

// Crc32Update picks a path by processor and length; each path must give the common checksum on
// its own, whatever the length (below and above the 64 bytes folding needs, not a multiple of 16)
// and the alignment of the start.
TEST(Crc32Test, PortableAndFoldingPathsMatchZlibAtEveryLengthAndAlignment) {
  using Path = uint32_t (*)(uint32_t, const uint8_t*, size_t);
  std::vector<std::pair<const char*, Path>> paths = {{"portable", Crc32UpdatePortable}};
  if (mivra::Crc32FoldingAvailable()) paths.emplace_back("folding", Crc32UpdateFolding);
  std::mt19937 rng(99);
  const std::vector<uint8_t> bytes = RandomBytes(rng, 70000);
  const char* check = "123456789";
  for (const auto& [label, path] : paths) {
    SCOPED_TRACE(label);
    EXPECT_EQ(~path(kCrc32Initial, reinterpret_cast<const uint8_t*>(check), 9), 0xCBF43926u);
    // 64 zero bytes and 64 bytes of 0xFF: known values, one whole folding block each.
    const std::vector<uint8_t> zeros(64, 0x00), ones(64, 0xFF);
    EXPECT_EQ(~path(kCrc32Initial, zeros.data(), zeros.size()), 0x758D6336u);
    EXPECT_EQ(~path(kCrc32Initial, ones.data(), ones.size()), 0x0F6187BAu);
    std::uniform_int_distribution<size_t> offsetOf(0, 15), lengthOf(0, 66000);
    for (int round = 0; round < 300; ++round) {
      const size_t offset = offsetOf(rng);
      const size_t length = round < 140 ? static_cast<size_t>(round) : lengthOf(rng);
      const uint8_t* start = bytes.data() + offset;
      const uint32_t expected = static_cast<uint32_t>(crc32(0L, start, static_cast<uInt>(length)));
      ASSERT_EQ(~path(kCrc32Initial, start, length), expected) << "offset " << offset << " length " << length;
      ASSERT_EQ(path(kCrc32Initial, start, length), Crc32UpdatePortable(kCrc32Initial, start, length));
    }
  }
}

// Combining stands in for reading the first part again: it must equal the checksum of the
// joined buffer for every split, empty parts included.
TEST(Crc32Test, CombineEqualsChecksumOfJoinedBuffers) {
  std::mt19937 rng(31);
  const std::vector<uint8_t> bytes = RandomBytes(rng, 9000);
  for (size_t split : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{560}, size_t{4097}, size_t{9000}}) {
    const uint32_t first = Crc32(bytes.data(), split);
    const uint32_t second = Crc32(bytes.data() + split, bytes.size() - split);
    EXPECT_EQ(Crc32Combine(first, second, bytes.size() - split), Crc32(bytes.data(), bytes.size())) << split;
  }
  // Agrees with zlib's own combination over a length beyond 32 bits.
  const uint64_t longLength = (uint64_t{1} << 33) + 12345;
  EXPECT_EQ(Crc32Combine(0x12345678u, 0x9ABCDEF0u, longLength),
            static_cast<uint32_t>(crc32_combine64(0x12345678u, 0x9ABCDEF0u, static_cast<z_off64_t>(longLength))));
}

}  // namespace
