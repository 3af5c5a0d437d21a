#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "mivra.h"
#include "support/deferred_delete_probe.h"
#include "support/held_file.h"
#include "update/backup/backup_exports_fixture.h"

namespace {

using mivra_test::FilesIn;
using mivra_test::kUntouched;
using mivra_test::ReadFileBytes;

class AddToBackupTest : public mivra_test::BackupExportsTest {
 protected:
  void SetUp() override {
    BackupExportsTest::SetUp();
    uint32_t error = kUntouched;
    object_ = MivraCreateBkMdataObject(&error);
    ASSERT_NE(object_, nullptr) << error;
  }
  void TearDown() override { MivraDeleteBkMdataObject(object_); }

  // Adds through the staging object; the error code written, or kUntouched on success.
  uint32_t AddStaged(const std::wstring& path) {
    uint32_t error = kUntouched;
    const bool added = MivraAddToBackup(object_, path.c_str(), &error);
    EXPECT_EQ(added, error == kUntouched);
    return error;
  }

  MdataObject* object_ = nullptr;
};

// The record of a file as its last-write time and content should make it.
TEST_F(AddToBackupTest, CopiesTheFileAndRecordsItsSizeTimeNameAndDigest) {
  const std::wstring path = Install(L"product.dll", mivra_test::kFox);
  SYSTEMTIME written = {2021, 3, 0, 4, 5, 6, 7, 8};
  FILETIME utc = {};
  SystemTimeToFileTime(&written, &utc);
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(file, nullptr, nullptr, &utc);
  CloseHandle(file);
  FILETIME local = {};
  FileTimeToLocalFileTime(&utc, &local);
  SYSTEMTIME expectedTime = {};
  FileTimeToSystemTime(&local, &expectedTime);

  EXPECT_EQ(AddStaged(path), kUntouched);
  MivraDeleteBkMdataObject(object_);
  object_ = nullptr;

  EXPECT_EQ(ReadFileBytes(TmpBkupFolder() + L"\\product.dll"), mivra_test::kFox);
  const std::vector<mivra_test::MetadataRecord> records = StagingRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].size, 43u);
  EXPECT_EQ(records[0].flags, 0u);
  EXPECT_EQ(std::memcmp(records[0].time, &expectedTime, 16), 0);
  EXPECT_EQ(records[0].name, L"product.dll");
  EXPECT_EQ(records[0].digest, mivra_test::DigestFromHex(mivra_test::kFoxMd5));
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
}

TEST_F(AddToBackupTest, RecordsAFileThatDoesNotExistAsAbsentWithoutCopy) {
  EXPECT_EQ(AddStaged(InstallPath(L"added-by-update.dll")), kUntouched);
  const std::vector<mivra_test::MetadataRecord> records = StagingRecords();
  ASSERT_EQ(records.size(), 1u);
  const mivra_test::MetadataRecord expected = {0, 2, {}, L"added-by-update.dll", std::string(16, '\0')};
  EXPECT_EQ(mivra_test::PlainRecordBytes(mivra_test::kBkLayout, records[0]), mivra_test::PlainRecordBytes(mivra_test::kBkLayout, expected));
  EXPECT_EQ(FilesIn(TmpBkupFolder()), std::vector<std::wstring>{L"bkmdata.dat"});
}

TEST_F(AddToBackupTest, RefusesANameThatIsNoPlainFileNameAndStaysUsable) {
  const std::wstring dir = InstallDir();
  const std::wstring paths[] = {
      L"product.dll", dir + L"sub/evil.dll", dir + L"c:evil.dll", dir + L"ads.dll:stream", dir,
      dir + L"..",    dir + L"CON",          dir + L"nul.txt",    dir + L"com1",
      dir + L"...",   dir + L".. ",          dir + L"a.txt.",     dir + L"a.txt ",
      dir + L"*.dll", dir + L"a?.dll",       dir + L"a<b",        dir + L"a>b",
      dir + L"a|b",   dir + L"\"a\"",        dir + L"a\x01" L"b",  dir + L"COM\u00B9",
  };
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(mivra_test::Utf8(path));
    EXPECT_EQ(AddStaged(path), MIVRA_E_BAD_PATH);
  }
  EXPECT_TRUE(StagingRecords().empty());
  EXPECT_EQ(FilesIn(TmpBkupFolder()), std::vector<std::wstring>{L"bkmdata.dat"});

  EXPECT_EQ(AddStaged(Install(L"product.dll", mivra_test::kAbc)), kUntouched);
  EXPECT_EQ(StagingRecords().size(), 1u);
}

TEST_F(AddToBackupTest, RefusesAFileOutsideTheInstallDirectory) {
  mivra_test::MakeFolder(InstallPath(L"sub"));
  const std::wstring inSubfolder = Install(L"sub\\nested.dll", mivra_test::kAbc);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring elsewhere = std::wstring(temp) + L"mivra-elsewhere.dll";
  mivra_test::WriteFileBytes(elsewhere, mivra_test::kAbc);
  // A file that does not exist is judged by its folder too: recorded as absent, it would have a
  // rollback delete the install directory's file of that name.
  const std::wstring paths[] = {inSubfolder, elsewhere, std::wstring(temp) + L"mivra-missing.dll",
                                InstallPath(L"sub\\missing.dll"), L"sub\\nested.dll"};
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(mivra_test::Utf8(path));
    EXPECT_EQ(AddStaged(path), MIVRA_E_NOT_IN_INSTALL_DIR);
  }
  DeleteFileW(elsewhere.c_str());
  EXPECT_TRUE(StagingRecords().empty());
  EXPECT_EQ(FilesIn(TmpBkupFolder()), std::vector<std::wstring>{L"bkmdata.dat"});

  EXPECT_EQ(AddStaged(InstallPath(L"missing.dll")), kUntouched) << "one that the update adds";
  EXPECT_EQ(StagingRecords().size(), 1u);
}

TEST_F(AddToBackupTest, RefusesARecordedNameBeforeCopying) {
  const std::wstring path = Install(L"product.dll", mivra_test::kAbc);
  EXPECT_EQ(AddStaged(path), kUntouched);
  Install(L"product.dll", mivra_test::kFox);
  EXPECT_EQ(AddStaged(path), MIVRA_E_RECORD_WRITE);
  // The verified copy of the first state stays.
  EXPECT_EQ(ReadFileBytes(TmpBkupFolder() + L"\\product.dll"), mivra_test::kAbc);
  ASSERT_EQ(StagingRecords().size(), 1u);
  EXPECT_EQ(StagingRecords()[0].digest, mivra_test::DigestFromHex(mivra_test::kAbcMd5));

  // Absent files too.
  EXPECT_EQ(AddStaged(InstallPath(L"new.dll")), kUntouched);
  EXPECT_EQ(AddStaged(InstallPath(L"new.dll")), MIVRA_E_RECORD_WRITE);
  EXPECT_EQ(StagingRecords().size(), 2u);
}

TEST_F(AddToBackupTest, NamesDifferingInLetterCaseAreDifferentRecordsSharingTheFirstCopy) {
  Install(L"product.dll", mivra_test::kAbc);
  EXPECT_EQ(AddStaged(InstallPath(L"product.dll")), kUntouched);
  // Updated between the two adds: the other spelling is the same file, whose state before the
  // update is the one already copied and proven.
  Install(L"product.dll", mivra_test::kFox);
  EXPECT_EQ(AddStaged(InstallPath(L"PRODUCT.DLL")), kUntouched);
  const std::vector<mivra_test::MetadataRecord> records = StagingRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, L"product.dll");
  EXPECT_EQ(records[1].name, L"PRODUCT.DLL");
  EXPECT_EQ(ReadFileBytes(TmpBkupFolder() + L"\\product.dll"), mivra_test::kAbc);
  for (const mivra_test::MetadataRecord& record : records) {
    EXPECT_EQ(record.digest, mivra_test::DigestFromHex(mivra_test::kAbcMd5));
    EXPECT_EQ(record.size, records[0].size);
    EXPECT_EQ(record.flags, 0u);
  }

  // An absent file stays absent under its other spelling, with no copy made.
  EXPECT_EQ(AddStaged(InstallPath(L"new.dll")), kUntouched);
  Install(L"new.dll", mivra_test::kFox);
  EXPECT_EQ(AddStaged(InstallPath(L"NEW.DLL")), kUntouched);
  ASSERT_EQ(StagingRecords().size(), 4u);
  EXPECT_EQ(StagingRecords()[3].flags, 2u);
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder() + L"\\new.dll"));
}

TEST_F(AddToBackupTest, ShortAliasOfARecordedNameSharesItsCopy) {
  const std::wstring path = Install(L"longname-library.dll", mivra_test::kAbc);
  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameW(path.c_str(), shortPath, MAX_PATH), 0u);
  const std::wstring alias = std::wstring(shortPath).substr(std::wstring(shortPath).find_last_of(L'\\') + 1);
  ASSERT_NE(alias.find(L'~'), std::wstring::npos) << mivra_test::Utf8(alias);

  EXPECT_EQ(AddStaged(path), kUntouched);
  Install(L"longname-library.dll", mivra_test::kFox);
  EXPECT_EQ(AddStaged(InstallPath(alias)), kUntouched);
  const std::vector<mivra_test::MetadataRecord> records = StagingRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].name, alias);
  EXPECT_EQ(records[1].digest, mivra_test::DigestFromHex(mivra_test::kAbcMd5));
  EXPECT_EQ(ReadFileBytes(TmpBkupFolder() + L"\\longname-library.dll"), mivra_test::kAbc);
}

TEST_F(AddToBackupTest, CopyThatCannotBeWrittenFailsWithoutRecord) {
  const std::wstring path = Install(L"product.dll", mivra_test::kFox);
  const std::wstring copy = TmpBkupFolder() + L"\\product.dll";
  {
    mivra_test::HeldFile held(copy, GENERIC_READ, 0);
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(AddStaged(path), MIVRA_E_FILE_COPY);
  }
  EXPECT_EQ(ReadFileBytes(copy), "");
  EXPECT_TRUE(StagingRecords().empty());
  // The name was not recorded, so it can be added once the copy can be written.
  EXPECT_EQ(AddStaged(path), kUntouched);
  EXPECT_EQ(ReadFileBytes(copy), mivra_test::kFox);
}

TEST_F(AddToBackupTest, CopyPathThatDoesNotFitFails) {
  const std::wstring name = std::wstring(220, L'n') + L".dll";
  EXPECT_EQ(AddStaged(InstallPath(name)), MIVRA_E_PATH_TOO_LONG);
  EXPECT_TRUE(StagingRecords().empty());
}

TEST_F(AddToBackupTest, WithoutObjectAddsToTheCommittedBackupAndClosesIt) {
  const std::wstring path = Install(L"late.dll", mivra_test::kAbc);
  uint32_t error = kUntouched;
  EXPECT_TRUE(MivraAddToBackup(nullptr, path.c_str(), &error));
  EXPECT_TRUE(MivraAddToBackup(nullptr, InstallPath(L"late-absent.dll").c_str(), &error));
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\late.dll"), mivra_test::kAbc);
  const std::vector<mivra_test::MetadataRecord> records = CommittedRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].name, L"late.dll");
  EXPECT_EQ(records[1].flags, 2u);

  HANDLE file = CreateFileW(CommittedFile().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "the private object left the file open";
  CloseHandle(file);

  EXPECT_FALSE(MivraAddToBackup(nullptr, path.c_str(), &error));
  EXPECT_EQ(error, MIVRA_E_RECORD_WRITE);
}

// A removed record is no copy to share: another spelling of its name gets a record and copy of its own.
TEST_F(AddToBackupTest, WithoutObjectARemovedRecordOfAnotherSpellingSharesNothing) {
  const std::wstring path = Install(L"dup.dll", mivra_test::kAbc);
  uint32_t error = kUntouched;
  ASSERT_TRUE(MivraAddToBackup(nullptr, path.c_str(), &error)) << error;
  ASSERT_TRUE(MivraRemoveFromBackup(L"dup.dll", &error)) << error;
  Install(L"dup.dll", mivra_test::kFox);
  ASSERT_TRUE(MivraAddToBackup(nullptr, InstallPath(L"DUP.DLL").c_str(), &error)) << error;
  const std::vector<mivra_test::MetadataRecord> records = CommittedRecords();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].name, L"DUP.DLL");
  EXPECT_EQ(records[1].flags, 0u);
  EXPECT_EQ(records[1].size, 43u);
  EXPECT_EQ(records[1].digest, mivra_test::DigestFromHex(mivra_test::kFoxMd5));
  EXPECT_EQ(ReadFileBytes(BkupFolder() + L"\\dup.dll"), mivra_test::kFox);
}

TEST_F(AddToBackupTest, WithoutObjectAnInvalidCommittedFileFailsAndIsDeleted) {
  mivra_test::MakeFolder(BkupFolder());
  mivra_test::WriteFileBytes(CommittedFile(), "not a metadata file");
  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraAddToBackup(nullptr, Install(L"a.dll", mivra_test::kAbc).c_str(), &error));
  EXPECT_EQ(error, MIVRA_E_BKMDATA_OPEN);
  EXPECT_FALSE(mivra_test::FileExists(CommittedFile()));
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder() + L"\\a.dll"));
}

TEST_F(AddToBackupTest, SwitchOffRefusesOnlyTheCallWithoutObject) {
  const std::wstring path = Install(L"product.dll", mivra_test::kAbc);
  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraAddToBackup(nullptr, path.c_str(), &error));
  EXPECT_EQ(error, MIVRA_E_FEATURE_OFF);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));
  EXPECT_EQ(AddStaged(path), kUntouched);
  EXPECT_EQ(StagingRecords().size(), 1u);
}

}  // namespace
