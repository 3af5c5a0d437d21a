// Every road that changes lasting state, cut at every platform call: the call failing once, the
// call failing with every later call on its file, and the process ending there. Whatever happens,
// the files are valid once the next call has recovered them, and the state is the old one or the
// new one: a failing call reports one of its documented codes and changed nothing, a succeeding
// one did all it says.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/core_product_test.h"
#include "support/deferred_delete_probe.h"
#include "support/every_call_fault.h"
#include "support/file_util.h"
#include "support/test_program.h"
#include "crash/crash_roads.h"

namespace {

using crash_roads::Road;
using crash_roads::RoadRun;
using crash_roads::StateView;
using mivra_test::EveryCallFault;
using mivra_test::FaultMode;
using mivra_test::PowerLoss;

// A test stops reporting a road after this many broken points; one broken point is usually
// broken the same way at its neighbours.
constexpr int kReportedPoints = 5;

std::string Differences(const StateView& seen, const StateView& expected) {
  std::ostringstream out;
  for (const auto& [key, bytes] : expected.entries) {
    const auto it = seen.entries.find(key);
    if (it == seen.entries.end()) out << " missing:" << std::string(key.begin(), key.end());
    else if (it->second != bytes) out << " differs:" << std::string(key.begin(), key.end());
  }
  for (const auto& [key, bytes] : seen.entries) {
    if (!expected.entries.count(key)) out << " extra:" << std::string(key.begin(), key.end());
  }
  return out.str();
}

// The install directory and the product names stay known to this process from the preparation
// on: a walk in it fails the calls of the road itself. (A product library that cannot be loaded
// names another product, whose folders lie elsewhere.) The child resolves them afresh.
class CrashRoadTest : public mivra_test::CoreProductTest, public testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    CoreProductTest::SetUp();
    road_ = crash_roads::FindRoad(GetParam());
    ASSERT_NE(road_, nullptr);
    context_.installDir = InstallDir();
    road_->prepare(context_);
    start_ = crash_roads::CaptureRaw(BaseFolder(), InstallDir(), *road_);

    // The road uninterrupted: the state after each step, its calls, the files a rollback restores.
    states_.push_back(View());
    EveryCallFault counter(FaultMode::kCount, 0);
    for (const crash_roads::RoadStep& step : road_->steps) {
      ASSERT_TRUE(step.run(context_).ok) << step.name;
      states_.push_back(View());
    }
    calls_ = counter.calls();
    restored_ = crash_roads::CaptureRaw(BaseFolder(), InstallDir(), *road_).installed;
  }

  StateView View() const { return crash_roads::ViewOf(BaseFolder(), InstallDir(), *road_); }

  void Restart() {
    mivra_test::DeferredDeleteProbe::ClearPendingDeletions();
    crash_roads::RestoreRaw(start_, BaseFolder(), InstallDir(), *road_);
  }

  // The installed files as the rollback left them; one it could not delete at once must be
  // scheduled for deletion at restart, unless every call on it failed (`stuck`).
  bool InstalledAsRestored(const std::wstring& stuck = L"") const {
    const auto now = crash_roads::CaptureRaw(BaseFolder(), InstallDir(), *road_).installed;
    const std::vector<std::wstring> pending = mivra_test::DeferredDeleteProbe::PendingDeletions();
    for (const auto& [name, file] : now) {
      if (restored_.count(name)) continue;
      const std::wstring path = InstallDir() + name;
      if (_wcsicmp(path.c_str(), stuck.c_str()) == 0) continue;
      const bool scheduled = std::any_of(pending.begin(), pending.end(), [&](const std::wstring& entry) {
        return _wcsicmp(entry.c_str(), path.c_str()) == 0;
      });
      if (!scheduled) return false;
    }
    for (const auto& [name, file] : restored_) {
      const auto it = now.find(name);
      if (it == now.end() || it->second.bytes != file.bytes) return false;
    }
    return true;
  }

  // A rollback still to be made is made by the next perform, which puts the backup back whole.
  void ExpectLaterRollbackFinishes(const StateView& view, const std::string& where, const std::wstring& stuck = L"") {
    if (!road_->restoresInstalledFiles) return;
    if (view == states_.back()) {
      EXPECT_TRUE(InstalledAsRestored(stuck)) << where;
      return;
    }
    if (view.damaged) return;
    uint32_t code = crash_roads::kNoCode;
    EXPECT_TRUE(MivraRollback(MIVRA_ROLLBACK_PERFORM, nullptr, &code)) << where << " code " << code;
    EXPECT_TRUE(View() == states_.back()) << where << Differences(View(), states_.back());
    EXPECT_TRUE(InstalledAsRestored()) << where;
  }

  // After a failed or succeeded walk: the state its outcome promises.
  void CheckFaultPoint(const RoadRun& run, const std::string& where, const std::wstring& stuck) {
    std::string problem;
    ASSERT_TRUE(crash_roads::RecoverAndValidate(BaseFolder(), &problem)) << where << ": " << problem;
    if (run.failed) {
      EXPECT_TRUE(run.codeDocumented) << where << ": " << run.failedStep << " wrote " << run.failure.code;
    }
    EXPECT_TRUE(run.successUntouched) << where;
    const StateView view = View();
    const StateView& promised = states_[run.succeeded];
    const bool silentStep = run.succeeded > 0 && road_->steps[run.succeeded - 1].mayDoNothing;
    bool tookEffect = false;
    if (run.failed) {
      const std::vector<uint32_t>& late = road_->steps[run.succeeded].codesAfterEffect;
      tookEffect = std::find(late.begin(), late.end(), run.failure.code) != late.end();
    }
    const bool matches = view == promised || (silentStep && view == states_[run.succeeded - 1]) ||
                         (tookEffect && view == states_[run.succeeded + 1]);
    EXPECT_TRUE(matches) << where << ":" << Differences(view, promised);
    if (view.damaged) {
      EXPECT_EQ(run.failure.code, MIVRA_E_BACKUP_DAMAGED) << where;
    }
    ExpectLaterRollbackFinishes(view, where, stuck);
  }

  void CheckCrashPoint(const std::string& where) {
    std::string problem;
    ASSERT_TRUE(crash_roads::RecoverAndValidate(BaseFolder(), &problem)) << where << ": " << problem;
    const StateView view = View();
    bool known = false;
    for (const StateView& state : states_) known = known || view == state;
    EXPECT_TRUE(known) << where << ": neither before nor after any step:" << Differences(view, states_.front());
    ExpectLaterRollbackFinishes(view, where);
  }

  // A step that reported success before the power went stays done: the state is the one after
  // the steps that succeeded, or, when the cut came inside the next step, possibly the one after it.
  void CheckPowerCutPoint(const RoadRun& run, const std::string& where) {
    std::string problem;
    ASSERT_TRUE(crash_roads::RecoverAndValidate(BaseFolder(), &problem)) << where << ": " << problem;
    const StateView view = View();
    const size_t done = run.succeeded;
    const bool silentStep = done > 0 && road_->steps[done - 1].mayDoNothing;
    const bool matches = view == states_[done] || (done + 1 < states_.size() && view == states_[done + 1]) ||
                         (silentStep && view == states_[done - 1]);
    EXPECT_TRUE(matches) << where << ":" << Differences(view, states_[done]);
    ExpectLaterRollbackFinishes(view, where);
  }

  DWORD RunChild(uint32_t n) {
    // Without its closing backslash, which would escape the closing quote.
    const std::wstring folder = InstallDir().substr(0, InstallDir().size() - 1);
    const HANDLE child = mivra_test::StartTestProgram(
        L"crash_road_child.exe", L"\"" + std::wstring(road_->name, road_->name + strlen(road_->name)) + L"\" " +
                                     std::to_wstring(n) + L" \"" + folder + L"\"");
    if (!child) return 2;
    DWORD exitCode = 2;
    if (WaitForSingleObject(child, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(child, &exitCode);
    CloseHandle(child);
    return exitCode;
  }

  const Road* road_ = nullptr;
  crash_roads::RoadContext context_;
  crash_roads::RawState start_;
  std::vector<StateView> states_;
  uint32_t calls_ = 0;
  std::map<std::wstring, crash_roads::RawFile> restored_;
};

TEST_P(CrashRoadTest, EveryFailingCallLeavesTheStateItsOutcomePromises) {
  ASSERT_GT(calls_, 0u);
  std::printf("%s: %u calls, each failed once and with the rest of its file\n", road_->name, calls_);
  for (FaultMode mode : {FaultMode::kFailOnce, FaultMode::kFailFileFrom}) {
    int reported = 0;
    for (uint32_t n = 1; n <= calls_ && reported < kReportedPoints; ++n) {
      const std::string where = std::string(mode == FaultMode::kFailOnce ? "call " : "calls from ") + std::to_string(n);
      Restart();
      RoadRun run;
      std::string failedOn;
      std::wstring stuck;
      {
        EveryCallFault fault(mode, n);
        run = crash_roads::RunRoad(*road_, context_);
        EXPECT_TRUE(fault.fired()) << where;
        const std::wstring file = fault.firedFile();
        failedOn = std::string(file.begin(), file.end());
        if (mode == FaultMode::kFailFileFrom) stuck = file;
      }
      CheckFaultPoint(run, where + " on " + failedOn + " after " + std::to_string(run.succeeded) + " steps", stuck);
      if (HasFailure()) ++reported;
    }
  }
}

TEST_P(CrashRoadTest, EndingTheProcessAtAnyCallLeavesTheOldStateOrTheNew) {
  Restart();
  const DWORD calls = RunChild(0);
  ASSERT_GT(calls, 3u) << "the road does not go through in a process of its own";
  std::printf("%s: process ended at each of %lu calls\n", road_->name, calls);
  int reported = 0;
  for (uint32_t n = 1; n <= calls && reported < kReportedPoints; ++n) {
    const std::string where = "crash at call " + std::to_string(n);
    Restart();
    DWORD exitCode = RunChild(n);
    if (exitCode != mivra_test::kCrashExitCode) {
      // A process that could not start on a loaded machine is started again, from the start.
      Restart();
      exitCode = RunChild(n);
    }
    ASSERT_EQ(exitCode, mivra_test::kCrashExitCode) << where;
    CheckCrashPoint(where);
    if (HasFailure()) ++reported;
  }
}

// The power cut is walked in this process: from call n on nothing reaches the disk, then the data
// that was never flushed is lost, all of it or torn at sectors. The next call's recovery must then
// find the old state or the new one, exactly as after a process that ended.
TEST_P(CrashRoadTest, CuttingThePowerAtAnyCallLeavesTheOldStateOrTheNew) {
  ASSERT_GT(calls_, 0u);
  std::printf("%s: power cut at each of %u calls, unflushed data lost whole and torn\n", road_->name, calls_);
  for (PowerLoss loss : {PowerLoss::kAll, PowerLoss::kTorn}) {
    int reported = 0;
    for (uint32_t n = 1; n <= calls_ && reported < kReportedPoints; ++n) {
      const std::string where =
          std::string(loss == PowerLoss::kAll ? "power cut at call " : "power cut, writes torn, at call ") +
          std::to_string(n);
      Restart();
      RoadRun run;
      std::string cutOn;
      {
        EveryCallFault cut(FaultMode::kPowerCut, n);
        run = crash_roads::RunRoad(*road_, context_);
        const std::wstring file = cut.firedFile();
        cutOn = std::string(file.begin(), file.end());
        cut.LoseUnflushedWrites(loss);
      }
      CheckPowerCutPoint(run, where + " on " + cutOn + " after " + std::to_string(run.succeeded) + " steps");
      if (HasFailure()) ++reported;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Roads, CrashRoadTest,
                         testing::Values("stage", "add", "commit", "remove", "delete backup", "register",
                                         "mark status", "delete database", "rollback"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) {
                             if (c == ' ') c = '_';
                           }
                           return name;
                         });

}  // namespace
