// MivraUpdateRollBackDB: one record per file name, overwritten on a second registration and
// appended otherwise, with or without the caller's object.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "mivra.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"

namespace {

using rbmdata_test::kUntouched;
using mivra_test::MetadataRecord;

class UpdateRollbackDbTest : public rbmdata_test::RBExportTest {
 protected:
  // Creates the file in the install directory with `bytes` and the given last-write time.
  std::wstring InstallFile(const std::wstring& name, const char* bytes, uint32_t writeTimeHigh) const {
    const std::wstring path = InstallPath(name);
    mivra_test::WriteFileBytes(path, bytes);
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME time = {0x12345678, writeTimeHigh};
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return path;
  }
};

std::string Digest(char fill) { return std::string(16, fill); }

const uint8_t* DigestBytes(const std::string& digest) { return reinterpret_cast<const uint8_t*>(digest.data()); }

// The last-write time of `path` as a record keeps it: local time, as eight words.
void ExpectRecordTime(const MetadataRecord& record, const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  ASSERT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  FILETIME local = {};
  SYSTEMTIME time = {};
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &time);
  const uint16_t expected[8] = {time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
                                time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(record.time[i], expected[i]) << i;
}

TEST_F(UpdateRollbackDbTest, RegistersAFileWithTheCallersSizeAndDigestAndItsOwnTime) {
  const std::wstring path = InstallFile(L"Corvane.exe", "twelve bytes", 0x01D9B3A2);
  const std::string digest = "0123456789abcdef";
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, path.c_str(), 0xFEDCBA98, DigestBytes(digest), &code));
  EXPECT_EQ(code, kUntouched);

  const std::string file = ReadDb();
  ASSERT_EQ(file.size(), mivra_test::kRBAreaOffset + mivra_test::kRBRecordBytes);
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, file), 1u);
  EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, file));
  const MetadataRecord record = mivra_test::RecordAt(mivra_test::kRBLayout, file, 0);
  EXPECT_EQ(record.name, L"Corvane.exe");
  EXPECT_EQ(record.size, 0xFEDCBA98u);  // stored as given, not as found on disk
  EXPECT_EQ(record.digest, digest);
  ExpectRecordTime(record, path);
}

TEST_F(UpdateRollbackDbTest, NullArgumentsFailWithoutCodeOrDatabase) {
  const std::wstring path = InstallFile(L"a.dll", "a", 0x01D9B3A2);
  const std::string digest = Digest('d');
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, nullptr, 1, DigestBytes(digest), &code));
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, nullptr, &code));
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, DigestBytes(digest), nullptr));
  EXPECT_EQ(code, kUntouched);
  EXPECT_FALSE(DbExists());
}

TEST_F(UpdateRollbackDbTest, SwitchIsConsultedOnlyWithoutAnObject) {
  const std::wstring path = InstallFile(L"a.dll", "a", 0x01D9B3A2);
  const std::string digest = Digest('d');
  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateRBMdataObject(&code);
  ASSERT_NE(object, nullptr);

  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, DigestBytes(digest), &code));
  EXPECT_EQ(code, MIVRA_E_FEATURE_OFF);
  code = kUntouched;
  EXPECT_TRUE(MivraUpdateRollBackDB(object, path.c_str(), 1, DigestBytes(digest), &code));
  EXPECT_EQ(code, kUntouched);
  MivraDeleteRBMdataObject(object);
  EXPECT_EQ(mivra_test::RecordsInFile(mivra_test::kRBLayout, ReadDb()), 1u);
}

TEST_F(UpdateRollbackDbTest, PathWithoutBackslashFailsAfterTheDatabaseWasCreated) {
  const std::string digest = Digest('d');
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, L"a.dll", 1, DigestBytes(digest), &code));
  EXPECT_EQ(code, MIVRA_E_BAD_PATH);
  EXPECT_EQ(ReadDb(), mivra_test::NewMetadataFile(mivra_test::kRBLayout));
}

// A record name is later joined to the install directory; one that could name another folder, a
// drive, a stream or a device is refused before anything is written.
TEST_F(UpdateRollbackDbTest, NameThatIsNoPlainFileNameFailsAndChangesNothing) {
  mivra_test::MakeFolder(InstallPath(L"sub"));
  InstallFile(L"sub\\inner.dll", "inner", 0x01D9B3A2);
  InstallFile(L"streamed.dll", "s", 0x01D9B3A2);
  const std::wstring kPaths[] = {
      InstallPath(L"sub/inner.dll"),
      InstallPath(L"nosuch/inner.dll"),
      InstallPath(L"streamed.dll:alt"),
      InstallPath(L"C:inner.dll"),
      InstallPath(L"NUL"),
      InstallPath(L"com1.txt"),
      InstallPath(L""),
      InstallPath(L".."),
      InstallPath(L"..."),
      InstallPath(L"streamed.dll."),
      InstallPath(L"streamed.dll "),
      InstallPath(L"*.dll"),
      InstallPath(L"s?reamed.dll"),
      InstallPath(L"a|b"),
      InstallPath(L"tab\tname"),
  };
  const std::string digest = Digest('d');
  for (const std::wstring& path : kPaths) {
    WriteDb(OneRecordDatabase());
    uint32_t code = kUntouched;
    EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, DigestBytes(digest), &code)) << path;
    EXPECT_EQ(code, MIVRA_E_BAD_PATH) << path;
    EXPECT_TRUE(ReadDb() == OneRecordDatabase()) << path;
  }
}

TEST_F(UpdateRollbackDbTest, FileOutsideTheInstallDirectoryIsRefusedBeforeTheDatabaseIsOpened) {
  mivra_test::MakeFolder(InstallPath(L"sub"));
  const std::wstring inSub = InstallFile(L"sub\\inner.dll", "inner", 0x01D9B3A2);
  const std::wstring elsewhere = BaseFolder() + L"\\elsewhere.dll";
  mivra_test::MakeFolder(BaseFolder());
  mivra_test::WriteFileBytes(elsewhere, "x");
  const std::string digest = Digest('d');
  // Files that do not exist are judged by their folder as well.
  const std::wstring missingElsewhere = L"C:\\Other\\Y.DLL";
  const std::wstring relative = L"sub\\inner.dll";
  for (const std::wstring& path : {inSub, elsewhere, missingElsewhere, relative}) {
    uint32_t code = kUntouched;
    EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, DigestBytes(digest), &code));
    EXPECT_EQ(code, MIVRA_E_NOT_IN_INSTALL_DIR);
    EXPECT_FALSE(DbExists());
  }

  WriteDb(OneRecordDatabase());
  uint32_t code = kUntouched;
  MdataObject* object = MivraCreateRBMdataObject(&code);
  ASSERT_NE(object, nullptr);
  EXPECT_FALSE(MivraUpdateRollBackDB(object, inSub.c_str(), 1, DigestBytes(digest), &code));
  EXPECT_EQ(code, MIVRA_E_NOT_IN_INSTALL_DIR);
  MivraDeleteRBMdataObject(object);
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

TEST_F(UpdateRollbackDbTest, MissingFileFailsWithoutARecord) {
  WriteDb(OneRecordDatabase());
  const std::string digest = Digest('d');
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, InstallPath(L"missing.dll").c_str(), 1, DigestBytes(digest), &code));
  EXPECT_EQ(code, MIVRA_E_RB_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadDb(), OneRecordDatabase());
}

TEST_F(UpdateRollbackDbTest, InvalidDatabaseIsDiscardedAndTheCallFails) {
  std::string damaged = OneRecordDatabase();
  damaged[mivra_test::kRBAreaOffset] ^= 1;
  WriteDb(damaged);
  const std::wstring path = InstallFile(L"a.dll", "a", 0x01D9B3A2);
  const std::string digest = Digest('d');
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraUpdateRollBackDB(nullptr, path.c_str(), 1, DigestBytes(digest), &code));
  EXPECT_EQ(code, MIVRA_E_RBMDATA_OPEN);
  EXPECT_FALSE(DbExists());
}

struct SecondCall {
  std::wstring path;
  uint32_t size;
  std::string digest;
};

// Both ways: through one object, and through two calls that each open the database.
TEST_F(UpdateRollbackDbTest, SameNameTwiceLeavesOneRecordWithTheSecondCallsValues) {
  for (bool oneObject : {true, false}) {
    WriteDb(OneRecordDatabase());
    const std::wstring path = InstallFile(L"a.dll", "first", 0x01D9B3A2);
    uint32_t code = kUntouched;
    MdataObject* object = oneObject ? MivraCreateRBMdataObject(&code) : nullptr;
    const std::string firstDigest = Digest('1');
    ASSERT_TRUE(MivraUpdateRollBackDB(object, path.c_str(), 5, DigestBytes(firstDigest), &code));
    if (!oneObject) {
      EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, ReadDb()), 2u);
    }

    InstallFile(L"a.dll", "second!", 0x01D8A000);
    const std::string secondDigest = Digest('2');
    ASSERT_TRUE(MivraUpdateRollBackDB(object, path.c_str(), 7, DigestBytes(secondDigest), &code));
    EXPECT_EQ(code, kUntouched);
    MivraDeleteRBMdataObject(object);

    const std::string file = ReadDb();
    ASSERT_EQ(mivra_test::RecordsInFile(mivra_test::kRBLayout, file), 2u) << oneObject;
    EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, file), 2u) << oneObject;  // the overwrite did not count
    EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, file));
    EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 0).name, L"kept.dll");
    const MetadataRecord record = mivra_test::RecordAt(mivra_test::kRBLayout, file, 1);
    EXPECT_EQ(record.name, L"a.dll");
    EXPECT_EQ(record.size, 7u);
    EXPECT_EQ(record.digest, secondDigest);
    ExpectRecordTime(record, path);
  }
}

TEST_F(UpdateRollbackDbTest, ObjectKeptAcrossCallsSeesWhatOthersRegisteredMeanwhile) {
  const std::wstring mine = InstallFile(L"mine.dll", "mine", 0x01D9B3A2);
  const std::wstring theirs = InstallFile(L"theirs.dll", "theirs", 0x01D9B3A2);
  const std::string digest = Digest('o');
  uint32_t code = kUntouched;
  MdataObject* kept = MivraCreateRBMdataObject(&code);
  ASSERT_NE(kept, nullptr);
  ASSERT_TRUE(MivraUpdateRollBackDB(kept, mine.c_str(), 1, DigestBytes(digest), &code));
  // Another user of the database (another object, a call without one, another process)
  // registers a file after this object has read the names.
  ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, theirs.c_str(), 2, DigestBytes(digest), &code));
  // The same name again through the kept object overwrites that record rather than adding one.
  ASSERT_TRUE(MivraUpdateRollBackDB(kept, theirs.c_str(), 3, DigestBytes(digest), &code));
  ASSERT_TRUE(MivraUpdateRollBackDB(kept, mine.c_str(), 4, DigestBytes(digest), &code));
  MivraDeleteRBMdataObject(kept);
  EXPECT_EQ(code, kUntouched);

  const std::string file = ReadDb();
  ASSERT_EQ(mivra_test::RecordsInFile(mivra_test::kRBLayout, file), 2u);
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, file), 2u);
  EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, file));
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 0).name, L"mine.dll");
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 0).size, 4u);
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 1).name, L"theirs.dll");
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 1).size, 3u);
}

TEST_F(UpdateRollbackDbTest, NamesDifferingInCaseAreTwoRecords) {
  InstallFile(L"a.dll", "a", 0x01D9B3A2);
  const std::string digest = Digest('d');
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(L"a.dll").c_str(), 1, DigestBytes(digest), &code));
  ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(L"A.DLL").c_str(), 2, DigestBytes(digest), &code));

  const std::string file = ReadDb();
  ASSERT_EQ(mivra_test::RecordsInFile(mivra_test::kRBLayout, file), 2u);
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, file), 2u);
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 0).name, L"a.dll");
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 1).name, L"A.DLL");
}


// Record 3000, and every record past it, is a record like any other: registering its file again
// overwrites it in place, the length and the count of the database unchanged.
TEST_F(UpdateRollbackDbTest, RegisteringAgainOverwritesTheRecordsFrom3000InPlace) {
  using mivra_test::kRBLayout;
  for (size_t count : {size_t{3001}, size_t{3002}}) {
    const size_t index = count - 1;
    SCOPED_TRACE(index);
    WriteDb(mivra_test::MetadataFile(kRBLayout, mivra_test::NumberedRecords(count)));
    const std::string before = ReadDb();
    const std::wstring name = L"f" + std::to_wstring(index) + L".dll";
    const std::wstring path = InstallFile(name, "the update's bytes", 0x01D9B3A2);
    const std::string digest = Digest('n');
    uint32_t code = kUntouched;
    ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, path.c_str(), 18, DigestBytes(digest), &code));
    EXPECT_EQ(code, kUntouched);

    const std::string after = ReadDb();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(mivra_test::RecordCount(kRBLayout, after), count);
    EXPECT_TRUE(mivra_test::CrcMatches(kRBLayout, after));
    const MetadataRecord record = mivra_test::RecordAt(kRBLayout, after, index);
    EXPECT_EQ(record.name, name);
    EXPECT_EQ(record.size, 18u);
    EXPECT_EQ(record.digest, digest);
    ExpectRecordTime(record, path);
    const size_t at = mivra_test::kRBAreaOffset + index * mivra_test::kRBRecordBytes;
    EXPECT_TRUE(after.compare(mivra_test::kRBAreaOffset, at - mivra_test::kRBAreaOffset, before,
                              mivra_test::kRBAreaOffset, at - mivra_test::kRBAreaOffset) == 0)
        << "a record before it changed";
    EXPECT_TRUE(after.compare(at + mivra_test::kRBRecordBytes, std::string::npos, before,
                              at + mivra_test::kRBRecordBytes) == 0)
        << "a record after it changed";
    DeleteFileW(path.c_str());
  }
}

}  // namespace
