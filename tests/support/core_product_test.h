// ProductTest for tests that link mivra_core: both process-wide caches (install directory and
// product names) are emptied before each test, so every test resolves them afresh from the
// registry and the product libraries it sets up.
#ifndef MIVRA_TESTS_SUPPORT_CORE_PRODUCT_TEST_H_
#define MIVRA_TESTS_SUPPORT_CORE_PRODUCT_TEST_H_

#include "support/product_test.h"
#include "update/frame/install_dir.h"
#include "update/frame/product_identity.h"

namespace mivra_test {

class CoreProductTest : public ProductTest {
 protected:
  void SetUp() override {
    ProductTest::SetUp();
    mivra::ResetInstallDirCacheForTesting();
    mivra::ResetProductIdentityCacheForTesting();
  }
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_CORE_PRODUCT_TEST_H_
