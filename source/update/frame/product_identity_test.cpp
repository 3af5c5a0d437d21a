#include "update/frame/product_identity.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "update/frame/backup_folder.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_format.h"
#include "update/frame/trace_log.h"

namespace {

using mivra_test::kCompany;
using mivra_test::kProduct;
using mivra_test::kResourceCompany;
using mivra_test::kResourceProduct;
using mivra::NameSource;
using mivra::NameSourceOutcome;

// The names as a caller gets them, or "(failed)".
std::wstring Identity() {
  wchar_t company[mivra::kProductNameCapacity] = {};
  wchar_t product[mivra::kProductNameCapacity] = {};
  if (!mivra::GetProductIdentity(company, product)) return L"(failed)";
  return std::wstring(company) + L"|" + product;
}

std::wstring Names(const std::wstring& company, const std::wstring& product) { return company + L"|" + product; }

// How often the prdinf.dll stand-in's RPI has been called in this process.
std::wstring RpiCalls() { return mivra_test::GetEnv(L"MIVRA_STANDIN_RPI_CALLS"); }

class ProductIdentityTest : public mivra_test::CoreProductTest {
 public:
  void RemoveLibrary(const wchar_t* name) { ASSERT_TRUE(DeleteFileW(InstallPath(name).c_str())) << name; }
  void InstallBuiltLibrary(const wchar_t* builtName, const wchar_t* installedName) {
    ASSERT_TRUE(CopyFileW((mivra_test::ExeFolder() + builtName).c_str(), InstallPath(installedName).c_str(), FALSE));
  }
};

TEST_F(ProductIdentityTest, NamesComeFromProductInfoAndAreKeptAfterTheFirstLoad) {
  EXPECT_EQ(Identity(), Names(kCompany, kProduct));
  EXPECT_EQ(RpiCalls(), L"1");

  EXPECT_EQ(Identity(), Names(kCompany, kProduct));
  EXPECT_EQ(RpiCalls(), L"1") << "the cached names are used without asking again";

  // With the names cached, neither library is needed any more.
  RemoveLibrary(L"prdinf.dll");
  RemoveLibrary(L"LBLRES.DLL");
  EXPECT_EQ(Identity(), Names(kCompany, kProduct));
}

TEST_F(ProductIdentityTest, ResourceLibraryStandsInWhenProductInfoGivesNoNames) {
  struct FallbackCase {
    const char* name;
    void (*arrange)(ProductIdentityTest*);
  };
  const FallbackCase kCases[] = {
      {"RPI returns 0", [](ProductIdentityTest*) { mivra_test::SetEnv(L"MIVRA_STANDIN_RPI_RESULT", L"0"); }},
      {"no prdinf.dll", [](ProductIdentityTest* t) { t->RemoveLibrary(L"prdinf.dll"); }},
      {"prdinf.dll without RPI", [](ProductIdentityTest* t) { t->InstallBuiltLibrary(L"LBLRES.DLL", L"prdinf.dll"); }},
  };
  for (const FallbackCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.arrange(this);
    EXPECT_EQ(Identity(), Names(kResourceCompany, kResourceProduct));

    // The folders are named after what the resource library holds.
    wchar_t folder[mivra::kPathCapacity] = {};
    ASSERT_TRUE(mivra::GetBackupFolder(folder, mivra::BKF_BASE, false));
    EXPECT_EQ(std::wstring(folder), mivra_test::BaseFolderFor(kResourceCompany, kResourceProduct));
  }
}

TEST_F(ProductIdentityTest, FailsWithNeitherLibraryAndTriesAgainLater) {
  RemoveLibrary(L"prdinf.dll");
  RemoveLibrary(L"LBLRES.DLL");
  EXPECT_EQ(Identity(), L"(failed)");
  EXPECT_EQ(Identity(), L"(failed)");

  InstallBuiltLibrary(L"prdinf.dll", L"prdinf.dll");
  EXPECT_EQ(Identity(), Names(kCompany, kProduct));
}

TEST_F(ProductIdentityTest, LibrariesThatCannotBeLoadedCountAsMissing) {
  using LoadFault = mivra_test::PlatformFault<&mivra::PlatformCalls::LoadLibraryExW>;
  {
    // prdinf.dll is loaded first; the resource library stands in for it.
    LoadFault fault(mivra_test::FaultPlan::Nth(1), nullptr, ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(Identity(), Names(kResourceCompany, kResourceProduct));
    EXPECT_EQ(RpiCalls(), L"");
  }
  SetUp();
  {
    LoadFault fault(mivra_test::FaultPlan::Always(), nullptr, ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(Identity(), L"(failed)");
    EXPECT_EQ(fault.calls(), 2u);
  }
  EXPECT_EQ(Identity(), Names(kCompany, kProduct));
}

TEST_F(ProductIdentityTest, FailsWithoutAnInstallDir) {
  mivra_test::DeleteAppPathsKey();
  EXPECT_EQ(Identity(), L"(failed)");
  EXPECT_EQ(RpiCalls(), L"") << "no product library is loaded from elsewhere";
}

TEST_F(ProductIdentityTest, NameOf200CharactersOrMoreFails) {
  struct LengthCase {
    const wchar_t* variable;
    size_t length;
    bool fits;
  };
  const LengthCase kCases[] = {
      {L"MIVRA_STANDIN_COMPANY", 199, true},  {L"MIVRA_STANDIN_COMPANY", 200, false},
      {L"MIVRA_STANDIN_PRODUCT", 199, true},  {L"MIVRA_STANDIN_PRODUCT", 200, false},
      {L"MIVRA_STANDIN_PRODUCT", 259, false},
  };
  for (const LengthCase& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.variable << " of " << c.length);
    SetUp();
    const std::wstring name(c.length, L'n');
    mivra_test::SetEnv(c.variable, name.c_str());
    const std::wstring identity = Identity();
    if (c.fits) {
      EXPECT_NE(identity.find(name), std::wstring::npos);
    } else {
      EXPECT_EQ(identity, L"(failed)");
      wchar_t folder[mivra::kPathCapacity] = {};
      EXPECT_FALSE(mivra::GetBackupFolder(folder, mivra::BKF_BASE, false));
    }
  }
}

TEST_F(ProductIdentityTest, ResourceLibraryWithoutProductNameLeavesNoPartialNameBehind) {
  mivra_test::SetEnv(L"MIVRA_STANDIN_RPI_RESULT", L"0");
  InstallBuiltLibrary(L"lblres_company_only.dll", L"LBLRES.DLL");

  EXPECT_EQ(Identity(), L"(failed)");
  // The company name loaded before the failure must not count as half of a cached identity.
  EXPECT_EQ(Identity(), L"(failed)");
  wchar_t folder[mivra::kPathCapacity] = {};
  EXPECT_FALSE(mivra::GetBackupFolder(folder, mivra::BKF_BKUP, true));
  EXPECT_FALSE(mivra_test::FileExists(mivra_test::CommonFilesFolder() + L"\\" + kResourceCompany));

  // Once product info answers, its names are taken whole.
  mivra_test::SetEnv(L"MIVRA_STANDIN_RPI_RESULT", nullptr);
  EXPECT_EQ(Identity(), Names(kCompany, kProduct));
  EXPECT_FALSE(mivra_test::FileExists(mivra_test::BaseFolderFor(kResourceCompany, L"Resource not found.")));
}

TEST_F(ProductIdentityTest, LoadStringResourcePutsPlaceholderOnFailure) {
  mivra::ScopedModule resources(
      LoadLibraryExW((mivra_test::ExeFolder() + L"lblres_company_only.dll").c_str(), nullptr, 0));
  ASSERT_TRUE(resources);
  char buffer[mivra::kAnsiNameCapacity] = {};
  EXPECT_TRUE(mivra::LoadStringResource(resources.get(), mivra::kCompanyNameStringId, buffer));
  EXPECT_STREQ(buffer, "Kestrivane Labels");
  EXPECT_FALSE(mivra::LoadStringResource(resources.get(), mivra::kProductNameStringId, buffer));
  EXPECT_STREQ(buffer, "Resource not found.");
  EXPECT_FALSE(mivra::LoadStringResource(nullptr, mivra::kCompanyNameStringId, buffer));
}

// One source's outcome as the tests compare it: "outcome path [win32=N] [string=N]".
std::string Describe(const NameSource& source) {
  std::string text = mivra::NameSourceWords(source.outcome);
  std::wstring path(source.path);
  text += " " + std::string(path.begin(), path.end());
  if (source.win32 != 0) text += " win32=" + std::to_string(source.win32);
  if (source.stringId != 0) text += " string=" + std::to_string(source.stringId);
  return text;
}

TEST_F(ProductIdentityTest, DiagnosisNamesTheLibraryTheExportOrStringAndThePathOfEachSource) {
  struct DiagnosisCase {
    const char* name;
    void (*arrange)(ProductIdentityTest*);
    bool had;
    const char* productInfo;  // Describe() with %s for the install directory
    const char* resources;
  };
  const DiagnosisCase kCases[] = {
      {"both present", [](ProductIdentityTest*) {}, true, "ok %sprdinf.dll", "not tried "},
      {"RPI returns 0", [](ProductIdentityTest*) { mivra_test::SetEnv(L"MIVRA_STANDIN_RPI_RESULT", L"0"); }, true,
       "returned 0 %sprdinf.dll", "ok %sLBLRES.DLL"},
      {"neither library",
       [](ProductIdentityTest* t) {
         t->RemoveLibrary(L"prdinf.dll");
         t->RemoveLibrary(L"LBLRES.DLL");
       },
       false, "cannot be loaded %sprdinf.dll win32=126", "cannot be loaded %sLBLRES.DLL win32=126"},
      {"no RPI, no product name",
       [](ProductIdentityTest* t) {
         t->InstallBuiltLibrary(L"LBLRES.DLL", L"prdinf.dll");
         t->InstallBuiltLibrary(L"lblres_company_only.dll", L"LBLRES.DLL");
       },
       false, "no export %sprdinf.dll", "no string %sLBLRES.DLL string=102"},
      {"product name of 200 characters",
       [](ProductIdentityTest*) { mivra_test::SetEnv(L"MIVRA_STANDIN_PRODUCT", std::wstring(200, L'n').c_str()); },
       false, "name too long %sprdinf.dll", "not tried "},
      {"no install directory", [](ProductIdentityTest*) { mivra_test::DeleteAppPathsKey(); }, false, "no path ",
       "no path "},
  };
  const std::wstring wideDir = InstallDir();
  const std::string dir(wideDir.begin(), wideDir.end());
  auto expand = [&dir](const char* pattern) {
    std::string text = pattern;
    const size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, dir);
  };
  for (const DiagnosisCase& c : kCases) {
    SCOPED_TRACE(c.name);
    SetUp();
    c.arrange(this);
    mivra::ProductIdentityLoad load;
    EXPECT_EQ(mivra::DiagnoseProductIdentity(&load), c.had);
    EXPECT_EQ(Describe(load.productInfo), expand(c.productInfo));
    EXPECT_EQ(Describe(load.resources), expand(c.resources));
    // The diagnosis fills no cache: the library's own load agrees and then keeps its answer.
    EXPECT_EQ(Identity() != L"(failed)", c.had);
  }
}

TEST_F(ProductIdentityTest, TheTraceNamesWhatEachSourceLackedAndWhere) {
  const std::wstring trace = InstallPath(L"identity trace.log");
  InstallBuiltLibrary(L"LBLRES.DLL", L"prdinf.dll");
  InstallBuiltLibrary(L"lblres_company_only.dll", L"LBLRES.DLL");
  mivra_test::SetEnv(L"MIVRA_TRACE", trace.c_str());
  {
    mivra::ExportTrace call("MivraCommitBackup");
    call.Arguments();
    EXPECT_EQ(Identity(), L"(failed)");
    call.Returned(false);
  }
  mivra_test::SetEnv(L"MIVRA_TRACE", nullptr);
  std::vector<std::string> steps;
  const std::string text = mivra_test::ReadFileBytes(trace);
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string shown;
    for (const mivra::TraceField& field : mivra::ParseTraceLine(std::string_view(text).substr(start, end - start))) {
      if (field.key == "event" && field.value != "step") break;
      if (field.key == "time" || field.key == "pid" || field.key == "tid" || field.key == "event") continue;
      shown += (shown.empty() ? "" : " ") + field.key + "=" + field.value;
    }
    if (shown.rfind("step=product-", 0) == 0) steps.push_back(shown);
  }
  const std::wstring wideDir = InstallDir();
  const std::string dir(wideDir.begin(), wideDir.end());
  const std::vector<std::string> expected = {
      "step=product-info path=" + dir + "prdinf.dll export=RPI result=failed why=no export",
      "step=product-resources path=" + dir + "LBLRES.DLL string=102 result=failed why=no string",
  };
  EXPECT_EQ(steps, expected);
}

}  // namespace
