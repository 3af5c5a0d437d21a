#include "examination.h"

namespace mivra::ctl {

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kValid:
      return "valid";
    case Verdict::kInconsistent:
      return "inconsistent";
    case Verdict::kInvalid:
      return "invalid";
  }
  return "";
}

Verdict JudgeMetadataFile(const MetadataVerdict& examined) {
  if (!examined.valid()) return Verdict::kInvalid;
  return examined.lengthExact && examined.recordCount == examined.recordsInFile ? Verdict::kValid
                                                                                : Verdict::kInconsistent;
}

}  // namespace mivra::ctl
