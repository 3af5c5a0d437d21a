#include <gtest/gtest.h>
#include <windows.h>

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

class RemoveFromBackupTest : public mivra_test::BackupExportsTest {
 protected:
  void SetUp() override {
    BackupExportsTest::SetUp();
    Install(L"a.dll", mivra_test::kAbc);
    Install(L"b.dll", mivra_test::kFox);
    CommitBackupOf({L"a.dll", L"b.dll", L"absent.dll"});
  }

  uint32_t Remove(const wchar_t* name) {
    uint32_t error = kUntouched;
    const bool removed = MivraRemoveFromBackup(name, &error);
    EXPECT_EQ(removed, error == kUntouched);
    return error;
  }
};

TEST_F(RemoveFromBackupTest, MarksTheRecordInPlaceAndDeletesTheCopy) {
  const std::string before = ReadFileBytes(CommittedFile());
  EXPECT_EQ(Remove(L"b.dll"), kUntouched);

  const std::string after = ReadFileBytes(CommittedFile());
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(mivra_test::Le32At(after, mivra_test::kBkCountAt), 3u);
  EXPECT_EQ(mivra_test::Le32At(after, mivra_test::kCrcAt), mivra_test::ReferenceCrc32(after.substr(93)));
  // Besides the CRC, only the flags of record 1 changed: plain 0 became 1.
  std::string expected = before;
  expected[93 + 560 + 4] = mivra_test::Scrambled(std::string(1, '\x01'))[0];
  EXPECT_EQ(after.substr(65), expected.substr(65));
  EXPECT_EQ(mivra_test::RecordsOf(mivra_test::kBkLayout, after)[1].flags, 1u);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"bkmdata.dat"}));
}

TEST_F(RemoveFromBackupTest, RemovingAgainOrAnAbsentRecordSucceedsWithNothingToDelete) {
  EXPECT_EQ(Remove(L"a.dll"), kUntouched);
  EXPECT_EQ(Remove(L"a.dll"), kUntouched);
  EXPECT_EQ(Remove(L"absent.dll"), kUntouched);
  const std::vector<mivra_test::MetadataRecord> records = CommittedRecords();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].flags, 1u);
  EXPECT_EQ(records[1].flags, 0u);
  EXPECT_EQ(records[2].flags, 3u);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"b.dll", L"bkmdata.dat"}));
}

TEST_F(RemoveFromBackupTest, RefusesNamesNotRecordedExactly) {
  const std::string before = ReadFileBytes(CommittedFile());
  const std::wstring names[] = {L"unknown.dll", L"A.DLL", L"a.dll ", L"", InstallPath(L"a.dll"),
                                L"bkup\\a.dll", L".\\a.dll", L"..\\bkup\\a.dll"};
  for (const std::wstring& name : names) {
    SCOPED_TRACE(mivra_test::Utf8(name));
    EXPECT_EQ(Remove(name.c_str()), MIVRA_E_NOT_IN_BACKUP);
  }
  EXPECT_EQ(ReadFileBytes(CommittedFile()), before);
  EXPECT_EQ(FilesIn(BkupFolder()), (std::vector<std::wstring>{L"a.dll", L"b.dll", L"bkmdata.dat"}));
}

TEST_F(RemoveFromBackupTest, ACopyInUseIsScheduledForDeletionAfterTheTrustStep) {
  const std::wstring copy = BkupFolder() + L"\\b.dll";
  mivra_test::DeferredDeleteProbe probe(L"open");
  mivra_test::HeldFile held(copy, GENERIC_READ, FILE_SHARE_READ);
  ASSERT_TRUE(held.ok());

  EXPECT_EQ(Remove(L"b.dll"), kUntouched);
  EXPECT_EQ(CommittedRecords()[1].flags, 1u);
  EXPECT_TRUE(mivra_test::FileExists(copy));
  const std::vector<std::wstring> pending = mivra_test::DeferredDeleteProbe::PendingDeletions();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(_wcsicmp(pending[0].c_str(), copy.c_str()), 0);
  const std::vector<std::string> expected = {
      "open result=1 pending=0",
      "trust pid=" + std::to_string(GetCurrentProcessId()) + " path=" + mivra_test::Utf8(copy) +
          " newName=(null) flags=4 context=0 pending=0",
      "close module=zkstub context=42 pending=1"};
  EXPECT_EQ(probe.TrustCalls(), expected);
}

TEST_F(RemoveFromBackupTest, AnInvalidCommittedFileFailsAndIsDeleted) {
  std::string file = ReadFileBytes(CommittedFile());
  file[200] ^= 0x10;
  mivra_test::WriteFileBytes(CommittedFile(), file);
  EXPECT_EQ(Remove(L"a.dll"), MIVRA_E_BKMDATA_OPEN);
  EXPECT_FALSE(mivra_test::FileExists(CommittedFile()));
  EXPECT_TRUE(mivra_test::FileExists(BkupFolder() + L"\\a.dll"));
}

TEST_F(RemoveFromBackupTest, WithoutCommittedBackupNothingIsRecorded) {
  mivra_test::RemoveTree(BkupFolder());
  EXPECT_EQ(Remove(L"a.dll"), MIVRA_E_NOT_IN_BACKUP);
  EXPECT_EQ(ReadFileBytes(CommittedFile()).size(), 93u);
}


// Record 3000, and every record past it, is removable like any other: its flag is set in place.
TEST_F(RemoveFromBackupTest, RemovesTheRecordsFrom3000InPlace) {
  using mivra_test::kBkLayout;
  for (size_t count : {size_t{3001}, size_t{3002}}) {
    const size_t index = count - 1;
    SCOPED_TRACE(index);
    mivra_test::WriteFileBytes(CommittedFile(), mivra_test::MetadataFile(kBkLayout, mivra_test::NumberedRecords(count)));
    const std::string before = ReadFileBytes(CommittedFile());
    const std::wstring name = L"f" + std::to_wstring(index) + L".dll";
    EXPECT_EQ(Remove(name.c_str()), kUntouched);

    const std::string after = ReadFileBytes(CommittedFile());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(mivra_test::RecordCount(kBkLayout, after), count);
    EXPECT_TRUE(mivra_test::CrcMatches(kBkLayout, after));
    const mivra_test::MetadataRecord record = mivra_test::RecordAt(kBkLayout, after, index);
    EXPECT_EQ(record.name, name);
    EXPECT_EQ(record.flags, mivra::BKREC_REMOVED);
    EXPECT_EQ(record.digest, mivra_test::RecordAt(kBkLayout, before, index).digest);
    EXPECT_TRUE(after.compare(mivra_test::kBkAreaOffset, index * mivra_test::kBkRecordBytes, before,
                              mivra_test::kBkAreaOffset, index * mivra_test::kBkRecordBytes) == 0)
        << "a record before it changed";
  }
}

}  // namespace
