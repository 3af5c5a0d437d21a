#include "update/store/metadata_journal.h"

#include <windows.h>
#include <fcntl.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "update/frame/file_info.h"
#include "update/frame/file_trust.h"
#include "update/frame/platform_calls.h"
#include "update/frame/reparse_point.h"
#include "update/frame/trace_log.h"
#include "update/store/metadata_store.h"

namespace mivra {
namespace {

constexpr DWORD kJournalChunk = 64 * 1024;

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED position = {};
  position.Offset = static_cast<DWORD>(offset);
  position.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return position;
}

bool WriteJournalBytes(HANDLE journal, uint64_t offset, const uint8_t* bytes, size_t length) {
  if (length > MAXDWORD) return false;
  OVERLAPPED position = At(offset);
  DWORD written = 0;
  return Platform().WriteFile(journal, bytes, static_cast<DWORD>(length), &written, &position) &&
         written == length;
}

bool ReadJournalBytes(HANDLE journal, std::vector<uint8_t>* bytes) {
  bytes->clear();
  for (;;) {
    const size_t had = bytes->size();
    bytes->resize(had + kJournalChunk);
    OVERLAPPED position = At(had);
    DWORD got = 0;
    if (!Platform().ReadFile(journal, bytes->data() + had, kJournalChunk, &got, &position)) {
      bytes->resize(had);
      return Platform().GetLastError() == ERROR_HANDLE_EOF;
    }
    bytes->resize(had + got);
    if (got == 0) return true;
  }
}

ScopedHandle OpenJournal(const wchar_t* path, DWORD disposition, bool* existed = nullptr) {
  // No sharing: while the handle lives, nobody else can open the journal, and that is how others
  // tell a change under way from one whose writer is gone. Never through a link: the journal is
  // written, read back into the file and deleted.
  return OpenFileNotLink(path, GENERIC_READ | GENERIC_WRITE, 0, disposition, existed);
}

// Only the library's own journal is read back into a file or written over: another user's would
// write what that user chose into the file, and a link would take the change elsewhere.
bool MayUseJournal(FileTrust trust) { return trust == FileTrust::kTrusted || trust == FileTrust::kAbsent; }

// A kept journal is written padded to its kept size: what lies past the image is never read.
bool WriteJournal(HANDLE journal, const JournalImage& image, bool keep) {
  std::vector<uint8_t> bytes = EncodeJournal(image);
  if (keep && bytes.size() < kKeptJournalSize) bytes.resize(kKeptJournalSize);
  return WriteJournalBytes(journal, 0, bytes.data(), bytes.size()) && Platform().FlushFileBuffers(journal);
}

// The file at `path` as a journal is put back into it: through `fd`, or through a descriptor
// opened at the first step that needs one when `fd` is -1.
class FileTarget : public JournalTarget {
 public:
  FileTarget(const wchar_t* path, int fd) : path_(path), fd_(fd) {}

  bool RemoveFile() override {
    // A file open here is one that the change is still writing: it is not this undo's to delete.
    if (fd_ != -1) return false;
    Platform().SetFileAttributesW(path_, FILE_ATTRIBUTE_NORMAL);
    return Platform().DeleteFileW(path_) || IsNotFoundError(Platform().GetLastError());
  }
  bool Write(uint64_t offset, const uint8_t* bytes, size_t length) override {
    return Open() && WriteAt(fd_, offset, bytes, length);
  }
  bool SetLength(uint64_t length) override {
    return length <= INT64_MAX && Open() && Platform().chsize(fd_, static_cast<int64_t>(length)) == 0;
  }
  // Makes what was put back last: only an undo on disk stands for the change it undid.
  bool Flush() { return Open() && Platform().commit(fd_) == 0; }

 private:
  bool Open() {
    if (fd_ != -1) return true;
    own_.reset(Platform().wopen(path_, _O_RDWR | _O_BINARY, 0));
    fd_ = own_.get();
    return own_.valid();
  }

  const wchar_t* path_;
  int fd_;
  ScopedFd own_;
};

// Sets the file at `path` (open on `fd`, or opened here when -1) back to the journal's image, the
// way every reader of a journal puts it back (PutJournalBack).
bool ApplyJournal(const JournalImage& image, const wchar_t* path, int fd) {
  FileTarget target(path, fd);
  if (!PutJournalBack(image, target)) return false;
  return image.oldLength == kJournalFileAbsent || target.Flush();
}

// Makes the journal say nothing before it goes, so that whoever opens it between the close and the
// deletion finds nothing to put back. The emptied magic is flushed: this is the change's commit
// point, and a journal whose deletion failed must not come back whole after a power cut to undo a
// change that counted as done. A kept journal stays, emptied, with its space.
bool RetireJournal(ScopedHandle& journal, const wchar_t* journalPath, bool keep) {
  static const uint8_t kNoMagic[kJournalMagicSize] = {};
  if (!WriteJournalBytes(journal.get(), 0, kNoMagic, sizeof(kNoMagic)) || !Platform().FlushFileBuffers(journal.get())) {
    return false;
  }
  journal.reset();
  if (keep) return true;
  // One that cannot be deleted now is harmless: it holds nothing to put back.
  Platform().DeleteFileW(journalPath);
  return true;
}

}  // namespace

bool JournalPathFor(const wchar_t* path, wchar_t (&journal)[kPathCapacity]) {
  if (!path) return false;
  return BoundedCopy(journal, JournalPathOf(path));
}

JournalRecovery RecoverJournal(const wchar_t* path, bool keep) {
  wchar_t journalPath[kPathCapacity] = {};
  if (!JournalPathFor(path, journalPath)) return JournalRecovery::kFailed;
  // One that is not the library's is left as it is, whatever it holds, and so is the file.
  switch (JudgeLibraryFile(journalPath)) {
    case FileTrust::kTrusted: break;
    case FileTrust::kAbsent: return JournalRecovery::kNone;
    case FileTrust::kLink:
    case FileTrust::kForeign: return JournalRecovery::kUntrusted;
    case FileTrust::kUnknown: return JournalRecovery::kFailed;
  }
  ScopedHandle journal(OpenJournal(journalPath, OPEN_EXISTING));
  if (!journal) {
    const DWORD error = Platform().GetLastError();
    if (IsNotFoundError(error)) return JournalRecovery::kNone;
    // A caller that may only read leaves a change for one that can write; an emptied journal (the
    // database keeps one) holds none.
    if (error != ERROR_ACCESS_DENIED) return JournalRecovery::kInUse;
    return JournalHoldsNothing(path) ? JournalRecovery::kNone : JournalRecovery::kNoWrite;
  }

  std::vector<uint8_t> bytes;
  if (!ReadJournalBytes(journal.get(), &bytes)) return JournalRecovery::kFailed;
  JournalImage image;
  if (!DecodeJournal(bytes.data(), bytes.size(), &image)) {
    // Cut off while it was written, before the file was touched, or already retired.
    journal.reset();
    if (!keep) Platform().DeleteFileW(journalPath);
    return JournalRecovery::kNone;
  }
  // The file a change left half-done is gone: the journal's few saved bytes cannot make it again,
  // and kept, the journal would fail every open of the file for good.
  if (image.oldLength != kJournalFileAbsent && ProbePath(path) == PathState::kAbsent) {
    journal.reset();
    Platform().DeleteFileW(journalPath);
    return JournalRecovery::kNone;
  }
  if (!ApplyJournal(image, path, -1)) return JournalRecovery::kFailed;
  // A journal that cannot be retired still matches the file it was just put back into, so
  // putting it back again later changes nothing.
  RetireJournal(journal, journalPath, keep);
  return JournalRecovery::kRecovered;
}

bool JournalHoldsNothing(const wchar_t* path) {
  wchar_t journalPath[kPathCapacity] = {};
  if (!JournalPathFor(path, journalPath)) return false;
  // Read alone, so that a caller that may only read can tell too; unshared, so that a live
  // writer's journal is never taken for an empty one.
  ScopedHandle journal(OpenFileNotLink(journalPath, GENERIC_READ, 0, OPEN_EXISTING));
  if (!journal) return IsNotFoundError(Platform().GetLastError());
  std::vector<uint8_t> bytes;
  JournalImage image;
  return ReadJournalBytes(journal.get(), &bytes) && !DecodeJournal(bytes.data(), bytes.size(), &image);
}

bool MetadataChange::Begin(std::initializer_list<ByteRange> ranges) {
  if (journal_) return false;
  JournalImage image;
  if (!SaveImage(ranges, &image)) {
    TraceStep("journal-begin").Path("path", path_).Failed("the bytes to save cannot be read");
    return false;
  }
  return BeginWith(std::move(image));
}

bool MetadataChange::BeginWith(JournalImage image) {
  if (journal_ || !JournalPathFor(path_, journalPath_)) return false;
  // Most changes find no journal: creating one exclusively proves that and makes it, with one look
  // for the name. Only one that is there is judged (a link or another user's is not used).
  bool existed = false;
  ScopedHandle journal(OpenJournal(journalPath_, CREATE_NEW));
  if (!journal && IsExistsError(Platform().GetLastError())) {
    if (!MayUseJournal(JudgeLibraryFile(journalPath_))) return false;
    journal = OpenJournal(journalPath_, OPEN_ALWAYS, &existed);
  }
  if (!journal) return TraceStep("journal-begin").Path("path", journalPath_).Win32(false);
  if (existed) {
    // Left by an earlier change whose undo failed. Putting it back here would change the file
    // under a caller that has already read it (its end, its CRC): the journal stays untouched for
    // the next open. One that holds nothing to put back is simply written over.
    std::vector<uint8_t> bytes;
    JournalImage leftover;
    if (!ReadJournalBytes(journal.get(), &bytes)) return false;
    if (DecodeJournal(bytes.data(), bytes.size(), &leftover)) {
      TraceStep("journal-begin").Path("path", journalPath_).Failed("an earlier change is still to be undone");
      return false;
    }
  }
  // The journal must be on disk before the file changes, or a crash could leave a half-changed
  // file with nothing to undo it.
  if (!WriteJournal(journal.get(), image, keep_)) {
    TraceStep("journal-begin").Path("path", journalPath_).Win32(false);
    // Whatever of it was written describes the file as it still is. One made just now goes, even
    // when it is to be kept: on a full disk it could not even be emptied, and it holds no space.
    if (existed) {
      RetireJournal(journal, journalPath_, keep_);
    } else {
      journal.reset();
      Platform().DeleteFileW(journalPath_);
    }
    return false;
  }
  journal_ = std::move(journal);
  image_ = std::move(image);
  return true;
}

bool MetadataChange::SaveImage(std::initializer_list<ByteRange> ranges, JournalImage* image) const {
  if (fd_ == -1) {
    image->oldLength = kJournalFileAbsent;
    return true;
  }
  const int64_t length = Platform().seek(fd_, 0, SEEK_END);
  if (length < 0) return false;
  image->oldLength = static_cast<uint64_t>(length);
  for (const ByteRange& range : ranges) {
    if (range.offset >= image->oldLength) continue;
    SavedBytes saved;
    saved.offset = range.offset;
    const uint64_t inFile = image->oldLength - range.offset;
    saved.bytes.resize(static_cast<size_t>(range.length < inFile ? range.length : inFile));
    if (!ReadAt(fd_, saved.offset, saved.bytes.data(), saved.bytes.size())) return false;
    image->ranges.push_back(std::move(saved));
  }
  return true;
}

bool MetadataChange::Commit() {
  if (!journal_) return false;
  // The change must be on disk before its journal goes.
  if ((fd_ != -1 && Platform().commit(fd_) != 0) || !Retire()) {
    TraceStep("journal-commit").Path("path", path_).Crt(false);
    // A file this change created is undone by deleting it, which waits until the caller has
    // closed it (SetFile(-1)) and the change goes.
    if (image_.oldLength != kJournalFileAbsent || fd_ == -1) Undo();
    return false;
  }
  return TraceStep("journal-commit").Path("path", path_).Ok(true);
}

bool MetadataChange::Undo() {
  if (!journal_) return true;
  // A retirement that failed may have emptied the journal already: it is made to hold the image
  // again, on disk, before the file is touched, or an undo cut off halfway would leave a
  // half-restored file with nothing to put it back. Should that fail too, the file is put back all
  // the same: left as it is, it would hold a change reported as failed.
  if (retiring_) WriteJournal(journal_.get(), image_, keep_);
  const bool undone = ApplyJournal(image_, path_, fd_) && Retire();
  TraceStep("journal-undo").Path("path", path_).Ok(undone);
  if (undone) return true;
  journal_.reset();
  if (undoFailed_) *undoFailed_ = true;
  return false;
}

void MetadataChange::Abandon() {
  if (!journal_ || Retire()) return;
  journal_.reset();
  Platform().DeleteFileW(journalPath_);
}

bool MetadataChange::Retire() {
  retiring_ = true;
  if (!RetireJournal(journal_, journalPath_, keep_)) return false;
  image_ = {};
  return true;
}

}  // namespace mivra
