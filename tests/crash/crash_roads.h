// The roads of the library that change lasting state, walked by the crash and fault tests: each
// road starts from a state its preparation builds through the exports, and runs a few export
// calls in order until one fails. The test runs a road once to learn its platform calls and the
// state after each call, then again for every call number with that call failing or the
// process ending there, and checks what is left on disk against those states.
#ifndef MIVRA_TESTS_CRASH_CRASH_ROADS_H_
#define MIVRA_TESTS_CRASH_CRASH_ROADS_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <windows.h>

#include "mivra.h"

namespace crash_roads {

// An error variable's value before a call, so that a call that writes no code shows it.
inline constexpr uint32_t kNoCode = 0xA5A5A5A5u;

struct RoadContext {
  std::wstring installDir;  // ends with a backslash
  MdataObject* object = nullptr;
  std::wstring Installed(const wchar_t* name) const { return installDir + name; }
};

struct StepOutcome {
  bool ok;
  uint32_t code;  // kNoCode when the call wrote none
};

struct RoadStep {
  const char* name;
  std::function<StepOutcome(RoadContext&)> run;
  // Codes the call documents for its failures (with that of a product lock not had, 102 or 106);
  // kNoCode for a failure that writes none.
  std::vector<uint32_t> codes;
  // The call's success may leave the state as it was: it reports no outcome (deleting the
  // backup), or a file it could not delete at once goes at the next restart.
  bool mayDoNothing = false;
  // Failure codes written after the change has taken effect (a commit whose old backup could not
  // be deleted): the state may then be the new one.
  std::vector<uint32_t> codesAfterEffect = {};
};

struct Road {
  const char* name;
  // Builds the starting state through the exports, from a product with no library folders.
  std::function<void(RoadContext&)> prepare;
  std::vector<RoadStep> steps;
  // Installed files the road must never touch (the backup roads), or whose final content a
  // successful road leaves (the rollback).
  std::vector<const wchar_t*> installedNames;
  bool restoresInstalledFiles = false;
};

const std::vector<Road>& Roads();
const Road* FindRoad(const std::string& name);

struct RoadRun {
  uint32_t succeeded = 0;          // steps that succeeded before the first failure
  bool failed = false;
  StepOutcome failure{true, kNoCode};
  std::string failedStep;
  bool codeDocumented = true;      // the failing step wrote one of its codes (or none where allowed)
  bool successUntouched = true;    // no successful step wrote a code
};

// Runs the steps in order until one fails, then releases a metadata object the road still holds.
RoadRun RunRoad(const Road& road, RoadContext& context);

// Every file and folder under the base folder, and the road's installed files, byte for byte.
// Files keep their last-write times, which the records hold.
struct RawFile {
  std::string bytes;
  FILETIME written{};
};
struct RawState {
  std::vector<std::wstring> folders;             // relative to the base folder
  std::map<std::wstring, RawFile> baseFiles;     // relative to the base folder
  std::map<std::wstring, RawFile> installed;     // by name; absent names are missing
};
RawState CaptureRaw(const std::wstring& base, const std::wstring& installDir, const Road& road);
// Puts the state back; every other file of the install directory but the product libraries goes.
void RestoreRaw(const RawState& state, const std::wstring& base, const std::wstring& installDir, const Road& road);

// What the road's callers can rely on: each backup's metadata (creation time left out) and the
// copies of its live records, the rollback database, and the road's installed files. A backup
// marked damaged is seen without the mark; `damaged` tells it.
struct StateView {
  std::map<std::wstring, std::string> entries;
  bool damaged = false;
  bool operator==(const StateView& other) const { return entries == other.entries; }
};
StateView ViewOf(const std::wstring& base, const std::wstring& installDir, const Road& road);

// Finishes what a process that is gone left half done, as the next call would: an interrupted
// commit and the journals of the metadata files. Then tells whether every metadata file there
// is valid and nothing of a journal is left; `problem` says what is not.
bool RecoverAndValidate(const std::wstring& base, std::string* problem);

}  // namespace crash_roads

#endif  // MIVRA_TESTS_CRASH_CRASH_ROADS_H_
