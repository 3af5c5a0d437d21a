#include "update/rollback/place_restored.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "update/digest/file_digest.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_info.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/reparse_point.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"
#include "update/rollback/temp_names.h"

namespace mivra {
namespace {

constexpr int kMaxAttempts = 5;   // failed renames, moves, copies and digest mismatches together
constexpr int kMaxWaits = 5;      // waits for a destination in use
constexpr DWORD kRetryDelayMs = 500;

// Pushes a placed file's data to disk; a destination that cannot be opened for it still counts
// as placed.
void FlushToDisk(const wchar_t* path) {
  ScopedHandle file(Platform().CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file) Platform().FlushFileBuffers(file.get());
}

// Moves the destination out of the way under an aside name, kept until the restored file is in
// place, so that a failed entry can put it back. False when it is in use so that it cannot be moved.
bool ClearDestination(const wchar_t* destination, std::vector<std::wstring>* asides) {
  if (ProbePath(destination) == PathState::kAbsent) return true;
  wchar_t aside[kPathCapacity];
  // The first name that is free or whose file (left by an earlier rollback) can be deleted, so that
  // moved-aside files do not pile up from one rollback to the next. A rename that failed is not
  // tried again under another name: a destination in use refuses every name alike.
  if (!MoveAsideLockedFileTo(destination, aside)) return false;
  asides->emplace_back(aside);
  return true;
}

// The restored file is in place: the versions set aside go, now or, when still in use, as soon as
// their holders let go. One that cannot be deleted stays, like any file moved aside.
void DropAsides(const std::vector<std::wstring>& asides) {
  for (const std::wstring& aside : asides) {
    Platform().SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
    const BOOL deleted = Platform().DeleteFileW(aside.c_str());
    TraceStep("delete").Path("path", aside.c_str()).Win32(deleted);
  }
}

// The entry failed: the installed file set aside first goes back under its name, so that no
// installed file is missing after a failed rollback.
void PutBackAside(const wchar_t* destination, const std::vector<std::wstring>& asides) {
  if (asides.empty() || ProbePath(destination) == PathState::kPresent) return;
  const bool putBack = Platform().wrename(asides.front().c_str(), destination) == 0;
  TraceStep("put-back").Path("from", asides.front().c_str()).Path("to", destination).Crt(putBack);
}

// Overwrites a destination in use with the staged copy; accepted only when the result has the
// expected digest.
bool OverwriteInPlace(const RestoreEntry& entry) {
  const BOOL copied = Platform().CopyFileW(entry.tempPath, entry.destinationPath, FALSE);
  TraceStep("overwrite").Path("from", entry.tempPath).Path("to", entry.destinationPath).Win32(copied);
  if (!copied) return false;
  FlushToDisk(entry.destinationPath);
  uint8_t digest[16] = {};
  if (!GetFileDigest(entry.destinationPath, digest)) std::memset(digest, 0, sizeof(digest));
  const bool same = std::memcmp(digest, entry.expectedDigest, sizeof(digest)) == 0;
  if (!same) TraceStep("verify").Path("path", entry.destinationPath).Failed("digest differs");
  return same;
}

bool MoveIntoPlace(RestoreEntry& entry) {
  const bool renamed = Platform().wrename(entry.tempPath, entry.destinationPath) == 0;
  TraceStep("rename").Path("from", entry.tempPath).Path("to", entry.destinationPath).Crt(renamed);
  if (!renamed) {
    // Where the C runtime refuses, the system's move is tried once.
    const BOOL moved = Platform().MoveFileW(entry.tempPath, entry.destinationPath);
    TraceStep("move").Path("from", entry.tempPath).Path("to", entry.destinationPath).Win32(moved);
    if (!moved) return false;
  }
  entry.tempMoved = true;
  FlushToDisk(entry.destinationPath);
  return true;
}

// Renames the open staged copy over `destination` through its own handle, which holds the right to
// rename it: neither name is opened again.
bool RenameThroughHandle(HANDLE staged, const wchar_t* destination) {
  constexpr size_t kNameAt = offsetof(FILE_RENAME_INFO, FileName);
  alignas(FILE_RENAME_INFO) unsigned char buffer[kNameAt + kPathCapacity * sizeof(wchar_t)] = {};
  const size_t length = std::wcslen(destination);
  if (length >= kPathCapacity) return false;
  FILE_RENAME_INFO* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(length * sizeof(wchar_t));
  std::memcpy(buffer + kNameAt, destination, length * sizeof(wchar_t));
  return Platform().SetFileInformationByHandle(staged, FileRenameInfo, buffer,
                                               static_cast<DWORD>(kNameAt + (length + 1) * sizeof(wchar_t))) != FALSE;
}

// A destination that nobody holds is replaced by the staged copy in one rename: at every moment
// the name holds the old file or the new one, and no name beside it is looked for or taken (under
// Wine each look for an absent name reads the whole folder). A destination that is held, mapped or
// read-only refuses this and is set aside instead. The rename goes through the staged copy's own
// handle when it was kept open, and by name otherwise, writing through. The staged copy's data was
// flushed when it was staged, and the install directory is flushed once all are placed
// (FlushPlacedNames), which makes the names last as flushing each destination would, without an
// open of each.
bool ReplaceDestination(RestoreEntry& entry) {
  bool replaced = false;
  if (entry.staged) {
    replaced = RenameThroughHandle(entry.staged.get(), entry.destinationPath);
    // Whatever follows (setting the destination aside, an overwrite, a deletion) goes by name,
    // which this handle, shared for reading only, would refuse.
    entry.staged.reset();
  } else {
    replaced = Platform().MoveFileExW(entry.tempPath, entry.destinationPath,
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }
  // A refusal is no failure: the destination is set aside next.
  TraceStep("replace").Path("from", entry.tempPath).Path("to", entry.destinationPath).Outcome(
      replaced ? "ok" : "refused");
  if (!replaced) return false;
  entry.tempMoved = true;
  return true;
}

// A destination that is a link is replaced itself: the link goes and the restored file takes its
// name. It is never set aside (a rename may move what it points to instead) nor overwritten in
// place (the copy would go through it), and no wait makes it anything else.
bool ReplaceLink(RestoreEntry& entry) {
  if (RemoveLink(entry.destinationPath)) return MoveIntoPlace(entry);
  TraceStep("place").Path("path", entry.destinationPath).Failed("a link that cannot be removed itself");
  return false;
}

bool PlaceEntryOverDestination(RestoreEntry& entry, std::vector<std::wstring>* asides) {
  // A link to a file is replaced by this rename as any file is.
  if (ReplaceDestination(entry)) return true;
  if (ProbeEntry(entry.destinationPath) == EntryKind::kLink) return ReplaceLink(entry);
  int attempts = 0;
  int waits = 0;
  for (;;) {
    bool placed;
    if (ClearDestination(entry.destinationPath, asides)) {
      placed = MoveIntoPlace(entry);
    } else if (waits < kMaxWaits) {
      TraceStep("wait").Path("path", entry.destinationPath).Number("wait", waits + 1).Outcome("in-use");
      Platform().Sleep(kRetryDelayMs);
      ++waits;
      continue;
    } else {
      placed = OverwriteInPlace(entry);
    }
    if (placed) return true;
    if (++attempts == kMaxAttempts) {
      TraceStep("place").Path("path", entry.destinationPath).Number("attempts", attempts).Failed("gave up");
      return false;
    }
    TraceStep("retry").Path("path", entry.destinationPath).Number("attempt", attempts).Outcome("waiting");
    Platform().Sleep(kRetryDelayMs);
  }
}

bool PlaceEntry(RestoreEntry& entry) {
  std::vector<std::wstring> asides;
  if (PlaceEntryOverDestination(entry, &asides)) {
    DropAsides(asides);
    return true;
  }
  PutBackAside(entry.destinationPath, asides);
  return false;
}

// Flushes the install directory itself, so that the names the renames gave the restored files are
// on disk before the rollback database says the rollback is done. A directory that cannot be opened
// or flushed for it (a system that does not flush directories) leaves each rename's write-through.
void FlushPlacedNames() {
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return;
  ScopedHandle folder(Platform().CreateFileW(installDir, GENERIC_READ | GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const bool flushed = folder && Platform().FlushFileBuffers(folder.get());
  TraceStep("flush-folder").Path("path", installDir).Win32(flushed);
}

}  // namespace

bool PlaceRestoredFiles(RollbackContext& context) {
  bool allPlaced = true;
  for (RestoreEntry& entry : context.entries) {
    if (!PlaceEntry(entry)) allPlaced = false;
  }
  FlushPlacedNames();
  return allPlaced;
}

void DeleteStagedFiles(RollbackContext& context) {
  for (RestoreEntry& entry : context.entries) {
    entry.staged.reset();
    // A staged copy moved into place left nothing behind to look for.
    if (entry.tempMoved) continue;
    DeleteFileIfPresent(entry.tempPath);
  }
}

}  // namespace mivra
