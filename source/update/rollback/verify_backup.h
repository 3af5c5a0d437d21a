// The first step of a rollback: prove every copy of the committed backup.
#ifndef MIVRA_UPDATE_ROLLBACK_VERIFY_BACKUP_H_
#define MIVRA_UPDATE_ROLLBACK_VERIFY_BACKUP_H_

#include <cstdint>

namespace mivra {

// Checks every backup copy of the committed backup against the digest of its record. False when
// the check could not be carried out (folder, metadata file, a record, a path, or a copy that is
// there but cannot be read now, or whose owner cannot be read); true otherwise, with `intact` 0
// when a copy is missing or changed, or is a link or another user's file, when a record names no
// plain file of the install directory, when the metadata file or its journal is a link or another
// user's, or when the backup was marked damaged before. A damaged backup is marked so in its
// metadata file, and every later check stops there; a metadata file that is not the library's is
// not written.
bool VerifyBackupCopies(uint8_t* intact);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_VERIFY_BACKUP_H_
