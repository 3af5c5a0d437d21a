#include "update/backup/copy_verified.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "support/file_util.h"
#include "support/held_file.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "support/unix_file_ops.h"
#include "update/backup/copy_readback.h"
#include "update/digest/file_piece.h"
#include "update/digest/md5.h"

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
  // The source's reads, through Win32 handles and C-runtime descriptors open on it.
  std::wstring source;
  std::set<HANDLE> sourceHandles;
  std::set<int> sourceFds;
  uint64_t sourceBytesRead = 0;
  // A writer that tries to change the source when the first copy is created: whether it did.
  bool changeSourceAtCopy = false;
  int changesTried = 0;
  bool changed = false;
  // Opens of the copy by name once it exists, and reads at an offset (the copy's writer reading
  // it back) that fail.
  std::wstring destination;
  int destinationOpens = 0;
  bool failReadsAtOffset = false;
};
CopyWatch g_watch;

bool IsSource(LPCWSTR path) { return !g_watch.source.empty() && _wcsicmp(path, g_watch.source.c_str()) == 0; }

// Another writer changes the source (same size) as the copy begins, if sharing lets it.
void TryToChangeSource() {
  ++g_watch.changesTried;
  HANDLE file = mivra::RealPlatformCalls().CreateFileW(g_watch.source.c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  g_watch.changed = WriteFile(file, "CHANGED", 7, &written, nullptr) && written == 7;
  CloseHandle(file);
}

HANDLE WINAPI WatchedCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                DWORD disposition, DWORD flags, HANDLE templateFile) {
  // A copy is made new (or, over a name that is there, made again): counted when it is made.
  const bool creation = (access & GENERIC_WRITE) && (disposition == CREATE_NEW || disposition == CREATE_ALWAYS);
  if (creation && g_watch.changeSourceAtCopy && g_watch.changesTried == 0) TryToChangeSource();
  const HANDLE file =
      mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
  if (creation && file != INVALID_HANDLE_VALUE) ++g_watch.destinationsCreated;
  const bool destination = !g_watch.destination.empty() && _wcsicmp(path, g_watch.destination.c_str()) == 0;
  if (disposition == OPEN_EXISTING && destination) ++g_watch.destinationOpens;
  if (file != INVALID_HANDLE_VALUE && IsSource(path)) g_watch.sourceHandles.insert(file);
  return file;
}

BOOL WINAPI WatchedCloseHandle(HANDLE handle) {
  g_watch.sourceHandles.erase(handle);
  return mivra::RealPlatformCalls().CloseHandle(handle);
}

int WatchedOpen(const wchar_t* path, int flags, int mode) {
  const int fd = mivra::RealPlatformCalls().wopen(path, flags, mode);
  if (fd != -1 && IsSource(path)) g_watch.sourceFds.insert(fd);
  return fd;
}

int WatchedRead(int fd, void* buffer, unsigned count) {
  const int got = mivra::RealPlatformCalls().read(fd, buffer, count);
  if (got > 0 && g_watch.sourceFds.count(fd)) g_watch.sourceBytesRead += static_cast<unsigned>(got);
  return got;
}

int WatchedClose(int fd) {
  g_watch.sourceFds.erase(fd);
  return mivra::RealPlatformCalls().close(fd);
}

BOOL WINAPI WatchedReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
  if (overlapped && g_watch.failReadsAtOffset) {
    SetLastError(ERROR_CRC);
    return FALSE;
  }
  if (g_watch.readsLeft-- <= 0) {
    SetLastError(ERROR_CRC);
    return FALSE;
  }
  const BOOL ok = mivra::RealPlatformCalls().ReadFile(file, buffer, size, got, overlapped);
  if (ok && got && g_watch.sourceHandles.count(file)) g_watch.sourceBytesRead += *got;
  return ok;
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
  mivra_test::PlatformOverride<&mivra::PlatformCalls::CloseHandle> closeHandle_{&WatchedCloseHandle};
  mivra_test::PlatformOverride<&mivra::PlatformCalls::wopen> open_{&WatchedOpen};
  mivra_test::PlatformOverride<&mivra::PlatformCalls::read> crtRead_{&WatchedRead};
  mivra_test::PlatformOverride<&mivra::PlatformCalls::close> close_{&WatchedClose};
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

std::string Md5Of(const std::string& data) {
  mivra::CMd5 md5;
  uint8_t digest[16];
  md5.GetBufferMd5(reinterpret_cast<const uint8_t*>(data.data()), static_cast<uint32_t>(data.size()), digest);
  return std::string(reinterpret_cast<const char*>(digest), 16);
}

// A small copy is proved by reading it back through the handle that wrote it, with no second open;
// when that reading fails, the copy is read back by name instead and proved all the same. A copy
// that differs from the source is caught either way.
TEST_F(CopyVerifiedTest, ProvesASmallCopyThroughItsWriterOrByName) {
  struct Case {
    const char* what;
    bool writerReadsFail;
    int spoiltCopies;
    bool result;
    int opensByName;
  };
  const Case cases[] = {
      {"read back through the writer", false, 0, true, 0},
      {"writer's reading fails", true, 0, true, 1},
      {"spoilt, read back through the writer", false, 2, false, 0},
      {"spoilt, writer's reading fails", true, 2, false, 2},
  };
  mivra_test::WriteFileBytes(source_, "abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(destination_.c_str());
    g_watch = CopyWatch();
    g_watch.destination = destination_;
    g_watch.failReadsAtOffset = c.writerReadsFail;
    g_watch.writesToSpoil = c.spoiltCopies;
    uint8_t digest[16] = {};
    EXPECT_EQ(mivra::CopyFileVerified(source_.c_str(), destination_.c_str(), nullptr, digest), c.result);
    EXPECT_EQ(g_watch.destinationOpens, c.opensByName);
    if (c.result) EXPECT_EQ(std::string(reinterpret_cast<const char*>(digest), 16), Md5Of("abc"));
  }
}

// A destination the caller created and handed in comes back open only with the proved copy made
// through it, so that the caller may rename that copy through it. A copy proved by name, or made
// again by name after a mismatch, leaves it closed; the second copy starts afresh, not past the
// first one's bytes.
TEST_F(CopyVerifiedTest, HandsBackTheCreatedHandleOnlyWithTheCopyMadeThroughIt) {
  struct Case {
    const char* what;
    const char* expectedHex;
    bool writerReadsFail;
    int spoiltCopies;
    bool result;
    bool handedBack;
  };
  // MD5 of "abc", and a digest it does not have.
  const char* right = "900150983cd24fb0d6963f7d28e17f72";
  const char* wrong = "900150983cd24fb0d6963f7d28e17f73";
  const Case cases[] = {
      {"proved through the writer", right, false, 0, true, true},
      {"proved by name", right, true, 0, true, false},
      {"first copy spoilt, second made by name", right, false, 1, true, false},
      {"no copy has the digest", wrong, false, 0, false, false},
  };
  mivra_test::WriteFileBytes(source_, "abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(destination_.c_str());
    mivra::ScopedHandle created(CreateFileW(destination_.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                            FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(created);
    const HANDLE given = created.get();
    g_watch = CopyWatch();
    g_watch.destination = destination_;
    g_watch.failReadsAtOffset = c.writerReadsFail;
    g_watch.writesToSpoil = c.spoiltCopies;
    const std::string expected = mivra_test::DigestFromHex(c.expectedHex);
    EXPECT_EQ(mivra::CopyFileVerified(source_.c_str(), destination_.c_str(),
                                      reinterpret_cast<const uint8_t*>(expected.data()), nullptr, &created),
              c.result);
    EXPECT_EQ(created.valid(), c.handedBack);
    if (c.handedBack) EXPECT_EQ(created.get(), given);
    created.reset();
    if (c.result) EXPECT_EQ(mivra_test::ReadFileBytes(destination_), "abc");
  }
}

struct PassesCase {
  const char* what;
  bool writerElsewhere;  // another process holds the source open for writing
  bool changeAtCopy;     // a writer changes the source as the copy begins
  bool result;
  int sourcePasses;      // reads of the whole source
  int copies;
  bool sourceChanged;
};

// Held without write sharing, the source is read once, copied and digested together, and nothing
// can change it before the copy is proved. Held for writing elsewhere, it is digested on its own
// first, and a change before or under the copy fails the copy's proof.
TEST_F(CopyVerifiedTest, ReadsAHeldSourceOnceAndCatchesAChangedOne) {
  const PassesCase cases[] = {
      {"held here", false, false, true, 1, 1, false},
      {"held for writing elsewhere", true, false, true, 2, 1, false},
      {"held here, changed as the copy begins", false, true, true, 1, 1, false},
      {"held for writing elsewhere, changed as the copy begins", true, true, false, 3, 2, true},
  };
  // Three pieces and a part, so that the pass that copies and digests runs over several reads.
  const std::string data = Pattern(3 * mivra::kFilePieceSize + 11);
  for (const PassesCase& c : cases) {
    SCOPED_TRACE(c.what);
    mivra_test::WriteFileBytes(source_, data);
    DeleteFileW(destination_.c_str());
    g_watch = CopyWatch();
    g_watch.source = source_;
    g_watch.changeSourceAtCopy = c.changeAtCopy;
    uint8_t digest[16] = {};
    {
      std::unique_ptr<mivra_test::HeldFile> writer;
      if (c.writerElsewhere) {
        writer = std::make_unique<mivra_test::HeldFile>(source_, GENERIC_READ | GENERIC_WRITE,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_TRUE(writer->ok());
      }
      EXPECT_EQ(mivra::CopyFileVerified(source_.c_str(), destination_.c_str(), nullptr, digest), c.result);
    }
    EXPECT_EQ(g_watch.sourceBytesRead, c.sourcePasses * data.size());
    EXPECT_EQ(g_watch.destinationsCreated, c.copies);
    EXPECT_EQ(g_watch.changesTried, c.changeAtCopy ? 1 : 0);
    EXPECT_EQ(g_watch.changed, c.sourceChanged);
    if (c.result) {
      EXPECT_EQ(mivra_test::ReadFileBytes(destination_), data);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(digest), 16), Md5Of(data));
    }
  }
}

TEST_F(CopyVerifiedTest, HeldSourceFailsWithoutCopyWhenItCannotBeHeld) {
  // Missing, or held for writing elsewhere: the caller copies the three-pass way.
  uint8_t digest[16] = {};
  EXPECT_EQ(mivra::CopyHeldSourceVerified((folder_ + L"\\missing.bin").c_str(), destination_.c_str(), digest),
            mivra::HeldCopy::kNotHeld);
  mivra_test::WriteFileBytes(source_, "in use");
  {
    mivra_test::HeldFile writer(source_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer.ok());
    EXPECT_EQ(mivra::CopyHeldSourceVerified(source_.c_str(), destination_.c_str(), digest),
              mivra::HeldCopy::kNotHeld);
  }
  EXPECT_EQ(g_watch.destinationsCreated, 0);
  EXPECT_FALSE(mivra_test::FileExists(destination_));
  // A copy that cannot be written fails this way too, with nothing left behind.
  g_watch.writesLeft = 0;
  EXPECT_EQ(mivra::CopyHeldSourceVerified(source_.c_str(), destination_.c_str(), digest), mivra::HeldCopy::kFailed);
  EXPECT_FALSE(mivra_test::FileExists(destination_));
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

// A large copy is read back and digested by a second thread while it is written. What the main
// thread sees of the destination: its creations, the reader's open (and how much was written by
// then), and the opens that digest it after the copy. Every watched call runs on the main thread.
struct LargeCopyWatch {
  std::wstring destination;
  int created = 0;
  int readerOpens = 0;
  int digestOpens = 0;
  uint64_t written = 0;          // into the destination since its last creation
  uint64_t writtenAtReader = 0;  // when the reader opened it
  bool crippleReader = false;    // the reader's handle cannot read
  int copiesToSpoil = 0;         // the first write of each of the first copies is spoilt
  HANDLE copy = INVALID_HANDLE_VALUE;
};
LargeCopyWatch g_large;

HANDLE WINAPI LargeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  const bool destination = _wcsicmp(path, g_large.destination.c_str()) == 0;
  const bool creation = destination && (disposition == CREATE_NEW || disposition == CREATE_ALWAYS);
  if (creation) {
    g_large.written = 0;
  } else if (destination && (share & FILE_SHARE_WRITE)) {
    ++g_large.readerOpens;
    g_large.writtenAtReader = g_large.written;
    if (g_large.crippleReader) access = FILE_READ_ATTRIBUTES;
  } else if (destination) {
    ++g_large.digestOpens;
  }
  const HANDLE file =
      mivra::RealPlatformCalls().CreateFileW(path, access, share, security, disposition, flags, templateFile);
  if (creation && file != INVALID_HANDLE_VALUE) {
    ++g_large.created;
    g_large.copy = file;
  }
  return file;
}

BOOL WINAPI LargeWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  if (file != g_large.copy) return mivra::RealPlatformCalls().WriteFile(file, buffer, size, written, overlapped);
  const bool first = g_large.written == 0;
  g_large.written += size;
  if (first && g_large.copiesToSpoil > 0 && size > 0) {
    --g_large.copiesToSpoil;
    std::string spoilt(static_cast<const char*>(buffer), size);
    spoilt[size / 2] ^= 0x55;
    return mivra::RealPlatformCalls().WriteFile(file, spoilt.data(), size, written, overlapped);
  }
  return mivra::RealPlatformCalls().WriteFile(file, buffer, size, written, overlapped);
}

struct LargeCase {
  const char* what;
  bool expected;         // compared with the digest it should have rather than the source's own
  bool crippleReader;
  int spoiltCopies;
  bool result;
  int copies;
  int digestOpens;       // proofs read after the copy, where the reader proved nothing
};

class LargeCopyTest : public CopyVerifiedTest {
 protected:
  mivra_test::PlatformOverride<&mivra::PlatformCalls::CreateFileW> largeCreate_{&LargeCreateFile};
  mivra_test::PlatformOverride<&mivra::PlatformCalls::WriteFile> largeWrite_{&LargeWriteFile};
};

TEST_F(LargeCopyTest, ProvesALargeCopyByReadingItBackWhileItIsWritten) {
  const LargeCase cases[] = {
      {"held source", false, false, 0, true, 1, 0},
      {"expected digest", true, false, 0, true, 1, 0},
      {"reader cannot read: proved after the copy", false, true, 0, true, 1, 1},
      {"first copy spoilt", false, false, 1, true, 2, 0},
      {"every copy spoilt", false, false, 2, false, 2, 0},
      {"every copy spoilt, against the expected digest", true, false, 2, false, 2, 0},
  };
  // Past the size from which copies are read back, and not a whole number of pieces.
  const std::string data = Pattern(static_cast<size_t>(mivra::kReadbackFrom) + 3 * mivra::kFilePieceSize + 5);
  mivra_test::WriteFileBytes(source_, data);
  const std::string md5 = Md5Of(data);
  for (const LargeCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(destination_.c_str());
    g_large = LargeCopyWatch();
    g_large.destination = destination_;
    g_large.crippleReader = c.crippleReader;
    g_large.copiesToSpoil = c.spoiltCopies;
    uint8_t digest[16] = {};
    EXPECT_EQ(mivra::CopyFileVerified(source_.c_str(), destination_.c_str(),
                                      c.expected ? reinterpret_cast<const uint8_t*>(md5.data()) : nullptr, digest),
              c.result);
    EXPECT_EQ(g_large.created, c.copies);
    EXPECT_EQ(g_large.readerOpens, c.copies) << "each copy is read back as it is written";
    EXPECT_GE(g_large.writtenAtReader, mivra::kReadbackFrom);
    EXPECT_LT(g_large.writtenAtReader, data.size()) << "the reader starts before the copy is complete";
    EXPECT_EQ(g_large.digestOpens, c.digestOpens);
    // Compared whole, never printed: the data is megabytes long.
    EXPECT_EQ(mivra_test::ReadFileBytes(destination_) == data, c.result) << "a failed copy stays, spoilt";
    if (c.result) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(digest), 16), md5);
    }
  }
}

}  // namespace
