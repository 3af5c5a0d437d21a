// The result of inspecting one file: the report to print and whether the file proved sound.
#ifndef MIVRA_TOOLS_MIVRACTL_INSPECTION_H_
#define MIVRA_TOOLS_MIVRACTL_INSPECTION_H_

#include <cstdint>

#include "report.h"
#include "update/rollback/rollback_driver.h"
#include "update/store/metadata_format.h"

namespace mivra::ctl {

// Rollbacks left before the library's limit for a stored rollback counter.
inline uint32_t RollbacksRemaining(uint32_t rollbackCount) {
  return rollbackCount >= kRollbackLimit ? 0 : kRollbackLimit - rollbackCount;
}

// How a file stands with the library's own checks.
//   valid:        every check passes.
//   inconsistent: the library accepts the file, but its counts disagree (a metadata file whose
//                 record count or length does not match; readers that count by length and those
//                 that trust the count then see different records).
//   invalid:      the library refuses the file (metadata files are deleted at their next open).
enum class Verdict { kValid, kInconsistent, kInvalid };

const char* VerdictName(Verdict verdict);

// The verdict on a metadata file from the record store's examination of its bytes.
Verdict JudgeMetadataFile(const MetadataVerdict& examined);

struct Inspection {
  Report report = Report::Object();
  Verdict verdict = Verdict::kInvalid;
  bool copiesIntact = true;  // --verify: every backup copy matched its digest

  bool sound() const { return verdict == Verdict::kValid && copiesIntact; }
};

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_INSPECTION_H_
