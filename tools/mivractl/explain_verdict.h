// The words mivractl uses for what the rollback need check finds in one registered file (the
// judgement itself is the library's).
#ifndef MIVRA_TOOLS_MIVRACTL_EXPLAIN_VERDICT_H_
#define MIVRA_TOOLS_MIVRACTL_EXPLAIN_VERDICT_H_

#include "update/rollback/registered_file_judgement.h"

namespace mivra::ctl {

// "not a plain file name", "path too long", "missing", "time changed", "size differs", "content
// differs", "unchanged", "digest unavailable", and "exempt by component list" for a difference that
// does not count.
const char* JudgementText(const FileJudgement& judgement);
// The same as one JSON word: "not-plain-name", "path-too-long", "missing", ..., "exempt".
const char* JudgementWord(const FileJudgement& judgement);
// What the file shows, whether or not it is exempt ("content differs", ...).
const char* FindingText(FileFinding finding);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_EXPLAIN_VERDICT_H_
