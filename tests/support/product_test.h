// Fixture for tests that need an installed product: an install directory of this test process,
// registered under App Paths, holding the stand-in product libraries, and no library folders
// under Common Files yet.
#ifndef MIVRA_TESTS_SUPPORT_PRODUCT_TEST_H_
#define MIVRA_TESTS_SUPPORT_PRODUCT_TEST_H_

#include <gtest/gtest.h>

#include <string>

namespace mivra_test {

// Names the prdinf.dll stand-in reports by default, and those of the LBLRES.DLL stand-in.
inline constexpr wchar_t kCompany[] = L"Kestrivane Technologies";
inline constexpr wchar_t kProduct[] = L"Corvane";
inline constexpr wchar_t kResourceCompany[] = L"Kestrivane Labels";
inline constexpr wchar_t kResourceProduct[] = L"Corvane Resources";

// The install directory of this test process (one per executable), ending with a backslash.
std::wstring TestInstallDir();

// The system's Common Files folder, without a trailing backslash.
std::wstring CommonFilesFolder();

// Common Files\company\product.
std::wstring BaseFolderFor(const std::wstring& company, const std::wstring& product);

class ProductTest : public ::testing::Test {
 protected:
  void SetUp() override;

  std::wstring InstallDir() const { return TestInstallDir(); }
  std::wstring InstallPath(const std::wstring& name) const { return TestInstallDir() + name; }
  std::wstring BaseFolder() const { return BaseFolderFor(kCompany, kProduct); }
  std::wstring BkupFolder() const { return BaseFolder() + L"\\bkup"; }
  std::wstring TmpBkupFolder() const { return BaseFolder() + L"\\tmpbkup"; }

  // Writes section.ini with the given text (null deletes it).
  void WriteSwitchFile(const char* text);
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_PRODUCT_TEST_H_
