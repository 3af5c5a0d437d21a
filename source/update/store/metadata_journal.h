// Changes of a metadata file that happen whole or not at all, in the manner of a rollback journal:
// before a change, the bytes it will overwrite and the file's old length are saved in a journal
// beside the file ("bkmdata.jnl" beside "bkmdata.dat") and flushed; then the file is changed and
// flushed, and the journal is dropped. A change that fails is undone from the journal before the
// call returns; one cut off with its process is undone by the next open, which finds the journal.
//
// The rollback database keeps its journal between changes (emptied, not deleted, and never smaller
// than kKeptJournalSize), so that a change in place needs no new space on a full disk, where an
// update most needs to mark its status. The backup folders' journals come and go with each change,
// so that between calls a backup folder holds only its metadata file and the copies.
//
// The writer holds its journal open without sharing while the change runs, so a journal that
// cannot be opened belongs to a live writer and is left alone: only what a process that is gone
// left behind is ever put back.
#ifndef MIVRA_UPDATE_STORE_METADATA_JOURNAL_H_
#define MIVRA_UPDATE_STORE_METADATA_JOURNAL_H_

#include <cstdint>
#include <initializer_list>

#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"
#include "update/store/journal_format.h"

namespace mivra {

struct ByteRange {
  uint64_t offset;
  uint64_t length;
};

// The journal beside `path`: the file's extension replaced by ".jnl".
bool JournalPathFor(const wchar_t* path, wchar_t (&journal)[kPathCapacity]);

// What a kept journal is allocated to at least: more than an in-place change of one record or of the
// state block needs.
inline constexpr size_t kKeptJournalSize = 4096;

enum class JournalRecovery {
  kNone,       // no journal, or one cut off before the file was touched (deleted unless kept)
  kRecovered,  // the change of a writer that is gone was undone
  kInUse,      // a live writer holds the journal: its change is under way
  kFailed,     // the file could not be put back; the journal stays for the next open
  kNoWrite,    // this caller may not write the journal: the next caller that can puts it back
  kUntrusted,  // the journal is a link or another user's: never applied, left as it is
};

// Undoes a change of the file at `path` that its writer left unfinished, before anyone judges
// the file. The file itself must have been proved to be no link and the library's own. `keep`: the
// journal is one kept between changes, emptied rather than deleted.
JournalRecovery RecoverJournal(const wchar_t* path, bool keep = false);

// True when the journal beside `path` is proved to hold nothing to put back: there is none, or it
// can be read and holds no whole journal. False when it may hold one, or cannot be told.
bool JournalHoldsNothing(const wchar_t* path);

// One change of one file: Begin saves what it will overwrite, Commit makes it last. A change
// begun and not committed is undone when the object goes.
class MetadataChange {
 public:
  // `fd` is the file open for reading and writing, or -1 for a file that is about to be created
  // (then an undo deletes it, and the caller closes the file before that). `undoFailed`, when
  // given, is set once an undo of this change fails. `keep`: the journal stays between changes.
  MetadataChange(const wchar_t* path, int fd, bool* undoFailed = nullptr, bool keep = false)
      : path_(path), fd_(fd), undoFailed_(undoFailed), keep_(keep) {}
  ~MetadataChange() { Undo(); }
  MetadataChange(const MetadataChange&) = delete;
  MetadataChange& operator=(const MetadataChange&) = delete;

  // Saves the old length and the bytes of `ranges` that lie in the file, durably. Nothing of the
  // file changes here. A journal of an earlier change that was never undone makes it fail: the
  // caller worked out its change from a file that journal is still to change, so putting it back
  // is left to the next open, which judges the file afresh. So does a journal that is a link or
  // another user's.
  bool Begin(std::initializer_list<ByteRange> ranges);
  // The same with what the file is to be put back to given: for a change made without a journal
  // that did not reach its commit point, whose undo this change then is (Undo right after).
  bool BeginWith(JournalImage image);

  // The descriptor of a file created after Begin, or -1 once the caller closed it.
  void SetFile(int fd) { fd_ = fd; }

  // Drops the journal of a change that never touched the file (a file to be created that another
  // process created first is not this change's to delete).
  void Abandon();

  // Flushes the file and drops the journal. A failure undoes the change.
  bool Commit();

  // Puts the saved bytes back and drops the journal; when that fails the journal stays on disk,
  // for the next change or the next open. True when there is nothing left to undo.
  bool Undo();

 private:
  bool SaveImage(std::initializer_list<ByteRange> ranges, JournalImage* image) const;
  bool Retire();

  const wchar_t* path_;
  int fd_;
  bool* undoFailed_;
  bool keep_;
  bool retiring_ = false;  // the journal may have been emptied on disk
  wchar_t journalPath_[kPathCapacity] = {};
  ScopedHandle journal_;
  JournalImage image_;
};

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_METADATA_JOURNAL_H_
