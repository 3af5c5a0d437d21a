// Registering an installed file in the rollback database: one record per file name, overwritten
// when the name is registered again, appended otherwise.
#ifndef MIVRA_UPDATE_ROLLBACKDB_UPDATE_ROLLBACK_DB_H_
#define MIVRA_UPDATE_ROLLBACKDB_UPDATE_ROLLBACK_DB_H_

#include <cstdint>

#include "update/rollbackdb/rb_record_layout.h"
#include "update/store/mdata_object.h"

namespace mivra {

enum class RBUpdateResult {
  kWritten,
  kOutsideInstallDir,  // the file exists but not directly in the install directory
  kNoMemory,           // the temporary object could not be allocated
  kOpenFailed,         // rbmdata.dat could not be opened, created or validated
  kBadPath,            // no backslash, or the text after the last one is no plain file name
  kNoAttributes,       // the file's size and last-write time cannot be read
  kNameTooLong,        // the name does not fit a record's name field
  kWriteFailed,        // no open file, or the record could not be written
  kWrongObject,        // the caller's object is not open on the rollback database: nothing is done
};

// Registers the file at `path` with the caller's size and 16-byte digest and the file's own
// last-write time. With a null `object` the database is opened for this call alone and closed
// before it returns; a caller's object is used and left open, and must be a rollback object.
RBUpdateResult UpdateRollbackDB(MdataObject* object, const wchar_t* path, uint32_t fileSizeLow,
                                const uint8_t* digest);

// The record that registering the file at `path` writes; kWritten when it could be built.
RBUpdateResult BuildRBRecord(const wchar_t* path, uint32_t fileSizeLow, const uint8_t* digest, RBMdataRecord* record);

// The same on an object that is already open, without the install-directory test.
RBUpdateResult RegisterRBFile(MdataObject& object, const wchar_t* path, uint32_t fileSizeLow, const uint8_t* digest);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_UPDATE_ROLLBACK_DB_H_
