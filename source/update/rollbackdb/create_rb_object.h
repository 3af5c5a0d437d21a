// An object open on the rollback database, for the caller to keep or for one call to use.
#ifndef MIVRA_UPDATE_ROLLBACKDB_CREATE_RB_OBJECT_H_
#define MIVRA_UPDATE_ROLLBACKDB_CREATE_RB_OBJECT_H_

#include <memory>

#include "update/store/mdata_object.h"

namespace mivra {

enum class RBObjectResult {
  kOpened,
  kNoMemory,    // the object could not be allocated
  kOpenFailed,  // rbmdata.dat could not be opened, created or validated
};

// Allocates an object and opens rbmdata.dat in it, creating an empty database when it is missing.
// `object` receives the open object, and nothing on failure.
RBObjectResult CreateRBObject(std::unique_ptr<MdataObject>* object);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_CREATE_RB_OBJECT_H_
