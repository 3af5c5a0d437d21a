// What the rollback need check finds in one registered file, test by test in its fixed order:
// existence, last-write time, size, digest. Byte-level code: the caller gathers the file's facts,
// so that the check and the tools that explain it judge alike.
#ifndef MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_JUDGEMENT_H_
#define MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_JUDGEMENT_H_

#include <cstdint>
#include <functional>

#include "update/frame/system_time.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra {

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

// `installed` is null when the file's attributes cannot be read. `digestOf` is asked only where the
// check takes the digest: the time matches, and the size matches or the file is exempt.
FileJudgement JudgeRegisteredFile(const RbMdataRecord& record, const InstalledFile* installed, bool exempt,
                                  const std::function<bool(uint8_t (&)[16])>& digestOf);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_JUDGEMENT_H_
