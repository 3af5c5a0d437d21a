// Fixture for the security tests: an installed product, driven through the exports as an updater
// drives it, each step asserted to succeed.
#ifndef MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_
#define MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_

#include <cstdint>
#include <initializer_list>
#include <string>

#include "update/backup/backup_exports_fixture.h"

namespace security_test {

using mivra_test::kUntouched;

class UpdateRoadTest : public mivra_test::BackupExportsTest {
 protected:
  std::string Installed(const std::wstring& name) const { return mivra_test::ReadFileBytes(InstallPath(name)); }
  // Registers the named install files with their size and a digest.
  void Register(std::initializer_list<std::wstring> names) const;
  void MarkStatus(uint8_t status) const;
};

}  // namespace security_test

#endif  // MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_
