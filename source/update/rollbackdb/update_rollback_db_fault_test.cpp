// Registration and status marking against failures a real disk rarely shows on demand.
#include "update/rollbackdb/update_rollback_db.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "support/file_util.h"
#include "support/full_disk.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/rollbackdb/mark_update_status.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"
#include "update/rollbackdb/rbmdata_store.h"
#include "update/store/metadata_journal.h"

namespace {

using mivra::MarkStatusResult;
using mivra::PlatformCalls;
using mivra::RBUpdateResult;
using mivra_test::PlatformOverride;

const uint8_t kDigest[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

class RBUpdateFaultTest : public rbmdata_test::RBDbFileTest {
 protected:
  std::string ExistingDatabase() const {
    mivra_test::MetadataRecord record;
    record.name = L"kept.dll";
    record.size = 5;
    return mivra_test::MetadataFile(mivra_test::kRBLayout, {record});
  }
};

// Stands in for a file whose attributes can be read, whatever its name.
BOOL WINAPI AttributesOfAnyFile(LPCWSTR, GET_FILEEX_INFO_LEVELS, LPVOID data) {
  auto* attributes = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(data);
  *attributes = {};
  attributes->nFileSizeLow = 3;
  attributes->ftLastWriteTime = {0xD53E8000, 0x01D9B3A2};
  return TRUE;
}

int FailingWrite(int, const void*, unsigned) {
  errno = ENOSPC;
  return -1;
}

int FailingRead(int, void*, unsigned) {
  errno = EIO;
  return -1;
}

// No existing file can carry a name that does not fit the record, so the attribute query is
// answered for one: 259 characters fit with their terminator, 260 do not.
TEST_F(RBUpdateFaultTest, NameMustFitTheRecordWithItsTerminator) {
  WriteDb(ExistingDatabase());
  PlatformOverride<&PlatformCalls::GetFileAttributesExW> attributes(&AttributesOfAnyFile);

  const std::wstring tooLong(260, L'n');
  EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, InstallPath(tooLong).c_str(), 3, kDigest),
            RBUpdateResult::kNameTooLong);
  EXPECT_EQ(ReadDb(), ExistingDatabase());

  const std::wstring longest(259, L'n');
  EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, InstallPath(longest).c_str(), 3, kDigest), RBUpdateResult::kWritten);
  const std::string file = ReadDb();
  ASSERT_EQ(mivra_test::RecordsInFile(mivra_test::kRBLayout, file), 2u);
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 1).name, longest);
}

TEST_F(RBUpdateFaultTest, FailedRecordWriteIsReportedAndLeavesTheDatabase) {
  WriteDb(ExistingDatabase());
  const std::wstring path = InstallPath(L"new.dll");
  mivra_test::WriteFileBytes(path, "new");
  {
    PlatformOverride<&PlatformCalls::write> fault(&FailingWrite);
    EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, path.c_str(), 3, kDigest), RBUpdateResult::kWriteFailed);
  }
  EXPECT_EQ(ReadDb(), ExistingDatabase());

  // A caller's object that holds no open file is no rollback object, and takes no record either.
  MdataObject closed;
  EXPECT_EQ(mivra::UpdateRollbackDB(&closed, path.c_str(), 3, kDigest), RBUpdateResult::kWrongObject);
  EXPECT_EQ(ReadDb(), ExistingDatabase());
}

TEST_F(RBUpdateFaultTest, StatusThatCannotBeWrittenOrReadIsAFailure) {
  WriteDb(ExistingDatabase());
  {
    PlatformOverride<&PlatformCalls::write> fault(&FailingWrite);
    EXPECT_EQ(mivra::MarkUpdateStatus(1), MarkStatusResult::kStateIoFailed);
  }
  EXPECT_EQ(ReadDb(), ExistingDatabase());

  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  {
    PlatformOverride<&PlatformCalls::read> fault(&FailingRead);
    EXPECT_FALSE(mivra::StoreUpdateStatus(object, 2));
  }
  object.Close();
  EXPECT_EQ(ReadDb(), ExistingDatabase());
}

// With no free space on the disk the status is still marked: it is written in place, in the file's
// first sector, with no journal to make room for. An append, which needs room, fails with nothing
// changed and nothing left beside the database. Both with and without a journal left empty beside
// the database (a change that could not even begin its journal leaves one).
TEST_F(RBUpdateFaultTest, OnAFullDiskTheStatusIsMarkedAndAnAppendFailsCleanly) {
  const std::wstring journal = BaseFolder() + L"\\rbmdata.jnl";
  for (const bool emptyJournal : {false, true}) {
    SCOPED_TRACE(emptyJournal ? "an empty journal beside it" : "no journal");
    WriteDb(ExistingDatabase());
    if (emptyJournal) mivra_test::WriteFileBytes(journal, "");
    std::string marked = ExistingDatabase();
    marked[mivra_test::kRBStatusAt] = 1;
    const std::wstring file = InstallPath(L"new.dll");
    mivra_test::WriteFileBytes(file, "new");
    {
      mivra_test::FullDisk full;
      EXPECT_EQ(mivra::MarkUpdateStatus(1), MarkStatusResult::kMarked);
      EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, file.c_str(), 3, kDigest), RBUpdateResult::kWriteFailed);
    }
    EXPECT_EQ(ReadDb(), marked);
    EXPECT_TRUE(!mivra_test::FileExists(journal) || mivra_test::ReadFileBytes(journal).empty());
    // Room again: the append goes through, and nothing of the full disk is left: the journal the
    // database keeps from now on holds no change.
    EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, file.c_str(), 3, kDigest), RBUpdateResult::kWritten);
    EXPECT_TRUE(mivra::JournalHoldsNothing(DbPath().c_str()));
    ::DeleteFileW(journal.c_str());
  }
}

// Once the database keeps its journal, a change in place needs no room: on a full disk the status
// is marked and a registered file is registered again, through the journal, while a new file
// (an append) still fails with nothing changed.
TEST_F(RBUpdateFaultTest, OnAFullDiskChangesInPlaceGoThroughTheKeptJournal) {
  const std::wstring journal = BaseFolder() + L"\\rbmdata.jnl";
  WriteDb(ExistingDatabase());
  const std::wstring file = InstallPath(L"new.dll");
  mivra_test::WriteFileBytes(file, "new");
  // An append needs no journal; the first change in place leaves the one the database keeps.
  ASSERT_EQ(mivra::UpdateRollbackDB(nullptr, file.c_str(), 3, kDigest), RBUpdateResult::kWritten);
  EXPECT_FALSE(mivra_test::FileExists(journal));
  ASSERT_EQ(mivra::UpdateRollbackDB(nullptr, file.c_str(), 3, kDigest), RBUpdateResult::kWritten);
  ASSERT_GE(mivra_test::ReadFileBytes(journal).size(), mivra::kKeptJournalSize);
  const std::string registered = ReadDb();

  const uint8_t newDigest[16] = {0xAA, 0xBB};
  mivra_test::WriteFileBytes(file, "newer");
  const std::wstring other = InstallPath(L"other.dll");
  mivra_test::WriteFileBytes(other, "other");
  std::string afterFull;
  {
    mivra_test::FullDisk full;
    EXPECT_EQ(mivra::MarkUpdateStatus(1), MarkStatusResult::kMarked);
    EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, file.c_str(), 3, newDigest), RBUpdateResult::kWritten);
    afterFull = ReadDb();
    EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, other.c_str(), 3, kDigest), RBUpdateResult::kWriteFailed);
    EXPECT_EQ(ReadDb(), afterFull);
  }
  EXPECT_EQ(afterFull.size(), registered.size());
  EXPECT_EQ(static_cast<uint8_t>(afterFull[mivra_test::kRBStatusAt]), 1);
  std::string onlyMarked = registered;
  onlyMarked[mivra_test::kRBStatusAt] = 1;
  EXPECT_NE(afterFull, onlyMarked) << "the record was written again";
  EXPECT_TRUE(mivra::JournalHoldsNothing(DbPath().c_str()));
  // The file is whole: a fresh open validates it and registers the other file once there is room.
  EXPECT_EQ(mivra::UpdateRollbackDB(nullptr, other.c_str(), 3, kDigest), RBUpdateResult::kWritten);
}

}  // namespace
