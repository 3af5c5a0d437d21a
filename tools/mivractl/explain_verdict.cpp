#include "explain_verdict.h"

namespace mivra::ctl {

const char* FindingText(FileFinding finding) {
  switch (finding) {
    case FileFinding::kNotPlainName:
      return "not a plain file name";
    case FileFinding::kPathTooLong:
      return "path too long";
    case FileFinding::kMissing:
      return "missing";
    case FileFinding::kFactsUnreadable:
      return "attributes unreadable";
    case FileFinding::kTimeChanged:
      return "time changed";
    case FileFinding::kSizeDiffers:
      return "size differs";
    case FileFinding::kContentDiffers:
      return "content differs";
    case FileFinding::kUnchanged:
      return "unchanged";
    case FileFinding::kDigestUnavailable:
      return "digest unavailable";
  }
  return "";
}

const char* JudgementText(const FileJudgement& judgement) {
  return judgement.exemptDifference() ? "exempt by component list" : FindingText(judgement.finding);
}

const char* JudgementWord(const FileJudgement& judgement) {
  return judgement.exemptDifference() ? "exempt" : FileFindingWord(judgement.finding);
}

}  // namespace mivra::ctl
