#include "update/store/metadata_store.h"

#include <windows.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "update/digest/crc32.h"
#include "update/digest/file_crc32.h"
#include "update/digest/file_piece.h"
#include "update/frame/file_info.h"
#include "update/frame/file_trust.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"
#include "update/store/metadata_journal.h"

namespace mivra {
namespace {

int64_t FileLength(int fd) { return Platform().seek(fd, 0, SEEK_END); }

uint32_t RecordsForLength(int64_t length, const MetadataFormat& format) {
  if (length < static_cast<int64_t>(format.recordAreaOffset())) return 0;
  const uint64_t records = WholeRecords(format, static_cast<uint64_t>(length) - format.recordAreaOffset());
  return records > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(records);
}

void DiscardFile(MdataObject& object, const wchar_t* path) {
  object.fd.reset();
  Platform().SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  const BOOL deleted = Platform().DeleteFileW(path);
  TraceStep("discard-metadata").Path("path", path).Win32(deleted);
}

void TraceCheck(const wchar_t* path, MetadataCheck check) {
  TraceEvent step = TraceStep("validate-metadata");
  step.Path("path", path);
  switch (check) {
    case MetadataCheck::kValid: step.Outcome("valid"); return;
    case MetadataCheck::kInvalid: step.Failed("invalid"); return;
    case MetadataCheck::kUnreadable: step.Failed("unreadable"); return;
  }
}

// A journal found at open: nothing to say when there is none.
void TraceRecovery(const wchar_t* path, JournalRecovery recovery) {
  if (recovery == JournalRecovery::kNone) return;
  TraceEvent step = TraceStep("journal-recover");
  step.Path("path", path);
  switch (recovery) {
    case JournalRecovery::kRecovered: step.Outcome("recovered"); return;
    case JournalRecovery::kInUse: step.Failed("in use by a live writer"); return;
    case JournalRecovery::kNoWrite: step.Failed("left for a caller that may write"); return;
    case JournalRecovery::kUntrusted: step.Failed("not the library's: left as it is"); return;
    case JournalRecovery::kNone:
    case JournalRecovery::kFailed: step.Failed("cannot be put back"); return;
  }
}

// Writes the record area's CRC into the header (of `front`, the file's bytes up to its record area
// as read before the change) after the record at `offset` was replaced by `written`, in a file
// `end` bytes long. The CRC the header holds is the one the open proved and every change since has
// kept, so it is carried on by the difference the new bytes make, shifted over the bytes behind
// them; without the bytes replaced it is computed from the file again.
bool StoreHeaderCrc(const MdataObject& object, const std::vector<uint8_t>& front, uint64_t offset, int64_t end,
                    const uint8_t* replaced, const uint8_t* written) {
  const MetadataFormat& format = *object.format;
  std::vector<uint8_t> header(front.begin(), front.begin() + static_cast<std::ptrdiff_t>(format.headerSize));
  const size_t size = format.recordSize;
  uint32_t crc = 0;
  if (replaced && offset + size <= static_cast<uint64_t>(end)) {
    const uint64_t behind = static_cast<uint64_t>(end) - (offset + size);
    const uint32_t held = ReadLe32(header.data() + kHeaderCrcOffset);
    crc = held ^ Crc32Combine(Crc32(replaced, size) ^ Crc32(written, size), 0, behind);
  } else if (!CalcFileCrc32(object.fd.get(), static_cast<int32_t>(format.recordAreaOffset()), &crc)) {
    return false;
  }
  WriteLe32(header.data() + kHeaderCrcOffset, crc);
  return WriteAt(object.fd.get(), 0, header.data(), header.size());
}

// An open file that this caller may change.
bool IsWritable(const MdataObject& object) {
  return object.fd.valid() && object.format && !object.readOnly && !object.writeClosed;
}

// Takes the names of the first `count` records from the bytes of the record area as they stream
// past, in pieces of any size. A record that lies whole in a piece is decoded where it lies; only
// one split between pieces is gathered first.
class NameCollector {
 public:
  NameCollector(const MetadataFormat& format, uint32_t count)
      : format_(format), count_(count), record_(format.recordSize) {
    names_.Reserve(count);
  }

  void Take(const uint8_t* bytes, size_t length) {
    const size_t size = record_.size();
    while (length > 0 && names_.size() < count_) {
      if (filled_ == 0 && length >= size) {
        names_.AppendStored(format_, bytes);
        bytes += size;
        length -= size;
        continue;
      }
      const size_t take = std::min(length, size - filled_);
      std::memcpy(record_.data() + filled_, bytes, take);
      filled_ += take;
      bytes += take;
      length -= take;
      if (filled_ == size) {
        names_.AppendStored(format_, record_.data());
        filled_ = 0;
      }
    }
  }

  bool complete() const { return names_.size() == count_; }
  RecordNames TakeNames() { return std::move(names_); }

 private:
  const MetadataFormat& format_;
  uint32_t count_;
  std::vector<uint8_t> record_;
  size_t filled_ = 0;
  RecordNames names_;
};

// The whole records the file holds, and so the names of its name list: every record the rollback,
// the listing and the need check act on, whatever the unguarded record count says. False when its
// length cannot be taken (a failed seek is no empty file) or it ends inside the header and state
// block.
bool RecordsInLength(int64_t length, const MetadataFormat& format, uint32_t* records) {
  if (length < static_cast<int64_t>(format.recordAreaOffset())) return false;
  *records = RecordsForLength(length, format);
  return true;
}

bool RecordsHeld(const MdataObject& object, uint32_t* records) {
  return object.format && RecordsInLength(FileLength(object.fd.get()), *object.format, records);
}

// The check, handing the bytes of the record area to `eachAreaPiece` as the CRC reads them.
MetadataCheck CheckReadingArea(int fd, const MetadataFormat& format,
                               const std::function<void(const uint8_t*, size_t)>& eachAreaPiece) {
  if (fd == -1) return MetadataCheck::kInvalid;
  std::vector<uint8_t> header(format.headerSize);
  if (Platform().seek(fd, 0, SEEK_SET) != 0) return MetadataCheck::kUnreadable;
  const int got = Platform().read(fd, header.data(), static_cast<unsigned>(header.size()));
  if (got < 0) return MetadataCheck::kUnreadable;
  if (static_cast<size_t>(got) < header.size()) return MetadataCheck::kInvalid;
  if (std::memcmp(header.data(), format.magic, kMagicSize) != 0) return MetadataCheck::kInvalid;
  const int64_t length = FileLength(fd);
  if (length < 0) return MetadataCheck::kUnreadable;
  if (static_cast<uint64_t>(length) < format.recordAreaOffset()) return MetadataCheck::kInvalid;
  // No metadata file grows to 2 GiB; one that did could never be checked and would block every
  // open for good.
  if (length > INT32_MAX) return MetadataCheck::kInvalid;
  // A CRC that cannot be computed says nothing against the file: a passing I/O error must not
  // destroy the records of a backup.
  uint32_t crc = 0;
  if (!CalcFileCrc32(fd, static_cast<int32_t>(format.recordAreaOffset()), &crc, eachAreaPiece)) {
    return MetadataCheck::kUnreadable;
  }
  return crc == ReadLe32(header.data() + kHeaderCrcOffset) ? MetadataCheck::kValid : MetadataCheck::kInvalid;
}

// A writer that began a change after this open judged the file may have made it look invalid for
// a moment: such a file is not the open's to delete. An emptied journal (the database keeps one)
// holds no change.
bool JournalMayExist(const wchar_t* path) { return !JournalHoldsNothing(path); }

// The rollback database keeps its journal between changes, so that its changes in place need no
// new space.
bool KeepsJournal(const MetadataFormat& format) { return format.kind == MdataKind::kRollback; }

// Writes a new file's header and state block; a failure deletes what was written.
bool CreateMetadataFile(MdataObject& object, const MetadataFormat& format, const wchar_t* path,
                        const uint8_t* newState) {
  MetadataChange change(path, -1, nullptr, KeepsJournal(format));
  if (!change.Begin({})) return false;
  // Exclusive: a file that appeared since the existence test is someone else's, never overwritten.
  const int fd = Platform().wopen(path, _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  TraceStep("open-metadata").Path("path", path).Text("as", "new").Crt(fd != -1);
  if (fd == -1) {
    change.Abandon();
    return false;
  }
  change.SetFile(fd);
  const std::vector<uint8_t> header = BuildNewHeader(format);
  if (WriteAt(fd, 0, header.data(), header.size()) && WriteAt(fd, format.stateOffset(), newState, format.stateSize) &&
      change.Commit()) {
    object.fd.reset(fd);
    return true;
  }
  change.SetFile(-1);
  Platform().close(fd);
  return false;
}

// An append that has not reached its commit point, put back when it goes: the file cut to its old
// length, and, once the first sector may have been written, that sector's old bytes put back
// through a journal, so that an undo cut off or failing on the file is finished by the next open.
// An undo that fails closes the object for writing: what it reads no longer matches its view.
class PendingAppend {
 public:
  PendingAppend(MdataObject& object, int64_t end, const std::vector<uint8_t>& front)
      : object_(object), end_(end), front_(front) {}
  ~PendingAppend() {
    if (committed_) return;
    const bool undone = Undo();
    TraceStep("append-undo").Path("path", object_.path).Ok(undone);
    if (!undone) object_.writeClosed = true;
  }
  PendingAppend(const PendingAppend&) = delete;
  PendingAppend& operator=(const PendingAppend&) = delete;

  void FrontWritten() { frontWritten_ = true; }
  void Committed() { committed_ = true; }

 private:
  bool Undo() {
    const int fd = object_.fd.get();
    // The old first sector still counts only the records before the new one: a length that cannot
    // be set back leaves a tail the next open cuts off, but this object would take it for a record.
    if (!frontWritten_) return Platform().chsize(fd, end_) == 0;
    JournalImage image;
    image.oldLength = static_cast<uint64_t>(end_);
    image.ranges.push_back({0, front_});
    {
      MetadataChange change(object_.path, fd, &object_.writeClosed, KeepsJournal(*object_.format));
      if (change.BeginWith(image)) return change.Undo();
    }
    // No journal could be written (a full disk has no room for one): put back directly.
    return WriteAt(fd, 0, front_.data(), front_.size()) && Platform().chsize(fd, end_) == 0 &&
           Platform().commit(fd) == 0;
  }

  MdataObject& object_;
  int64_t end_;
  const std::vector<uint8_t>& front_;
  bool frontWritten_ = false;
  bool committed_ = false;
};

// Whether the count in `front` (the file's bytes up to its record area) names every byte of a file
// `end` bytes long, as after every change the library commits.
bool CountNamesEveryByte(const MetadataFormat& format, const uint8_t* front, int64_t end) {
  return format.recordOffset(StoredRecordCount(format, front)) == static_cast<uint64_t>(end);
}

// Whether the header's CRC is that of the whole record area, so that a change can carry it on. It
// is when the count names every byte. Bytes past the count may be an append that another object
// left unfinished when its process ended: carried on, the CRC would vouch for them, torn or not.
// They are kept only when the CRC covers them already (a count that was damaged); otherwise the
// change is refused, and the next open cuts them off.
bool CrcCoversArea(const MdataObject& object, const uint8_t* front, int64_t end) {
  const MetadataFormat& format = *object.format;
  if (CountNamesEveryByte(format, front, end)) return true;
  uint32_t crc = 0;
  if (CalcFileCrc32(object.fd.get(), static_cast<int32_t>(format.recordAreaOffset()), &crc) &&
      crc == ReadLe32(front + kHeaderCrcOffset)) {
    return true;
  }
  TraceStep("write-record").Path("path", object.path).Failed("bytes past the count that the CRC does not cover");
  return false;
}

// The first sector's bytes up to the record area with the CRC and count of an append.
std::vector<uint8_t> CommittingFront(const MetadataFormat& format, std::vector<uint8_t> front, uint32_t crc,
                                     uint32_t records) {
  WriteLe32(front.data() + kHeaderCrcOffset, crc);
  // The count is set to the records the file holds, so that a damaged count is mended rather than
  // carried on (or wrapped).
  WriteLe32(front.data() + format.stateOffset() + kStateRecordCountOffset, records);
  return front;
}

// An append at the end of the file needs no journal (see CountedAreaLength): the record goes past
// the end and is flushed; then the CRC and the count, in the first sector, are written and flushed,
// which commits it.
bool AppendAtEnd(MdataObject& object, int64_t end, const uint8_t* stored, const std::vector<uint8_t>& front,
                 uint32_t position) {
  const MetadataFormat& format = *object.format;
  const int fd = object.fd.get();
  PendingAppend pending(object, end, front);
  if (!WriteAt(fd, static_cast<uint64_t>(end), stored, format.recordSize) || Platform().commit(fd) != 0) return false;
  // The CRC the open proved, and every append since kept, carried on over the new record.
  const uint32_t crc =
      Crc32Update(ReadLe32(front.data() + kHeaderCrcOffset) ^ 0xFFFFFFFFu, stored, format.recordSize) ^ 0xFFFFFFFFu;
  const std::vector<uint8_t> committed = CommittingFront(format, front, crc, position + 1);
  pending.FrontWritten();
  if (!WriteAt(fd, 0, committed.data(), committed.size()) || Platform().commit(fd) != 0) return false;
  pending.Committed();
  return true;
}

// An append to a file whose count does not name every byte of it: a count that was damaged (mended
// here), or part of a record at the end that the CRC covers. The record may go over bytes the CRC
// vouches for, so the append is journalled like a change in place, and the CRC is taken from the
// file again.
bool AppendJournalled(MdataObject& object, uint64_t offset, int64_t end, const uint8_t* stored,
                      const std::vector<uint8_t>& front, uint32_t position) {
  const MetadataFormat& format = *object.format;
  const int fd = object.fd.get();
  MetadataChange change(object.path, fd, &object.writeClosed, KeepsJournal(format));
  if (!change.Begin({{0, format.recordAreaOffset()}, {offset, static_cast<uint64_t>(end) - offset}})) return false;
  uint32_t crc = 0;
  if (!WriteAt(fd, offset, stored, format.recordSize) ||
      !CalcFileCrc32(fd, static_cast<int32_t>(format.recordAreaOffset()), &crc)) {
    return false;
  }
  const std::vector<uint8_t> committed = CommittingFront(format, front, crc, position + 1);
  return WriteAt(fd, 0, committed.data(), committed.size()) && change.Commit();
}

}  // namespace

bool SetRecordFieldName(char16_t* field, std::wstring_view name) {
  for (size_t i = 0; i < kRecordNameChars; ++i) field[i] = u'\0';
  if (name.size() >= kRecordNameChars) return false;
  for (size_t i = 0; i < name.size(); ++i) field[i] = static_cast<char16_t>(name[i]);
  return true;
}

bool ReadAt(int fd, uint64_t offset, void* buffer, size_t length) {
  if (fd == -1 || length > 0x7FFFFFFF) return false;
  if (Platform().seek(fd, static_cast<int64_t>(offset), SEEK_SET) != static_cast<int64_t>(offset)) return false;
  return Platform().read(fd, buffer, static_cast<unsigned>(length)) == static_cast<int>(length);
}

bool WriteAt(int fd, uint64_t offset, const void* buffer, size_t length) {
  if (fd == -1 || length > 0x7FFFFFFF) return false;
  if (Platform().seek(fd, static_cast<int64_t>(offset), SEEK_SET) != static_cast<int64_t>(offset)) return false;
  return Platform().write(fd, buffer, static_cast<unsigned>(length)) == static_cast<int>(length);
}


MetadataOpen OpenMetadata(MdataObject& object, const MetadataFormat& format, const wchar_t* path,
                          const uint8_t* newState, MetadataAccess access) {
  object.Close();
  if (!path || !newState || !BoundedCopy(object.path, path)) return MetadataOpen::kFailed;
  // A file that is a link, or that another user made, is not the library's: it is neither read,
  // nor put back from a journal, nor deleted when invalid. It stays for an administrator to see.
  const FileTrust fileTrust = JudgeLibraryFile(path);
  switch (fileTrust) {
    case FileTrust::kTrusted:
    case FileTrust::kAbsent: break;
    case FileTrust::kLink:
    case FileTrust::kForeign: return MetadataOpen::kUntrusted;
    case FileTrust::kUnknown: return MetadataOpen::kFailed;
  }
  // A change cut off with its process is undone before the file is judged, so that a half-written
  // record never makes a sound file look invalid. One still under way in a live process keeps the
  // file closed to this open, and so does one that this caller may not write back.
  const JournalRecovery recovery = RecoverJournal(path, KeepsJournal(format));
  TraceRecovery(path, recovery);
  switch (recovery) {
    case JournalRecovery::kNone:
    case JournalRecovery::kRecovered: break;
    case JournalRecovery::kUntrusted: return MetadataOpen::kUntrusted;
    case JournalRecovery::kInUse:
    case JournalRecovery::kNoWrite:
    case JournalRecovery::kFailed: return MetadataOpen::kFailed;
  }
  // Only "not found" means absent, and only a file proved absent is created (exclusively). One that
  // could not be tested, or that appeared meanwhile, is opened as the existing file it is.
  const PathState state = ProbePath(path);
  if (state == PathState::kAbsent) {
    if (CreateMetadataFile(object, format, path, newState)) {
      object.format = &format;
      return MetadataOpen::kOpened;
    }
    // A creation whose undo failed leaves its journal, and the file is not to be used.
    const bool present = ProbePath(path) == PathState::kPresent;
    const bool journal = JournalMayExist(path);
    // A reader that may not create the file finds it as absent as it was, with nothing beside it.
    if (!present && !journal && access == MetadataAccess::kReadOnlyWhenDenied &&
        ProbePath(path) == PathState::kAbsent) {
      return MetadataOpen::kAbsent;
    }
    if (!present || journal) return MetadataOpen::kFailed;
  }
  errno = 0;
  int fd = Platform().wopen(path, _O_RDWR | _O_BINARY, 0);
  const int openError = errno;
  if (fd == -1 && state == PathState::kUnknown && openError == ENOENT) {
    if (!CreateMetadataFile(object, format, path, newState)) return MetadataOpen::kFailed;
    object.format = &format;
    return MetadataOpen::kOpened;
  }
  TraceStep("open-metadata").Path("path", path).Text("as", "existing").Crt(fd != -1);
  if (fd == -1 && openError == EACCES && access == MetadataAccess::kReadOnlyWhenDenied) {
    fd = Platform().wopen(path, _O_RDONLY | _O_BINARY, 0);
    TraceStep("open-metadata").Path("path", path).Text("as", "read-only").Crt(fd != -1);
    object.readOnly = fd != -1;
  }
  if (fd == -1) return MetadataOpen::kFailed;
  object.fd.reset(fd);
  // A file that was not there when it was judged is judged now that it is.
  if (fileTrust == FileTrust::kAbsent) {
    const FileTrust appeared = JudgeLibraryFile(path);
    if (appeared != FileTrust::kTrusted) {
      object.Close();
      return IsUntrusted(appeared) ? MetadataOpen::kUntrusted : MetadataOpen::kFailed;
    }
  }
  // The check reads every record for the CRC; the name list is taken from the same reading, so
  // that a lookup after the open does not read them all again.
  uint32_t nameCount = 0;
  std::optional<NameCollector> names;
  if (RecordsInLength(FileLength(fd), format, &nameCount)) names.emplace(format, nameCount);
  const auto collect = [&names](const uint8_t* piece, size_t length) {
    if (names) names->Take(piece, length);
  };
  const MetadataCheck check = CheckReadingArea(fd, format, collect);
  TraceCheck(path, check);
  switch (check) {
    case MetadataCheck::kValid:
      if (FileLength(fd) < 0) break;
      if (names && names->complete()) object.names = names->TakeNames();
      object.format = &format;
      return MetadataOpen::kOpened;
    case MetadataCheck::kInvalid:
      // A caller that may only read deletes nothing: the next caller that can write does.
      if (object.readOnly || JournalMayExist(path)) break;
      switch (CutUnfinishedAppend(fd, format, path)) {
        case AppendCut::kCut:
          // The names are read again at the first lookup.
          object.format = &format;
          return MetadataOpen::kOpened;
        case AppendCut::kFailed: break;
        case AppendCut::kNone:
          DiscardFile(object, path);
          return MetadataOpen::kFailed;
      }
      break;
    case MetadataCheck::kUnreadable:
      break;
  }
  object.Close();
  return MetadataOpen::kFailed;
}

AppendCut CutUnfinishedAppend(int fd, const MetadataFormat& format, const wchar_t* path) {
  std::vector<uint8_t> front(format.recordAreaOffset());
  const int64_t length = FileLength(fd);
  if (length < static_cast<int64_t>(front.size()) || !ReadAt(fd, 0, front.data(), front.size()) ||
      std::memcmp(front.data(), format.magic, kMagicSize) != 0) {
    return AppendCut::kNone;
  }
  const uint32_t count = StoredRecordCount(format, front.data());
  uint64_t counted = 0;
  if (!CountedAreaLength(format, count, static_cast<uint64_t>(length) - front.size(), &counted)) return AppendCut::kNone;
  // One reading: the CRC of the whole area, and that of the counted records on the way. A file
  // whose whole record area matches is sound as it is, whatever its count says.
  uint32_t crc = 0;
  uint32_t countedReg = 0xFFFFFFFFu;
  uint64_t seen = 0;
  const auto countedPart = [&countedReg, &seen, counted](const uint8_t* piece, size_t bytes) {
    if (seen < counted) {
      countedReg = Crc32Update(countedReg, piece, static_cast<size_t>(std::min<uint64_t>(bytes, counted - seen)));
    }
    seen += bytes;
  };
  if (!CalcFileCrc32(fd, static_cast<int32_t>(front.size()), &crc, countedPart)) return AppendCut::kFailed;
  const uint32_t countedCrc = countedReg ^ 0xFFFFFFFFu;
  const uint32_t stored = ReadLe32(front.data() + kHeaderCrcOffset);
  if (crc == stored || countedCrc != stored) return AppendCut::kNone;
  const bool cut = Platform().chsize(fd, static_cast<int64_t>(front.size() + counted)) == 0 && Platform().commit(fd) == 0;
  TraceStep("cut-unfinished-append").Path("path", path).Number("records", count).Crt(cut);
  return cut ? AppendCut::kCut : AppendCut::kFailed;
}

bool OpenMetadataFile(MdataObject& object, const MetadataFormat& format, const wchar_t* path,
                      const uint8_t* newState) {
  return OpenMetadata(object, format, path, newState, MetadataAccess::kReadWrite) == MetadataOpen::kOpened;
}

bool ReadStoredRecord(const MdataObject& object, uint32_t index, uint8_t* stored) {
  if (!stored || !object.format) return false;
  return ReadAt(object.fd.get(), object.format->recordOffset(index), stored, object.format->recordSize);
}

bool ReadStoredRecords(const MdataObject& object, uint32_t first, uint32_t count, std::vector<uint8_t>* stored) {
  if (!stored || !object.format) return false;
  stored->resize(size_t{count} * object.format->recordSize);
  return count == 0 || ReadAt(object.fd.get(), object.format->recordOffset(first), stored->data(), stored->size());
}

bool AppendStoredRecord(MdataObject& object, const uint8_t* stored, std::wstring_view name, uint32_t* index) {
  if (!IsWritable(object) || !stored) return false;
  const MetadataFormat& format = *object.format;
  const int fd = object.fd.get();
  const int64_t end = FileLength(fd);
  uint32_t position = 0;
  if (!RecordsInLength(end, format, &position) || position == UINT32_MAX) return false;
  // The record lands right after the last whole record, over any part of one left at the end
  // (which no reader takes for a record), so that records stay aligned.
  const uint64_t offset = format.recordOffset(position);

  std::vector<uint8_t> front(format.recordAreaOffset());
  if (!ReadAt(fd, 0, front.data(), front.size())) return false;
  if (!CrcCoversArea(object, front.data(), end)) return false;
  const bool appended = CountNamesEveryByte(format, front.data(), end)
                            ? AppendAtEnd(object, end, stored, front, position)
                            : AppendJournalled(object, offset, end, stored, front, position);
  if (!appended) return false;

  // The append's commit point flushed the file, and with it everything written before: closing
  // has nothing left to flush.
  object.modified = false;
  if (index) *index = position;
  // A list that does not end where this record begins misses records appended through another
  // object since it was loaded: it is dropped, and the next lookup reads every name again.
  if (object.names.size() == position) {
    object.names.Append(name);
  } else {
    object.names.clear();
  }
  return true;
}

bool OverwriteStoredRecord(MdataObject& object, uint32_t index, const uint8_t* stored) {
  if (!IsWritable(object) || !stored) return false;
  const MetadataFormat& format = *object.format;
  const int64_t end = FileLength(object.fd.get());
  uint32_t held = 0;
  // Only a record the file holds is replaced: one past the end would leave a gap, or a record no
  // count and no name list knows of.
  if (!RecordsInLength(end, format, &held) || index >= held) return false;
  const uint64_t offset = format.recordOffset(index);

  std::vector<uint8_t> front(format.recordAreaOffset());
  if (!ReadAt(object.fd.get(), 0, front.data(), front.size()) || !CrcCoversArea(object, front.data(), end)) return false;
  // The bytes replaced carry the CRC on; without them it is computed from the file again.
  std::vector<uint8_t> replaced(format.recordSize);
  if (!ReadAt(object.fd.get(), offset, replaced.data(), replaced.size())) replaced.clear();
  MetadataChange change(object.path, object.fd.get(), &object.writeClosed, KeepsJournal(*object.format));
  if (!change.Begin({{0, format.recordAreaOffset()}, {offset, format.recordSize}})) return false;
  if (!WriteAt(object.fd.get(), offset, stored, format.recordSize) ||
      !StoreHeaderCrc(object, front, offset, end, replaced.empty() ? nullptr : replaced.data(), stored) ||
      !change.Commit()) {
    return false;
  }
  object.modified = true;
  if (index < object.names.size()) object.names.Replace(index, DecodeStoredRecordName(format, stored));
  return true;
}

bool LoadMetadataNames(MdataObject& object) {
  if (!object.fd.valid() || !object.format) return false;
  const MetadataFormat& format = *object.format;
  uint32_t count = 0;
  if (!RecordsHeld(object, &count)) return false;
  object.names.clear();
  // Read in pieces of whole records, so that no buffer grows with the file.
  NameCollector names(format, count);
  const uint32_t perPiece = std::max<uint32_t>(1, static_cast<uint32_t>(kFilePieceSize / format.recordSize));
  std::vector<uint8_t> piece(size_t{std::min(count, perPiece)} * format.recordSize);
  for (uint32_t done = 0; done < count;) {
    const uint32_t records = std::min(count - done, perPiece);
    const size_t bytes = size_t{records} * format.recordSize;
    if (!ReadAt(object.fd.get(), format.recordOffset(done), piece.data(), bytes)) return false;
    names.Take(piece.data(), bytes);
    done += records;
  }
  object.names = names.TakeNames();
  return true;
}

NameLookup FindMetadataName(MdataObject& object, std::wstring_view name, uint32_t* index) {
  if (!index) return NameLookup::kUnavailable;
  // Another process may have appended since the list was loaded (an object lives across calls,
  // the product lock only across one): a list that no longer matches the file is loaded again.
  const bool stale = object.names.empty() || object.names.size() != CountRecordsFromLength(object);
  if (stale && !LoadMetadataNames(object)) return NameLookup::kUnavailable;
  for (size_t i = 0; i < object.names.size(); ++i) {
    if (object.names[i] == name) {
      *index = static_cast<uint32_t>(i);
      return NameLookup::kFound;
    }
  }
  return NameLookup::kNotFound;
}

bool ReadStateBlock(const MdataObject& object, uint8_t* state) {
  return state && object.format && ReadAt(object.fd.get(), object.format->stateOffset(), state, object.format->stateSize);
}

bool WriteStateBlock(const MdataObject& object, const uint8_t* state) {
  if (!state || !IsWritable(object)) return false;
  const MetadataFormat& format = *object.format;
  {
    MetadataChange change(object.path, object.fd.get(), &object.writeClosed, KeepsJournal(*object.format));
    if (change.Begin({{format.stateOffset(), format.stateSize}})) {
      return WriteAt(object.fd.get(), format.stateOffset(), state, format.stateSize) && change.Commit();
    }
  }
  // No journal could be begun, as on a full disk, which has no room for one. A state block in the
  // file's first sector needs none: a write of one sector lands whole or not at all, so the status
  // can still be marked. Only while no earlier journal waits to be put back over it, though, and a
  // write that cannot be flushed is taken back, so that a failure leaves the old state.
  if (format.stateOffset() + format.stateSize > kSectorSize || object.writeClosed ||
      !JournalHoldsNothing(object.path)) {
    return false;
  }
  TraceStep("write-state").Path("path", object.path).Outcome("in one sector, without a journal");
  std::vector<uint8_t> old(format.stateSize);
  if (!ReadAt(object.fd.get(), format.stateOffset(), old.data(), old.size())) return false;
  if (!WriteAt(object.fd.get(), format.stateOffset(), state, format.stateSize)) return false;
  if (Platform().commit(object.fd.get()) == 0) return true;
  const bool undone = WriteAt(object.fd.get(), format.stateOffset(), old.data(), old.size()) &&
                      Platform().commit(object.fd.get()) == 0;
  if (!undone) object.writeClosed = true;
  return false;
}

bool ReplaceMetadataContent(MdataObject& object, const std::vector<uint8_t>& content) {
  if (!IsWritable(object) || content.size() > INT64_MAX) return false;
  const int64_t length = FileLength(object.fd.get());
  if (length < 0) return false;
  MetadataChange change(object.path, object.fd.get(), &object.writeClosed, KeepsJournal(*object.format));
  if (!change.Begin({{0, static_cast<uint64_t>(length)}}) || !WriteAt(object.fd.get(), 0, content.data(), content.size()) ||
      Platform().chsize(object.fd.get(), static_cast<int64_t>(content.size())) != 0 || !change.Commit()) {
    return false;
  }
  object.modified = true;
  object.names.clear();
  return true;
}

uint32_t CountRecordsFromLength(const MdataObject& object) {
  if (!object.fd.valid() || !object.format) return 0;
  return RecordsForLength(FileLength(object.fd.get()), *object.format);
}

}  // namespace mivra
