// How far a commit has come, kept in "cmt.jnl" in the base folder while the commit swaps the
// backup folders, so that a commit cut off with its process is finished or undone by the next
// call that uses the folders. The committing process holds the journal open without sharing, so a
// journal that cannot be opened belongs to a commit under way and is left alone.
#ifndef MIVRA_UPDATE_BACKUP_COMMIT_JOURNAL_H_
#define MIVRA_UPDATE_BACKUP_COMMIT_JOURNAL_H_

#include <cstdint>

#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"

namespace mivra {

enum class CommitPhase : uint8_t {
  kUnknown = 0,    // no journal, or an empty one: the folders alone tell what happened
  kSwapping = 1,   // "bkup" is being moved aside to "delbkup" and "tmpbkup" into its place
  kRetiring = 2,   // the new backup is in place; "delbkup" is an old backup being deleted
  kRestoring = 3,  // the staging folder could not be moved: "delbkup" goes back to "bkup"
};

// The folders of one product's backups.
struct BackupFolders {
  wchar_t base[kPathCapacity] = {};
  wchar_t committed[kPathCapacity] = {};  // bkup
  wchar_t staging[kPathCapacity] = {};    // tmpbkup
  wchar_t retired[kPathCapacity] = {};    // delbkup
  wchar_t journal[kPathCapacity] = {};    // cmt.jnl
};

// False when a path does not fit.
bool ComposeBackupFolders(const wchar_t* base, BackupFolders* folders);

class CommitJournal {
 public:
  // Opens or creates the journal without sharing; false when another process holds it, when it
  // is a link, or when its owner cannot be read.
  bool Open(const wchar_t* path);
  // The phase recorded; kUnknown for a journal that someone else wrote.
  CommitPhase Read() const;
  // Records the phase; `durable` flushes it before the folders change.
  bool Write(CommitPhase phase, bool durable);
  // Closes and deletes the journal: the commit is over.
  void Finish();

 private:
  const wchar_t* path_ = nullptr;
  ScopedHandle handle_;
  bool trusted_ = false;
};

// Finishes or undoes a commit that a process that is gone left between its folder moves: no
// "bkup", and "delbkup" there. With `completeStaged`, a staged "tmpbkup" beside them is put in
// place as the commit intended; without it (the commit itself, whose own steps do that) only an
// old backup that has no successor is put back. Anything the folders cannot tell for sure is left.
void RecoverInterruptedCommit(bool completeStaged);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_COMMIT_JOURNAL_H_
