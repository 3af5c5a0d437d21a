#include "update/frame/install_dir.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "support/core_product_test.h"
#include "support/file_util.h"
#include "support/platform_fault.h"
#include "update/frame/bounded_string.h"
#include "update/frame/feature_switch.h"

namespace {

using mivra::GetInstallDir;
using mivra::IsOutsideInstallDir;
using mivra_test::FaultPlan;
using mivra_test::PlatformFault;

std::wstring ResolvedInstallDir() {
  wchar_t dir[mivra::kPathCapacity] = {};
  if (!GetInstallDir(dir)) return L"(unresolved)";
  return dir;
}

std::wstring ShortForm(const std::wstring& path) {
  wchar_t shortPath[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(shortPath) : std::wstring();
}

std::wstring UpperCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

class InstallDirTest : public mivra_test::CoreProductTest {};

TEST_F(InstallDirTest, RegistryValueDecidesWhenItNamesAnotherFolderThanTheExecutables) {
  ASSERT_NE(InstallDir(), mivra_test::ExeFolder());
  EXPECT_EQ(ResolvedInstallDir(), InstallDir());
}

TEST_F(InstallDirTest, ExecutableFolderLendsItsSpellingWhenTheRegistryNamesItInAnotherCase) {
  const std::wstring exeFolder = mivra_test::ExeFolder();
  const std::wstring upper = UpperCase(exeFolder);
  ASSERT_NE(upper, exeFolder);
  mivra_test::SetAppPathsValue(upper);
  EXPECT_EQ(ResolvedInstallDir(), exeFolder);
}

TEST_F(InstallDirTest, RegistryValueInShortFormGivesTheLongForm) {
  const std::wstring exeFolder = mivra_test::ExeFolder();
  const std::wstring shortFolder = ShortForm(exeFolder);
  if (shortFolder.empty() || _wcsicmp(shortFolder.c_str(), exeFolder.c_str()) == 0) {
    GTEST_SKIP() << "the executable's folder has no short form distinct from its long form";
  }
  mivra_test::SetAppPathsValue(shortFolder);
  EXPECT_EQ(ResolvedInstallDir(), exeFolder);
}

TEST_F(InstallDirTest, UnresolvableRegistryEntryLeavesDirectoryUnresolvedAndLibraryOn) {
  struct RegistryCase {
    const char* name;
    void (*arrange)();
  };
  const RegistryCase kCases[] = {
      {"no App Paths key", [] { mivra_test::DeleteAppPathsKey(); }},
      {"no Path value", [] { mivra_test::DeleteAppPathsValue(); }},
      // Its bytes would read as the wide text "\": the root of the current drive.
      {"Path as REG_DWORD", [] { mivra_test::SetAppPathsDword(0x5C); }},
      {"empty Path", [] { mivra_test::SetAppPathsValue(L""); }},
  };
  // Would switch the library off if the directory were taken from anywhere but the registry.
  WriteSwitchFile("[UPDATE]\r\nMIVRA=0\r\n");
  mivra_test::WriteFileBytes(mivra_test::ExeFolder() + L"section.ini", "[UPDATE]\r\nMIVRA=0\r\n");

  for (const RegistryCase& c : kCases) {
    SCOPED_TRACE(c.name);
    mivra::ResetInstallDirCacheForTesting();
    c.arrange();
    wchar_t dir[mivra::kPathCapacity] = {};
    EXPECT_FALSE(GetInstallDir(dir));
    EXPECT_FALSE(mivra::IsFeatureOff());

    // A failed resolution is not kept: the next need tries again.
    mivra_test::SetAppPathsValue(InstallDir());
    EXPECT_EQ(ResolvedInstallDir(), InstallDir());
    EXPECT_TRUE(mivra::IsFeatureOff());
  }
  DeleteFileW((mivra_test::ExeFolder() + L"section.ini").c_str());
}

// The resolution says where it ended and what it read on the way, for the trace and for mivractl.
TEST_F(InstallDirTest, ResolutionTellsTheStepThatFailedAndWhatItRead) {
  using mivra::InstallDirStep;
  using mivra::PlatformCalls;
  const mivra::InstallDirResolution resolved = mivra::ResolveInstallDir();
  EXPECT_EQ(resolved.step, InstallDirStep::kResolved);
  EXPECT_EQ(std::wstring(resolved.installDir), InstallDir());
  EXPECT_EQ(std::wstring(resolved.value), InstallDir());
  EXPECT_EQ(std::wstring(resolved.programFolder), mivra_test::ExeFolder());

  struct RegistryCase {
    const char* name;
    void (*arrange)();
    InstallDirStep step;
    uint32_t valueType;
  };
  const RegistryCase kRegistry[] = {
      {"no App Paths key", [] { mivra_test::DeleteAppPathsKey(); }, InstallDirStep::kKeyMissing, 0},
      {"no Path value", [] { mivra_test::DeleteAppPathsValue(); }, InstallDirStep::kValueMissing, 0},
      {"Path as REG_DWORD", [] { mivra_test::SetAppPathsDword(7); }, InstallDirStep::kValueNotString, REG_DWORD},
      {"empty Path", [] { mivra_test::SetAppPathsValue(L""); }, InstallDirStep::kValueEmpty, 0},
  };
  for (const RegistryCase& c : kRegistry) {
    SCOPED_TRACE(c.name);
    c.arrange();
    const mivra::InstallDirResolution resolution = mivra::ResolveInstallDir();
    EXPECT_EQ(resolution.step, c.step);
    EXPECT_EQ(resolution.valueType, c.valueType);
    EXPECT_EQ(resolution.value[0], L'\0');
    EXPECT_EQ(std::wstring(resolution.programFolder), mivra_test::ExeFolder());
    mivra_test::SetAppPathsValue(InstallDir());
  }

  {
    PlatformFault<&PlatformCalls::RegOpenKeyExW> fault(FaultPlan::Always(), ERROR_ACCESS_DENIED);
    const mivra::InstallDirResolution resolution = mivra::ResolveInstallDir();
    EXPECT_EQ(resolution.step, InstallDirStep::kKeyUnreadable);
    EXPECT_EQ(resolution.registryStatus, ERROR_ACCESS_DENIED);
  }
  {
    PlatformFault<&PlatformCalls::RegQueryValueExW> fault(FaultPlan::Always(), ERROR_ACCESS_DENIED);
    const mivra::InstallDirResolution resolution = mivra::ResolveInstallDir();
    EXPECT_EQ(resolution.step, InstallDirStep::kValueUnreadable);
    EXPECT_EQ(resolution.registryStatus, ERROR_ACCESS_DENIED);
  }
  {
    PlatformFault<&PlatformCalls::RegQueryValueExW> fault(FaultPlan::Always(), ERROR_MORE_DATA);
    EXPECT_EQ(mivra::ResolveInstallDir().step, InstallDirStep::kValueTooLong);
  }
  {
    PlatformFault<&PlatformCalls::GetModuleFileNameW> fault(FaultPlan::Always(), 0);
    EXPECT_EQ(mivra::ResolveInstallDir().step, InstallDirStep::kProgramPathTooLong);
  }
  {
    // The value names another folder than the program's, whose long form lends no spelling.
    PlatformFault<&PlatformCalls::GetLongPathNameW> fault(FaultPlan::Always(), 0, ERROR_ACCESS_DENIED);
    const mivra::InstallDirResolution resolution = mivra::ResolveInstallDir();
    EXPECT_EQ(resolution.step, InstallDirStep::kProgramFolderLongForm);
    EXPECT_EQ(std::wstring(resolution.value), InstallDir());
    wchar_t dir[mivra::kPathCapacity] = {};
    EXPECT_FALSE(GetInstallDir(dir)) << "the library acts on the same resolution";
  }
  EXPECT_EQ(ResolvedInstallDir(), InstallDir());
}

TEST_F(InstallDirTest, FailedRegistryReadIsRetriedAtTheNextNeed) {
  {
    PlatformFault<&mivra::PlatformCalls::RegQueryValueExW> fault(FaultPlan::Nth(1), ERROR_ACCESS_DENIED);
    wchar_t dir[mivra::kPathCapacity] = {};
    EXPECT_FALSE(GetInstallDir(dir));
    EXPECT_EQ(ResolvedInstallDir(), InstallDir());
    EXPECT_EQ(fault.calls(), 2u);
  }
  // Once resolved, the cache answers without the registry.
  PlatformFault<&mivra::PlatformCalls::RegOpenKeyExW> fault(FaultPlan::Always(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ResolvedInstallDir(), InstallDir());
  EXPECT_EQ(fault.calls(), 0u);
}

TEST_F(InstallDirTest, CallerBufferTooSmallFails) {
  wchar_t tiny[4] = {};
  EXPECT_FALSE(GetInstallDir(tiny));
  EXPECT_EQ(ResolvedInstallDir(), InstallDir()) << "the cache is unharmed";
}

// Whether IsOutsideInstallDir decides, and what.
struct Placement {
  bool decided;
  bool outside;
  bool operator==(const Placement&) const = default;
};

void PrintTo(const Placement& p, std::ostream* os) {
  *os << (p.decided ? (p.outside ? "outside" : "inside") : "undecided");
}

Placement Place(const std::wstring& path) {
  bool outside = true;  // must be cleared when no decision is made
  const bool decided = IsOutsideInstallDir(path.c_str(), &outside);
  return {decided, outside};
}

constexpr Placement kInside = {true, false};
constexpr Placement kOutside = {true, true};
constexpr Placement kUndecided = {false, false};

class OutsideInstallDirTest : public mivra_test::CoreProductTest {
 protected:
  void SetUp() override {
    CoreProductTest::SetUp();
    mivra_test::WriteFileBytes(InstallPath(L"product.dat"), "data");
    mivra_test::MakeFolder(InstallPath(L"sub"));
    mivra_test::WriteFileBytes(InstallPath(L"sub\\product.dat"), "data");
  }
};

TEST_F(OutsideInstallDirTest, OnlyFilesDirectlyInTheInstallDirAreInside) {
  EXPECT_EQ(Place(InstallPath(L"product.dat")), kInside);
  EXPECT_EQ(Place(InstallPath(L"prdinf.dll")), kInside);
  EXPECT_EQ(Place(InstallPath(L"sub\\product.dat")), kOutside) << "a subfolder counts as outside";
  EXPECT_EQ(Place(mivra_test::ExeFolder() + L"prdinf.dll"), kOutside);
}

TEST_F(OutsideInstallDirTest, SpellingOfThePathDoesNotMatter) {
  EXPECT_EQ(Place(UpperCase(InstallPath(L"product.dat"))), kInside);
  const std::wstring shortPath = ShortForm(InstallPath(L"product.dat"));
  ASSERT_FALSE(shortPath.empty());
  EXPECT_EQ(Place(shortPath), kInside) << shortPath;

  // The registry may spell the install directory short as well.
  const std::wstring shortDir = ShortForm(InstallDir());
  ASSERT_FALSE(shortDir.empty());
  mivra_test::SetAppPathsValue(shortDir);
  mivra::ResetInstallDirCacheForTesting();
  EXPECT_EQ(Place(InstallPath(L"product.dat")), kInside);
  EXPECT_EQ(Place(InstallPath(L"sub\\product.dat")), kOutside);
}

// A path is judged by its folder, whether or not the file exists: a file that the update will
// add lies in the install directory, and one named anywhere else does not, even when absent.
TEST_F(OutsideInstallDirTest, AFileIsJudgedByItsFolderWhetherOrNotItExists) {
  const std::wstring shortDir = ShortForm(InstallDir());
  ASSERT_FALSE(shortDir.empty());
  const std::wstring withoutDrive = InstallDir().substr(2);
  struct PathCase {
    std::wstring path;
    Placement placement;
  };
  const PathCase kCases[] = {
      {InstallPath(L"missing.dat"), kInside},
      {UpperCase(InstallPath(L"missing.dat")), kInside},
      {shortDir + L"missing.dat", kInside},
      {InstallDir() + L"\\missing.dat", kInside},
      {InstallPath(L"nosuchfolder\\product.dat"), kOutside},
      {InstallPath(L"sub\\missing.dat"), kOutside},
      {L"C:\\Other\\Y.DLL", kOutside},
      {mivra_test::ExeFolder() + L"missing.dat", kOutside},
      {L"sub\\product.dat", kOutside},
      {L".\\product.dat", kOutside},
      {withoutDrive + L"product.dat", kOutside},
      {L"C:" + withoutDrive + L"product.dat", kInside},
      {InstallDir() + std::wstring(300, L'x') + L"\\product.dat", kOutside},
      {L"product.dat", kUndecided},
  };
  ASSERT_EQ(kCases[11].path, InstallPath(L"product.dat")) << "the install directory is on drive C:";
  for (const PathCase& c : kCases) {
    EXPECT_EQ(Place(c.path), c.placement) << std::string(c.path.begin(), c.path.end());
  }
}

TEST_F(OutsideInstallDirTest, ARegistryValueWithoutItsBackslashNamesTheSameFolder) {
  std::wstring withoutBackslash = InstallDir();
  withoutBackslash.pop_back();
  mivra_test::SetAppPathsValue(withoutBackslash);
  EXPECT_EQ(Place(InstallPath(L"missing.dat")), kInside);
  EXPECT_EQ(Place(InstallPath(L"sub\\product.dat")), kOutside);
}

TEST_F(OutsideInstallDirTest, NoDecisionWithoutAnInstallDir) {
  mivra_test::DeleteAppPathsKey();
  EXPECT_EQ(Place(InstallPath(L"product.dat")), kUndecided);
  EXPECT_EQ(Place(L"C:\\Other\\Y.DLL"), kUndecided);
}

// Without long forms only the spelling is left to compare: the same spelling is inside, another
// that cannot be shown to name the install directory is refused.
TEST_F(OutsideInstallDirTest, WithoutLongFormsOnlyTheSameSpellingIsInside) {
  const std::wstring shortPath = ShortForm(InstallPath(L"product.dat"));
  ASSERT_FALSE(shortPath.empty());
  wchar_t dir[mivra::kPathCapacity] = {};
  ASSERT_TRUE(GetInstallDir(dir));
  PlatformFault<&mivra::PlatformCalls::GetLongPathNameW> fault(FaultPlan::Always(), 0, ERROR_ACCESS_DENIED);
  EXPECT_EQ(Place(UpperCase(InstallPath(L"product.dat"))), kInside);
  EXPECT_EQ(Place(shortPath), kOutside);
}

}  // namespace
