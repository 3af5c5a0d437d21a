#include <gtest/gtest.h>

#include "mivra.h"
#include "support/file_util.h"
#include "support/held_file.h"
#include "update/manifest/manifest_test_files.h"
#include "update/rollback/rollback_test_fixture.h"

namespace rollback_test {
namespace {

constexpr uint32_t kBoth = MIVRA_ROLLBACK_INTERRUPTED | MIVRA_ROLLBACK_CHANGED;

class RollbackQueryTest : public RollbackTest {
 protected:
  // An installed product whose two files are backed up, committed and registered.
  void InstallRegisteredProduct() {
    Install(L"app.exe", "application v1");
    Install(L"data.bin", "data v1");
    BackUpAndCommit({L"app.exe", L"data.bin"});
    Register({L"app.exe", L"data.bin"});
  }

  // A component list naming `listed`, for component 0x2A, enabled in updtconf.dat.
  void ExemptThroughComponentList(const std::string& listed) {
    mivra_test::WriteFileBytes(InstallPath(L"updtconf.dat"),
                               mivra_test::BuildUpdateConfig({mivra_test::ConfigRecord(0x2A, 1)}));
    mivra_test::WriteFileBytes(InstallPath(L"0000002a_compns.lst"),
                               mivra_test::BuildComponentList({{1, listed}}));
  }
};

TEST_F(RollbackQueryTest, AnswersRowByRowFromStatusAndRegisteredFiles) {
  InstallRegisteredProduct();
  uint8_t flag = 0;
  uint32_t code = 0;

  // No test selected: nothing is needed.
  EXPECT_TRUE(Query(0, &flag, &code));
  EXPECT_EQ(flag, 0);
  EXPECT_EQ(code, kUntouched);

  // Unchanged files, status 0.
  EXPECT_TRUE(Query(kBoth, &flag, &code));
  EXPECT_EQ(flag, 0);

  // Status 2 is no interrupted update; status 1 is.
  MarkStatus(2);
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 0);
  MarkStatus(1);
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(code, kUntouched);
  // The changed-file test alone does not look at the status.
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 0);
}

TEST_F(RollbackQueryTest, ContentChangedBehindItsTimeNeedsARollback) {
  InstallRegisteredProduct();
  ChangeKeepingTime(L"data.bin", "data v2");  // same size, other content
  uint8_t flag = 0;
  uint32_t code = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 0);
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(code, kUntouched);
}

TEST_F(RollbackQueryTest, FileWhoseTimeChangedIsNotExamined) {
  InstallRegisteredProduct();
  Install(L"data.bin", "a new, longer data file");
  const FILETIME now = WriteTimeOf(L"data.bin");
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  ticks.QuadPart += 10'000'000ull * 3600;  // an hour later
  SetWriteTime(L"data.bin", FILETIME{ticks.LowPart, ticks.HighPart});
  uint8_t flag = 0;
  uint32_t code = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 0);
}

// The file is held without any sharing, so its digest cannot be taken: the size alone decides
// when it differs, and when it does not the check cannot be completed.
TEST_F(RollbackQueryTest, UnreadableFileIsJudgedBySizeOrFailsTheCheck) {
  struct HeldCase {
    const char* content;
    bool result;
    uint8_t flag;
  };
  const HeldCase kCases[] = {{"data v1 and more", true, 1}, {"data v2", false, 0}};
  for (const HeldCase& c : kCases) {
    SetUp();
    InstallRegisteredProduct();
    ChangeKeepingTime(L"data.bin", c.content);
    mivra_test::HeldFile held(InstallPath(L"data.bin"), GENERIC_READ, 0);
    ASSERT_TRUE(held.ok());
    uint8_t flag = 0;
    uint32_t code = 0;
    EXPECT_EQ(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code), c.result) << c.content;
    EXPECT_EQ(flag, c.flag) << c.content;
    EXPECT_EQ(code, kUntouched) << c.content;
  }
}

TEST_F(RollbackQueryTest, MissingRegisteredFileIsSkipped) {
  InstallRegisteredProduct();
  DeleteFileW(InstallPath(L"data.bin").c_str());
  uint8_t flag = 0;
  uint32_t code = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 0);
}

TEST_F(RollbackQueryTest, ComponentListExemptsOnlyTheExactName) {
  struct ExemptCase {
    const char* listed;
    uint8_t expectedFlag;
  };
  const ExemptCase kCases[] = {{"data.bin", 0}, {"DATA.BIN", 1}, {"other.bin", 1}};
  for (const ExemptCase& c : kCases) {
    SetUp();
    InstallRegisteredProduct();
    ExemptThroughComponentList(c.listed);
    ChangeKeepingTime(L"data.bin", "data v2");
    uint8_t flag = 0;
    uint32_t code = 0;
    EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code)) << c.listed;
    EXPECT_EQ(flag, c.expectedFlag) << c.listed;
  }
}

TEST_F(RollbackQueryTest, InvalidComponentListGrantsNoExemption) {
  InstallRegisteredProduct();
  ExemptThroughComponentList("data.bin");
  std::string list = mivra_test::ReadFileBytes(InstallPath(L"0000002a_compns.lst"));
  list[10] ^= 0x20;  // one character of the company text
  mivra_test::WriteFileBytes(InstallPath(L"0000002a_compns.lst"), list);
  ChangeKeepingTime(L"data.bin", "data v2");
  uint8_t flag = 0;
  uint32_t code = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 1);
}

TEST_F(RollbackQueryTest, NeededWithoutCommittedBackupReports130WithTrue) {
  Install(L"app.exe", "application v1");
  Register({L"app.exe"});
  MarkStatus(1);
  uint8_t flag = 0;
  uint32_t code = 0;

  // No "bkup" folder at all: nothing is created.
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(code, MIVRA_E_NO_BACKUP);
  EXPECT_FALSE(mivra_test::FileExists(BkupFolder()));

  // A "bkup" folder without bkmdata.dat: an empty one is created, still no backup.
  mivra_test::MakeFolder(BkupFolder());
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(code, MIVRA_E_NO_BACKUP);
  EXPECT_EQ(mivra_test::ReadFileBytes(BkMdataPath()).size(), 93u);
}

TEST_F(RollbackQueryTest, NeededWithDamagedBackupMetadataReports102) {
  InstallRegisteredProduct();
  MarkStatus(1);
  std::string bk = mivra_test::ReadFileBytes(BkMdataPath());
  bk[bk.size() - 1] ^= 1;
  mivra_test::WriteFileBytes(BkMdataPath(), bk);
  uint8_t flag = 0;
  uint32_t code = 0;
  EXPECT_FALSE(Query(MIVRA_ROLLBACK_INTERRUPTED, &flag, &code));
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(code, MIVRA_E_BKMDATA_OPEN);
}

TEST_F(RollbackQueryTest, NullOutFlagOrErrorFailsWithoutCode) {
  InstallRegisteredProduct();
  uint32_t code = kUntouched;
  EXPECT_FALSE(MivraRollback(MIVRA_ROLLBACK_INTERRUPTED, nullptr, &code));
  EXPECT_EQ(code, kUntouched);
  uint8_t flag = 0xEE;
  EXPECT_FALSE(MivraRollback(MIVRA_ROLLBACK_INTERRUPTED, &flag, nullptr));
  EXPECT_EQ(flag, 0xEE);
}

TEST_F(RollbackQueryTest, RecordNamingNoPlainFileIsSkipped) {
  InstallRegisteredProduct();
  // A hand-made record whose name climbs out of the install directory, where a file with the
  // recorded time and size but other content waits: a check that followed the name would report
  // a change.
  const std::wstring outside = InstallDir() + L"..\\mivra-escape.bin";
  mivra_test::WriteFileBytes(outside, "data v2");
  const FILETIME time = WriteTimeOf(L"data.bin");
  HANDLE file = CreateFileW(outside.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, nullptr, nullptr, &time);
  CloseHandle(file);
  RenameDbRecord(1, u"..\\mivra-escape.bin");

  uint8_t flag = 0;
  uint32_t code = 0;
  EXPECT_TRUE(Query(MIVRA_ROLLBACK_CHANGED, &flag, &code));
  EXPECT_EQ(flag, 0);
  DeleteFileW(outside.c_str());
}

}  // namespace
}  // namespace rollback_test
