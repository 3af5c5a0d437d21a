#include "update/digest/file_crc32.h"

#include <gtest/gtest.h>
#include <fcntl.h>

#include <algorithm>
#include <string>

#include "support/file_util.h"
#include "support/product_test.h"
#include "update/digest/crc32.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

namespace {

using mivra::CalcFileCrc32;
using mivra::Platform;
using mivra::ScopedFd;

// Puts another descriptor read into the platform table for one scope.
class ReadOverride {
 public:
  using ReadFn = int (*)(int, void*, unsigned);
  explicit ReadOverride(ReadFn read) : saved_(Platform().read) { Platform().read = read; }
  ~ReadOverride() { Platform().read = saved_; }
  ReadOverride(const ReadOverride&) = delete;
  ReadOverride& operator=(const ReadOverride&) = delete;

 private:
  ReadFn saved_;
};

int FailingRead(int, void*, unsigned) { return -1; }
int EndingRead(int, void*, unsigned) { return 0; }
int SevenBytesAtATime(int fd, void* buffer, unsigned count) {
  return mivra::RealPlatformCalls().read(fd, buffer, std::min(count, 7u));
}

std::string PatternBytes(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + 17) % 251);
  return bytes;
}

uint32_t Crc32Of(const std::string& bytes) {
  return mivra::Crc32(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

class FileCrc32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = mivra_test::TestInstallDir();
    mivra_test::RemoveTree(folder_.substr(0, folder_.size() - 1));
    mivra_test::MakeFolder(folder_);
  }

  // Writes `bytes` to a new file and opens it for reading in binary mode.
  ScopedFd OpenWith(const std::string& bytes) {
    const std::wstring path = folder_ + L"tail" + std::to_wstring(files_++) + L".dat";
    mivra_test::WriteFileBytes(path, bytes);
    return ScopedFd(Platform().wopen(path.c_str(), _O_RDONLY | _O_BINARY, 0));
  }

  std::wstring folder_;
  int files_ = 0;
};

TEST_F(FileCrc32Test, ChecksumsTailFromStartOffset) {
  struct TailCase {
    size_t length;
    int32_t start;
  };
  const TailCase cases[] = {{1, 0}, {100, 0}, {5000, 0}, {5000, 48}, {5000, 4999}, {70000, 1024},
                             {600000, 93}};  // beyond two pieces of the file reads
  for (const TailCase& c : cases) {
    const std::string bytes = PatternBytes(c.length);
    ScopedFd fd = OpenWith(bytes);
    ASSERT_TRUE(fd);
    uint32_t crc = 0;
    ASSERT_TRUE(CalcFileCrc32(fd.get(), c.start, &crc)) << c.length << " bytes from " << c.start;
    EXPECT_EQ(crc, Crc32Of(bytes.substr(c.start))) << c.length << " bytes from " << c.start;
  }
}

TEST_F(FileCrc32Test, StartAtEndGivesZeroAndPastEndFails) {
  ScopedFd fd = OpenWith(PatternBytes(300));
  ASSERT_TRUE(fd);
  uint32_t crc = 0x12345678;
  EXPECT_TRUE(CalcFileCrc32(fd.get(), 300, &crc));
  EXPECT_EQ(crc, 0u);
  crc = 0x12345678;
  EXPECT_FALSE(CalcFileCrc32(fd.get(), 301, &crc));
  EXPECT_FALSE(CalcFileCrc32(fd.get(), -1, &crc));
  EXPECT_EQ(crc, 0x12345678u);

  ScopedFd empty = OpenWith("");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(CalcFileCrc32(empty.get(), 0, &crc));
  EXPECT_EQ(crc, 0u);
}

TEST_F(FileCrc32Test, MissingDescriptorOrResultFails) {
  ScopedFd fd = OpenWith(PatternBytes(10));
  ASSERT_TRUE(fd);
  uint32_t crc = 0x12345678;
  EXPECT_FALSE(CalcFileCrc32(-1, 0, &crc));
  EXPECT_EQ(crc, 0x12345678u);
  EXPECT_FALSE(CalcFileCrc32(fd.get(), 0, nullptr));
}

// A checksum of part of the tail would condemn a sound metadata file, so a failed or cut-off read
// fails the call instead.
TEST_F(FileCrc32Test, ReadErrorOrEarlyEndFails) {
  const struct {
    const char* name;
    ReadOverride::ReadFn read;
  } cases[] = {{"error", FailingRead}, {"early end", EndingRead}};
  for (const auto& c : cases) {
    ScopedFd fd = OpenWith(PatternBytes(200));
    ASSERT_TRUE(fd);
    uint32_t crc = 0x12345678;
    ReadOverride fault(c.read);
    EXPECT_FALSE(CalcFileCrc32(fd.get(), 0, &crc)) << c.name;
    EXPECT_EQ(crc, 0x12345678u) << c.name;
  }
}

TEST_F(FileCrc32Test, ShortReadsAreCompleted) {
  const std::string bytes = PatternBytes(1000);
  ScopedFd fd = OpenWith(bytes);
  ASSERT_TRUE(fd);
  ReadOverride shortReads(SevenBytesAtATime);
  uint32_t crc = 0;
  ASSERT_TRUE(CalcFileCrc32(fd.get(), 10, &crc));
  EXPECT_EQ(crc, Crc32Of(bytes.substr(10)));
}

}  // namespace
