#include "update/rollbackdb/rbmdata_store.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "support/file_util.h"
#include "support/platform_fault.h"
#include "update/rollbackdb/rbmdata_export_test_util.h"
#include "update/rollbackdb/update_rollback_db.h"
#include "update/store/metadata_store.h"

namespace {

using mivra::PlatformCalls;
using mivra_test::PlatformOverride;

using mivra_test::MetadataRecord;
using mivra_test::MetadataFile;
using mivra_test::kRBLayout;

class RBStoreTest : public rbmdata_test::RBDbFileTest {};

MetadataRecord MakeRecord(const wchar_t* name, uint32_t size, char digestByte) {
  MetadataRecord record;
  record.size = size;
  for (int i = 0; i < 8; ++i) record.time[i] = static_cast<uint16_t>(2000 + i);
  record.name = name;
  record.digest = std::string(16, digestByte);
  return record;
}

mivra::RBMdataRecord PlainRecord(const wchar_t* name, uint32_t size) {
  mivra::RBMdataRecord record{};
  record.fileSizeLow = size;
  record.lastWriteTime = {2024, 5, 3, 16, 12, 30, 45, 500};
  mivra::SetRecordFieldName(record.fileName, name);
  for (int i = 0; i < 16; ++i) record.digest[i] = static_cast<uint8_t>(0xA0 + i);
  return record;
}

TEST_F(RBStoreTest, NewDatabaseIsExactly86BytesAndOpensAgain) {
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenRBMdata(object));
    EXPECT_TRUE(object.fd.valid());
  }
  const std::string created = ReadDb();
  EXPECT_EQ(created, mivra_test::NewMetadataFile(mivra_test::kRBLayout));
  ASSERT_EQ(created.size(), 86u);
  EXPECT_EQ(created.substr(0, 8), std::string("KVRBUP\x01\x00", 8));
  EXPECT_EQ(created.substr(8, 53), std::string("Kestrivane Technologies Pvt. Ltd.") + std::string(20, '\0'));
  EXPECT_EQ(created.substr(61), std::string(25, '\0'));  // CRC 0, reserved, empty state block

  MdataObject again;
  EXPECT_TRUE(mivra::OpenRBMdata(again));
  EXPECT_EQ(mivra::CountRBRecords(again), 0u);
  EXPECT_EQ(ReadDb(), created);
}

TEST_F(RBStoreTest, AllZeroRecordIsStoredAsBytesF6AndReadsBackAsZeros) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  const mivra::RBMdataRecord zero{};
  ASSERT_TRUE(mivra::WriteRBRecord(object, zero, mivra::RBREC_APPEND));

  const std::string file = ReadDb();
  ASSERT_EQ(file.size(), 86u + 556u);
  EXPECT_EQ(file.substr(86), std::string(556, '\xF6'));
  EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, file));
  EXPECT_NE(mivra_test::Le32At(file, mivra_test::kCrcAt), 0u);
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, file), 1u);

  mivra::RBMdataRecord read;
  std::memset(&read, 0x55, sizeof(read));
  ASSERT_TRUE(mivra::ReadRBRecord(object, 0, &read));
  EXPECT_EQ(read.fileSizeLow, 0u);
  EXPECT_EQ(read.lastWriteTime, mivra::SystemTime16{});
  EXPECT_EQ(mivra::RecordFieldName(read.fileName), L"");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(read.digest), 16), std::string(16, '\0'));
}

TEST_F(RBStoreTest, RecordFieldsLieScrambledAtTheirOffsets) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  const mivra::RBMdataRecord record = PlainRecord(L"Corvane.exe", 0x04030201);
  ASSERT_TRUE(mivra::WriteRBRecord(object, record, mivra::RBREC_APPEND));

  const std::string file = ReadDb();
  ASSERT_EQ(file.size(), 86u + 556u);
  const MetadataRecord stored = mivra_test::RecordAt(mivra_test::kRBLayout, file, 0);
  EXPECT_EQ(stored.size, 0x04030201u);
  const uint16_t time[8] = {2024, 5, 3, 16, 12, 30, 45, 500};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(stored.time[i], time[i]) << i;
  EXPECT_EQ(stored.name, L"Corvane.exe");
  EXPECT_EQ(stored.digest, "\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xAA\xAB\xAC\xAD\xAE\xAF");
  // The zero fill behind the name is stored like any other zero byte.
  EXPECT_EQ(file.substr(86 + 20 + 2 * 12, 520 - 2 * 12), std::string(520 - 2 * 12, '\xF6'));

  mivra::RBMdataRecord read{};
  ASSERT_TRUE(mivra::ReadRBRecord(object, 0, &read));
  EXPECT_EQ(std::memcmp(&read, &record, sizeof(read)), 0);
}

struct ByteEdit {
  const char* what;
  size_t offset;
  std::string bytes;
};

TEST_F(RBStoreTest, EditsOutsideMagicAndRecordAreaKeepTheFileValid) {
  const ByteEdit kEdits[] = {
      {"version byte", 6, "\x07"},
      {"company text", 8, "Other Company Ltd."},
      {"update status", mivra_test::kRBStatusAt, "\x02"},
      {"rollback counter", mivra_test::kRBRollbackCountAt, "\x0D\x0C\x0B\x0A"},
  };
  for (const ByteEdit& edit : kEdits) {
    std::string file = MetadataFile(kRBLayout, {MakeRecord(L"a.dll", 10, 'a')});
    file.replace(edit.offset, edit.bytes.size(), edit.bytes);
    WriteDb(file);

    MdataObject object;
    EXPECT_TRUE(mivra::OpenRBMdata(object)) << edit.what;
    mivra::RBMdataRecord read{};
    EXPECT_TRUE(mivra::ReadRBRecord(object, 0, &read)) << edit.what;
    object.Close();
    EXPECT_EQ(ReadDb(), file) << edit.what;
  }
}

TEST_F(RBStoreTest, StateBlockReadsTheUnalignedRollbackCounter) {
  std::string file = MetadataFile(kRBLayout, {MakeRecord(L"a.dll", 10, 'a')});
  file[mivra_test::kRBStatusAt] = 1;
  mivra_test::PutLe32(file, mivra_test::kRBRollbackCountAt, 0x0A0B0C0D);
  WriteDb(file);

  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  mivra::RBMdataState state{};
  ASSERT_TRUE(mivra::ReadRBState(object, &state));
  EXPECT_EQ(state.recordCount, 1u);
  EXPECT_EQ(state.updateStatus, 1);
  EXPECT_EQ(state.rollbackCount, 0x0A0B0C0Du);
}

TEST_F(RBStoreTest, ReadRBRecordFailsAtAndPastTheLastRecord) {
  WriteDb(MetadataFile(kRBLayout, {MakeRecord(L"a.dll", 1, 'a'), MakeRecord(L"b.dll", 2, 'b')}));
  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  mivra::RBMdataRecord read{};
  EXPECT_TRUE(mivra::ReadRBRecord(object, 1, &read));
  EXPECT_EQ(read.fileSizeLow, 2u);
  EXPECT_FALSE(mivra::ReadRBRecord(object, 2, &read));
  EXPECT_FALSE(mivra::ReadRBRecord(object, 3000, &read));
}

TEST_F(RBStoreTest, AppendRaisesCountAndNamesWhileOverwriteChangesNeither) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  uint32_t index = 99;
  EXPECT_FALSE(mivra::FindRBRecord(object, L"a.dll", &index));
  const mivra::RBMdataRecord a = PlainRecord(L"a.dll", 1);
  const mivra::RBMdataRecord b = PlainRecord(L"b.dll", 2);
  ASSERT_TRUE(mivra::WriteRBRecord(object, a, mivra::RBREC_APPEND));
  ASSERT_TRUE(mivra::WriteRBRecord(object, b, mivra::RBREC_APPEND));
  EXPECT_EQ(object.names.ToVector(), (std::vector<std::wstring>{L"a.dll", L"b.dll"}));
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, ReadDb()), 2u);

  const mivra::RBMdataRecord newA = PlainRecord(L"a.dll", 77);
  ASSERT_TRUE(mivra::FindRBRecord(object, L"a.dll", &index));
  EXPECT_EQ(index, 0u);
  ASSERT_TRUE(mivra::WriteRBRecord(object, newA, index));
  EXPECT_EQ(object.names.ToVector(), (std::vector<std::wstring>{L"a.dll", L"b.dll"}));
  object.Close();

  const std::string file = ReadDb();
  EXPECT_EQ(file.size(), 86u + 2 * 556u);
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, file), 2u);
  EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, file));
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 0).size, 77u);
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, file, 1).size, 2u);

  MdataObject reopened;
  ASSERT_TRUE(mivra::OpenRBMdata(reopened));
  EXPECT_TRUE(mivra::FindRBRecord(reopened, L"b.dll", &index));
  EXPECT_EQ(index, 1u);
  EXPECT_FALSE(mivra::FindRBRecord(reopened, L"B.DLL", &index));
}

TEST_F(RBStoreTest, IndexOfAppendAppendsEvenWhenThatRecordExists) {
  std::vector<MetadataRecord> records;
  for (int i = 0; i <= 3000; ++i) records.push_back(MakeRecord((L"f" + std::to_wstring(i)).c_str(), i, 'x'));
  const std::string before = MetadataFile(kRBLayout, records);
  WriteDb(before);

  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  const mivra::RBMdataRecord extra = PlainRecord(L"extra.dll", 5);
  ASSERT_TRUE(mivra::WriteRBRecord(object, extra, mivra::RBREC_APPEND));
  object.Close();

  const std::string after = ReadDb();
  ASSERT_EQ(after.size(), before.size() + 556);
  EXPECT_EQ(mivra_test::RecordCount(mivra_test::kRBLayout, after), 3002u);
  EXPECT_EQ(after.substr(86, before.size() - 86), before.substr(86));
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, after, 3000).name, L"f3000");
  EXPECT_EQ(mivra_test::RecordAt(mivra_test::kRBLayout, after, 3001).name, L"extra.dll");
  EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kRBLayout, after));
}

struct DamagedShapeCase {
  uint32_t storedCount;
  size_t strayBytes;  // a part of a record after the three whole ones, inside the CRC
};

// The record count lies outside the CRC, and the length may end inside a record: the names are
// those of the whole records the need check reads, a registration finds its record whatever the
// count says (no duplicate), and an append lands aligned and leaves the count the file holds.
TEST_F(RBStoreTest, DamagedCountOrOddLengthNeverMultipliesRecords) {
  const DamagedShapeCase kCases[] = {{0, 0}, {1, 0}, {2, 0}, {4, 0}, {1000, 0}, {0xFFFFFFFF, 0},
                                     {3, 1}, {0, 200}, {0xFFFFFFFF, 555}};
  for (const DamagedShapeCase& c : kCases) {
    SCOPED_TRACE(std::to_string(c.storedCount) + " with " + std::to_string(c.strayBytes) + " stray bytes");
    std::string file =
        MetadataFile(kRBLayout, {MakeRecord(L"a", 1, 'a'), MakeRecord(L"b", 2, 'b'), MakeRecord(L"c", 3, 'c')});
    file += std::string(c.strayBytes, '\x33');
    mivra_test::PutLe32(file, mivra_test::kRBCountAt, c.storedCount);
    mivra_test::PutLe32(file, kRBLayout.crcAt, mivra_test::AreaCrc(kRBLayout, file));
    WriteDb(file);
    {
      MdataObject object;
      ASSERT_TRUE(mivra::OpenRBMdata(object));
      ASSERT_TRUE(mivra::LoadRBNameList(object));
      EXPECT_EQ(object.names.ToVector(), (std::vector<std::wstring>{L"a", L"b", L"c"}));
      uint32_t index = 99;
      ASSERT_TRUE(mivra::FindRBRecord(object, L"c", &index));
      EXPECT_EQ(index, 2u);
      EXPECT_FALSE(mivra::FindRBRecord(object, L"d", &index));
      mivra::RBMdataRecord added = PlainRecord(L"d", 40);
      ASSERT_TRUE(mivra::WriteRBRecord(object, added, mivra::RBREC_APPEND));
      ASSERT_TRUE(mivra::FindRBRecord(object, L"d", &index));
      EXPECT_EQ(index, 3u);
      added.fileSizeLow = 41;
      ASSERT_TRUE(mivra::WriteRBRecord(object, added, index));
    }
    const std::string after = ReadDb();
    ASSERT_EQ(after.size(), 86u + 4 * 556u);
    EXPECT_EQ(mivra_test::RecordCount(kRBLayout, after), 4u);
    EXPECT_EQ(after.substr(86, 3 * 556), file.substr(86, 3 * 556));
    EXPECT_EQ(mivra_test::RecordAt(kRBLayout, after, 3).name, L"d");
    EXPECT_EQ(mivra_test::RecordAt(kRBLayout, after, 3).size, 41u);
    EXPECT_TRUE(mivra_test::CrcMatches(kRBLayout, after));
  }
}

int g_readsBeforeFailure = 0;

int ReadThatFailsLater(int fd, void* buffer, unsigned count) {
  if (g_readsBeforeFailure-- > 0) return mivra::RealPlatformCalls().read(fd, buffer, count);
  errno = EIO;
  return -1;
}

// An I/O error proves nothing against the file, so the open fails without deleting it.
TEST_F(RBStoreTest, OpenKeepsAFileThatCannotBeReadWhole) {
  const std::string file = MetadataFile(kRBLayout, {MakeRecord(L"a.dll", 1, 'a')});
  for (int readsBeforeFailure : {0, 1}) {  // the header read, then the read of the CRC's record area
    WriteDb(file);
    {
      g_readsBeforeFailure = readsBeforeFailure;
      PlatformOverride<&PlatformCalls::read> fault(&ReadThatFailsLater);
      MdataObject object;
      EXPECT_FALSE(mivra::OpenRBMdata(object)) << readsBeforeFailure;
      EXPECT_FALSE(object.fd.valid());
    }
    EXPECT_EQ(ReadDb(), file) << readsBeforeFailure;
    MdataObject object;
    EXPECT_TRUE(mivra::OpenRBMdata(object));
  }
}


// An object open on a backup's bkmdata.dat, or one that holds no file, is no rollback object:
// every function of the codec refuses it before touching a file, and neither metadata file changes.
TEST_F(RBStoreTest, EveryFunctionRefusesAnObjectThatIsNoRollbackObject) {
  WriteDb(MetadataFile(kRBLayout, {MakeRecord(L"kept.dll", 5, 'k')}));
  // The backup's file opened through the store as the backup codec opens it, from the tests' layout.
  using mivra_test::kBkLayout;
  constexpr size_t kBkStateBytes = mivra_test::kBkAreaOffset - mivra_test::kBkCountAt;
  static constexpr mivra::MetadataFormat kBackupFormat{mivra::MdataKind::kBackup, "KVBKUP", mivra_test::kBkCountAt,
                                                       kBkStateBytes, mivra_test::kBkRecordBytes, kBkLayout.nameAt};
  const uint8_t newState[kBkStateBytes] = {};
  mivra_test::MakeFolder(BkupFolder());
  const std::wstring backupPath = BkupFolder() + L"\\bkmdata.dat";
  MdataObject backup;
  ASSERT_TRUE(mivra::OpenMetadataFile(backup, kBackupFormat, backupPath.c_str(), newState));
  const std::string dbBefore = ReadDb();
  const std::string backupBefore = mivra_test::ReadFileBytes(backupPath);
  MdataObject closed;
  const mivra::RBMdataRecord record = PlainRecord(L"kept.dll", 6);
  const std::wstring installed = InstallPath(L"kept.dll");
  mivra_test::WriteFileBytes(installed, "kept");
  for (MdataObject* object : {&backup, &closed}) {
    SCOPED_TRACE(object == &backup ? "backup object" : "closed object");
    EXPECT_FALSE(mivra::IsRollbackObject(*object));
    mivra::RBMdataRecord read{};
    EXPECT_FALSE(mivra::ReadRBRecord(*object, 0, &read));
    EXPECT_FALSE(mivra::AppendRBRecord(*object, record));
    EXPECT_FALSE(mivra::OverwriteRBRecord(*object, 0, record));
    EXPECT_FALSE(mivra::WriteRBRecord(*object, record, mivra::RBREC_APPEND));
    uint32_t index = 0;
    EXPECT_EQ(mivra::LookUpRBRecord(*object, L"kept.dll", &index), mivra::NameLookup::kUnavailable);
    EXPECT_FALSE(mivra::LoadRBNameList(*object));
    mivra::RBMdataState state{};
    EXPECT_FALSE(mivra::ReadRBState(*object, &state));
    EXPECT_FALSE(mivra::WriteRBState(*object, state));
    EXPECT_FALSE(mivra::ReplaceRBMdata(*object, std::vector<uint8_t>(86, 0)));
    EXPECT_EQ(mivra::CountRBRecords(*object), 0u);
    EXPECT_EQ(mivra::UpdateRollbackDB(object, installed.c_str(), 1, record.digest), mivra::RBUpdateResult::kWrongObject);
  }
  backup.Close();
  EXPECT_EQ(ReadDb(), dbBefore);
  EXPECT_EQ(mivra_test::ReadFileBytes(backupPath), backupBefore);
}

int g_recordReads = 0;
int CountedRead(int fd, void* buffer, unsigned count) {
  ++g_recordReads;
  return mivra::RealPlatformCalls().read(fd, buffer, count);
}

// The need check takes every record in one read: the records come back as one by one, in order.
TEST_F(RBStoreTest, RecordsReadAtOnceAreTheRecordsReadOneByOne) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenRBMdata(object));
  for (uint32_t n = 0; n < 5; ++n) {
    ASSERT_TRUE(mivra::AppendRBRecord(object, PlainRecord((L"f" + std::to_wstring(n) + L".dll").c_str(), n)));
  }
  std::vector<mivra::RBMdataRecord> records;
  g_recordReads = 0;
  {
    PlatformOverride<&PlatformCalls::read> read(&CountedRead);
    ASSERT_TRUE(mivra::ReadRBRecords(object, 0, 5, &records));
  }
  EXPECT_EQ(g_recordReads, 1);
  ASSERT_EQ(records.size(), 5u);
  for (uint32_t n = 0; n < 5; ++n) {
    mivra::RBMdataRecord one{};
    ASSERT_TRUE(mivra::ReadRBRecord(object, n, &one));
    EXPECT_EQ(std::memcmp(&records[n], &one, sizeof(one)), 0) << n;
  }
  ASSERT_TRUE(mivra::ReadRBRecords(object, 3, 2, &records));
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].fileSizeLow, 3u);
  ASSERT_TRUE(mivra::ReadRBRecords(object, 0, 0, &records));
  EXPECT_TRUE(records.empty());

  // More records than the file holds, or a failing read: no records.
  EXPECT_FALSE(mivra::ReadRBRecords(object, 3, 3, &records));
  {
    mivra_test::PlatformFault<&PlatformCalls::read> fault(mivra_test::FaultPlan::Always(), -1);
    EXPECT_FALSE(mivra::ReadRBRecords(object, 0, 5, &records));
  }
  MdataObject backup;
  EXPECT_FALSE(mivra::ReadRBRecords(backup, 0, 0, &records));
}

}  // namespace
