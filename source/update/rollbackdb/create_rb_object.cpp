#include "update/rollbackdb/create_rb_object.h"

#include <new>

#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

RBObjectResult CreateRBObject(std::unique_ptr<MdataObject>* object, MetadataAccess access) {
  if (!object) return RBObjectResult::kNoMemory;
  object->reset();
  std::unique_ptr<MdataObject> created(new (std::nothrow) MdataObject);
  if (!created) return RBObjectResult::kNoMemory;
  switch (OpenRBMdataFile(*created, access)) {
    case MetadataOpen::kOpened: break;
    case MetadataOpen::kAbsent: return RBObjectResult::kAbsent;
    case MetadataOpen::kFailed:
    case MetadataOpen::kUntrusted: return RBObjectResult::kOpenFailed;
  }
  *object = std::move(created);
  return RBObjectResult::kOpened;
}

}  // namespace mivra
