#include "update/rollback/need_decision.h"

namespace mivra {

bool NeedDecision::TakeUpdateStatus(uint8_t status) {
  if (decided_) return true;
  if ((flags_ & kCheckInterruptedUpdate) && status == 1) {
    answer_.reason = NeedReason::kInterruptedUpdate;
    decided_ = true;
  } else if (!(flags_ & kCheckChangedFiles)) {
    decided_ = true;
  }
  return decided_;
}

bool NeedDecision::TakeFile(uint32_t index, const FileJudgement& judgement) {
  if (decided_) return true;
  if (judgement.failsCheck()) {
    answer_ = {NeedReason::kCheckFails, index};
    decided_ = true;
  } else if (judgement.needsRollback()) {
    answer_ = {NeedReason::kChangedFile, index};
    decided_ = true;
  }
  return decided_;
}

}  // namespace mivra
