#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "mivra.h"
#include "update/backup/backup_exports_fixture.h"

namespace {

using mivra_test::kUntouched;
using mivra_test::ReadFileBytes;

class BackupFileListTest : public mivra_test::BackupExportsTest {
 protected:
  // The call's result, with the entries it listed; `error` receives what the call wrote.
  bool List(std::vector<std::wstring>* names, uint32_t* error) {
    wchar_t* list = reinterpret_cast<wchar_t*>(1);
    uint32_t count = 12345;
    *error = kUntouched;
    const bool listed = MivraGetBkMdataFileList(&list, &count, error);
    if (!listed) {
      EXPECT_EQ(list, nullptr);
      EXPECT_EQ(count, 0u);
      return false;
    }
    names->clear();
    for (uint32_t i = 0; i < count; ++i) {
      const wchar_t* entry = list + 260 * i;
      names->emplace_back(entry);
      // Zero-filled after the name: no stale heap bytes reach the caller.
      for (size_t c = names->back().size(); c < 260; ++c) EXPECT_EQ(entry[c], L'\0') << i << " " << c;
    }
    MivraFreeBkMdataFileList(list);
    return true;
  }
};

TEST_F(BackupFileListTest, WithoutRecordsInTheCommittedBackupThereIsNothingToList) {
  std::vector<std::wstring> names;
  uint32_t error = 0;

  EXPECT_FALSE(List(&names, &error)) << "no bkup folder";
  EXPECT_EQ(error, MIVRA_E_NO_BACKUP);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));

  mivra_test::MakeFolder(BkupFolder());
  EXPECT_FALSE(List(&names, &error)) << "no metadata file";
  EXPECT_EQ(error, MIVRA_E_NO_BACKUP);
  EXPECT_EQ(ReadFileBytes(CommittedFile()).size(), 93u);

  EXPECT_FALSE(List(&names, &error)) << "metadata file without records";
  EXPECT_EQ(error, MIVRA_E_NO_BACKUP);
}

TEST_F(BackupFileListTest, ListsEveryRecordInOrderWithRemovedAndAbsentOnes) {
  Install(L"one.dll", mivra_test::kAbc);
  CommitBackupOf({L"one.dll"});
  std::vector<std::wstring> names;
  uint32_t error = 0;
  ASSERT_TRUE(List(&names, &error));
  EXPECT_EQ(error, kUntouched);
  EXPECT_EQ(names, std::vector<std::wstring>{L"one.dll"});

  Install(L"two.dll", mivra_test::kFox);
  CommitBackupOf({L"one.dll", L"absent.dll", L"two.dll"});
  ASSERT_TRUE(MivraRemoveFromBackup(L"one.dll", &error));
  ASSERT_TRUE(List(&names, &error));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"one.dll", L"absent.dll", L"two.dll"}));
}

TEST_F(BackupFileListTest, TheNumberOfEntriesComesFromTheFileLength) {
  Install(L"a.dll", mivra_test::kAbc);
  CommitBackupOf({L"a.dll", L"b.dll", L"c.dll"});
  // The record count lies outside the CRC, so the file still opens.
  std::string file = ReadFileBytes(CommittedFile());
  mivra_test::PutLe32(file, mivra_test::kBkCountAt, 1);
  mivra_test::WriteFileBytes(CommittedFile(), file);
  std::vector<std::wstring> names;
  uint32_t error = 0;
  ASSERT_TRUE(List(&names, &error));
  EXPECT_EQ(names, (std::vector<std::wstring>{L"a.dll", L"b.dll", L"c.dll"}));
}

TEST_F(BackupFileListTest, AnInvalidCommittedFileFailsAndIsDeleted) {
  CommitBackupOf({L"a.dll"});
  std::string file = ReadFileBytes(CommittedFile());
  file.back() ^= 0x01;
  mivra_test::WriteFileBytes(CommittedFile(), file);
  std::vector<std::wstring> names;
  uint32_t error = 0;
  EXPECT_FALSE(List(&names, &error));
  EXPECT_EQ(error, MIVRA_E_BKMDATA_OPEN);
  EXPECT_FALSE(mivra_test::FileExists(CommittedFile()));
}

TEST_F(BackupFileListTest, ListsWithTheSwitchOff) {
  CommitBackupOf({L"a.dll"});
  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  std::vector<std::wstring> names;
  uint32_t error = 0;
  ASSERT_TRUE(List(&names, &error));
  EXPECT_EQ(names, std::vector<std::wstring>{L"a.dll"});
}

TEST_F(BackupFileListTest, MissingPointersAreNeverWrittenThrough) {
  CommitBackupOf({L"a.dll"});
  uint32_t count = 7;
  uint32_t error = kUntouched;
  EXPECT_FALSE(MivraGetBkMdataFileList(nullptr, &count, &error));
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(error, kUntouched);

  wchar_t* list = reinterpret_cast<wchar_t*>(1);
  EXPECT_FALSE(MivraGetBkMdataFileList(&list, nullptr, &error));
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(error, kUntouched);

  list = reinterpret_cast<wchar_t*>(1);
  EXPECT_FALSE(MivraGetBkMdataFileList(&list, &count, nullptr));
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(count, 7u);

  MivraFreeBkMdataFileList(nullptr);
}

}  // namespace
