#include "update/rollbackdb/mark_update_status.h"

#include "update/rollbackdb/rbmdata_store.h"

namespace mivra {

bool StoreUpdateStatus(const MdataObject& object, uint8_t status) {
  RBMdataState state{};
  if (!ReadRBState(object, &state)) return false;
  state.updateStatus = status;
  return WriteRBState(object, state);
}

MarkStatusResult MarkUpdateStatus(uint8_t status) {
  MdataObject object;
  if (!OpenRBMdata(object)) return MarkStatusResult::kOpenFailed;
  return StoreUpdateStatus(object, status) ? MarkStatusResult::kMarked : MarkStatusResult::kStateIoFailed;
}

}  // namespace mivra
