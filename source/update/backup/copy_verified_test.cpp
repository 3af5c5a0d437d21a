#include "update/backup/copy_verified.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "support/file_util.h"
#include "support/held_file.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/digest/file_piece.h"

namespace {


std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// What the platform layer sees of the copies: destinations created, reads and writes let
// through before failing, and writes to spoil.
struct CopyWatch {
  int destinationsCreated = 0;
  int readsLeft = 1 << 30;
  int writesLeft = 1 << 30;
  bool shortWrite = false;
  int writesToSpoil = 0;
};
CopyWatch g_watch;

HANDLE WINAPI WatchedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (access == GENERIC_WRITE && disposition == CREATE_ALWAYS) ++g_watch.destinationsCreated;
  return mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI WatchedReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  if (g_watch.readsLeft-- <= 0) {
    SetLastError(ERROR_CRC);
    return FALSE;
  }
  return mivra::RealPlatformCalls().ReadFile(file, buffer, size, got, overlapped);
}

BOOL WINAPI WatchedWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  if (g_watch.writesLeft-- <= 0) {
    if (!g_watch.shortWrite) {
      SetLastError(ERROR_DISK_FULL);
      return FALSE;
    }
    size /= 2;
  }
  if (g_watch.writesToSpoil > 0 && size > 0) {
    --g_watch.writesToSpoil;
    std::string spoilt(static_cast<const char*>(buffer), size);
    spoilt[0] ^= 0x55;
    return mivra::RealPlatformCalls().WriteFile(file, spoilt.data(), size, written, overlapped);
  }
  return mivra::RealPlatformCalls().WriteFile(file, buffer, size, written, overlapped);
}

class CopyVerifiedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"mivra-copy-verified";
    mivra_test::RemoveTree(folder_);
    mivra_test::MakeFolder(folder_);
    source_ = folder_ + L"\\source.bin";
    destination_ = folder_ + L"\\destination.bin";
    g_watch = CopyWatch();
  }
  void TearDown() override { mivra_test::RemoveTree(folder_); }

  std::wstring folder_;
  std::wstring source_;
  std::wstring destination_;
  mivra_test::PlatformOverride<&mivra::PlatformCalls::CreateFileW> create_{&WatchedCreateFile};
  mivra_test::PlatformOverride<&mivra::PlatformCalls::ReadFile> read_{&WatchedReadFile};
  mivra_test::PlatformOverride<&mivra::PlatformCalls::WriteFile> write_{&WatchedWriteFile};
};

TEST_F(CopyVerifiedTest, CopiesEveryByteAndReplacesTheDestination) {
  constexpr size_t kPiece = mivra::kFilePieceSize;
  for (size_t size : {size_t{0}, size_t{1}, size_t{4097}, kPiece - 1, kPiece, kPiece + 1, 3 * kPiece + 5}) {
    SCOPED_TRACE(size);
    const std::string data = Pattern(size);
    mivra_test::WriteFileBytes(source_, data);
    mivra_test::WriteFileBytes(destination_, std::string(20000, 'x'));
    EXPECT_TRUE(mivra::CopyFileData(source_.c_str(), destination_.c_str()));
    EXPECT_EQ(mivra_test::ReadFileBytes(destination_), data);
    EXPECT_EQ(GetFileAttributesW(destination_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  }
}

TEST_F(CopyVerifiedTest, FailedReadOrWriteLeavesNoDestination) {
  struct Fault {
    const char* what;
    int readsLeft;
    int writesLeft;
    bool shortWrite;
  };
  const Fault faults[] = {
      {"first read", 0, 1 << 30, false},
      {"third read", 2, 1 << 30, false},
      {"second write", 1 << 30, 1, false},
      {"short third write", 1 << 30, 2, true},
  };
  // Five pieces, so that the faults meet a copy under way.
  const std::string data = Pattern(5 * mivra::kFilePieceSize);
  mivra_test::WriteFileBytes(source_, data);
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    mivra_test::WriteFileBytes(destination_, "an earlier copy");
    g_watch = CopyWatch();
    g_watch.readsLeft = fault.readsLeft;
    g_watch.writesLeft = fault.writesLeft;
    g_watch.shortWrite = fault.shortWrite;
    EXPECT_FALSE(mivra::CopyFileData(source_.c_str(), destination_.c_str()));
    EXPECT_FALSE(mivra_test::FileExists(destination_));
    EXPECT_EQ(mivra_test::ReadFileBytes(source_), data);
  }
}

TEST_F(CopyVerifiedTest, FailedOpenDeletesNothing) {
  // No source: the destination is not even created.
  mivra_test::WriteFileBytes(destination_, "kept");
  EXPECT_FALSE(mivra::CopyFileData((folder_ + L"\\missing.bin").c_str(), destination_.c_str()));
  EXPECT_EQ(mivra_test::ReadFileBytes(destination_), "kept");

  // A destination that cannot be created.
  mivra_test::WriteFileBytes(source_, "data");
  const std::wstring folderInTheWay = folder_ + L"\\sub";
  mivra_test::MakeFolder(folderInTheWay);
  EXPECT_FALSE(mivra::CopyFileData(source_.c_str(), folderInTheWay.c_str()));
  EXPECT_NE(GetFileAttributesW(folderInTheWay.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(mivra::CopyFileData(nullptr, destination_.c_str()));
  EXPECT_FALSE(mivra::CopyFileData(source_.c_str(), nullptr));
}

TEST_F(CopyVerifiedTest, CopiesASourceThatAnotherProcessHoldsOpenForWriting) {
  mivra_test::WriteFileBytes(source_, "The quick brown fox jumps over the lazy dog");
  mivra_test::HeldFile held(source_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(held.ok());
  EXPECT_TRUE(mivra::CopyFileVerified(source_.c_str(), destination_.c_str(), nullptr));
  EXPECT_EQ(mivra_test::ReadFileBytes(destination_), "The quick brown fox jumps over the lazy dog");
}

struct VerifyCase {
  const char* what;
  const char* expectedHex;  // null: the source's own digest
  int spoiltCopies;
  bool result;
  int copies;
  bool destinationIsSource;  // what the copy left in place holds
};

TEST_F(CopyVerifiedTest, VerifiesEachCopyAndCopiesAtMostTwice) {
  // MD5 of "abc".
  const char* right = "900150983cd24fb0d6963f7d28e17f72";
  const char* wrong = "900150983cd24fb0d6963f7d28e17f73";
  const VerifyCase cases[] = {
      {"own digest", nullptr, 0, true, 1, true},
      {"expected digest", right, 0, true, 1, true},
      {"first copy spoilt", nullptr, 1, true, 2, true},
      {"both copies spoilt", nullptr, 2, false, 2, false},
      {"wrong expected digest", wrong, 0, false, 2, true},
  };
  mivra_test::WriteFileBytes(source_, "abc");
  for (const VerifyCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(destination_.c_str());
    g_watch = CopyWatch();
    g_watch.writesToSpoil = c.spoiltCopies;
    const std::string expected = c.expectedHex ? mivra_test::DigestFromHex(c.expectedHex) : std::string();
    EXPECT_EQ(mivra::CopyFileVerified(source_.c_str(), destination_.c_str(),
                                      c.expectedHex ? reinterpret_cast<const uint8_t*>(expected.data()) : nullptr),
              c.result);
    EXPECT_EQ(g_watch.destinationsCreated, c.copies);
    // The last copy stays in place, right or wrong.
    ASSERT_TRUE(mivra_test::FileExists(destination_));
    EXPECT_EQ(mivra_test::ReadFileBytes(destination_) == "abc", c.destinationIsSource);
  }
}

// A copy goes into the file of its name, never through a link to somewhere else: a link to a
// folder as Wine shows it, and a link to a file as Windows reports one (through the table).
DWORD WINAPI DestinationReadsAsLink(LPCWSTR path) {
  const DWORD attributes = mivra::RealPlatformCalls().GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || std::wstring(path).find(L"destination") == std::wstring::npos) {
    return attributes;
  }
  return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
}

TEST_F(CopyVerifiedTest, NeverCopiesThroughALink) {
  mivra_test::WriteFileBytes(source_, "the file's data");
  const std::wstring elsewhere = folder_ + L"\\elsewhere";
  mivra_test::MakeFolder(elsewhere);
  mivra_test::WriteFileBytes(elsewhere + L"\\kept.dat", "someone else's");
  ASSERT_TRUE(mivra_test::MakeUnixSymlink(elsewhere, destination_));
  EXPECT_FALSE(mivra::CopyFileData(source_.c_str(), destination_.c_str()));
  EXPECT_EQ(mivra_test::ReadTree(elsewhere), (std::map<std::wstring, std::string>{{L"kept.dat", "someone else's"}}));
  ASSERT_TRUE(mivra_test::RemoveUnixSymlink(destination_));

  mivra_test::WriteFileBytes(destination_, "what the link points to");
  mivra_test::PlatformOverride<&mivra::PlatformCalls::GetFileAttributesW> attributes(&DestinationReadsAsLink);
  EXPECT_FALSE(mivra::CopyFileData(source_.c_str(), destination_.c_str()));
  EXPECT_EQ(mivra_test::ReadFileBytes(destination_), "what the link points to");
  EXPECT_EQ(g_watch.destinationsCreated, 0);
}

TEST_F(CopyVerifiedTest, FailsWithoutCopyingWhenTheSourceIsMissing) {
  EXPECT_FALSE(mivra::CopyFileVerified((folder_ + L"\\missing.bin").c_str(), destination_.c_str(), nullptr));
  EXPECT_EQ(g_watch.destinationsCreated, 0);
  EXPECT_FALSE(mivra_test::FileExists(destination_));
  EXPECT_FALSE(mivra::CopyFileVerified(nullptr, destination_.c_str(), nullptr));
}

}  // namespace
