#include "error_names.h"

#include "command_line.h"
#include "mivra.h"

namespace mivra::ctl {
namespace {

const ErrorName kErrorNames[] = {
    {MIVRA_E_BAD_PATH, "MIVRA_E_BAD_PATH", "the path holds no backslash, so no file name can be taken from it"},
    {MIVRA_E_BKMDATA_OPEN, "MIVRA_E_BKMDATA_OPEN",
     "bkmdata.dat of the backup folder cannot be opened or created, or failed validation and was deleted"},
    {MIVRA_E_BACKUP_FOLDER, "MIVRA_E_BACKUP_FOLDER",
     "the backup folder cannot be resolved: company or product name unavailable, no Common Files folder, or "
     "the path is too long"},
    {MIVRA_E_NOT_IN_INSTALL_DIR, "MIVRA_E_NOT_IN_INSTALL_DIR",
     "the file exists but does not lie directly in the install directory"},
    {MIVRA_E_NO_MEMORY, "MIVRA_E_NO_MEMORY", "the temporary metadata object cannot be allocated"},
    {MIVRA_E_RBMDATA_OPEN, "MIVRA_E_RBMDATA_OPEN", "rbmdata.dat cannot be opened, created or validated"},
    {MIVRA_E_RB_NAME_TOO_LONG, "MIVRA_E_RB_NAME_TOO_LONG",
     "the file name does not fit the 260-character name field of a rollback record"},
    {MIVRA_E_FOLDER_DELETE, "MIVRA_E_FOLDER_DELETE",
     "a backup folder cannot be deleted (the leftover tmpbkup, or delbkup during a commit)"},
    {MIVRA_E_NAME_TOO_LONG, "MIVRA_E_NAME_TOO_LONG",
     "the file name does not fit the 260-character name field of a backup record"},
    {MIVRA_E_FILE_ATTRIBUTES, "MIVRA_E_FILE_ATTRIBUTES", "the size and last-write time of the file cannot be read"},
    {MIVRA_E_DIGEST, "MIVRA_E_DIGEST", "the MD5 digest of the backed-up copy cannot be computed"},
    {MIVRA_E_RECORD_READ, "MIVRA_E_RECORD_READ", "a record of bkmdata.dat cannot be read"},
    {MIVRA_E_RECORD_WRITE, "MIVRA_E_RECORD_WRITE",
     "a record of bkmdata.dat cannot be written, or the file name is already recorded there"},
    {MIVRA_E_NOT_IN_BACKUP, "MIVRA_E_NOT_IN_BACKUP", "the name is not recorded in the committed backup"},
    {MIVRA_E_PATH_TOO_LONG, "MIVRA_E_PATH_TOO_LONG", "a path composed from a backup folder and a name exceeds 260 "
                                                     "characters"},
    {MIVRA_E_FOLDER_RENAME, "MIVRA_E_FOLDER_RENAME", "renaming the backup folders during the commit failed"},
    {MIVRA_E_FEATURE_OFF, "MIVRA_E_FEATURE_OFF", "the library is switched off by section.ini ([UPDATE] MIVRA=0)"},
    {MIVRA_E_BACKUP_DAMAGED, "MIVRA_E_BACKUP_DAMAGED",
     "the committed backup is damaged: a backed-up copy is missing or changed, or it was marked damaged before"},
    {MIVRA_E_BACKUP_CHECK, "MIVRA_E_BACKUP_CHECK", "verification of the committed backup could not be carried out"},
    {MIVRA_E_RESTORE_PREPARE, "MIVRA_E_RESTORE_PREPARE", "preparing the restore from the committed backup failed"},
    {MIVRA_E_RESTORE_APPLY, "MIVRA_E_RESTORE_APPLY",
     "the restore has nothing to put back, or putting the prepared files in place failed"},
    {MIVRA_E_RB_FILE_ATTRIBUTES, "MIVRA_E_RB_FILE_ATTRIBUTES",
     "the size and last-write time of the file cannot be read for a rollback record"},
    {MIVRA_E_RB_STATUS_READ, "MIVRA_E_RB_STATUS_READ", "the status block of rbmdata.dat cannot be read"},
    {MIVRA_E_RB_RESET, "MIVRA_E_RB_RESET", "rbmdata.dat cannot be deleted to be rebuilt after a restore"},
    {MIVRA_E_FILE_COPY, "MIVRA_E_FILE_COPY", "copying the file into the backup folder, or verifying the copy, failed"},
    {MIVRA_E_RB_REBUILD, "MIVRA_E_RB_REBUILD", "rebuilding the rollback database after a restore failed"},
    {MIVRA_E_RB_RECORD_WRITE, "MIVRA_E_RB_RECORD_WRITE", "a rollback record cannot be written"},
    {MIVRA_E_NO_BACKUP, "MIVRA_E_NO_BACKUP",
     "there is no committed backup to work from: the folder bkup is missing or its bkmdata.dat holds no records"},
    {MIVRA_E_ROLLBACK_LIMIT, "MIVRA_E_ROLLBACK_LIMIT",
     "15 rollbacks have been made since the rollback database was started"},
};

}  // namespace

const ErrorName* FindErrorName(uint32_t code) {
  for (const ErrorName& entry : kErrorNames) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::string DescribeError(uint32_t code) {
  const ErrorName* entry = FindErrorName(code);
  if (!entry) return "error " + std::to_string(code) + ": not a code of the library";
  return "error " + std::to_string(code) + " " + entry->name + ": " + entry->meaning;
}

int ReportLibraryFailure(const char* command, const std::string& what, uint32_t code, std::ostream& err) {
  err << "mivractl " << command << ": " << what << " failed: ";
  if (code == 0) {
    err << "without an error code\n";
  } else {
    err << DescribeError(code) << "\n";
  }
  return kExitFailed;
}

}  // namespace mivra::ctl
