// Built natively and for Windows from the same source: both programs give the same verdicts.
#include "examine_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "content_records_test_util.h"
#include "output_lines_test_util.h"
#include "report.h"
#include "text_format.h"
#include "update/manifest/manifest_test_files.h"
#include "update/store/journal_format.h"

namespace mivra::ctl {
namespace {

using mivra_test::BkRecord;
using mivra_test::BuildBkMdata;
using mivra_test::BuildComponentList;
using mivra_test::BuildRBMdata;
using mivra_test::BuildUpdateConfig;
using mivra_test::ConfigRecord;
using mivra_test::HasLine;
using mivra_test::HasLineStarting;
using mivra_test::Md5Hex;
using mivra_test::PutLe32;
using mivra_test::RBRecord;

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

class InspectCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("mivractl-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::filesystem::path path = folder_ / PathFromUtf8(name);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return PathToUtf8(path);
  }

  static ToolRun Inspect(std::vector<std::string> args) {
    args.insert(args.begin(), "inspect");
    const Command commands[] = {kInspectCommand};
    Program program;
    program.commands = commands;
    program.about = "";
    std::ostringstream out;
    std::ostringstream err;
    const int status = Dispatch(program, args, out, err);
    return {status, out.str(), err.str()};
  }

  std::string ReadBack(const std::string& name) const {
    std::ifstream in(folder_ / PathFromUtf8(name), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::filesystem::path folder_;
};

std::string Flipped(std::string bytes, size_t offset) {
  bytes[offset] = static_cast<char>(bytes[offset] ^ 0x01);
  return bytes;
}

std::string WithLe32(std::string bytes, size_t offset, uint32_t value) {
  PutLe32(&bytes, offset, value);
  return bytes;
}

std::string WithRecordCount(std::string bytes, const mivra_test::MetadataFileLayout& layout, uint32_t count) {
  PutLe32(bytes, layout.countAt, count);
  return bytes;
}

// Valid, truncated, checksum-damaged and count-damaged files of every kind.
TEST_F(InspectCommandTest, GivesEachKindOfDamageItsVerdictAndFailingCheck) {
  const std::string bk = BuildBkMdata({BkRecord(L"A.DLL", "alpha"), BkRecord(L"NEW.DLL", "", BKREC_ABSENT)});
  const std::string rb = BuildRBMdata({RBRecord(L"A.DLL", "alpha"), RBRecord(L"B.DLL", "beta")});
  const std::string config = BuildUpdateConfig({ConfigRecord(0x2a, 1), ConfigRecord(0x2b, 0)});
  std::string list = BuildComponentList({{1, "HELP.CHM"}, {0, "LOG.TXT"}});
  std::string listRaised = WithLe32(list, 76, 4);
  mivra_test::ResealComponentList(&listRaised);

  struct Case {
    const char* what;
    const char* name;
    std::string bytes;
    const char* kind;
    const char* verdict;
    std::vector<const char*> lines;  // lines or line starts that must appear
  };
  const Case cases[] = {
      {"bkmdata valid", "bkmdata.dat", bk, "bkmdata.dat", "valid",
       {"check.magic: ok", "check.crc: ok", "check.length: ok (2 records)", "check.recordCount: ok",
        "library: accepts the file"}},
      {"bkmdata truncated", "bkmdata.dat", bk.substr(0, bk.size() - 100), "bkmdata.dat", "invalid",
       {"check.crc: bad (stored", "check.length: bad (1 whole record and 460 stray bytes)",
        "library: discards the file"}},
      {"bkmdata cut inside the header", "bkmdata.dat", bk.substr(0, 50), "bkmdata.dat", "invalid",
       {"check.crc: not checked", "check.length: bad (the file ends at byte 50"}},
      {"bkmdata record byte changed", "bkmdata.dat", Flipped(bk, 93 + 30), "bkmdata.dat", "invalid",
       {"check.crc: bad (stored", "check.length: ok (2 records)"}},
      {"bkmdata count raised", "bkmdata.dat", WithRecordCount(bk, mivra_test::kBkLayout, 5), "bkmdata.dat", "inconsistent",
       {"check.crc: ok", "check.recordCount: bad (the state block says 5, the file holds 2)",
        "library: accepts the file"}},
      {"rbmdata valid", "rbmdata.dat", rb, "rbmdata.dat", "valid", {"check.crc: ok", "check.recordCount: ok"}},
      {"rbmdata truncated", "rbmdata.dat", rb.substr(0, rb.size() - 1), "rbmdata.dat", "invalid",
       {"check.crc: bad (stored", "check.length: bad (1 whole record and 555 stray bytes)"}},
      {"rbmdata record byte changed", "rbmdata.dat", Flipped(rb, 86 + 600), "rbmdata.dat", "invalid",
       {"check.crc: bad (stored"}},
      {"rbmdata count lowered", "rbmdata.dat", WithRecordCount(rb, mivra_test::kRBLayout, 1), "rbmdata.dat",
       "inconsistent", {"check.recordCount: bad (the state block says 1, the file holds 2)"}},
      {"updtconf valid", "updtconf.dat", config, "updtconf.dat", "valid",
       {"check.magic: ok", "check.recordCount: ok", "check.length: ok", "check.checksum: ok", "reader: ok"}},
      {"updtconf truncated", "updtconf.dat", config.substr(0, config.size() - 1), "updtconf.dat", "invalid",
       {"check.length: bad (the file is 1091 bytes, the count asks for 1092)", "check.checksum: bad",
        "reader: ReadUpdateConfigData: Inconsistent dat file"}},
      {"updtconf record byte changed", "updtconf.dat", Flipped(config, 12 + 100), "updtconf.dat", "invalid",
       {"check.length: ok", "check.checksum: bad (stored",
        "reader: ReadUpdateConfigData: Checksum mismatched (CalculatedCheckSum:"}},
      {"updtconf count raised", "updtconf.dat", WithLe32(config, 8, 3), "updtconf.dat", "invalid",
       {"check.recordCount: ok", "check.length: bad (the file is 1092 bytes, the count asks for 1632)",
        "check.checksum: ok"}},
      {"component list valid", "0000002a_compns.lst", list, "component list", "valid",
       {"check.magic: ok", "check.version: ok (1.1)", "check.company: ok", "check.checksum: ok",
        "check.entries: ok (2 entries)"}},
      {"component list truncated", "0000002a_compns.lst", list.substr(0, list.size() - 3), "component list",
       "invalid", {"check.checksum: bad (stored", "check.entries: bad (entry 1 of 2 runs past the end"}},
      {"component list body byte changed", "0000002a_compns.lst", Flipped(list, 85), "component list", "invalid",
       {"check.checksum: bad (stored", "check.entries: ok (2 entries)"}},
      {"component list count raised", "0000002a_compns.lst", listRaised, "component list", "invalid",
       {"check.checksum: ok", "check.entries: bad (entry 2 of 4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ToolRun run = Inspect({Write(c.name, c.bytes)});
    EXPECT_EQ(run.status, std::string(c.verdict) == "valid" ? kExitOk : kExitFailed);
    EXPECT_TRUE(HasLine(run.out, std::string("kind: ") + c.kind)) << run.out;
    EXPECT_TRUE(HasLine(run.out, "recognizedBy: magic")) << run.out;
    EXPECT_TRUE(HasLine(run.out, std::string("verdict: ") + c.verdict)) << run.out;
    for (const char* line : c.lines) EXPECT_TRUE(HasLineStarting(run.out, line)) << line << "\n" << run.out;
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(InspectCommandTest, DecodesEveryRecordOnItsOwnLine) {
  std::vector<mivra_test::MetadataRecord> records = {BkRecord(L"A.DLL", "alpha"), BkRecord(L"NEW PLUG.DLL", "", BKREC_ABSENT),
                                        BkRecord(L"OLD.DLL", "old", BKREC_REMOVED)};
  ToolRun run = Inspect({Write("bkmdata.dat", BuildBkMdata(records, BKSTATE_DAMAGED))});
  EXPECT_TRUE(HasLine(run.out, "state.recordCount: 3"));
  EXPECT_TRUE(HasLine(run.out, "state.createdUtc: 2026-12-10T06:00:00.000")) << run.out;
  EXPECT_TRUE(HasLine(run.out, "state.damaged: yes"));
  EXPECT_TRUE(HasLine(run.out, "record 0: flags=none size=5 time=2026-12-10T07:30:15.250 digest=" + Md5Hex("alpha") +
                                   " name=A.DLL"))
      << run.out;
  EXPECT_TRUE(HasLine(run.out, "record 1: flags=absent size=0 time=- digest=" + std::string(32, '0') +
                                   " name=\"NEW PLUG.DLL\""))
      << run.out;
  EXPECT_TRUE(HasLineStarting(run.out, "record 2: flags=removed size=3 "));

  run = Inspect({Write("rbmdata.dat", BuildRBMdata({RBRecord(L"VENTRAEX.EXT", "v2")}, 1, 14))});
  EXPECT_TRUE(HasLine(run.out, "state.updateStatus: 1"));
  EXPECT_TRUE(HasLine(run.out, "state.rollbackCount: 14"));
  EXPECT_TRUE(HasLine(run.out, "state.rollbacksRemaining: 1"));
  EXPECT_TRUE(HasLine(run.out, "record 0: size=2 time=2026-12-10T07:30:15.250 digest=" + Md5Hex("v2") +
                                   " name=VENTRAEX.EXT"));

  const std::string config = BuildUpdateConfig({ConfigRecord(0x2a, 1), ConfigRecord(0x2b, 2), ConfigRecord(0x2a, 0)});
  run = Inspect({Write("updtconf.dat", config)});
  EXPECT_TRUE(HasLine(run.out, "header.recordCount: 3"));
  EXPECT_TRUE(HasLine(run.out, "record 0: id=0x0000002a enabled=1 list=0000002a_compns.lst"));
  EXPECT_TRUE(HasLine(run.out, "record 1: id=0x0000002b enabled=2 list=0000002b_compns.lst"));
  EXPECT_TRUE(HasLine(run.out, "record 2: id=0x0000002a enabled=0 list=0000002a_compns.lst duplicate-of=0"));

  run = Inspect({Write("0000002a_compns.lst", BuildComponentList({{1, "HELP.CHM"}, {0, "LOG.TXT"}}))});
  EXPECT_TRUE(HasLine(run.out, "header.entryCount: 2"));
  EXPECT_TRUE(HasLine(run.out, "entry 0: included=1 name=HELP.CHM"));
  EXPECT_TRUE(HasLine(run.out, "entry 1: included=0 name=LOG.TXT"));
}

TEST_F(InspectCommandTest, VerifyChecksEveryKeptCopyBesideTheFile) {
  const std::vector<mivra_test::MetadataRecord> records = {
      BkRecord(L"A.DLL", "alpha"),          BkRecord(L"B.DLL", "beta"),
      BkRecord(L"GONE.DLL", "gone"),        BkRecord(L"NEW.DLL", "", BKREC_ABSENT),
      BkRecord(L"..\\ESCAPE.DLL", "x"),
  };
  const std::string path = Write("bkmdata.dat", BuildBkMdata(records));
  Write("A.DLL", "alpha");
  Write("B.DLL", "BETA");

  ToolRun run = Inspect({path, "--verify"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_TRUE(HasLine(run.out, "verdict: valid"));
  EXPECT_TRUE(HasLine(run.out, "verify: bad (3 of 4 copies missing or different)")) << run.out;
  EXPECT_TRUE(HasLine(run.out, "copy 0: ok name=A.DLL"));
  EXPECT_TRUE(HasLine(run.out, "copy 1: differs name=B.DLL"));
  EXPECT_TRUE(HasLine(run.out, "copy 2: missing name=GONE.DLL"));
  EXPECT_TRUE(HasLine(run.out, "copy 3: not-kept name=NEW.DLL"));
  EXPECT_TRUE(HasLine(run.out, "copy 4: unsafe-name name=\"..\\\\ESCAPE.DLL\"")) << run.out;

  Write("B.DLL", "beta");
  Write("GONE.DLL", "gone");
  const std::string sound = Write("bkmdata.dat", BuildBkMdata({records[0], records[1], records[2], records[3]}));
  run = Inspect({sound, "--verify"});
  EXPECT_EQ(run.status, kExitOk) << run.out;
  EXPECT_TRUE(HasLine(run.out, "verify: ok (3 copies match their digests)"));
}

TEST_F(InspectCommandTest, JsonCarriesTheSameFindings) {
  const std::string path =
      Write("rbmdata.dat", WithRecordCount(BuildRBMdata({RBRecord(L"A.DLL", "alpha")}, 2, 3), mivra_test::kRBLayout, 9));
  const ToolRun run = Inspect({path, "--json"});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_EQ(run.out.front(), '{');
  for (const char* text : {"\"kind\": \"rbmdata.dat\"", "\"verdict\": \"inconsistent\"", "\"updateStatus\": 2",
                           "\"rollbackCount\": 3", "\"recordCount\": {\"state\": \"bad\"",
                           "\"crc\": {\"state\": \"ok\"", "\"name\": \"A.DLL\"", "\"size\": 5"}) {
    EXPECT_NE(run.out.find(text), std::string::npos) << text << "\n" << run.out;
  }
}

// A metadata file is shown as the library's next open finds it: a complete journal beside it put
// back, one that is not complete ignored, and bytes past the records the count names cut off when
// the CRC is theirs (an append cut off before its commit point); either way the output says so.
TEST_F(InspectCommandTest, ShowsAFileAsItsJournalWillPutItBack) {
  const std::string good = BuildBkMdata({BkRecord(L"a.dll", "alpha")});
  const std::string appendCutOff = good + std::string(560, '\x11');
  mivra::JournalImage header;
  header.oldLength = good.size();
  header.ranges.push_back({0, std::vector<uint8_t>(good.begin(), good.begin() + 93)});
  const std::vector<uint8_t> complete = mivra::EncodeJournal(header);
  const std::vector<uint8_t> created = mivra::EncodeJournal({mivra::kJournalFileAbsent, {}});
  struct JournalCase {
    const char* what;
    std::string file;
    std::string journal;
    int status;
    std::vector<std::string> lines;
  };
  const JournalCase kCases[] = {
      {"append cut off", appendCutOff, std::string(complete.begin(), complete.end()), 0,
       {"journal.state: complete", "size: " + std::to_string(good.size()), "verdict: valid", "check.length: ok (1 record)",
        "journal.recovery: a change was cut off with its writer: the library's next open puts back 93 saved bytes in "
        "1 range and sets the length to " + std::to_string(good.size()) + "; the file is shown so"}},
      {"journal cut off", appendCutOff, std::string(complete.begin(), complete.end() - 1), 0,
       {"journal.state: incomplete", "size: " + std::to_string(good.size()), "verdict: valid",
        "journal.recovery: not complete (cut off while it was written, or already retired): the library's next "
        "open deletes it and takes the file as it is",
        "unfinishedAppend: an append was cut off before its commit point: the library's next open cuts off the 560 "
        "bytes past the 1 record the count names; the file is shown so"}},
      // An emptied journal holds no change.
      {"append cut off before its commit point", good + std::string(300, '\x11'), std::string(8, '\0'), 0,
       {"size: " + std::to_string(good.size()), "verdict: valid", "check.length: ok (1 record)",
        "unfinishedAppend: an append was cut off before its commit point: the library's next open cuts off the 300 "
        "bytes past the 1 record the count names; the file is shown so"}},
      {"bytes past the count that its CRC does not vouch for", good.substr(0, 100) + "X" + good.substr(101) +
           std::string(560, '\x11'), std::string(8, '\0'), 1,
       {"verdict: invalid"}},
      {"creation cut off", good.substr(0, 40), std::string(created.begin(), created.end()), 1,
       {"journal.state: complete",
        "library: deletes the file at its next open (the change that created it was cut off)"}},
  };
  for (const JournalCase& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string file = Write("bkmdata.dat", c.file);
    Write("bkmdata.jnl", c.journal);
    const ToolRun run = Inspect({file});
    EXPECT_EQ(run.status, c.status) << run.err;
    for (const std::string& line : c.lines) EXPECT_TRUE(HasLine(run.out, line)) << line << "\n" << run.out;
    EXPECT_EQ(ReadBack("bkmdata.dat"), c.file) << "inspecting changes nothing";
  }
}

TEST_F(InspectCommandTest, RecognisesShortFilesByNameAndRefusesOthers) {
  ToolRun run = Inspect({Write("bkmdata.dat", "KVB")});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_TRUE(HasLine(run.out, "recognizedBy: name"));
  EXPECT_TRUE(HasLine(run.out, "verdict: invalid"));

  run = Inspect({Write("0000002a_compns.lst", "")});
  EXPECT_TRUE(HasLine(run.out, "kind: component list"));
  EXPECT_TRUE(HasLine(run.out, "verdict: invalid"));

  run = Inspect({Write("notes.txt", "KVBKUQ and more")});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("not a file of the library"), std::string::npos) << run.err;

  run = Inspect({PathToUtf8(folder_ / "absent.dat")});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find("no such file"), std::string::npos);
}

TEST_F(InspectCommandTest, PathsThatHoldSpacesAreQuotedInText) {
  const std::string path = Write("copy of bkmdata.dat", BuildBkMdata({BkRecord(L"A.DLL", "alpha")}));
  ToolRun run = Inspect({path});
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_TRUE(HasLine(run.out, "file: \"" + path + "\"")) << run.out;
  run = Inspect({path, "--json"});
  EXPECT_NE(run.out.find("\"file\": " + JsonQuote(path) + ",\n"), std::string::npos) << run.out;

  const std::string absent = PathToUtf8(folder_ / "no such file.dat");
  run = Inspect({absent});
  EXPECT_EQ(run.status, kExitFailed);
  EXPECT_NE(run.err.find("mivractl inspect: \"" + absent + "\": no such file"), std::string::npos) << run.err;
}

TEST_F(InspectCommandTest, WrongCommandLinesAreUsageErrors) {
  const std::string rb = Write("rbmdata.dat", BuildRBMdata({}));
  const std::vector<std::vector<std::string>> lines = {{}, {rb, rb}, {rb, "--verify"}, {rb, "--bogus"}};
  for (const auto& args : lines) {
    const ToolRun run = Inspect(args);
    EXPECT_EQ(run.status, kExitUsage) << args.size();
    EXPECT_NE(run.err.find("usage: mivractl inspect FILE"), std::string::npos) << run.err;
  }
  const ToolRun help = Inspect({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out.rfind("usage: mivractl inspect FILE [--verify] [--json]\n", 0), 0u);
}

}  // namespace
}  // namespace mivra::ctl
