#include "explain_verdict.h"

#include <gtest/gtest.h>

#include <cstring>

namespace mivra::ctl {
namespace {

constexpr SystemTime16 kRegistered{2026, 12, 4, 10, 7, 30, 15, 250};
constexpr SystemTime16 kLater{2026, 12, 4, 10, 7, 31, 0, 0};

RbMdataRecord Registered() {
  RbMdataRecord record{};
  record.fileSizeLow = 100;
  record.lastWriteTime = kRegistered;
  std::memset(record.digest, 0xAB, sizeof(record.digest));
  return record;
}

// The tests in the library's order: existence, time, size, digest; an exemption keeps a
// difference from counting, but not the digest from being taken.
TEST(ExplainVerdict, JudgesEachRegisteredFileInTheNeedChecksOrder) {
  enum Digest { kNotAsked, kSame, kOther, kUnreadable };
  struct Case {
    const char* what;
    bool exists;
    SystemTime16 time;
    uint32_t size;
    bool exempt;
    Digest digest;
    FileFinding finding;
    bool digestTaken;
    bool needsRollback;
    const char* text;
  };
  const Case cases[] = {
      {"missing", false, kRegistered, 100, false, kSame, FileFinding::kMissing, false, false, "missing"},
      {"time changed, content too", true, kLater, 7, false, kOther, FileFinding::kTimeChanged, false, false,
       "time changed"},
      {"size differs", true, kRegistered, 7, false, kOther, FileFinding::kSizeDiffers, false, true, "size differs"},
      {"content differs", true, kRegistered, 100, false, kOther, FileFinding::kContentDiffers, true, true,
       "content differs"},
      {"unchanged", true, kRegistered, 100, false, kSame, FileFinding::kUnchanged, true, false, "unchanged"},
      {"exempt, size differs", true, kRegistered, 7, true, kSame, FileFinding::kSizeDiffers, true, false,
       "exempt by component list"},
      {"exempt, content differs", true, kRegistered, 100, true, kOther, FileFinding::kContentDiffers, true, false,
       "exempt by component list"},
      {"exempt, unchanged", true, kRegistered, 100, true, kSame, FileFinding::kUnchanged, true, false, "unchanged"},
      {"unreadable", true, kRegistered, 100, false, kUnreadable, FileFinding::kDigestUnavailable, true, false,
       "digest unavailable"},
      {"exempt, unreadable", true, kRegistered, 7, true, kUnreadable, FileFinding::kDigestUnavailable, true, false,
       "digest unavailable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const InstalledFile installed{c.size, c.time};
    bool asked = false;
    const FileJudgement judgement =
        JudgeRegisteredFile(Registered(), c.exists ? &installed : nullptr, c.exempt, [&](uint8_t (&digest)[16]) {
          asked = true;
          std::memset(digest, c.digest == kSame ? 0xAB : 0xCD, sizeof(digest));
          return c.digest != kUnreadable;
        });
    EXPECT_EQ(judgement.finding, c.finding);
    EXPECT_EQ(asked, c.digestTaken);
    EXPECT_EQ(judgement.needsRollback(), c.needsRollback);
    EXPECT_STREQ(JudgementText(judgement), c.text);
  }
}

}  // namespace
}  // namespace mivra::ctl
