// Two faults in one call through a metadata object the caller keeps: call n fails, and so does a
// call m of the undo that follows. The object is then used again. A write it could not undo closes
// it for writing: later calls through it fail with the export's code, and the next open of the file
// puts it back whole. Whatever happened, the file then holds exactly the records whose calls
// succeeded.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "crash/crash_roads.h"
#include "support/core_product_test.h"
#include "support/every_call_fault.h"
#include "support/file_util.h"
#include "support/metadata_file_bytes.h"

namespace {

using crash_roads::kNoCode;
using crash_roads::StepOutcome;
using mivra_test::EveryCallFault;
using mivra_test::FaultMode;

const uint8_t kDigest[16] = {0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8};

// The undo of a change is a few calls: the second fault falls among the calls that follow the first.
constexpr uint32_t kUndoCalls = 12;

struct ObjectRoad {
  const char* what;
  // Builds the starting state through the exports.
  std::function<void(const std::wstring& installDir)> prepare;
  // Opens the object and makes the calls that come before the faulted one.
  std::function<MdataObject*(const std::wstring& installDir)> open;
  std::function<StepOutcome(MdataObject*, const std::wstring& installDir)> first;
  std::function<StepOutcome(MdataObject*, const std::wstring& installDir)> reuse;
  std::vector<uint32_t> firstCodes;
  uint32_t refusedCode;
  // The metadata file, below the base folder, its layout, and the records it must hold by name
  // with their sizes, given which of the two calls succeeded.
  const wchar_t* file;
  const mivra_test::MetadataFileLayout* layout;
  std::function<std::vector<std::pair<std::wstring, uint32_t>>(bool firstOk, bool reuseOk)> expected;
};

StepOutcome Outcome(bool ok, uint32_t code) { return {ok, code}; }

// The steps of the roads: an add of `name` through the object, or its registration with `size`.
auto AddOf(const wchar_t* name) {
  return [name](MdataObject* object, const std::wstring& dir) {
    uint32_t code = kNoCode;
    const bool ok = MivraAddToBackup(object, (dir + name).c_str(), &code);
    return Outcome(ok, code);
  };
}
auto RegisterOf(const wchar_t* name, uint32_t size) {
  return [name, size](MdataObject* object, const std::wstring& dir) {
    uint32_t code = kNoCode;
    const bool ok = MivraUpdateRollBackDB(object, (dir + name).c_str(), size, kDigest, &code);
    return Outcome(ok, code);
  };
}

const std::vector<uint32_t> kAddCodes = {MIVRA_E_BKMDATA_OPEN, MIVRA_E_BACKUP_FOLDER, MIVRA_E_FILE_ATTRIBUTES,
                                         MIVRA_E_RECORD_WRITE, MIVRA_E_PATH_TOO_LONG, MIVRA_E_FILE_COPY};
const std::vector<uint32_t> kRegisterCodes = {MIVRA_E_RBMDATA_OPEN, MIVRA_E_RB_FILE_ATTRIBUTES,
                                              MIVRA_E_RB_RECORD_WRITE};

std::vector<ObjectRoad> Roads() {
  std::vector<ObjectRoad> roads;
  roads.push_back(ObjectRoad{
      "staging backup",
      [](const std::wstring& dir) {
        mivra_test::WriteFileBytes(dir + L"a.dll", "alpha");
        mivra_test::WriteFileBytes(dir + L"b.dll", "bravo");
        mivra_test::WriteFileBytes(dir + L"c.dll", "charlie");
      },
      [](const std::wstring& dir) {
        uint32_t code = kNoCode;
        MdataObject* object = MivraCreateBkMdataObject(&code);
        if (object && !MivraAddToBackup(object, (dir + L"a.dll").c_str(), &code)) {
          MivraDeleteBkMdataObject(object);
          return static_cast<MdataObject*>(nullptr);
        }
        return object;
      },
      AddOf(L"b.dll"),
      AddOf(L"c.dll"),
      kAddCodes,
      MIVRA_E_RECORD_WRITE,
      L"tmpbkup\\bkmdata.dat",
      &mivra_test::kBkLayout,
      [](bool firstOk, bool reuseOk) {
        std::vector<std::pair<std::wstring, uint32_t>> records = {{L"a.dll", 5}};
        if (firstOk) records.emplace_back(L"b.dll", 5);
        if (reuseOk) records.emplace_back(L"c.dll", 7);
        return records;
      }});
  roads.push_back(ObjectRoad{
      "rollback database",
      [](const std::wstring& dir) {
        mivra_test::WriteFileBytes(dir + L"a.dll", "alpha");
        mivra_test::WriteFileBytes(dir + L"b.dll", "bravo");
        uint32_t code = kNoCode;
        ASSERT_TRUE(MivraUpdateRollBackDB(nullptr, (dir + L"a.dll").c_str(), 7, kDigest, &code)) << code;
      },
      [](const std::wstring&) {
        uint32_t code = kNoCode;
        return MivraCreateRBMdataObject(&code);
      },
      // An append, then an overwrite in place.
      RegisterOf(L"b.dll", 5),
      RegisterOf(L"a.dll", 9),
      kRegisterCodes,
      MIVRA_E_RB_RECORD_WRITE,
      L"rbmdata.dat",
      &mivra_test::kRBLayout,
      [](bool firstOk, bool reuseOk) {
        std::vector<std::pair<std::wstring, uint32_t>> records = {{L"a.dll", reuseOk ? 9u : 7u}};
        if (firstOk) records.emplace_back(L"b.dll", 5);
        return records;
      }});
  return roads;
}

class SecondFaultTest : public mivra_test::CoreProductTest, public testing::WithParamInterface<size_t> {
 protected:
  std::vector<std::pair<std::wstring, uint32_t>> Records(const ObjectRoad& road) const {
    std::vector<std::pair<std::wstring, uint32_t>> records;
    const std::string bytes = mivra_test::ReadFileBytes(BaseFolder() + L"\\" + road.file);
    for (const mivra_test::MetadataRecord& record : mivra_test::RecordsOf(*road.layout, bytes)) {
      records.emplace_back(record.name, record.size);
    }
    return records;
  }
};

TEST_P(SecondFaultTest, AnObjectWhoseUndoFailedWritesNothingMoreAndTheNextOpenRecovers) {
  const ObjectRoad road = Roads()[GetParam()];
  // Names stay known to this process from here on, so that the faults fall on the road's calls.
  road.prepare(InstallDir());
  crash_roads::Road files{"files", nullptr, {}, {L"a.dll", L"b.dll", L"c.dll"}};
  const crash_roads::RawState start = crash_roads::CaptureRaw(BaseFolder(), InstallDir(), files);

  // Any call of the step may be the first fault: the append's own calls go through the object's
  // descriptor, which no look at the calls' files can tell from the others.
  uint32_t calls = 0;
  {
    MdataObject* object = road.open(InstallDir());
    ASSERT_NE(object, nullptr);
    EveryCallFault counter(FaultMode::kCount, 0);
    ASSERT_TRUE(road.first(object, InstallDir()).ok);
    calls = counter.calls();
    MivraDeleteBkMdataObject(object);
  }
  std::printf("%s: calls 1 to %u, each failed with one of the %u after it\n", road.what, calls,
              kUndoCalls);

  int refused = 0;
  int reported = 0;
  for (uint32_t n = 1; n <= calls && reported < 5; ++n) {
    for (uint32_t m = n + 1; m <= n + kUndoCalls && reported < 5; ++m) {
      SCOPED_TRACE(testing::Message() << road.what << ": call " << n << ", then call " << m);
      crash_roads::RestoreRaw(start, BaseFolder(), InstallDir(), files);
      MdataObject* object = road.open(InstallDir());
      ASSERT_NE(object, nullptr);
      StepOutcome first{};
      {
        EveryCallFault fault(FaultMode::kFailOnce, n, m);
        first = road.first(object, InstallDir());
      }
      if (!first.ok) {
        EXPECT_NE(std::find(road.firstCodes.begin(), road.firstCodes.end(), first.code), road.firstCodes.end())
            << "code " << first.code;
      }
      const StepOutcome reuse = road.reuse(object, InstallDir());
      if (!reuse.ok) {
        ++refused;
        EXPECT_EQ(reuse.code, road.refusedCode);
      }
      MivraDeleteBkMdataObject(object);

      std::string problem;
      EXPECT_TRUE(crash_roads::RecoverAndValidate(BaseFolder(), &problem)) << problem;
      EXPECT_EQ(Records(road), road.expected(first.ok, reuse.ok));
      if (HasFailure()) ++reported;
    }
  }
  EXPECT_GT(refused, 0) << "no pair of faults closed the object for writing";
}

INSTANTIATE_TEST_SUITE_P(Objects, SecondFaultTest, testing::Values(size_t{0}, size_t{1}),
                         [](const testing::TestParamInfo<size_t>& info) {
                           return std::string(info.param == 0 ? "staging_backup" : "rollback_database");
                         });

}  // namespace
