#include "update/rollback/place_restored.h"

#include <windows.h>

#include <cstring>

#include "update/digest/file_digest.h"
#include "update/frame/deferred_delete.h"
#include "update/frame/file_info.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/rollback/temp_names.h"
#include "update/frame/trace_log.h"

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

// Removes the destination, or moves it aside when it cannot be deleted. False when it is in use
// so that neither works.
bool ClearDestination(const wchar_t* destination) {
  if (!PathExists(destination)) return true;
  Platform().SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
  return TraceStep("delete").Path("path", destination).Win32(Platform().DeleteFileW(destination)) ||
         MoveAsideLockedFile(destination);
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
  if (!TraceStep("rename").Path("from", entry.tempPath).Path("to", entry.destinationPath).Crt(
          Platform().wrename(entry.tempPath, entry.destinationPath) == 0) &&
      !TraceStep("move").Path("from", entry.tempPath).Path("to", entry.destinationPath).Win32(
          Platform().MoveFileW(entry.tempPath, entry.destinationPath))) {
    return false;
  }
  entry.tempMoved = true;
  FlushToDisk(entry.destinationPath);
  return true;
}

bool PlaceEntry(RestoreEntry& entry) {
  int attempts = 0;
  int waits = 0;
  for (;;) {
    bool placed;
    if (ClearDestination(entry.destinationPath)) {
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

}  // namespace

bool PlaceRestoredFiles(RollbackContext& context) {
  bool allPlaced = true;
  for (RestoreEntry* entry = context.head; entry; entry = entry->next) {
    if (!PlaceEntry(*entry)) allPlaced = false;
  }
  return allPlaced;
}

void DeleteStagedFiles(const RollbackContext& context) {
  for (const RestoreEntry* entry = context.head; entry; entry = entry->next) {
    // A staged copy moved into place left nothing behind to look for.
    if (entry->tempMoved) continue;
    Platform().SetFileAttributesW(entry->tempPath, FILE_ATTRIBUTE_NORMAL);
    if (PathExists(entry->tempPath)) DeleteFileNowOrAtRestart(entry->tempPath);
  }
}

}  // namespace mivra
