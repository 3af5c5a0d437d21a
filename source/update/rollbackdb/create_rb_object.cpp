#include "update/rollbackdb/create_rb_object.h"

#include <new>

#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

RbObjectResult CreateRbObject(std::unique_ptr<MdataObject>* object) {
  if (!object) return RbObjectResult::kNoMemory;
  object->reset();
  std::unique_ptr<MdataObject> created(new (std::nothrow) MdataObject);
  if (!created) return RbObjectResult::kNoMemory;
  if (!OpenRbMdata(*created)) return RbObjectResult::kOpenFailed;
  *object = std::move(created);
  return RbObjectResult::kOpened;
}

}  // namespace mivra
