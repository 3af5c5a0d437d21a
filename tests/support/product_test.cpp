#include "support/product_test.h"

#include <windows.h>
#include <shlobj.h>

#include "support/file_util.h"

namespace mivra_test {
namespace {

std::wstring ExeBaseName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path);
  name = name.substr(name.find_last_of(L'\\') + 1);
  return name.substr(0, name.find_last_of(L'.'));
}

void CopyStandIn(const wchar_t* builtName, const wchar_t* installedName) {
  CopyFileW((ExeFolder() + builtName).c_str(), (TestInstallDir() + installedName).c_str(), FALSE);
}

}  // namespace

std::wstring TestInstallDir() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  wchar_t longTemp[MAX_PATH] = {};
  if (GetLongPathNameW(temp, longTemp, MAX_PATH) == 0) wcscpy(longTemp, temp);
  return std::wstring(longTemp) + L"mivra-" + ExeBaseName() + L"\\";
}

std::wstring CommonFilesFolder() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES_COMMON, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

std::wstring BaseFolderFor(const std::wstring& company, const std::wstring& product) {
  return CommonFilesFolder() + L"\\" + company + L"\\" + product;
}

void ProductTest::SetUp() {
  const std::wstring dir = TestInstallDir();
  RemoveTree(dir.substr(0, dir.size() - 1));
  MakeFolder(dir);
  SetAppPathsValue(dir);
  CopyStandIn(L"prdinf.dll", L"prdinf.dll");
  CopyStandIn(L"LBLRES.DLL", L"LBLRES.DLL");
  for (const wchar_t* name : {L"MIVRA_STANDIN_RPI_RESULT", L"MIVRA_STANDIN_COMPANY", L"MIVRA_STANDIN_PRODUCT",
                              L"MIVRA_STANDIN_RPI_CALLS"}) {
    SetEnv(name, nullptr);
  }
  RemoveTree(CommonFilesFolder() + L"\\" + kCompany);
  RemoveTree(CommonFilesFolder() + L"\\" + kResourceCompany);
}

void ProductTest::WriteSwitchFile(const char* text) {
  const std::wstring path = InstallPath(L"section.ini");
  if (!text) {
    DeleteFileW(path.c_str());
    return;
  }
  WriteFileBytes(path, text);
}

}  // namespace mivra_test
