// What the rollback need check sees in one registered file, test by test in the library's order:
// existence, last-write time, size, digest. Byte-level code; the caller gathers the file's facts.
#ifndef MIVRA_TOOLS_MIVRACTL_EXPLAIN_VERDICT_H_
#define MIVRA_TOOLS_MIVRACTL_EXPLAIN_VERDICT_H_

#include <cstdint>
#include <functional>

#include "update/frame/system_time.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra::ctl {

enum class FileFinding {
  kMissing,            // its attributes cannot be read: the check skips it
  kTimeChanged,        // its last-write time is not the recorded one: the check skips it
  kSizeDiffers,        // recorded time, other size
  kContentDiffers,     // recorded time and size, other digest
  kUnchanged,
  kDigestUnavailable,  // recorded time, but no digest can be taken: the library's check fails here
};

struct InstalledFile {
  uint32_t sizeLow;
  SystemTime16 localWriteTime;
};

struct FileJudgement {
  FileFinding finding;
  bool exempt;  // named in a component list: a difference does not count

  // A difference that makes the changed-file test report a rollback as needed.
  bool needsRollback() const {
    return !exempt && (finding == FileFinding::kSizeDiffers || finding == FileFinding::kContentDiffers);
  }
  bool exemptDifference() const {
    return exempt && (finding == FileFinding::kSizeDiffers || finding == FileFinding::kContentDiffers);
  }
};

// `installed` is null when the file's attributes cannot be read. `digestOf` is asked only when the
// library takes the digest too: the time matches, and the size matches or the file is exempt.
FileJudgement JudgeRegisteredFile(const RBMdataRecord& record, const InstalledFile* installed, bool exempt,
                                  const std::function<bool(uint8_t (&)[16])>& digestOf);

// "missing", "time changed", "size differs", "content differs", "unchanged", "digest unavailable",
// and "exempt by component list" for a difference that does not count.
const char* JudgementText(const FileJudgement& judgement);
// The same as one JSON word: "missing", "time-changed", ..., "exempt".
const char* JudgementWord(const FileJudgement& judgement);
// What the file shows, whether or not it is exempt ("content differs", ...).
const char* FindingText(FileFinding finding);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_EXPLAIN_VERDICT_H_
