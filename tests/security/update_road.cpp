#include "security/update_road.h"

#include <gtest/gtest.h>

#include "mivra.h"
#include "support/file_util.h"

namespace security_test {

void UpdateRoadTest::Install(const std::wstring& name, const std::string& content) const {
  mivra_test::WriteFileBytes(InstallPath(name), content);
}

std::string UpdateRoadTest::Installed(const std::wstring& name) const {
  return mivra_test::ReadFileBytes(InstallPath(name));
}

void UpdateRoadTest::Stage(std::initializer_list<std::wstring> names) const {
  uint32_t code = kNoCode;
  MdataObject* object = MivraCreateBkMdataObject(&code);
  ASSERT_NE(object, nullptr) << code;
  for (const std::wstring& name : names) {
    EXPECT_TRUE(MivraAddToBackup(object, InstallPath(name).c_str(), &code)) << code;
  }
  MivraDeleteBkMdataObject(object);
}

void UpdateRoadTest::Commit() const {
  uint32_t code = kNoCode;
  ASSERT_TRUE(MivraCommitBackup(&code)) << code;
}

void UpdateRoadTest::Register(std::initializer_list<std::wstring> names) const {
  const uint8_t digest[16] = {0x5e, 0xc1};
  for (const std::wstring& name : names) {
    uint32_t code = kNoCode;
    const uint32_t size = static_cast<uint32_t>(Installed(name).size());
    EXPECT_TRUE(MivraUpdateRollBackDB(nullptr, InstallPath(name).c_str(), size, digest, &code)) << code;
  }
}

void UpdateRoadTest::MarkStatus(uint8_t status) const {
  uint32_t code = kNoCode;
  ASSERT_TRUE(MivraMarkUpdateStatus(status, &code)) << code;
}

}  // namespace security_test
