#include "security/update_road.h"

#include <gtest/gtest.h>

#include "mivra.h"

namespace security_test {

void UpdateRoadTest::Register(std::initializer_list<std::wstring> names) const {
  const uint8_t digest[16] = {0x5e, 0xc1};
  for (const std::wstring& name : names) {
    uint32_t code = kUntouched;
    const uint32_t size = static_cast<uint32_t>(Installed(name).size());
    EXPECT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(name).c_str(), size, digest, &code)) << code;
  }
}

void UpdateRoadTest::MarkStatus(uint8_t status) const {
  uint32_t code = kUntouched;
  ASSERT_TRUE(MivraMarkUpdateStatus(status, &code)) << code;
}

}  // namespace security_test
