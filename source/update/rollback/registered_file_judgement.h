// What the rollback need check finds in one registered file, test by test in its fixed order: the
// record's name, the file's existence, last-write time, size, digest. Byte-level code: the caller
// reaches the file through an InstalledFileProbe, so that the check and the tools that explain it
// judge alike.
#ifndef MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_JUDGEMENT_H_
#define MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_JUDGEMENT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "update/frame/system_time.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra {

enum class FileFinding {
  kNotPlainName,       // the record names no plain file of the install directory: the check passes over it
  kPathTooLong,        // the install directory and the name make no path: the library's check fails here
  kMissing,            // it is not there: the check skips it
  kFactsUnreadable,    // it may be there, but its attributes cannot be read: the library's check fails here
  kTimeChanged,        // its last-write time is not the recorded one: the check skips it
  kSizeDiffers,        // recorded time, other size
  kContentDiffers,     // recorded time and size, other digest
  kUnchanged,
  kDigestUnavailable,  // recorded time, but no digest can be taken: the library's check fails here
};

// The finding as one word, the same in the trace and in the tools: "not-plain-name",
// "path-too-long", "missing", "attributes-unreadable", "time-changed", "size-differs",
// "content-differs", "unchanged", "digest-unavailable".
const char* FileFindingWord(FileFinding finding);

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
  // The changed-file test cannot be completed: the query fails.
  bool failsCheck() const {
    return finding == FileFinding::kPathTooLong || finding == FileFinding::kFactsUnreadable ||
           finding == FileFinding::kDigestUnavailable;
  }
};

// The installed file a record names, as the judgement asks about it, in this order and only as far
// as it needs to.
class InstalledFileProbe {
 public:
  virtual ~InstalledFileProbe() = default;
  // Composes the file's path from the install directory and `name`; false when it does not fit.
  virtual bool Locate(std::wstring_view name) = 0;
  // Its size and local last-write time; false when they cannot be read.
  virtual bool ReadFacts(InstalledFile* facts) = 0;
  // Asked after ReadFacts failed: true only when the file is proved not to be there (not found),
  // rather than unreadable for the moment.
  virtual bool ProvedMissing() { return true; }
  virtual bool TakeDigest(uint8_t (&digest)[16]) = 0;
};

// True when an included entry of the component lists names `name`, compared as the lists spell
// names: converted for the current locale. Null `componentNames` (the lists cannot be used) and a
// name that cannot be converted exempt nothing.
bool IsExemptName(const std::wstring& name, const std::vector<std::string>* componentNames);

// Judges `record`. The digest is taken only where the check takes it: the time matches, and the
// size matches or the file is exempt.
FileJudgement JudgeRegisteredFile(const RBMdataRecord& record, bool exempt, InstalledFileProbe& probe);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACK_REGISTERED_FILE_JUDGEMENT_H_
