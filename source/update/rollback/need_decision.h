// How the rollback need check comes to its answer: the stored update status first, then the
// registered files in record order, the first that needs a rollback or fails the check deciding.
// The check and the tools that explain it decide alike. Byte-level code.
#ifndef MIVRA_UPDATE_ROLLBACK_NEED_DECISION_H_
#define MIVRA_UPDATE_ROLLBACK_NEED_DECISION_H_

#include <cstdint>

#include "update/rollback/registered_file_judgement.h"

namespace mivra {

inline constexpr uint32_t kCheckInterruptedUpdate = 0x2;  // the stored update status is 1
inline constexpr uint32_t kCheckChangedFiles = 0x4;       // a registered file changed behind its time

enum class NeedReason {
  kNone,               // no test finds a rollback needed
  kInterruptedUpdate,  // the update status is 1
  kChangedFile,        // the record `record` names a file that differs behind its recorded time
  kCheckFails,         // the record `record` names a file that cannot be judged: the check fails
};

struct NeedAnswer {
  NeedReason reason = NeedReason::kNone;
  uint32_t record = 0;  // the deciding record, for kChangedFile and kCheckFails

  bool needed() const { return reason == NeedReason::kInterruptedUpdate || reason == NeedReason::kChangedFile; }
};

class NeedDecision {
 public:
  // `flags` selects the tests (kCheckInterruptedUpdate, kCheckChangedFiles).
  explicit NeedDecision(uint32_t flags) : flags_(flags) {}

  // The stored update status. True once the answer is decided: the files need not be judged.
  bool TakeUpdateStatus(uint8_t status);
  // The judgement of record `index`, in record order. True once the answer is decided; what comes
  // after it changes nothing.
  bool TakeFile(uint32_t index, const FileJudgement& judgement);

  bool decided() const { return decided_; }
  // The answer so far; final once decided or once every record was taken.
  const NeedAnswer& answer() const { return answer_; }

 private:
  uint32_t flags_;
  bool decided_ = false;
  NeedAnswer answer_;
};

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_NEED_DECISION_H_
