#include "update/digest/md5.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using mivra::CMd5;
using mivra::IMd5;
using mivra::Md5Context;
using Digest = std::array<uint8_t, mivra::kMd5DigestSize>;

Digest OpenSslMd5(const uint8_t* data, size_t length) {
  Digest digest{};
  unsigned int written = 0;
  EXPECT_EQ(EVP_Digest(data, length, digest.data(), &written, EVP_md5(), nullptr), 1);
  EXPECT_EQ(written, digest.size());
  return digest;
}

Digest OpenSslMd5(const std::vector<uint8_t>& bytes) { return OpenSslMd5(bytes.data(), bytes.size()); }

Digest FromHex(const char* hex) {
  Digest digest{};
  for (size_t i = 0; i < digest.size(); ++i) {
    digest[i] = static_cast<uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
  }
  return digest;
}

const uint8_t* Bytes(const char* text) { return reinterpret_cast<const uint8_t*>(text); }

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t length) {
  std::vector<uint8_t> bytes(length);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

Digest BufferMd5(IMd5& md5, const std::vector<uint8_t>& bytes) {
  Digest digest{};
  const uint8_t none = 0;
  const uint8_t* data = bytes.empty() ? &none : bytes.data();
  EXPECT_EQ(md5.GetBufferMd5(data, static_cast<uint32_t>(bytes.size()), digest.data()), 1);
  return digest;
}

// A file in the system's temporary folder, removed again when the test ends.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes)
      : path_(std::filesystem::temp_directory_path() /
              ("mivra_md5_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++))) {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove(path_); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  std::string path() const { return path_.string(); }

 private:
  static inline int counter_ = 0;
  std::filesystem::path path_;
};

// Counts the compression calls, which the steps must make through the interface.
class CountingMd5 : public CMd5 {
 public:
  int32_t Md5Transform(const uint32_t* block, uint32_t* state) override {
    ++transforms;
    return CMd5::Md5Transform(block, state);
  }
  int transforms = 0;
};

class FailingTransformMd5 : public CMd5 {
 public:
  int32_t Md5Transform(const uint32_t*, uint32_t*) override { return 0; }
};

// Records which slot each call lands in.
class RecordingMd5 : public CMd5 {
 public:
  int32_t GetFileMd5A(const char* path, uint8_t* digest) override {
    ++calls[0];
    return CMd5::GetFileMd5A(path, digest);
  }
  int32_t GetBufferMd5(const uint8_t* data, uint32_t length, uint8_t* digest) override {
    ++calls[1];
    return CMd5::GetBufferMd5(data, length, digest);
  }
  int32_t VerifyFileMd5A(const char* path, const uint8_t* expected, uint32_t* match) override {
    ++calls[2];
    return CMd5::VerifyFileMd5A(path, expected, match);
  }
  int32_t VerifyBufferMd5(const uint8_t* data, uint32_t length, const uint8_t* expected,
                          uint32_t* match) override {
    ++calls[3];
    return CMd5::VerifyBufferMd5(data, length, expected, match);
  }
  int32_t Md5Init(Md5Context* context) override {
    ++calls[4];
    return CMd5::Md5Init(context);
  }
  int32_t Md5Update(Md5Context* context, const uint8_t* data, uint32_t length) override {
    ++calls[5];
    return CMd5::Md5Update(context, data, length);
  }
  int32_t Md5Final(Md5Context* context) override {
    ++calls[6];
    return CMd5::Md5Final(context);
  }
  int32_t Md5Transform(const uint32_t* block, uint32_t* state) override {
    ++calls[7];
    return CMd5::Md5Transform(block, state);
  }
  std::array<int, 8> calls{};
};

struct Rfc1321Case {
  const char* message;
  const char* digest;
};

const Rfc1321Case kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(Md5Test, GetBufferMd5GivesRfc1321SuiteDigests) {
  CMd5 md5;
  for (const Rfc1321Case& c : kRfc1321Suite) {
    Digest digest{};
    const uint32_t length = static_cast<uint32_t>(std::strlen(c.message));
    ASSERT_EQ(md5.GetBufferMd5(Bytes(c.message), length, digest.data()), 1);
    EXPECT_EQ(digest, FromHex(c.digest)) << '"' << c.message << '"';
  }
}

TEST(Md5Test, GetBufferMd5MatchesOpenSslOnRandomBuffers) {
  std::mt19937 rng(1321);
  std::uniform_int_distribution<size_t> lengthOf(0, 4000);
  CMd5 md5;
  for (int round = 0; round < 200; ++round) {
    const std::vector<uint8_t> bytes = RandomBytes(rng, lengthOf(rng));
    ASSERT_EQ(BufferMd5(md5, bytes), OpenSslMd5(bytes)) << "length " << bytes.size();
  }
}

TEST(Md5Test, DigestDoesNotDependOnHowInputIsSplit) {
  std::mt19937 rng(99);
  std::uniform_int_distribution<size_t> lengthOf(0, 3000);
  std::uniform_int_distribution<uint32_t> pieceOf(0, 150);
  CMd5 md5;
  for (int round = 0; round < 100; ++round) {
    const std::vector<uint8_t> bytes = RandomBytes(rng, lengthOf(rng));
    Md5Context context{};
    ASSERT_EQ(md5.Md5Init(&context), 1);
    const uint8_t none = 0;
    size_t fed = 0;
    while (fed < bytes.size()) {
      const uint32_t piece = std::min<uint32_t>(pieceOf(rng), static_cast<uint32_t>(bytes.size() - fed));
      ASSERT_EQ(md5.Md5Update(&context, piece ? bytes.data() + fed : &none, piece), 1);
      fed += piece;
    }
    ASSERT_EQ(md5.Md5Final(&context), 1);
    Digest digest;
    std::memcpy(digest.data(), context.digest, digest.size());
    ASSERT_EQ(digest, OpenSslMd5(bytes)) << "length " << bytes.size();
  }
}

TEST(Md5Test, UpdateWithLengthZeroSucceedsAndChangesNothing) {
  CMd5 md5;
  const std::vector<uint8_t> bytes(70, 0x5A);
  for (uint32_t already : {0u, 10u, 64u, 70u}) {
    Md5Context context{};
    ASSERT_EQ(md5.Md5Init(&context), 1);
    ASSERT_EQ(md5.Md5Update(&context, bytes.data(), already), 1);
    const Md5Context before = context;
    EXPECT_EQ(md5.Md5Update(&context, bytes.data(), 0), 1);
    EXPECT_EQ(std::memcmp(&before, &context, sizeof(context)), 0) << already << " bytes fed before";
  }
}

// The bit count spans two words; a lost carry would corrupt the digest of inputs beyond 512 MiB.
TEST(Md5Test, UpdateCarriesBitCountIntoHighWord) {
  CMd5 md5;
  Md5Context context{};
  ASSERT_EQ(md5.Md5Init(&context), 1);
  const std::vector<uint8_t> bytes(100, 1);
  ASSERT_EQ(md5.Md5Update(&context, bytes.data(), 100), 1);
  EXPECT_EQ(context.bitCountLow, 800u);
  EXPECT_EQ(context.bitCountHigh, 0u);

  context.bitCountLow = 0xFFFFFE00u;  // a whole number of blocks, 512 bits short of the wrap
  ASSERT_EQ(md5.Md5Update(&context, bytes.data(), 64), 1);
  EXPECT_EQ(context.bitCountLow, 0u);
  EXPECT_EQ(context.bitCountHigh, 1u);
}

// A tail of 55 bytes leaves room for the 0x80 byte and the length in one final block; a tail of
// 56 to 63 bytes does not, so the padding spills into a second block.
TEST(Md5Test, PaddingTakesOneFinalBlockUpTo55TailBytesAndTwoFrom56) {
  std::vector<size_t> lengths = {55, 64, 119, 120};
  for (size_t n = 56; n <= 63; ++n) lengths.push_back(n);
  std::mt19937 rng(55);
  for (size_t length : lengths) {
    const std::vector<uint8_t> bytes = RandomBytes(rng, length);
    CountingMd5 md5;
    Md5Context context{};
    ASSERT_EQ(md5.Md5Init(&context), 1);
    ASSERT_EQ(md5.Md5Update(&context, bytes.data(), static_cast<uint32_t>(length)), 1);
    EXPECT_EQ(md5.transforms, static_cast<int>(length / 64)) << "length " << length;
    md5.transforms = 0;
    ASSERT_EQ(md5.Md5Final(&context), 1);
    EXPECT_EQ(md5.transforms, length % 64 < 56 ? 1 : 2) << "length " << length;
    Digest digest;
    std::memcpy(digest.data(), context.digest, digest.size());
    EXPECT_EQ(digest, OpenSslMd5(bytes)) << "length " << length;
  }
}

TEST(Md5Test, VerifyBufferMd5FlagsMatchAndAnyDifferingByte) {
  CMd5 md5;
  const char* message = "message digest";
  const uint32_t length = static_cast<uint32_t>(std::strlen(message));
  const Digest expected = FromHex("f96b697d7cb7938d525a2f31aaf161d0");
  uint32_t match = 7;
  EXPECT_EQ(md5.VerifyBufferMd5(Bytes(message), length, expected.data(), &match), 1);
  EXPECT_EQ(match, 1u);
  for (size_t i = 0; i < expected.size(); ++i) {
    Digest wrong = expected;
    wrong[i] ^= 0x01;
    match = 7;
    EXPECT_EQ(md5.VerifyBufferMd5(Bytes(message), length, wrong.data(), &match), 1);
    EXPECT_EQ(match, 0u) << "byte " << i << " differs";
  }
}

// A step that fails makes every operation above it fail, and a verify that cannot compute its
// digest leaves the caller's flag alone.
TEST(Md5Test, FailedTransformFailsStepsAndLeavesVerifyFlagUntouched) {
  FailingTransformMd5 md5;
  const std::vector<uint8_t> bytes(100, 3);
  Digest digest{};
  EXPECT_EQ(md5.GetBufferMd5(bytes.data(), 10, digest.data()), 0);
  EXPECT_EQ(digest, Digest{});

  Md5Context context{};
  ASSERT_EQ(md5.Md5Init(&context), 1);
  EXPECT_EQ(md5.Md5Update(&context, bytes.data(), 10), 1);  // no whole block yet
  EXPECT_EQ(md5.Md5Update(&context, bytes.data(), 64), 0);
  EXPECT_EQ(md5.Md5Final(&context), 0);

  const Digest expected = OpenSslMd5(bytes);
  uint32_t match = 7;
  EXPECT_EQ(md5.VerifyBufferMd5(bytes.data(), 100, expected.data(), &match), 0);
  EXPECT_EQ(match, 7u);
  const TempFile file(bytes);
  EXPECT_EQ(md5.GetFileMd5A(file.path().c_str(), digest.data()), 0);
  EXPECT_EQ(md5.VerifyFileMd5A(file.path().c_str(), expected.data(), &match), 0);
  EXPECT_EQ(match, 7u);
}

TEST(Md5Test, NullArgumentsFailEverySlot) {
  CMd5 md5;
  const std::vector<uint8_t> bytes(100, 9);
  const TempFile file(bytes);
  const std::string path = file.path();
  const Digest expected = OpenSslMd5(bytes);
  Digest digest{};
  uint32_t match = 7;
  Md5Context context{};
  ASSERT_EQ(md5.Md5Init(&context), 1);
  uint32_t block[16] = {};
  uint32_t state[4] = {};

  struct NullCase {
    const char* call;
    int32_t result;
  };
  const NullCase cases[] = {
      {"GetFileMd5A(null path)", md5.GetFileMd5A(nullptr, digest.data())},
      {"GetFileMd5A(null digest)", md5.GetFileMd5A(path.c_str(), nullptr)},
      {"GetBufferMd5(null data)", md5.GetBufferMd5(nullptr, 5, digest.data())},
      {"GetBufferMd5(null digest)", md5.GetBufferMd5(bytes.data(), 5, nullptr)},
      {"VerifyFileMd5A(null path)", md5.VerifyFileMd5A(nullptr, expected.data(), &match)},
      {"VerifyFileMd5A(null expected)", md5.VerifyFileMd5A(path.c_str(), nullptr, &match)},
      {"VerifyFileMd5A(null flag)", md5.VerifyFileMd5A(path.c_str(), expected.data(), nullptr)},
      {"VerifyBufferMd5(null data)", md5.VerifyBufferMd5(nullptr, 5, expected.data(), &match)},
      {"VerifyBufferMd5(null expected)", md5.VerifyBufferMd5(bytes.data(), 5, nullptr, &match)},
      {"VerifyBufferMd5(null flag)", md5.VerifyBufferMd5(bytes.data(), 5, expected.data(), nullptr)},
      {"Md5Init(null)", md5.Md5Init(nullptr)},
      {"Md5Update(null context)", md5.Md5Update(nullptr, bytes.data(), 5)},
      {"Md5Update(null data)", md5.Md5Update(&context, nullptr, 5)},
      {"Md5Final(null)", md5.Md5Final(nullptr)},
      {"Md5Transform(null block)", md5.Md5Transform(nullptr, state)},
      {"Md5Transform(null state)", md5.Md5Transform(block, nullptr)},
  };
  for (const NullCase& c : cases) EXPECT_EQ(c.result, 0) << c.call;
  EXPECT_EQ(digest, Digest{});
  EXPECT_EQ(match, 7u);
}

TEST(Md5Test, GetFileMd5AMatchesOpenSslAcrossPieceBoundaries) {
  std::mt19937 rng(1024);
  CMd5 md5;
  for (size_t length : {0, 1, 55, 1023, 1024, 1025, 2048, 5000}) {
    const std::vector<uint8_t> bytes = RandomBytes(rng, length);
    const TempFile file(bytes);
    Digest digest{};
    ASSERT_EQ(md5.GetFileMd5A(file.path().c_str(), digest.data()), 1) << "length " << length;
    EXPECT_EQ(digest, OpenSslMd5(bytes)) << "length " << length;
  }
}

TEST(Md5Test, VerifyFileMd5AFlagsMatchAndFailsOnMissingFile) {
  CMd5 md5;
  std::mt19937 rng(3);
  const std::vector<uint8_t> bytes = RandomBytes(rng, 3000);
  const TempFile file(bytes);
  Digest expected = OpenSslMd5(bytes);
  uint32_t match = 7;
  EXPECT_EQ(md5.VerifyFileMd5A(file.path().c_str(), expected.data(), &match), 1);
  EXPECT_EQ(match, 1u);
  expected[15] ^= 0x80;
  EXPECT_EQ(md5.VerifyFileMd5A(file.path().c_str(), expected.data(), &match), 1);
  EXPECT_EQ(match, 0u);

  const std::string missing = file.path() + ".missing";
  Digest digest{};
  match = 7;
  EXPECT_EQ(md5.GetFileMd5A(missing.c_str(), digest.data()), 0);
  EXPECT_EQ(md5.VerifyFileMd5A(missing.c_str(), expected.data(), &match), 0);
  EXPECT_EQ(match, 7u);
}

// The whole-input operations reach the steps through the interface, so a derived class sees
// every step; the counts follow from one 100-byte input (one data block, one final block).
TEST(Md5Test, WholeInputOperationsCallStepsThroughInterface) {
  const std::vector<uint8_t> bytes(100, 0x42);
  const TempFile file(bytes);
  const Digest expected = OpenSslMd5(bytes);
  uint32_t match = 0;
  Digest digest{};

  struct SlotCase {
    const char* operation;
    std::function<int32_t(IMd5&)> call;
    std::array<int, 8> calls;  // per slot 0..7
  };
  const SlotCase cases[] = {
      {"GetFileMd5A", [&](IMd5& md5) { return md5.GetFileMd5A(file.path().c_str(), digest.data()); },
       {1, 0, 0, 0, 1, 2, 1, 2}},
      {"GetBufferMd5", [&](IMd5& md5) { return md5.GetBufferMd5(bytes.data(), 100, digest.data()); },
       {0, 1, 0, 0, 1, 2, 1, 2}},
      {"VerifyFileMd5A",
       [&](IMd5& md5) { return md5.VerifyFileMd5A(file.path().c_str(), expected.data(), &match); },
       {1, 0, 1, 0, 1, 2, 1, 2}},
      {"VerifyBufferMd5",
       [&](IMd5& md5) { return md5.VerifyBufferMd5(bytes.data(), 100, expected.data(), &match); },
       {0, 1, 0, 1, 1, 2, 1, 2}},
  };
  for (const SlotCase& c : cases) {
    RecordingMd5 md5;
    EXPECT_EQ(c.call(md5), 1) << c.operation;
    EXPECT_EQ(md5.calls, c.calls) << c.operation;
  }
}

// Callers in other binaries reach the operations by slot index, so the declaration order is part
// of the interface. Under the Itanium C++ ABI (this build and the cross build alike) a pointer to
// a virtual member holds 1 plus the byte offset of its slot in the virtual table.
template <typename Member>
size_t SlotOf(Member member) {
  struct Representation {
    uintptr_t pointer;
    ptrdiff_t adjustment;
  };
  static_assert(sizeof(Member) == sizeof(Representation));
  Representation rep;
  std::memcpy(&rep, &member, sizeof(rep));
  EXPECT_EQ(rep.pointer % sizeof(void*), 1u) << "not a virtual member";
  return (rep.pointer - 1) / sizeof(void*);
}

TEST(Md5Test, InterfaceSlotsAreInDeclaredOrder) {
  EXPECT_EQ(SlotOf(&IMd5::GetFileMd5A), 0u);
  EXPECT_EQ(SlotOf(&IMd5::GetBufferMd5), 1u);
  EXPECT_EQ(SlotOf(&IMd5::VerifyFileMd5A), 2u);
  EXPECT_EQ(SlotOf(&IMd5::VerifyBufferMd5), 3u);
  EXPECT_EQ(SlotOf(&IMd5::Md5Init), 4u);
  EXPECT_EQ(SlotOf(&IMd5::Md5Update), 5u);
  EXPECT_EQ(SlotOf(&IMd5::Md5Final), 6u);
  EXPECT_EQ(SlotOf(&IMd5::Md5Transform), 7u);
  // No data members: a local CMd5 is just its table pointer.
  EXPECT_EQ(sizeof(CMd5), sizeof(void*));
}

}  // namespace
