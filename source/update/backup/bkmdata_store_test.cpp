#include "update/backup/bkmdata_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "support/file_util.h"
#include "support/metadata_file_bytes.h"
#include "support/platform_fault.h"
#include "support/product_test.h"
#include "update/backup/add_to_backup.h"
#include "update/frame/backup_folder.h"
#include "update/rollbackdb/rbmdata_store.h"

namespace {

using mivra::BkMdataRecord;
using mivra_test::MetadataRecord;
using mivra_test::ToBkMdataRecord;

MetadataRecord SampleRecord(const std::wstring& name, uint32_t seed) {
  MetadataRecord record;
  record.size = 0x01020304u * seed;
  record.flags = seed % 2 == 0 ? 0 : mivra::BKREC_ABSENT;
  const uint16_t time[8] = {2024, 5, 3, 17, 13, 45, 30, static_cast<uint16_t>(seed)};
  std::memcpy(record.time, time, sizeof(time));
  record.name = name;
  for (int i = 0; i < 16; ++i) record.digest.push_back(static_cast<char>(seed * 16 + i));
  return record;
}

class BkMdataStoreTest : public mivra_test::ProductTest {
 protected:
  std::wstring FilePath() const { return BkupFolder() + L"\\bkmdata.dat"; }

  // Appends records named "f0", "f1", ... to the open file.
  static void AppendNumbered(MdataObject& object, uint32_t count) {
    for (uint32_t n = 0; n < count; ++n) {
      ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(L"f" + std::to_wstring(n), n)),
                                       mivra::BKREC_APPEND));
    }
  }

  // A closed file in "bkup" holding records named by `names`.
  void WriteRecords(std::initializer_list<const wchar_t*> names) {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    uint32_t seed = 1;
    for (const wchar_t* name : names) {
      ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(name, seed++)), mivra::BKREC_APPEND));
    }
  }
};

uint64_t FileTimeOf(const SYSTEMTIME& time) {
  FILETIME file = {};
  SystemTimeToFileTime(&time, &file);
  return (uint64_t{file.dwHighDateTime} << 32) | file.dwLowDateTime;
}

TEST_F(BkMdataStoreTest, NewFileIsHeaderAndStateBlockOnly) {
  SYSTEMTIME before = {};
  GetSystemTime(&before);
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    EXPECT_TRUE(object.fd.valid());
  }
  SYSTEMTIME after = {};
  GetSystemTime(&after);

  const std::string file = mivra_test::ReadFileBytes(FilePath());
  ASSERT_EQ(file.size(), 93u);
  std::string header("KVBKUP\x01\x00", 8);
  header += "Kestrivane Technologies Pvt. Ltd.";
  header.append(53 - 33, '\0');
  header.append(4, '\0');  // no record, CRC 0
  EXPECT_EQ(file.substr(0, 65), header);
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kBkCountAt), 0u);
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kBkStateFlagsAt), 0u);
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kBkReservedAt), 0u);

  SYSTEMTIME created = {};
  std::memcpy(&created, file.data() + mivra_test::kBkCreatedAt, 16);
  // Whole milliseconds: the stored time may round below the clock read just before.
  EXPECT_GE(FileTimeOf(created) + 10000, FileTimeOf(before));
  EXPECT_LE(FileTimeOf(created), FileTimeOf(after));
}

TEST_F(BkMdataStoreTest, AppendsStoreScrambledRecordsWithCountAndCrc) {
  const wchar_t* names[] = {L"first.dll", L"second.exe", L"third.dat"};
  for (uint32_t n = 1; n <= 3; ++n) {
    {
      MdataObject object;
      ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
      ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(names[n - 1], n)), mivra::BKREC_APPEND));
    }
    const std::string file = mivra_test::ReadFileBytes(FilePath());
    ASSERT_EQ(file.size(), 93u + 560u * n);
    EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kBkCountAt), n);
    const std::string area = file.substr(mivra_test::kBkAreaOffset);
    EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kCrcAt), mivra_test::ReferenceCrc32(area));
    for (uint32_t i = 0; i < n; ++i) {
      const std::string stored = area.substr(560 * i, 560);
      EXPECT_EQ(stored, mivra_test::Scrambled(mivra_test::PlainRecordBytes(mivra_test::kBkLayout, SampleRecord(names[i], i + 1))));
      // The zero fill after the name.
      EXPECT_EQ(static_cast<uint8_t>(stored[543]), 0xF6);
    }
  }

  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  BkMdataRecord read = {};
  ASSERT_TRUE(mivra::ReadBkRecord(object, 1, &read));
  const BkMdataRecord expected = ToBkMdataRecord(SampleRecord(names[1], 2));
  EXPECT_EQ(std::memcmp(&read, &expected, sizeof(read)), 0);
  EXPECT_FALSE(mivra::ReadBkRecord(object, 3, &read)) << "one past the last record";
}

TEST_F(BkMdataStoreTest, OverwriteKeepsCountAndRefreshesCrc) {
  WriteRecords({L"a.dll", L"b.dll"});
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    MetadataRecord changed = SampleRecord(L"a.dll", 1);
    changed.flags |= mivra::BKREC_REMOVED;
    ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(changed), 0));
  }
  const std::string file = mivra_test::ReadFileBytes(FilePath());
  ASSERT_EQ(file.size(), 93u + 2 * 560u);
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kBkCountAt), 2u);
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kCrcAt), mivra_test::ReferenceCrc32(file.substr(93)));
  EXPECT_EQ(mivra_test::RecordsOf(mivra_test::kBkLayout, file)[0].flags, mivra::BKREC_ABSENT | mivra::BKREC_REMOVED);
}

// Every write carries the CRC on from the one the header holds; it must come out as the CRC of
// the whole record area after each kind of write, on one object held open throughout.
TEST_F(BkMdataStoreTest, CrcStaysTheWholeAreasThroughEveryKindOfWrite) {
  const struct {
    const char* what;
    uint32_t index;
    uint32_t seed;
  } writes[] = {{"append", mivra::BKREC_APPEND, 1}, {"append", mivra::BKREC_APPEND, 2},
                {"append", mivra::BKREC_APPEND, 3}, {"first record", 0, 4},
                {"middle record", 1, 5},          {"last record", 2, 6},
                {"append after overwrites", mivra::BKREC_APPEND, 9}};
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  for (const auto& write : writes) {
    SCOPED_TRACE(write.what);
    const std::wstring name = L"file" + std::to_wstring(write.seed) + L".dll";
    ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(name, write.seed)), write.index));
    const std::string file = mivra_test::ReadFileBytes(FilePath());
    EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kCrcAt), mivra_test::ReferenceCrc32(file.substr(93)));
  }
  object.Close();
  MdataObject reopened;
  EXPECT_TRUE(mivra::OpenBkMdata(reopened, mivra::BKF_BKUP));
}

// An overwrite replaces a record the file holds; an index at or past its end would leave a gap, or
// a record that neither the count nor the name list knows, and is refused with the file unchanged.
TEST_F(BkMdataStoreTest, OverwriteOfARecordTheFileDoesNotHoldIsRefused) {
  WriteRecords({L"a.dll", L"b.dll"});
  const std::string before = mivra_test::ReadFileBytes(FilePath());
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  for (uint32_t index : {2u, 6u, mivra::BKREC_APPEND + 1}) {
    SCOPED_TRACE(index);
    EXPECT_FALSE(mivra::OverwriteBkRecord(object, index, ToBkMdataRecord(SampleRecord(L"c.dll", 3))));
    EXPECT_FALSE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(L"c.dll", 3)), index));
    EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()), before);
  }
}

uint64_t g_bytesRead = 0;
int CountingRead(int fd, void* buffer, unsigned count) {
  const int got = mivra::RealPlatformCalls().read(fd, buffer, count);
  if (got > 0) g_bytesRead += static_cast<uint64_t>(got);
  return got;
}

// Writing a record costs the same however many the file holds: neither an append nor an
// overwrite reads the record area again.
TEST_F(BkMdataStoreTest, WritesReadNoMoreThanTheirOwnRecordWhateverTheFileHolds) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  AppendNumbered(object, 60);
  for (uint32_t index : {mivra::BKREC_APPEND, 30u}) {
    SCOPED_TRACE(index);
    g_bytesRead = 0;
    {
      mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&CountingRead);
      ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(L"g" + std::to_wstring(index), 99)),
                                       index));
    }
    EXPECT_LT(g_bytesRead, 4u * 560u);
  }
}

// An open without an object reads the records for its CRC check; the names a lookup needs come
// from that same reading.
TEST_F(BkMdataStoreTest, OpenAndLookupReadTheRecordsOnce) {
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    AppendNumbered(object, 60);
  }
  g_bytesRead = 0;
  uint32_t index = 0;
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&CountingRead);
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    EXPECT_EQ(mivra::LookUpBkRecord(object, L"f42", &index), mivra::NameLookup::kFound);
  }
  EXPECT_EQ(index, 42u);
  EXPECT_LT(g_bytesRead, 61u * 560u);
}

TEST_F(BkMdataStoreTest, AppendRefusesARecordedNameExactlyAndChangesNothing) {
  WriteRecords({L"Name.dll"});
  const std::string before = mivra_test::ReadFileBytes(FilePath());
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    EXPECT_FALSE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(L"Name.dll", 7)), mivra::BKREC_APPEND));
    EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()), before);
    // Names differing in letter case are different records.
    EXPECT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(L"NAME.DLL", 8)), mivra::BKREC_APPEND));
    uint32_t index = 99;
    EXPECT_TRUE(mivra::FindBkRecord(object, L"NAME.DLL", &index));
    EXPECT_EQ(index, 1u);
    EXPECT_FALSE(mivra::FindBkRecord(object, L"name.dll", &index));
  }
  EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()).size(), 93u + 2 * 560u);
}

struct Damage {
  const char* what;
  void (*apply)(std::string& file);
  bool opens;
};

const Damage kDamages[] = {
    {"record byte", [](std::string& f) { f[93 + 600] ^= 0x01; }, false},
    {"last byte", [](std::string& f) { f.back() ^= 0x80; }, false},
    {"stored crc", [](std::string& f) { f[61] ^= 0x01; }, false},
    {"magic", [](std::string& f) { f[0] = 'X'; }, false},
    {"shorter than header and state", [](std::string& f) { f.resize(92); }, false},
    {"header only", [](std::string& f) { f.resize(65); }, false},
    {"company text", [](std::string& f) { f[8] = 'X'; }, true},
    {"version", [](std::string& f) { f[6] = 9; }, true},
    {"record count", [](std::string& f) { mivra_test::PutLe32(f, 65, 7); }, true},
    {"state flags", [](std::string& f) { mivra_test::PutLe32(f, 85, 1); }, true},
};

TEST_F(BkMdataStoreTest, OpenDeletesOnlyAFileThatProvesInvalid) {
  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.what);
    mivra_test::RemoveTree(BkupFolder());
    WriteRecords({L"a.dll", L"b.dll"});
    std::string file = mivra_test::ReadFileBytes(FilePath());
    damage.apply(file);
    mivra_test::WriteFileBytes(FilePath(), file);

    MdataObject object;
    EXPECT_EQ(mivra::OpenBkMdata(object, mivra::BKF_BKUP), damage.opens);
    if (damage.opens) {
      EXPECT_TRUE(object.fd.valid());
      object.Close();
      EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()), file);
    } else {
      EXPECT_FALSE(object.fd.valid());
      EXPECT_FALSE(mivra_test::FileExists(FilePath()));
      // The next open starts afresh.
      ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
      object.Close();
      EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()).size(), 93u);
    }
  }
}

// Lets `g_readsLeft` reads through, then fails every read as a device error would.
int g_readsLeft = 0;
int FailingRead(int fd, void* buffer, unsigned count) {
  if (g_readsLeft-- > 0) return mivra::RealPlatformCalls().read(fd, buffer, count);
  return -1;
}

TEST_F(BkMdataStoreTest, OpenKeepsAFileThatCannotBeRead) {
  WriteRecords({L"a.dll", L"b.dll"});
  const std::string before = mivra_test::ReadFileBytes(FilePath());
  // 0: the header cannot be read; 1: the record area cannot be read for the CRC.
  for (int passing : {0, 1}) {
    SCOPED_TRACE(passing);
    MdataObject object;
    {
      g_readsLeft = passing;
      mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&FailingRead);
      EXPECT_FALSE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    }
    EXPECT_FALSE(object.fd.valid());
    EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()), before);
  }
  MdataObject object;
  EXPECT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
}

struct DamagedShapeCase {
  uint32_t storedCount;
  size_t strayBytes;  // a part of a record after the three whole ones, inside the CRC
};

// The count lies outside the CRC and the length may end inside a record: every reader takes the
// whole records the file holds, so the name list names exactly what a rollback restores, an append
// lands aligned right after them, and the count it leaves is the records the file then holds.
TEST_F(BkMdataStoreTest, DamagedCountOrOddLengthNeverMultipliesRecords) {
  const DamagedShapeCase cases[] = {{0xFFFFFFFFu, 0}, {0x7FFFFFFFu, 0}, {5, 0}, {3, 0}, {2, 0},  {0, 0},
                                    {3, 1},           {0, 100},         {2, 559}, {0xFFFFFFFFu, 300}};
  const std::vector<std::wstring> all = {L"a.dll", L"b.dll", L"c.dll"};
  for (const DamagedShapeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.storedCount) + " with " + std::to_string(c.strayBytes) + " stray bytes");
    mivra_test::RemoveTree(BkupFolder());
    WriteRecords({L"a.dll", L"b.dll", L"c.dll"});
    std::string file = mivra_test::ReadFileBytes(FilePath());
    file += std::string(c.strayBytes, '\x5A');
    mivra_test::PutLe32(file, mivra_test::kBkCountAt, c.storedCount);
    mivra_test::PutLe32(file, mivra_test::kBkLayout.crcAt, mivra_test::AreaCrc(mivra_test::kBkLayout, file));
    mivra_test::WriteFileBytes(FilePath(), file);

    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    EXPECT_EQ(mivra::CountBkRecords(object), 3u);
    ASSERT_TRUE(mivra::LoadBkNameList(object));
    EXPECT_EQ(object.names.ToVector(), all);
    // Every recorded name is refused again, whatever the count says.
    for (const std::wstring& name : all) {
      EXPECT_FALSE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(name, 8)), mivra::BKREC_APPEND));
    }
    uint32_t index = 99;
    ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(L"d.dll", 4)), mivra::BKREC_APPEND));
    EXPECT_TRUE(mivra::FindBkRecord(object, L"d.dll", &index));
    EXPECT_EQ(index, 3u);
    object.Close();

    const std::string after = mivra_test::ReadFileBytes(FilePath());
    ASSERT_EQ(after.size(), 93u + 4 * 560u);
    EXPECT_EQ(mivra_test::Le32At(after, mivra_test::kBkCountAt), 4u);
    EXPECT_TRUE(mivra_test::CrcMatches(mivra_test::kBkLayout, after));
    EXPECT_EQ(after.substr(0 + 93, 3 * 560), file.substr(93, 3 * 560));
    EXPECT_EQ(mivra_test::RecordAt(mivra_test::kBkLayout, after, 3).name, L"d.dll");
  }
}

// The open takes the name list from the pieces its CRC reads, and records lie across the joins
// of those pieces: every name comes out whole and in record order, the same as a list loaded
// record by record, and an append then extends it.
TEST_F(BkMdataStoreTest, OpenTakesEveryNameAcrossThePiecesItReads) {
  std::vector<std::wstring> names;
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    for (uint32_t i = 0; i < 300; ++i) {
      // Lengths from 1 to 259 units, so that some names end near a join and some cross it.
      names.push_back(std::wstring(1 + (i * 37) % 250, static_cast<wchar_t>(L'a' + i % 26)) + std::to_wstring(i));
      ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(names.back(), i)), mivra::BKREC_APPEND));
    }
  }
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  EXPECT_EQ(object.names.ToVector(), names);
  ASSERT_TRUE(mivra::LoadBkNameList(object));
  EXPECT_EQ(object.names.ToVector(), names);
  names.push_back(L"last.dll");
  ASSERT_TRUE(mivra::WriteBkRecord(object, ToBkMdataRecord(SampleRecord(names.back(), 300)), mivra::BKREC_APPEND));
  EXPECT_EQ(object.names.ToVector(), names);
}

TEST_F(BkMdataStoreTest, NameListOfAFileWithoutRecordsIsEmpty) {
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  EXPECT_TRUE(mivra::LoadBkNameList(object));
  EXPECT_TRUE(object.names.empty());
  uint32_t index = 0;
  EXPECT_FALSE(mivra::FindBkRecord(object, L"", &index));
  EXPECT_EQ(mivra::LookUpBkRecord(object, L"a.dll", &index), mivra::NameLookup::kNotFound);
  object.Close();
  EXPECT_EQ(mivra::LookUpBkRecord(object, L"a.dll", &index), mivra::NameLookup::kUnavailable);
}

TEST_F(BkMdataStoreTest, MarkingDamagedSetsTheStateFlagOutsideTheCrc) {
  WriteRecords({L"a.dll"});
  const std::string before = mivra_test::ReadFileBytes(FilePath());
  {
    MdataObject object;
    ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
    mivra::MarkBackupDamaged(object);
    mivra::BkMdataState state = {};
    ASSERT_TRUE(mivra::ReadBkState(object, &state));
    EXPECT_EQ(state.stateFlags, mivra::BKSTATE_DAMAGED);
    EXPECT_EQ(state.recordCount, 1u);
  }
  std::string expected = before;
  mivra_test::PutLe32(expected, mivra_test::kBkStateFlagsAt, 1);
  EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()), expected);
  MdataObject object;
  EXPECT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
}


// An object open on the rollback database, or one that holds no file, is no backup object: every
// function of the codec refuses it before touching a file, and neither metadata file changes.
TEST_F(BkMdataStoreTest, EveryFunctionRefusesAnObjectThatIsNoBackupObject) {
  WriteRecords({L"a.dll"});
  MdataObject database;
  ASSERT_TRUE(mivra::OpenRBMdata(database));
  const std::wstring dbPath = BaseFolder() + L"\\rbmdata.dat";
  const std::string backupBefore = mivra_test::ReadFileBytes(FilePath());
  const std::string dbBefore = mivra_test::ReadFileBytes(dbPath);
  MdataObject closed;
  const BkMdataRecord record = ToBkMdataRecord(SampleRecord(L"b.dll", 2));
  const std::wstring installed = InstallPath(L"b.dll");
  mivra_test::WriteFileBytes(installed, "b");
  for (MdataObject* object : {&database, &closed}) {
    SCOPED_TRACE(object == &database ? "rollback object" : "closed object");
    EXPECT_FALSE(mivra::IsBackupObject(*object));
    BkMdataRecord read = {};
    EXPECT_FALSE(mivra::ReadBkRecord(*object, 0, &read));
    EXPECT_FALSE(mivra::AppendBkRecord(*object, record));
    EXPECT_FALSE(mivra::OverwriteBkRecord(*object, 0, record));
    EXPECT_FALSE(mivra::WriteBkRecord(*object, record, mivra::BKREC_APPEND));
    uint32_t index = 0;
    EXPECT_EQ(mivra::LookUpBkRecord(*object, L"a.dll", &index), mivra::NameLookup::kUnavailable);
    EXPECT_FALSE(mivra::LoadBkNameList(*object));
    bool visited = false;
    EXPECT_EQ(mivra::ForEachLiveBkRecord(*object, [&visited](uint32_t, const BkMdataRecord&) { return visited = true; }),
              mivra::RecordWalk::kUnreadable);
    EXPECT_FALSE(visited);
    mivra::BkMdataState state = {};
    EXPECT_FALSE(mivra::ReadBkState(*object, &state));
    mivra::MarkBackupDamaged(*object);
    EXPECT_EQ(mivra::CountBkRecords(*object), 0u);
    EXPECT_EQ(mivra::AddFileToBackup(object, installed.c_str()), mivra::AddResult::kWrongObject);
  }
  EXPECT_FALSE(mivra_test::FileExists(TmpBkupFolder() + L"\\b.dll"));
  database.Close();
  EXPECT_EQ(mivra_test::ReadFileBytes(FilePath()), backupBefore);
  EXPECT_EQ(mivra_test::ReadFileBytes(dbPath), dbBefore);
}

// The walk offers live records only (absent ones included), in order, stops when asked, and with a
// name filter reads only the records whose names pass.
TEST_F(BkMdataStoreTest, LiveRecordWalkSkipsRemovedRecordsAndReadsOnlyWantedNames) {
  WriteRecords({L"a.dll", L"b.dll", L"c.dll", L"d.dll"});
  MdataObject object;
  ASSERT_TRUE(mivra::OpenBkMdata(object, mivra::BKF_BKUP));
  BkMdataRecord removed = {};
  ASSERT_TRUE(mivra::ReadBkRecord(object, 1, &removed));
  removed.flags |= mivra::BKREC_REMOVED;
  ASSERT_TRUE(mivra::OverwriteBkRecord(object, 1, removed));

  std::vector<uint32_t> seen;
  const auto collect = [&seen](uint32_t index, const BkMdataRecord&) {
    seen.push_back(index);
    return true;
  };
  EXPECT_EQ(mivra::ForEachLiveBkRecord(object, collect), mivra::RecordWalk::kWalked);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 2, 3}));

  seen.clear();
  EXPECT_EQ(mivra::ForEachLiveBkRecord(object, [&seen](uint32_t index, const BkMdataRecord&) {
    seen.push_back(index);
    return index < 2;
  }), mivra::RecordWalk::kWalked);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 2}));

  seen.clear();
  g_bytesRead = 0;
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(&CountingRead);
    EXPECT_EQ(mivra::ForEachLiveBkRecord(object, collect, [](std::wstring_view name) { return name == L"d.dll"; }),
              mivra::RecordWalk::kWalked);
  }
  EXPECT_EQ(seen, (std::vector<uint32_t>{3}));
  EXPECT_LE(g_bytesRead, 560u);

  // A record that cannot be read stops the walk with a failure.
  seen.clear();
  {
    mivra_test::PlatformOverride<&mivra::PlatformCalls::read> read(+[](int, void*, unsigned) { return -1; });
    EXPECT_EQ(mivra::ForEachLiveBkRecord(object, collect), mivra::RecordWalk::kUnreadable);
  }
  EXPECT_TRUE(seen.empty());
}

}  // namespace
