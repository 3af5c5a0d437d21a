// Fixture for the security tests: an installed product, driven through the exports as an updater
// drives it, each step asserted to succeed.
#ifndef MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_
#define MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_

#include <cstdint>
#include <initializer_list>
#include <string>

#include "support/product_test.h"

namespace security_test {

// An error variable's value before a call, so that a call that writes no code shows it.
inline constexpr uint32_t kNoCode = 0xA5A5A5A5u;

class UpdateRoadTest : public mivra_test::ProductTest {
 protected:
  void Install(const std::wstring& name, const std::string& content) const;
  std::string Installed(const std::wstring& name) const;
  // Backs up the named install files (a missing one as absent) through a staging object.
  void Stage(std::initializer_list<std::wstring> names) const;
  void Commit() const;
  // Registers the named install files with their size and a digest.
  void Register(std::initializer_list<std::wstring> names) const;
  void MarkStatus(uint8_t status) const;
};

}  // namespace security_test

#endif  // MIVRA_TESTS_SECURITY_UPDATE_ROAD_H_
