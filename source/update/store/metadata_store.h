// The record store both metadata files share: open with validation, read, append and overwrite
// records and the state block, and the name list for lookups. The two files plug in their
// MetadataFormat at the open; every later call takes it from the object.
#ifndef MIVRA_UPDATE_STORE_METADATA_STORE_H_
#define MIVRA_UPDATE_STORE_METADATA_STORE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/store/mdata_object.h"
#include "update/store/metadata_format.h"

namespace mivra {

enum class MetadataCheck {
  kValid,
  kInvalid,     // too short, wrong magic or CRC mismatch: the file is to be discarded
  kUnreadable,  // an I/O error kept the check from finishing: nothing is known against the file
};

// What the open of a metadata file is for.
enum class MetadataAccess {
  kReadWrite,  // the caller changes the file
  // The caller only reads it: when the open for writing is denied (a caller that may only read
  // the library's folders), the file is opened for reading alone. Such an object refuses every
  // change; it recovers no journal and deletes no file, and an existing journal fails the open,
  // so that the change it records is put back by the next caller that can write.
  kReadOnlyWhenDenied,
};

enum class MetadataOpen {
  kOpened,
  kFailed,     // not opened, created or validated (an invalid file was deleted), or no verdict
  kUntrusted,  // the file or its journal is a link or another user's: left as it is
  // kReadOnlyWhenDenied only: the file is not there and could not be created; nothing is left
  // behind. It reads as a new file would, holding no record.
  kAbsent,
};

// Opens the metadata file at `path` into `object`, or creates it with a new header and the
// `newState` block, and binds `format` (and so its kind) to the object for every later call.
// Neither the file nor its journal is used when it is a link or another user's file (whatever
// either says is not the library's), nor when that cannot be told. A change that a process that
// is gone left unfinished is undone first; while a live process is changing the file, the open
// fails. An append cut off before its commit point is cut off the file (CutUnfinishedAppend). An
// existing file that proves invalid otherwise is closed and deleted and the open fails, so the
// next open starts afresh; one that cannot be read is left as it is and the open fails. On
// success the file is positioned at its end; on failure the object holds no file and has no kind.
MetadataOpen OpenMetadata(MdataObject& object, const MetadataFormat& format, const wchar_t* path,
                          const uint8_t* newState, MetadataAccess access);

enum class AppendCut {
  kNone,    // the file shows no unfinished append
  kCut,     // it did, and is now cut back to the records its count names
  kFailed,  // it may, and could not be read or cut
};

// For the file at `path`, open on `fd` for writing: cuts off an append that a process which ended,
// or a power cut, left before its commit point (see CountedAreaLength). An open does this before it
// judges a file whose CRC does not match its records.
AppendCut CutUnfinishedAppend(int fd, const MetadataFormat& format, const wchar_t* path);

// The same, for writing: true when opened.
bool OpenMetadataFile(MdataObject& object, const MetadataFormat& format, const wchar_t* path,
                      const uint8_t* newState);

// The stored (scrambled) bytes of record `index`; false when the file does not hold it whole.
bool ReadStoredRecord(const MdataObject& object, uint32_t index, uint8_t* stored);

// The stored bytes of records `first` to `first` + `count` - 1 in one read, into `stored` (resized
// to fit); false when the file does not hold them all whole.
bool ReadStoredRecords(const MdataObject& object, uint32_t first, uint32_t count, std::vector<uint8_t>* stored);

// Appends stored record bytes right after the last whole record and sets the record count to the
// records then held; refreshes the header CRC and adds `name` (the record's) to the name list.
// `index`, when given, receives the record's position. The file changes whole or not at all: a
// failure leaves it as it was.
bool AppendStoredRecord(MdataObject& object, const uint8_t* stored, std::wstring_view name,
                        uint32_t* index = nullptr);

// Replaces record `index`, which the file must hold whole, in place: length and record count stay,
// the header CRC is refreshed and the name list follows the record's new name. Whole or not at
// all, like an append.
bool OverwriteStoredRecord(MdataObject& object, uint32_t index, const uint8_t* stored);

// Fills the name list from the file: the names of all its whole records, a name's position being
// its record's index. The record count lies outside the CRC and is not read: the names are those
// of the records every other reader acts on.
bool LoadMetadataNames(MdataObject& object);

enum class NameLookup { kFound, kNotFound, kUnavailable };

// Exact, case-sensitive lookup in the name list, loading it first when it is empty or no longer
// counts the records the file holds.
NameLookup FindMetadataName(MdataObject& object, std::wstring_view name, uint32_t* index);

bool ReadStateBlock(const MdataObject& object, uint8_t* state);
// Every write refuses an object whose earlier change could not be undone (writeClosed). A state
// block inside the file's first sector is written in one write with no journal, so that it needs
// no new space on the disk.
bool WriteStateBlock(const MdataObject& object, const uint8_t* state);

// Replaces the whole content of the open file in one change, whatever its length was.
bool ReplaceMetadataContent(MdataObject& object, const std::vector<uint8_t>& content);

// Records the file length holds, (length - header - state) / record size; 0 without an open file.
uint32_t CountRecordsFromLength(const MdataObject& object);

// Fills a record's name field; false when the name with its NUL does not fit.
bool SetRecordFieldName(char16_t* field, std::wstring_view name);

// Exact positioned reads and writes on a descriptor.
bool ReadAt(int fd, uint64_t offset, void* buffer, size_t length);
bool WriteAt(int fd, uint64_t offset, const void* buffer, size_t length);

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_METADATA_STORE_H_
