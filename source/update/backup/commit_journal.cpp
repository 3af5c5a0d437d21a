#include "update/backup/commit_journal.h"

#include <windows.h>

#include "update/frame/backup_folder.h"
#include "update/frame/file_info.h"
#include "update/frame/file_owner.h"
#include "update/frame/platform_calls.h"
#include "update/frame/reparse_point.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

const char* PhaseWord(CommitPhase phase) {
  switch (phase) {
    case CommitPhase::kSwapping: return "swapping";
    case CommitPhase::kRetiring: return "retiring";
    case CommitPhase::kRestoring: return "restoring";
    case CommitPhase::kUnknown: break;
  }
  return "none";
}

bool TracedMove(const wchar_t* from, const wchar_t* to) {
  // Renaming a link would move what it points to on some systems: a link is never moved.
  if (!IsNotLink(from)) return false;
  const bool moved = Platform().MoveFileW(from, to);
  return TraceStep("rename").Path("from", from).Path("to", to).Win32(moved);
}

// Acts on what the journal and the folders tell; false when it left everything as it was.
bool RecoverFolders(const BackupFolders& folders, CommitJournal& journal, bool completeStaged) {
  const PathState staged = ProbePath(folders.staging);
  if (staged == PathState::kUnknown) return false;
  const CommitPhase phase = journal.Read();
  TraceStep("commit-recover").Path("journal", folders.journal).Text("phase", PhaseWord(phase)).Number(
      "staged", staged == PathState::kPresent).Outcome("started");
  switch (phase) {
    case CommitPhase::kRetiring:
      if (DeleteFolderTree(folders.retired)) journal.Finish();
      return true;
    case CommitPhase::kRestoring:
      break;
    case CommitPhase::kUnknown:
    case CommitPhase::kSwapping:
      if (staged == PathState::kAbsent) break;
      // The commit had been asked for: its new backup goes in place and the old one goes.
      if (!completeStaged || !TracedMove(folders.staging, folders.committed)) return false;
      if (DeleteFolderTree(folders.retired)) journal.Finish();
      else journal.Write(CommitPhase::kRetiring, true);
      return true;
  }
  if (!TracedMove(folders.retired, folders.committed)) return false;
  journal.Finish();
  return true;
}

}  // namespace

bool ComposeBackupFolders(const wchar_t* base, BackupFolders* folders) {
  return BoundedCopy(folders->base, base) && JoinPath(folders->committed, base, L"bkup") &&
         JoinPath(folders->staging, base, L"tmpbkup") && JoinPath(folders->retired, base, L"delbkup") &&
         JoinPath(folders->journal, base, L"cmt.jnl");
}

bool CommitJournal::Open(const wchar_t* path) {
  path_ = path;
  trusted_ = false;
  handle_ = OpenFileNotLink(path, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS);
  if (!handle_) return false;
  // A journal that another user wrote tells nothing of a commit of this library: its phase is not
  // acted on. One whose owner cannot be read is left for a later call.
  switch (CheckFileOwner(path)) {
    case OwnerTrust::kTrusted: trusted_ = true; break;
    case OwnerTrust::kForeign: break;
    case OwnerTrust::kUnknown: handle_.reset(); return false;
  }
  return true;
}

CommitPhase CommitJournal::Read() const {
  if (!trusted_) return CommitPhase::kUnknown;
  uint8_t phase = 0;
  DWORD got = 0;
  OVERLAPPED start = {};
  if (!Platform().ReadFile(handle_.get(), &phase, 1, &got, &start) || got != 1) return CommitPhase::kUnknown;
  switch (phase) {
    case static_cast<uint8_t>(CommitPhase::kSwapping):
    case static_cast<uint8_t>(CommitPhase::kRetiring):
    case static_cast<uint8_t>(CommitPhase::kRestoring): return static_cast<CommitPhase>(phase);
  }
  return CommitPhase::kUnknown;
}

bool CommitJournal::Write(CommitPhase phase, bool durable) {
  const uint8_t byte = static_cast<uint8_t>(phase);
  DWORD written = 0;
  OVERLAPPED start = {};
  return Platform().WriteFile(handle_.get(), &byte, 1, &written, &start) && written == 1 &&
         (!durable || Platform().FlushFileBuffers(handle_.get()));
}

void CommitJournal::Finish() {
  if (!handle_.valid()) return;
  // Emptied first, so that whoever opens it between the close and the deletion finds no phase.
  Write(CommitPhase::kUnknown, false);
  handle_.reset();
  Platform().DeleteFileW(path_);
}

void RecoverInterruptedCommit(bool completeStaged) {
  wchar_t base[kPathCapacity] = {};
  BackupFolders folders;
  if (!GetBackupFolder(base, BKF_BASE, false) || !ComposeBackupFolders(base, &folders)) return;
  const PathState committed = ProbePath(folders.committed);
  if (committed == PathState::kUnknown) return;
  const PathState retired = ProbePath(folders.retired);
  if (retired == PathState::kUnknown) return;
  const bool journalThere = ProbePath(folders.journal) != PathState::kAbsent;
  if (committed == PathState::kPresent && retired == PathState::kPresent) {
    // Both there only once a commit has put its new backup in place: "delbkup" is the old one, to
    // be deleted whatever phase the journal holds, before anyone deletes "bkup" and leaves it
    // looking like a backup moved aside.
    CommitJournal journal;
    if (!journal.Open(folders.journal)) {
      TraceStep("commit-recover").Path("journal", folders.journal).Outcome("in-use");
      return;
    }
    if (DeleteFolderTree(folders.retired)) journal.Finish();
    else journal.Write(CommitPhase::kRetiring, true);
    return;
  }
  if (committed == PathState::kPresent || retired == PathState::kAbsent) {
    // Nothing to recover. A journal left by a commit that ended cleanly goes, unless its commit
    // is still under way.
    if (journalThere && committed == PathState::kPresent && retired == PathState::kAbsent) {
      CommitJournal stale;
      if (stale.Open(folders.journal)) stale.Finish();
    }
    return;
  }

  // No committed backup, and "delbkup" there: a commit stopped between its moves, or an old
  // backup left to be deleted whose successor has gone since.
  CommitJournal journal;
  if (!journal.Open(folders.journal)) {
    TraceStep("commit-recover").Path("journal", folders.journal).Outcome("in-use");
    return;  // a commit under way in another process
  }
  if (!RecoverFolders(folders, journal, completeStaged) && !journalThere) journal.Finish();
}

}  // namespace mivra
