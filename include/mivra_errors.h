/* mivra.dll error codes: the one list of every code an export writes, with its name and meaning.
 *
 * MIVRA_ERROR_LIST(X) calls X(name, code, meaning) once per code, in code order; the MIVRA_E_*
 * constants below are made from it, and so are mivractl's messages and the README's table. Codes
 * 122 and 123 are not used. */
#ifndef MIVRA_ERRORS_H_
#define MIVRA_ERRORS_H_

#include <stdint.h>

#define MIVRA_ERROR_LIST(X)                                                                                          \
  X(MIVRA_E_BAD_PATH, 101,                                                                                           \
    "the path holds no backslash, or what follows its last backslash is not one plain file name")                    \
  X(MIVRA_E_BKMDATA_OPEN, 102,                                                                                       \
    "bkmdata.dat of the backup folder cannot be opened or created, or failed validation and was deleted; "           \
    "or another process held the library's lock for 60 seconds")                                                     \
  X(MIVRA_E_BACKUP_FOLDER, 103,                                                                                      \
    "the backup folder cannot be resolved: company or product name unavailable, no Common Files folder, the path "  \
    "is too long, or the base or backup folder is a link")                                                           \
  X(MIVRA_E_NOT_IN_INSTALL_DIR, 104,                                                                                 \
    "the folder the path names is not the install directory (a relative path, a subfolder or another folder), "      \
    "whether or not the file exists")                                                                                \
  X(MIVRA_E_NO_MEMORY, 105, "the temporary metadata object cannot be allocated")                                    \
  X(MIVRA_E_RBMDATA_OPEN, 106,                                                                                       \
    "rbmdata.dat cannot be opened, created or validated; or another process held the library's lock for "            \
    "60 seconds")                                                                                                    \
  X(MIVRA_E_RB_NAME_TOO_LONG, 107, "the file name does not fit the 260-character name field of a rollback record")  \
  X(MIVRA_E_FOLDER_DELETE, 108,                                                                                      \
    "a backup folder cannot be deleted (the leftover tmpbkup, or delbkup during a commit) or it is or holds a "      \
    "link, or the backup copy of a removed file can be neither deleted nor scheduled for deletion")                  \
  X(MIVRA_E_NAME_TOO_LONG, 109, "the file name does not fit the 260-character name field of a backup record")       \
  X(MIVRA_E_FILE_ATTRIBUTES, 110, "the size and last-write time of the file cannot be read")                         \
  X(MIVRA_E_DIGEST, 111,                                                                                             \
    "the MD5 digest of the backed-up copy cannot be computed (not written: such a copy fails with 127)")             \
  X(MIVRA_E_RECORD_READ, 112, "a record of bkmdata.dat cannot be read")                                              \
  X(MIVRA_E_RECORD_WRITE, 113,                                                                                       \
    "a record of bkmdata.dat cannot be written, the file name is already recorded there, or the handle "             \
    "given is not a backup's")                                                                                       \
  X(MIVRA_E_NOT_IN_BACKUP, 114, "the name is not recorded in the committed backup")                                 \
  X(MIVRA_E_PATH_TOO_LONG, 115, "a path composed from a backup folder and a name exceeds 260 characters")           \
  X(MIVRA_E_FOLDER_RENAME, 116, "renaming the backup folders during the commit failed, or one of them is a link")   \
  X(MIVRA_E_FEATURE_OFF, 117, "the library is switched off by section.ini ([UPDATE] MIVRA=0)")                      \
  X(MIVRA_E_BACKUP_DAMAGED, 118,                                                                                     \
    "the committed backup is damaged: a backed-up copy is missing or changed, or it was marked damaged before")     \
  X(MIVRA_E_BACKUP_CHECK, 119, "verification of the committed backup could not be carried out")                     \
  X(MIVRA_E_RESTORE_PREPARE, 120, "preparing the restore from the committed backup failed")                         \
  X(MIVRA_E_RESTORE_APPLY, 121, "the restore has nothing to put back, or putting the prepared files in place failed") \
  X(MIVRA_E_RB_FILE_ATTRIBUTES, 124, "the size and last-write time of the file cannot be read for a rollback record") \
  X(MIVRA_E_RB_STATUS_READ, 125, "the status block of rbmdata.dat cannot be read")                                   \
  X(MIVRA_E_RB_RESET, 126, "rbmdata.dat cannot be deleted (a rollback that cannot rebuild it reports 128)")          \
  X(MIVRA_E_FILE_COPY, 127, "copying the file into the backup folder, or verifying the copy, failed")                \
  X(MIVRA_E_RB_REBUILD, 128, "rebuilding the rollback database after a restore failed")                              \
  X(MIVRA_E_RB_RECORD_WRITE, 129,                                                                                    \
    "a rollback record cannot be written, or the handle given is not the rollback database's")                       \
  X(MIVRA_E_NO_BACKUP, 130,                                                                                          \
    "there is no committed backup to work from: the folder bkup is missing or its bkmdata.dat holds no records")     \
  X(MIVRA_E_ROLLBACK_LIMIT, 131, "15 rollbacks have been made since the rollback database was started")

/* The codes as constants; unsigned in C++, as the error variable is. */
#define MIVRA_ERROR_CONSTANT(name, code, meaning) name = code,
#ifdef __cplusplus
enum MivraErrorCode : uint32_t { MIVRA_ERROR_LIST(MIVRA_ERROR_CONSTANT) };
#else
enum MivraErrorCode { MIVRA_ERROR_LIST(MIVRA_ERROR_CONSTANT) };
#endif
#undef MIVRA_ERROR_CONSTANT

#endif /* MIVRA_ERRORS_H_ */
