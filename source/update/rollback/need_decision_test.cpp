#include "update/rollback/need_decision.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using mivra::FileFinding;
using mivra::FileJudgement;
using mivra::NeedReason;

constexpr uint32_t kBoth = mivra::kCheckInterruptedUpdate | mivra::kCheckChangedFiles;
constexpr FileJudgement kSame = {FileFinding::kUnchanged, false};
constexpr FileJudgement kMissing = {FileFinding::kMissing, false};
constexpr FileJudgement kChanged = {FileFinding::kContentDiffers, false};
constexpr FileJudgement kExemptChange = {FileFinding::kSizeDiffers, true};
constexpr FileJudgement kUnreadable = {FileFinding::kDigestUnavailable, false};

struct DecisionCase {
  const char* what;
  uint32_t flags;
  uint8_t status;
  std::vector<FileJudgement> files;
  NeedReason reason;
  uint32_t record;
  bool decidedByStatus;  // the files are not asked for
};

TEST(NeedDecisionTest, StatusFirstThenTheFirstFileThatDecides) {
  const DecisionCase kCases[] = {
      {"nothing differs", kBoth, 2, {kSame, kMissing, kExemptChange}, NeedReason::kNone, 0, false},
      {"status 1 decides before any file", kBoth, 1, {kUnreadable}, NeedReason::kInterruptedUpdate, 0, true},
      {"status 1 not asked for", mivra::kCheckChangedFiles, 1, {kSame}, NeedReason::kNone, 0, false},
      {"files not asked for", mivra::kCheckInterruptedUpdate, 0, {kChanged}, NeedReason::kNone, 0, true},
      {"first changed file", kBoth, 0, {kSame, kChanged, kUnreadable}, NeedReason::kChangedFile, 1, false},
      {"first unreadable file", kBoth, 0, {kMissing, kUnreadable, kChanged}, NeedReason::kCheckFails, 1, false},
      {"no test at all", 0, 1, {kChanged}, NeedReason::kNone, 0, true},
  };
  for (const DecisionCase& c : kCases) {
    SCOPED_TRACE(c.what);
    mivra::NeedDecision decision(c.flags);
    EXPECT_EQ(decision.TakeUpdateStatus(c.status), c.decidedByStatus);
    for (uint32_t i = 0; i < c.files.size(); ++i) decision.TakeFile(i, c.files[i]);
    EXPECT_EQ(decision.answer().reason, c.reason);
    if (c.reason == NeedReason::kChangedFile || c.reason == NeedReason::kCheckFails) {
      EXPECT_EQ(decision.answer().record, c.record);
    }
    EXPECT_EQ(decision.answer().needed(),
              c.reason == NeedReason::kInterruptedUpdate || c.reason == NeedReason::kChangedFile);
  }
}

}  // namespace
