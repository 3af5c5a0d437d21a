// The DLL as an updater loads it at run time: fifteen exports found by name and by ordinal, and a
// version resource.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mivra_version.h"
#include "support/file_util.h"
#include "update/frame/module_loader.h"
#include "update/frame/scoped_handles.h"

namespace {

// The interface table: ordinal n is kExportNames[n - 1].
const char* const kExportNames[] = {
    "MivraAddToBackup",         "MivraRemoveFromBackup",    "MivraDeleteBackup",       "MivraRollback",
    "MivraCommitBackup",        "MivraCreateBkMdataObject", "MivraDeleteBkMdataObject", "MivraMarkUpdateStatus",
    "MivraCreateRBMdataObject", "MivraDeleteRBMdataObject", "MivraUpdateRollBackDB",   "MivraDeleteRollBackDB",
    "MivraIsFeatureOFF",        "MivraGetBkMdataFileList",  "MivraFreeBkMdataFileList",
};

std::wstring DllPath() { return mivra_test::ExeFolder() + L"mivra.dll"; }

using AnyProc = void (*)();

TEST(ExportTableTest, OrdinalsOneToFifteenAreTheNamedExports) {
  mivra::ScopedModule dll(LoadLibraryW(DllPath().c_str()));
  ASSERT_TRUE(dll);
  for (WORD ordinal = 1; ordinal <= 15; ++ordinal) {
    const char* name = kExportNames[ordinal - 1];
    const AnyProc byName = mivra::GetProc<AnyProc>(dll.get(), name);
    EXPECT_NE(byName, nullptr) << name;
    EXPECT_EQ(mivra::GetOrdinal<AnyProc>(dll.get(), ordinal), byName) << name << " @" << ordinal;
  }
  EXPECT_EQ(mivra::GetOrdinal<AnyProc>(dll.get(), 16), nullptr);
  EXPECT_EQ(mivra::GetProc<AnyProc>(dll.get(), "_MivraAddToBackup"), nullptr) << "names are undecorated";
}

TEST(ExportTableTest, DeleteRBMdataObjectIsDeleteBkMdataObject) {
  mivra::ScopedModule dll(LoadLibraryW(DllPath().c_str()));
  ASSERT_TRUE(dll);
  EXPECT_EQ(mivra::GetOrdinal<AnyProc>(dll.get(), 10), mivra::GetOrdinal<AnyProc>(dll.get(), 7));
}

TEST(ExportTableTest, CarriesTheProjectVersionInItsVersionResource) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(DllPath().c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MIVRA_VERSION_MAJOR << 16 | MIVRA_VERSION_MINOR));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MIVRA_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  wchar_t* text = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&text),
                             &length));
  EXPECT_EQ(std::wstring(text), std::wstring(L"" MIVRA_VERSION_TEXT ".0"));
}

}  // namespace
