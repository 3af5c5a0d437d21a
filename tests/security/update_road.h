// Fixture for the security tests: an installed product, driven through the exports as an updater
// drives it, each step asserted to succeed.
#ifndef MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_
#define MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "mivra.h"
#include "update/backup/backup_exports_fixture.h"

namespace security_test {

using mivra_test::kUntouched;

class UpdateRoadTest : public mivra_test::BackupExportsTest {
 protected:
  std::string Installed(const std::wstring& name) const { return mivra_test::ReadFileBytes(InstallPath(name)); }
  // Registers the named install files with their size and a digest.
  void Register(std::initializer_list<std::wstring> names) const;
  void MarkStatus(uint8_t status) const;
  // A committed backup of a.dll and the absent n.dll; a.dll then updated and registered, b.dll
  // installed, and the update marked under way.
  void PrepareCommittedUpdate() const;
};

// What an export call gave: its result, and its error variable (kUntouched when not written).
struct Outcome {
  bool ok;
  uint32_t code;
  bool operator==(const Outcome&) const = default;
};
void PrintTo(const Outcome& outcome, std::ostream* os);

inline constexpr Outcome kOk = {true, kUntouched};
constexpr Outcome Fails(uint32_t code) { return {false, code}; }

// One export call, given the staging object made beforehand when it needs one.
struct ExportCall {
  const char* name;
  std::function<Outcome(MdataObject* staging, const std::wstring& installDir)> call;
  bool needsStaging = false;
};

// Every export that touches the library's folders, each called as an updater calls it.
extern const std::vector<ExportCall> kCalls;

// A test case's name: `what`, then the name of kCalls[callIndex], spaces made underscores.
std::string CaseNameOf(const char* what, int callIndex);

// The call of kCalls named `name`.
const ExportCall& CallNamed(const char* name);

}  // namespace security_test

#endif  // MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_
