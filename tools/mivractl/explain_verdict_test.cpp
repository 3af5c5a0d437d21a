#include "explain_verdict.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace mivra::ctl {
namespace {

constexpr SystemTime16 kRegistered{2026, 12, 4, 10, 7, 30, 15, 250};
constexpr SystemTime16 kLater{2026, 12, 4, 10, 7, 31, 0, 0};

RBMdataRecord Registered() {
  RBMdataRecord record{};
  record.fileSizeLow = 100;
  record.lastWriteTime = kRegistered;
  std::memset(record.digest, 0xAB, sizeof(record.digest));
  return record;
}

// Answers the judgement's questions from fixed facts and records which were asked.
class FixedProbe : public InstalledFileProbe {
 public:
  enum Digest { kSame, kOther, kUnreadable };
  FixedProbe(bool fits, bool exists, InstalledFile facts, Digest digest)
      : fits_(fits), exists_(exists), facts_(facts), digest_(digest) {}

  bool Locate(std::wstring_view name) override {
    located = std::wstring(name);
    return fits_;
  }
  bool ReadFacts(InstalledFile* facts) override {
    *facts = facts_;
    return exists_;
  }
  bool ProvedMissing() override { return provedMissing; }
  bool TakeDigest(uint8_t (&digest)[16]) override {
    digestTaken = true;
    std::memset(digest, digest_ == kSame ? 0xAB : 0xCD, sizeof(digest));
    return digest_ != kUnreadable;
  }

  std::wstring located;
  bool digestTaken = false;
  bool provedMissing = true;  // a failed read of the facts means "not found"

 private:
  bool fits_;
  bool exists_;
  InstalledFile facts_;
  Digest digest_;
};

// The tests in the library's order: name, path, existence, time, size, digest; an exemption keeps a
// difference from counting, but not the digest from being taken.
TEST(ExplainVerdict, JudgesEachRegisteredFileInTheNeedChecksOrder) {
  using Digest = FixedProbe::Digest;
  struct Case {
    const char* what;
    const char16_t* name;
    bool fits;
    bool exists;
    SystemTime16 time;
    uint32_t size;
    bool exempt;
    Digest digest;
    FileFinding finding;
    bool digestTaken;
    bool needsRollback;
    bool failsCheck;
    const char* text;
  };
  constexpr Digest kSame = FixedProbe::kSame;
  constexpr Digest kOther = FixedProbe::kOther;
  constexpr Digest kUnreadable = FixedProbe::kUnreadable;
  const Case cases[] = {
      {"names a folder above", u"..\\A.DLL", true, true, kRegistered, 7, false, kOther, FileFinding::kNotPlainName,
       false, false, false, "not a plain file name"},
      {"names a device", u"NUL.txt", true, true, kRegistered, 7, false, kOther, FileFinding::kNotPlainName, false,
       false, false, "not a plain file name"},
      {"empty name", u"", true, true, kRegistered, 7, false, kOther, FileFinding::kNotPlainName, false, false, false,
       "not a plain file name"},
      {"names the folder itself", u"...", true, true, kRegistered, 7, false, kOther, FileFinding::kNotPlainName,
       false, false, false, "not a plain file name"},
      {"trailing dot", u"A.DLL.", true, true, kRegistered, 7, false, kOther, FileFinding::kNotPlainName, false, false,
       false, "not a plain file name"},
      {"wildcard", u"A*.DLL", true, true, kRegistered, 7, false, kOther, FileFinding::kNotPlainName, false, false,
       false, "not a plain file name"},
      {"path too long", u"A.DLL", false, true, kRegistered, 7, false, kOther, FileFinding::kPathTooLong, false, false,
       true, "path too long"},
      {"missing", u"A.DLL", true, false, kRegistered, 100, false, kSame, FileFinding::kMissing, false, false, false,
       "missing"},
      {"time changed, content too", u"A.DLL", true, true, kLater, 7, false, kOther, FileFinding::kTimeChanged, false,
       false, false, "time changed"},
      {"size differs", u"A.DLL", true, true, kRegistered, 7, false, kOther, FileFinding::kSizeDiffers, false, true,
       false, "size differs"},
      {"content differs", u"A.DLL", true, true, kRegistered, 100, false, kOther, FileFinding::kContentDiffers, true,
       true, false, "content differs"},
      {"unchanged", u"A.DLL", true, true, kRegistered, 100, false, kSame, FileFinding::kUnchanged, true, false, false,
       "unchanged"},
      {"exempt, size differs", u"A.DLL", true, true, kRegistered, 7, true, kSame, FileFinding::kSizeDiffers, true,
       false, false, "exempt by component list"},
      {"exempt, content differs", u"A.DLL", true, true, kRegistered, 100, true, kOther, FileFinding::kContentDiffers,
       true, false, false, "exempt by component list"},
      {"exempt, unchanged", u"A.DLL", true, true, kRegistered, 100, true, kSame, FileFinding::kUnchanged, true, false,
       false, "unchanged"},
      {"unreadable", u"A.DLL", true, true, kRegistered, 100, false, kUnreadable, FileFinding::kDigestUnavailable, true,
       false, true, "digest unavailable"},
      {"exempt, unreadable", u"A.DLL", true, true, kRegistered, 7, true, kUnreadable, FileFinding::kDigestUnavailable,
       true, false, true, "digest unavailable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RBMdataRecord record = Registered();
    const std::u16string name = c.name;
    std::copy(name.begin(), name.end(), record.fileName);
    FixedProbe probe(c.fits, c.exists, InstalledFile{c.size, c.time}, c.digest);
    const FileJudgement judgement = JudgeRegisteredFile(record, c.exempt, probe);
    EXPECT_EQ(judgement.finding, c.finding);
    EXPECT_EQ(probe.digestTaken, c.digestTaken);
    EXPECT_EQ(judgement.needsRollback(), c.needsRollback);
    EXPECT_EQ(judgement.failsCheck(), c.failsCheck);
    EXPECT_STREQ(JudgementText(judgement), c.text);
    EXPECT_EQ(probe.located, c.finding == FileFinding::kNotPlainName ? L"" : L"A.DLL");
  }
}

// A file whose attributes cannot be read may well be there: only "not found" is skipped.
TEST(ExplainVerdict, AFileWhoseAttributesCannotBeReadFailsTheCheck) {
  RBMdataRecord record = Registered();
  const std::u16string name = u"A.DLL";
  std::copy(name.begin(), name.end(), record.fileName);
  FixedProbe probe(true, false, InstalledFile{}, FixedProbe::kSame);
  probe.provedMissing = false;
  const FileJudgement judgement = JudgeRegisteredFile(record, false, probe);
  EXPECT_EQ(judgement.finding, FileFinding::kFactsUnreadable);
  EXPECT_TRUE(judgement.failsCheck());
  EXPECT_FALSE(probe.digestTaken);
  EXPECT_STREQ(JudgementText(judgement), "attributes unreadable");
  EXPECT_STREQ(JudgementWord(judgement), "attributes-unreadable");
}

// Exemption compares the record's name with the component lists' spelling, exactly.
TEST(ExplainVerdict, ExemptsOnlyNamesTheUsableListsSpellAlike) {
  const std::vector<std::string> names = {"HELP.CHM", "E.DLL"};
  EXPECT_TRUE(IsExemptName(L"HELP.CHM", &names));
  EXPECT_FALSE(IsExemptName(L"help.chm", &names));
  EXPECT_FALSE(IsExemptName(L"A.DLL", &names));
  EXPECT_FALSE(IsExemptName(L"HELP.CHM", nullptr));
}

}  // namespace
}  // namespace mivra::ctl
