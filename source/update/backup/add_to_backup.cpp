#include "update/backup/add_to_backup.h"

#include <memory>
#include <string_view>

#include "update/backup/bkmdata_store.h"
#include "update/backup/commit_journal.h"
#include "update/backup/copy_verified.h"
#include "update/backup/shared_copy.h"
#include "update/frame/backup_folder.h"
#include "update/frame/bounded_string.h"
#include "update/frame/file_info.h"
#include "update/frame/file_name.h"
#include "update/frame/install_dir.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// The live record that another spelling of `name` already made in this backup ("Dup.txt" for
// "dup.txt", or a short alias): the file system takes both for one file, so that record's copy is
// this name's copy too. kWalked with `*found` false when there is none.
RecordWalk FindRecordOfSameFile(MdataObject& object, const wchar_t* folder, std::wstring_view name,
                                BkMdataRecord* earlier, bool* found) {
  *found = false;
  const auto sameFile = [folder, name](std::wstring_view recorded) {
    return !recorded.empty() && NamesShareFile(folder, name, recorded);
  };
  return ForEachLiveBkRecord(
      object,
      [earlier, found](uint32_t, const BkMdataRecord& record) {
        *earlier = record;
        *found = true;
        return false;
      },
      sameFile);
}

// What the record keeps of the file at `path`: its verified copy at `copyPath`, digest, size and
// time, or that it does not exist. kAdded when taken.
AddResult TakeFileState(const wchar_t* path, const wchar_t* copyPath, BkMdataRecord* record) {
  // Only "not found" makes a file absent: recorded absent, an existing file would be deleted by
  // a rollback instead of restored.
  const PathState state = ProbePath(path);
  if (state == PathState::kUnknown) {
    TraceStep("exists").Path("path", path).Win32(false);
    return AddResult::kFileAttributes;
  }
  if (state == PathState::kAbsent) {
    TraceStep("exists").Path("path", path).Outcome("absent");
    record->flags = BKREC_ABSENT;
    return AddResult::kAdded;
  }
  // The record keeps the copy's digest as the verification has just taken it.
  if (!CopyFileVerified(path, copyPath, nullptr, record->digest)) return AddResult::kCopyFailed;
  if (!ReadFileSizeAndTime(path, &record->fileSizeLow, &record->lastWriteTime)) return AddResult::kFileAttributes;
  return AddResult::kAdded;
}

// `openedIn`: the folder the object was just opened in, which then need not be resolved again.
AddResult AddWithObject(MdataObject& object, uint32_t folderKind, const wchar_t* openedIn, const wchar_t* path) {
  std::wstring_view name;
  // The name is joined to backup and install folders alike, so it must name a file in them.
  if (!TakeFileName(path, &name) || !IsPlainFileName(name)) return AddResult::kBadPath;
  // An object whose earlier change could not be undone records nothing more: refused before a copy
  // is made for a record that could not be written.
  if (object.writeClosed) return AddResult::kRecordWrite;

  wchar_t folder[kPathCapacity] = {};
  const ExistingFolders existing =
      object.closedFolderKind == folderKind ? ExistingFolders::kKnownClosed : ExistingFolders::kClose;
  const bool resolved = openedIn ? BoundedCopy(folder, openedIn) : GetBackupFolder(folder, folderKind, true, existing);
  if (!resolved) return AddResult::kBackupFolder;
  wchar_t copyPath[kPathCapacity] = {};
  if (!JoinPath(copyPath, folder, name)) return AddResult::kPathTooLong;

  // Refused before copying: the copy of a recorded name is a verified backup and must not be
  // replaced by a newer state of the file.
  uint32_t recorded = 0;
  if (LookUpBkRecord(object, name, &recorded) != NameLookup::kNotFound) return AddResult::kAlreadyRecorded;

  BkMdataRecord record = {};
  bool sameFile = false;
  // A record that cannot be read may be this file's: copying again could lose the state it proved.
  if (FindRecordOfSameFile(object, folder, name, &record, &sameFile) != RecordWalk::kWalked) {
    return AddResult::kAlreadyRecorded;
  }
  if (sameFile) {
    // Copying again would put the file's present state, perhaps already updated, under the earlier
    // record's digest and lose the state it proved. The new record shares that copy and its proof.
    TraceStep("shared-copy").Path("path", copyPath).Outcome("recorded under another spelling");
  } else if (const AddResult taken = TakeFileState(path, copyPath, &record); taken != AddResult::kAdded) {
    return taken;
  }
  if (!SetRecordFieldName(record.fileName, name)) return AddResult::kNameTooLong;

  if (!AppendBkRecord(object, record)) return AddResult::kRecordWrite;
  return AddResult::kAdded;
}

}  // namespace

AddResult AddFileToBackup(MdataObject* object, const wchar_t* path) {
  if (!path) return AddResult::kBadPath;
  // A rollback database's object would take backup records into rbmdata.dat.
  if (object && !IsBackupObject(*object)) return AddResult::kWrongObject;
  RecoverInterruptedCommit(true);
  // Only an existing file can be placed; one that does not exist yet goes on to be recorded as
  // absent under its name.
  bool outside = false;
  if (IsOutsideInstallDir(path, &outside) && outside) return AddResult::kNotInInstallDir;

  if (object) return AddWithObject(*object, BKF_TMPBKUP, nullptr, path);

  std::unique_ptr<MdataObject> own = NewMdataObject();
  if (!own) return AddResult::kNoMemory;
  // The folder is resolved, and its access judged, once for the open and the copy alike.
  wchar_t folder[kPathCapacity] = {};
  if (!GetBackupFolder(folder, BKF_BKUP, true) || OpenBkMdataIn(*own, folder) != MetadataOpen::kOpened) {
    return AddResult::kMetadataOpen;
  }
  return AddWithObject(*own, BKF_BKUP, folder, path);
}

}  // namespace mivra
