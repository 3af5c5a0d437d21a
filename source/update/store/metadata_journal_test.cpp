// Changes of a metadata file happen whole or not at all: a change cut off with its process is
// undone by the next open, one that fails is undone before the call returns, and a journal held
// by a live writer is left alone.
#include "update/store/metadata_journal.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/core_product_test.h"
#include "support/every_call_fault.h"
#include "support/file_util.h"
#include "support/held_file.h"
#include "support/linked_files.h"
#include "support/metadata_file_bytes.h"
#include "support/read_only_caller.h"
#include "support/unix_file_ops.h"
#include "update/store/mdata_object.h"
#include "update/store/metadata_store.h"

namespace {

using mivra_test::EveryCallFault;
using mivra_test::FaultMode;

// The store under test on a file laid out as bkmdata.dat; the bytes come from the test's own
// layout, not from the codec above the store.
constexpr size_t kStateSize = mivra_test::kBkAreaOffset - mivra_test::kBkCountAt;
constexpr mivra::MetadataFormat kFormat{mivra::MdataKind::kBackup, "KVBKUP",  mivra_test::kBkCountAt, kStateSize,
                                        mivra_test::kBkRecordBytes, mivra_test::kBkLayout.nameAt};
constexpr uint8_t kNewState[kStateSize] = {};

// The stored bytes of a record named `name`.
std::string RecordNamed(const wchar_t* name, uint32_t flags = 0) {
  mivra_test::MetadataRecord record;
  record.name = name;
  record.size = 7;
  record.flags = flags;
  record.digest = std::string(16, '\x5A');
  return mivra_test::Scrambled(mivra_test::PlainRecordBytes(mivra_test::kBkLayout, record));
}

const uint8_t* Bytes(const std::string& stored) { return reinterpret_cast<const uint8_t*>(stored.data()); }

// The changes a metadata file goes through, each made whole or not at all.
struct Change {
  const char* what;
  std::function<bool(MdataObject&)> change;
};

const std::vector<Change>& Changes() {
  static const std::vector<Change> changes = {
      {"append", [](MdataObject& o) { return mivra::AppendStoredRecord(o, Bytes(RecordNamed(L"c.dll")), L"c.dll"); }},
      {"overwrite", [](MdataObject& o) { return mivra::OverwriteStoredRecord(o, 1, Bytes(RecordNamed(L"b.dll", 1))); }},
      {"state block", [](MdataObject& o) {
         uint8_t state[sizeof(kNewState)] = {};
         state[mivra::kStateRecordCountOffset] = 2;
         state[mivra_test::kBkStateFlagsAt - mivra_test::kBkCountAt] = 1;
         return mivra::WriteStateBlock(o, state);
       }},
  };
  return changes;
}

class MetadataJournalTest : public mivra_test::CoreProductTest {
 protected:
  void SetUp() override {
    CoreProductTest::SetUp();
    mivra_test::MakeFolder(TmpBkupFolder());
    MdataObject object;
    ASSERT_TRUE(Open(object));
    ASSERT_TRUE(mivra::AppendStoredRecord(object, Bytes(RecordNamed(L"a.dll")), L"a.dll"));
    ASSERT_TRUE(mivra::AppendStoredRecord(object, Bytes(RecordNamed(L"b.dll")), L"b.dll"));
    object.Close();
    before_ = File();
  }

  std::wstring FilePath() const { return TmpBkupFolder() + L"\\bkmdata.dat"; }
  std::wstring JournalPath() const { return TmpBkupFolder() + L"\\bkmdata.jnl"; }
  std::string File() const { return mivra_test::ReadFileBytes(FilePath()); }

  // The journal a change of the file as it is now would write before touching it.
  void WriteJournalOfCurrentFile(bool fileAbsent = false) {
    mivra::JournalImage image;
    image.oldLength = fileAbsent ? mivra::kJournalFileAbsent : before_.size();
    if (!fileAbsent) image.ranges.push_back({0, std::vector<uint8_t>(before_.begin(), before_.begin() + 93)});
    const std::vector<uint8_t> bytes = mivra::EncodeJournal(image);
    mivra_test::WriteFileBytes(JournalPath(), std::string(bytes.begin(), bytes.end()));
  }

  bool Open(MdataObject& object) const {
    return mivra::OpenMetadataFile(object, kFormat, FilePath().c_str(), kNewState);
  }
  mivra::MetadataOpen OpenFor(MdataObject& object, mivra::MetadataAccess access) const {
    return mivra::OpenMetadata(object, kFormat, FilePath().c_str(), kNewState, access);
  }

  bool Opens() const {
    MdataObject object;
    return Open(object);
  }

  // The calls `c` makes from the file as SetUp left it, and the file once it is made.
  void Measure(const Change& c, uint32_t* calls, std::string* after) {
    mivra_test::WriteFileBytes(FilePath(), before_);
    MdataObject object;
    ASSERT_TRUE(Open(object));
    {
      EveryCallFault counter(FaultMode::kCount, 0);
      ASSERT_TRUE(c.change(object));
      *calls = counter.calls();
    }
    object.Close();
    *after = File();
  }

  // Neither the file nor its journal is there.
  void RemoveFile() const {
    DeleteFileW(FilePath().c_str());
    DeleteFileW(JournalPath().c_str());
  }

  std::string before_;
};

// What a cut-off change leaves in the file: a record appended without its CRC, a CRC refreshed
// without its count, a header torn mid-write.
TEST_F(MetadataJournalTest, ChangeCutOffWithItsProcessIsUndoneByTheNextOpen) {
  const struct {
    const char* what;
    std::function<std::string(std::string)> cut;
  } kCases[] = {
      {"record appended", [](std::string file) { return file + std::string(560, '\x11'); }},
      {"crc refreshed", [](std::string file) {
         file += std::string(560, '\x11');
         mivra_test::PutLe32(file, mivra_test::kCrcAt, mivra_test::ReferenceCrc32(file.substr(93)));
         return file;
       }},
      {"header torn", [](std::string file) { return file.replace(0, 6, "XXXXXX"); }},
      {"record overwritten halfway", [](std::string file) { return file.replace(93 + 560 + 100, 200, 200, '\x22'); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteJournalOfCurrentFile();
    // The overwrite saves the record it replaces as well.
    if (std::string(c.what) == "record overwritten halfway") {
      mivra::JournalImage image;
      image.oldLength = before_.size();
      image.ranges.push_back({0, std::vector<uint8_t>(before_.begin(), before_.begin() + 93)});
      image.ranges.push_back({93 + 560, std::vector<uint8_t>(before_.begin() + 93 + 560, before_.end())});
      const std::vector<uint8_t> bytes = mivra::EncodeJournal(image);
      mivra_test::WriteFileBytes(JournalPath(), std::string(bytes.begin(), bytes.end()));
    }
    mivra_test::WriteFileBytes(FilePath(), c.cut(before_));
    EXPECT_TRUE(Opens());
    EXPECT_TRUE(File() == before_);
    EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
  }
}

// An append needs no journal: its commit point is the write of the CRC and the count, together in
// the first sector, after the record is on disk. Cut off before it, the append leaves bytes past the
// records the count names, with their CRC still in the header: the next open that may write cuts
// them off. Bytes past the count that the CRC does not vouch for, or counted records that changed,
// make the file invalid as before.
TEST_F(MetadataJournalTest, AnAppendCutOffBeforeItsCommitPointIsCutOffByTheNextOpen) {
  const std::string record = RecordNamed(L"c.dll");
  const struct {
    const char* what;
    std::string file;
    bool cutOff;  // else invalid, and deleted
  } kCases[] = {
      {"a whole record", before_ + record, true},
      {"part of a record", before_ + record.substr(0, 300), true},
      {"two records", before_ + record + RecordNamed(L"d.dll"), true},
      {"a record, and a counted one changed", before_ + record, false},
      {"the count past the records", before_ + record, false},
      {"nothing past the count, the CRC wrong", before_, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::string file = c.file;
    const std::string what = c.what;
    if (what == "a record, and a counted one changed") file[93 + 10] ^= 1;
    if (what == "the count past the records") mivra_test::PutLe32(file, mivra_test::kBkCountAt, 4);
    if (what == "nothing past the count, the CRC wrong") file[mivra_test::kCrcAt] ^= 1;
    mivra_test::WriteFileBytes(FilePath(), file);
    {
      // A caller that may only read leaves the cut to one that may write.
      mivra_test::ReadOnlyCaller caller;
      MdataObject object;
      EXPECT_EQ(OpenFor(object, mivra::MetadataAccess::kReadOnlyWhenDenied), mivra::MetadataOpen::kFailed);
    }
    EXPECT_TRUE(File() == file);
    MdataObject object;
    EXPECT_EQ(Open(object), c.cutOff);
    if (c.cutOff) {
      EXPECT_TRUE(File() == before_);
      // And the object goes on from the records that were counted.
      uint32_t index = 0;
      EXPECT_EQ(mivra::FindMetadataName(object, L"c.dll", &index), mivra::NameLookup::kNotFound);
      EXPECT_EQ(mivra::CountRecordsFromLength(object), 2u);
    } else {
      EXPECT_FALSE(mivra_test::FileExists(FilePath()));
    }
    EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
  }
}

// An object that was open while another one's append was cut off (in another process, say) finds
// a record past the count that the CRC does not cover: it neither appends after it nor replaces a
// record, either of which would make the CRC vouch for it, torn or not. The next open cuts it off,
// and the changes go on.
TEST_F(MetadataJournalTest, AnObjectMeetingAnotherObjectsUnfinishedAppendRefusesToAppend) {
  MdataObject object;
  ASSERT_TRUE(Open(object));
  {
    // Written beside the object's handle, as another process's would be.
    HANDLE other = CreateFileW(FilePath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const std::string torn = RecordNamed(L"torn.dll");
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(other, torn.data(), static_cast<DWORD>(torn.size()), &written, nullptr));
    CloseHandle(other);
  }
  ASSERT_TRUE(File() == before_ + RecordNamed(L"torn.dll"));
  EXPECT_FALSE(mivra::AppendStoredRecord(object, Bytes(RecordNamed(L"c.dll")), L"c.dll"));
  EXPECT_FALSE(mivra::OverwriteStoredRecord(object, 1, Bytes(RecordNamed(L"b.dll", 1))));
  EXPECT_TRUE(File() == before_ + RecordNamed(L"torn.dll"));
  object.Close();

  ASSERT_TRUE(Open(object));
  EXPECT_TRUE(File() == before_);
  EXPECT_TRUE(mivra::AppendStoredRecord(object, Bytes(RecordNamed(L"c.dll")), L"c.dll"));
  object.Close();
  EXPECT_TRUE(Opens());
  EXPECT_EQ(File().substr(before_.size()), RecordNamed(L"c.dll"));
}

// A successful append touches no journal, and leaves the record counted and under the CRC.
TEST_F(MetadataJournalTest, AnAppendWritesNoJournal) {
  MdataObject object;
  ASSERT_TRUE(Open(object));
  {
    EveryCallFault counter(FaultMode::kCount, 0);
    ASSERT_TRUE(mivra::AppendStoredRecord(object, Bytes(RecordNamed(L"c.dll")), L"c.dll"));
    EXPECT_EQ(counter.firstCallOn(L"bkmdata.jnl"), 0u);
  }
  object.Close();
  const std::string file = File();
  ASSERT_EQ(file.size(), before_.size() + mivra_test::kBkRecordBytes);
  EXPECT_EQ(file.substr(before_.size()), RecordNamed(L"c.dll"));
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kBkCountAt), 3u);
  EXPECT_EQ(mivra_test::Le32At(file, mivra_test::kCrcAt), mivra_test::ReferenceCrc32(file.substr(93)));
}

TEST_F(MetadataJournalTest, CreationCutOffLeavesNoFileBehind) {
  WriteJournalOfCurrentFile(/*fileAbsent=*/true);
  mivra_test::WriteFileBytes(FilePath(), before_.substr(0, 40));
  // The partial file goes, and the open starts a new one.
  EXPECT_TRUE(Opens());
  EXPECT_EQ(File().size(), 93u);
  EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
}

// The file a cut-off change belongs to was deleted since: the journal cannot make it again, and
// must not keep every later open from starting a new one.
TEST_F(MetadataJournalTest, JournalWhoseFileIsGoneIsDroppedAndTheFileStartsAfresh) {
  WriteJournalOfCurrentFile();
  ASSERT_TRUE(DeleteFileW(FilePath().c_str()));
  EXPECT_TRUE(Opens());
  EXPECT_EQ(File().size(), 93u);
  EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
}

TEST_F(MetadataJournalTest, JournalCutOffBeforeTheFileWasTouchedIsDropped) {
  WriteJournalOfCurrentFile();
  const std::string journal = mivra_test::ReadFileBytes(JournalPath());
  for (size_t keep : {size_t{0}, size_t{5}, journal.size() - 1}) {
    SCOPED_TRACE(keep);
    mivra_test::WriteFileBytes(JournalPath(), journal.substr(0, keep));
    EXPECT_TRUE(Opens());
    EXPECT_TRUE(File() == before_);
    EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
  }
}

TEST_F(MetadataJournalTest, JournalOfALiveWriterIsLeftAloneAndTheOpenFails) {
  WriteJournalOfCurrentFile();
  const std::string journal = mivra_test::ReadFileBytes(JournalPath());
  const std::string midChange = before_ + std::string(560, '\x11');
  mivra_test::WriteFileBytes(FilePath(), midChange);
  {
    mivra_test::HeldFile writer(JournalPath(), GENERIC_READ | GENERIC_WRITE, 0);
    ASSERT_TRUE(writer.ok());
    EXPECT_FALSE(Opens());
    EXPECT_TRUE(File() == midChange);
  }
  EXPECT_EQ(mivra_test::ReadFileBytes(JournalPath()), journal);
  // Once the writer is gone, its change is undone.
  EXPECT_TRUE(Opens());
  EXPECT_TRUE(File() == before_);
}

// Every platform call of a change, made to fail alone or with every later call on its file: the
// call fails and the file is as before, or it succeeds and the file is as after; nothing is left
// beside it once the file is opened again.
TEST_F(MetadataJournalTest, EveryFailingCallLeavesTheFileWholeAndTheObjectUsable) {
  for (const Change& c : Changes()) {
    SCOPED_TRACE(c.what);
    std::string after;
    uint32_t calls = 0;
    ASSERT_NO_FATAL_FAILURE(Measure(c, &calls, &after));
    ASSERT_NE(after, before_);
    for (FaultMode mode : {FaultMode::kFailOnce, FaultMode::kFailFileFrom}) {
      for (uint32_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE(testing::Message() << "call " << n << (mode == FaultMode::kFailOnce ? " once" : " onwards"));
        mivra_test::WriteFileBytes(FilePath(), before_);
        MdataObject object;
        ASSERT_TRUE(Open(object));
        bool changed = false;
        {
          EveryCallFault fault(mode, n);
          changed = c.change(object);
          ASSERT_TRUE(fault.fired());
        }
        if (mode == FaultMode::kFailOnce && !changed) {
          // Undone at once: the same object makes the change on the next try.
          EXPECT_TRUE(File() == before_);
          EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
          EXPECT_TRUE(c.change(object));
          object.Close();
          EXPECT_TRUE(File() == after);
          continue;
        }
        object.Close();
        EXPECT_TRUE(Opens());
        EXPECT_TRUE(File() == (changed ? after : before_));
        EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
      }
    }
  }
}

// A second fault during the undo of the first: the object whose undo failed refuses every later
// write (what it knows of the file may be wrong), and the next open puts the file back whole.
TEST_F(MetadataJournalTest, SecondFaultDuringTheUndoClosesTheObjectForWriting) {
  // The undo of a change is a few calls: the second fault falls among them.
  constexpr uint32_t kUndoCalls = 12;
  for (const Change& c : Changes()) {
    std::string after;
    uint32_t calls = 0;
    ASSERT_NO_FATAL_FAILURE(Measure(c, &calls, &after));
    int refused = 0;
    for (uint32_t n = 1; n <= calls; ++n) {
      for (uint32_t m = n + 1; m <= n + kUndoCalls; ++m) {
        SCOPED_TRACE(testing::Message() << c.what << ": call " << n << ", then call " << m);
        mivra_test::WriteFileBytes(FilePath(), before_);
        MdataObject object;
        ASSERT_TRUE(Open(object));
        bool changed = false;
        {
          EveryCallFault fault(FaultMode::kFailOnce, n, m);
          changed = c.change(object);
        }
        if (changed) {
          object.Close();
          EXPECT_TRUE(Opens());
          EXPECT_TRUE(File() == after);
          continue;
        }
        // A journal left holding an image is an undo still to be made; one that holds none (never
        // written whole, or emptied) is nothing to put back.
        const std::string journal = mivra_test::FileExists(JournalPath()) ? mivra_test::ReadFileBytes(JournalPath()) : "";
        mivra::JournalImage image;
        const bool undoLeft =
            mivra::DecodeJournal(reinterpret_cast<const uint8_t*>(journal.data()), journal.size(), &image);
        const std::string left = File();
        // Reused: refused while an undo is still to be made (and whenever the undo did not finish).
        const bool again = c.change(object);
        if (undoLeft) {
          EXPECT_FALSE(again);
        }
        if (!again) {
          ++refused;
          EXPECT_TRUE(File() == left) << "a refused write changed the file";
        }
        object.Close();
        EXPECT_TRUE(Opens());
        EXPECT_TRUE(File() == (again ? after : before_));
        EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
      }
    }
    EXPECT_GT(refused, 0) << c.what << ": no pair of faults left an undo undone";
  }
}

TEST_F(MetadataJournalTest, EveryFailingCallOfACreationLeavesANewFileOrNone) {
  RemoveFile();
  uint32_t calls = 0;
  {
    EveryCallFault counter(FaultMode::kCount, 0);
    ASSERT_TRUE(Opens());
    calls = counter.calls();
  }
  for (FaultMode mode : {FaultMode::kFailOnce, FaultMode::kFailFileFrom}) {
    for (uint32_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE(testing::Message() << "call " << n << (mode == FaultMode::kFailOnce ? " once" : " onwards"));
      RemoveFile();
      bool opened = false;
      {
        EveryCallFault fault(mode, n);
        opened = Opens();
      }
      if (opened) {
        EXPECT_EQ(File().size(), 93u);
      }
      // Whatever a failed creation left (a journal that could not be deleted, a file whose undo
      // failed) is cleared by the next open, which creates the file.
      EXPECT_TRUE(Opens());
      EXPECT_EQ(File().size(), 93u);
      EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
    }
  }
}

using mivra::MetadataAccess;
using mivra::MetadataOpen;

// The header torn by a change cut off with its process: what the journal beside it puts back.
std::string Torn(std::string file) { return file.replace(0, 6, "XXXXXX"); }

// A file or journal given to another user, or one that reads as a link (as Windows shows a link
// to a file), is not the library's: the open applies no journal, deletes nothing and fails. Made
// the library's again, the same pair is recovered, so the journal was one that would apply.
TEST_F(MetadataJournalTest, AFileOrJournalThatIsNotTheLibrarysIsNeitherAppliedNorDeleted) {
  ASSERT_TRUE(mivra_test::MayChangeUnixOwner()) << "the tests run as root";
  enum class Planted { kForeign, kLink };
  const struct {
    const char* what;
    bool journal;
    Planted planted;
  } kCases[] = {
      {"file of another user", false, Planted::kForeign},
      {"journal of another user", true, Planted::kForeign},
      {"file read as a link", false, Planted::kLink},
      {"journal read as a link", true, Planted::kLink},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    WriteJournalOfCurrentFile();
    const std::string journal = mivra_test::ReadFileBytes(JournalPath());
    mivra_test::WriteFileBytes(FilePath(), Torn(before_));
    const std::wstring planted = c.journal ? JournalPath() : FilePath();
    {
      std::optional<mivra_test::FilesReadAsLinks> link;
      if (c.planted == Planted::kLink) {
        link.emplace(std::vector<std::wstring>{planted});
      } else {
        ASSERT_TRUE(mivra_test::ChangeUnixOwner(planted, 4242));
      }
      MdataObject object;
      EXPECT_EQ(OpenFor(object, MetadataAccess::kReadWrite), MetadataOpen::kUntrusted);
      EXPECT_FALSE(object.fd.valid());
      EXPECT_EQ(OpenFor(object, MetadataAccess::kReadOnlyWhenDenied), MetadataOpen::kUntrusted);
      EXPECT_TRUE(File() == Torn(before_)) << "the file is left for an administrator to look at";
      EXPECT_EQ(mivra_test::ReadFileBytes(JournalPath()), journal) << "and so is the journal";
    }
    if (c.planted == Planted::kForeign) {
      ASSERT_TRUE(mivra_test::ChangeUnixOwner(planted, 0));
    }
    EXPECT_TRUE(Opens());
    EXPECT_TRUE(File() == before_);
    EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
  }
}

// A journal planted beside a file that is open already: a change in place does not start, the
// planted journal is neither read back into the file nor written over.
TEST_F(MetadataJournalTest, AChangeMeetingAnotherUsersJournalFailsAndLeavesIt) {
  ASSERT_TRUE(mivra_test::MayChangeUnixOwner()) << "the tests run as root";
  MdataObject object;
  ASSERT_TRUE(Open(object));
  WriteJournalOfCurrentFile();
  const std::string journal = mivra_test::ReadFileBytes(JournalPath());
  ASSERT_TRUE(mivra_test::ChangeUnixOwner(JournalPath(), 4242));
  EXPECT_FALSE(mivra::OverwriteStoredRecord(object, 0, Bytes(RecordNamed(L"c.dll"))));
  object.Close();
  EXPECT_TRUE(File() == before_);
  EXPECT_EQ(mivra_test::ReadFileBytes(JournalPath()), journal);
}

// A caller that may only read the library's folders: opened for reading, the file reads as it is
// and refuses every change; nothing is created, written or deleted.
TEST_F(MetadataJournalTest, ACallerThatMayOnlyReadReadsTheFileAndChangesNothing) {
  mivra_test::ReadOnlyCaller caller;
  MdataObject object;
  EXPECT_EQ(OpenFor(object, MetadataAccess::kReadWrite), MetadataOpen::kFailed) << "a writer is refused";
  ASSERT_EQ(OpenFor(object, MetadataAccess::kReadOnlyWhenDenied), MetadataOpen::kOpened);
  EXPECT_TRUE(object.readOnly);
  EXPECT_EQ(mivra::CountRecordsFromLength(object), 2u);
  std::string stored(mivra_test::kBkRecordBytes, '\0');
  ASSERT_TRUE(mivra::ReadStoredRecord(object, 1, reinterpret_cast<uint8_t*>(stored.data())));
  EXPECT_EQ(stored, RecordNamed(L"b.dll"));
  uint8_t state[kStateSize] = {};
  ASSERT_TRUE(mivra::ReadStateBlock(object, state));

  const uint32_t deniedBefore = caller.denied();
  EXPECT_FALSE(mivra::AppendStoredRecord(object, Bytes(RecordNamed(L"c.dll")), L"c.dll"));
  EXPECT_FALSE(mivra::OverwriteStoredRecord(object, 0, Bytes(RecordNamed(L"c.dll"))));
  EXPECT_FALSE(mivra::WriteStateBlock(object, state));
  EXPECT_FALSE(mivra::ReplaceMetadataContent(object, std::vector<uint8_t>(before_.begin(), before_.end())));
  EXPECT_EQ(caller.denied(), deniedBefore) << "refused before any attempt to write";
  object.Close();
  EXPECT_TRUE(File() == before_);
  EXPECT_FALSE(mivra_test::FileExists(JournalPath()));
  EXPECT_EQ(caller.deletionsTried(), 0u);
}

// What the reading open does not do: put back an interrupted change (the next caller that can
// write does), delete a file that proves invalid, or create a missing one. It fails instead, or
// finds a missing file absent, and leaves everything as it found it.
TEST_F(MetadataJournalTest, ACallerThatMayOnlyReadLeavesRecoveryAndRepairToAWriter) {
  const struct {
    const char* what;
    bool journal;
    std::function<std::string(std::string)> file;  // empty: no file
    MetadataOpen open;
  } kCases[] = {
      {"interrupted change", true, Torn, MetadataOpen::kFailed},
      {"invalid file", false, [](std::string file) { return file.replace(0, 6, "NOTKV!"); }, MetadataOpen::kFailed},
      {"no file", false, nullptr, MetadataOpen::kAbsent},
      {"journal of a creation cut off", true, nullptr, MetadataOpen::kFailed},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    RemoveFile();
    if (c.journal) WriteJournalOfCurrentFile();
    if (c.file) mivra_test::WriteFileBytes(FilePath(), c.file(before_));
    const auto tree = mivra_test::ReadTree(TmpBkupFolder());
    {
      mivra_test::ReadOnlyCaller caller;
      MdataObject object;
      EXPECT_EQ(OpenFor(object, MetadataAccess::kReadOnlyWhenDenied), c.open);
      EXPECT_FALSE(object.fd.valid());
      EXPECT_EQ(caller.deletionsTried(), 0u);
    }
    EXPECT_EQ(mivra_test::ReadTree(TmpBkupFolder()), tree);
  }
  // The writer that comes next puts the interrupted change back.
  RemoveFile();
  WriteJournalOfCurrentFile();
  mivra_test::WriteFileBytes(FilePath(), Torn(before_));
  EXPECT_TRUE(Opens());
  EXPECT_TRUE(File() == before_);
}

}  // namespace
