#include "update/digest/file_digest.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/file_util.h"
#include "support/held_file.h"
#include "support/product_test.h"
#include "update/digest/md5.h"
#include "update/frame/platform_calls.h"

namespace {

using mivra::CMd5;
using mivra::GetFileDigest;
using mivra::GetFileMd5Crypt;
using mivra::Platform;
using Digest = std::array<uint8_t, mivra::kMd5DigestSize>;

// Puts another entry into the platform table for one scope.
template <typename Fn>
class PlatformOverride {
 public:
  PlatformOverride(Fn mivra::PlatformCalls::*entry, Fn replacement)
      : entry_(entry), saved_(Platform().*entry) {
    Platform().*entry_ = replacement;
  }
  ~PlatformOverride() { Platform().*entry_ = saved_; }
  PlatformOverride(const PlatformOverride&) = delete;
  PlatformOverride& operator=(const PlatformOverride&) = delete;

 private:
  Fn mivra::PlatformCalls::*entry_;
  Fn saved_;
};

int FailingRead(int, void*, unsigned) { return -1; }
BOOL WINAPI FailingReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  SetLastError(ERROR_READ_FAULT);
  return FALSE;
}

Digest FromHex(const char* hex) {
  Digest digest{};
  for (size_t i = 0; i < digest.size(); ++i) {
    digest[i] = static_cast<uint8_t>(std::stoul(std::string(hex + 2 * i, 2), nullptr, 16));
  }
  return digest;
}

std::string PatternBytes(size_t length) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + 17) % 251);
  return bytes;
}

// Digests of PatternBytes(length), taken with an independent MD5; the sizes sit around 1024 bytes
// and around the pieces both paths read files in.
struct KnownDigest {
  size_t length;
  const char* md5;
};
const KnownDigest kKnownDigests[] = {
    {0, "d41d8cd98f00b204e9800998ecf8427e"},    {1, "47ed733b8d10be225eceba344d533586"},
    {1023, "1cfc10895c2f9227cd0f906ea9b22086"}, {1024, "53856c0e7430e1be6117975560ee7d28"},
    {1025, "d4fca54537cc93d8ec6a77b7726a20a3"}, {5000, "62711f71d9caf64ff5457cbe6c51a0e8"},
    {65535, "3adfc40829b2d6b40e37bf6ee793ea4e"},  {65536, "9f3f445e363e97503c597d205db1c9aa"},
    {65537, "ac010ac45fa7544159026c89a466f448"},  {262143, "be1a51346ba0d0800f34b40c39d9b86b"}, {262144, "697796cc99e5dfb407e81dee0cfa134e"},
    {262145, "bdd568d0060117a295a3f1c82532687f"}, {1048577, "d4ef242263bd9969e2526e966e487f08"},
};
static_assert(mivra::kFilePieceSize == 65536, "the lengths above sit around one piece and four");
const KnownDigest& k5000Bytes = kKnownDigests[5];

class FileDigestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = mivra_test::TestInstallDir();
    mivra_test::RemoveTree(folder_.substr(0, folder_.size() - 1));
    mivra_test::MakeFolder(folder_);
  }

  std::wstring WritePatternFile(const KnownDigest& known) {
    const std::wstring path = folder_ + L"file" + std::to_wstring(known.length) + L".bin";
    mivra_test::WriteFileBytes(path, PatternBytes(known.length));
    return path;
  }

  std::wstring folder_;
};

TEST_F(FileDigestTest, EveryPathGivesKnownDigest) {
  for (const KnownDigest& known : kKnownDigests) {
    const std::wstring path = WritePatternFile(known);
    const Digest expected = FromHex(known.md5);
    Digest crypt{}, builtIn{}, rule{};
    CMd5 md5;
    EXPECT_EQ(GetFileMd5Crypt(path.c_str(), crypt.data()), 1) << known.length << " bytes";
    EXPECT_EQ(md5.GetFileMd5W(path.c_str(), builtIn.data()), 1) << known.length << " bytes";
    EXPECT_TRUE(GetFileDigest(path.c_str(), rule.data())) << known.length << " bytes";
    EXPECT_EQ(crypt, expected) << known.length << " bytes";
    EXPECT_EQ(builtIn, expected) << known.length << " bytes";
    EXPECT_EQ(rule, expected) << known.length << " bytes";
  }
}

// The system service's provider is acquired once for the process; first uses from several
// threads at once must all get it and give the right digest.
TEST_F(FileDigestTest, ConcurrentDigestsShareTheSystemProvider) {
  const std::wstring path = WritePatternFile(k5000Bytes);
  const Digest expected = FromHex(k5000Bytes.md5);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) {
        Digest digest{};
        if (GetFileMd5Crypt(path.c_str(), digest.data()) != 1 || digest != expected) ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(FileDigestTest, MissingFileOrNullArgumentFailsEveryPath) {
  const std::wstring missing = folder_ + L"missing.bin";
  const std::wstring present = WritePatternFile(k5000Bytes);
  Digest digest{};
  CMd5 md5;
  EXPECT_EQ(GetFileMd5Crypt(missing.c_str(), digest.data()), 0);
  EXPECT_EQ(md5.GetFileMd5W(missing.c_str(), digest.data()), 0);
  EXPECT_FALSE(GetFileDigest(missing.c_str(), digest.data()));
  EXPECT_EQ(digest, Digest{});

  EXPECT_EQ(GetFileMd5Crypt(nullptr, digest.data()), 0);
  EXPECT_EQ(GetFileMd5Crypt(present.c_str(), nullptr), 0);
  EXPECT_EQ(md5.GetFileMd5W(nullptr, digest.data()), 0);
  EXPECT_EQ(md5.GetFileMd5W(present.c_str(), nullptr), 0);
  EXPECT_FALSE(GetFileDigest(nullptr, digest.data()));
  EXPECT_FALSE(GetFileDigest(present.c_str(), nullptr));
  EXPECT_EQ(digest, Digest{});
}

// The system service opens sharing reading only, which a writer in another process refuses; the
// built-in MD5 opens without restriction, so the rule still yields the digest.
TEST_F(FileDigestTest, FileHeldForWritingIsDigestedByBuiltInMd5Only) {
  const std::wstring path = WritePatternFile(k5000Bytes);
  const Digest expected = FromHex(k5000Bytes.md5);
  mivra_test::HeldFile held(path, GENERIC_WRITE, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());
  Digest crypt{}, builtIn{}, rule{};
  CMd5 md5;
  EXPECT_EQ(GetFileMd5Crypt(path.c_str(), crypt.data()), 0);
  EXPECT_EQ(crypt, Digest{});
  EXPECT_EQ(md5.GetFileMd5W(path.c_str(), builtIn.data()), 1);
  EXPECT_EQ(builtIn, expected);
  EXPECT_TRUE(GetFileDigest(path.c_str(), rule.data()));
  EXPECT_EQ(rule, expected);
}

TEST_F(FileDigestTest, ReadErrorFailsItsPathAndRuleNeedsEither) {
  const std::wstring path = WritePatternFile(k5000Bytes);
  const Digest expected = FromHex(k5000Bytes.md5);
  const struct {
    bool failReadFile;  // the system service's reads
    bool failRead;      // the built-in MD5's reads
  } cases[] = {{true, false}, {false, true}, {true, true}};
  for (const auto& c : cases) {
    PlatformOverride<decltype(mivra::PlatformCalls::ReadFile)> readFile(
        &mivra::PlatformCalls::ReadFile, c.failReadFile ? FailingReadFile : Platform().ReadFile);
    PlatformOverride<decltype(mivra::PlatformCalls::read)> read(&mivra::PlatformCalls::read,
                                                                  c.failRead ? FailingRead : Platform().read);
    const std::string label = std::string(c.failReadFile ? "ReadFile fails" : "ReadFile works") + ", " +
                              (c.failRead ? "read fails" : "read works");
    Digest crypt{}, builtIn{}, rule{};
    CMd5 md5;
    EXPECT_EQ(GetFileMd5Crypt(path.c_str(), crypt.data()), c.failReadFile ? 0 : 1) << label;
    EXPECT_EQ(md5.GetFileMd5W(path.c_str(), builtIn.data()), c.failRead ? 0 : 1) << label;
    EXPECT_EQ(GetFileDigest(path.c_str(), rule.data()), !(c.failReadFile && c.failRead)) << label;
    EXPECT_EQ(rule, c.failReadFile && c.failRead ? Digest{} : expected) << label;
  }
}

}  // namespace
