#include "update/frame/product_identity.h"

#include <cstring>

#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"
#include "update/frame/module_loader.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

namespace mivra {
namespace {

// The process-wide name cache; both empty until a load succeeded as a whole.
char g_companyName[kAnsiNameCapacity];
char g_productName[kAnsiNameCapacity];

using ReadProductInfoFn = int(__cdecl*)(char* company, char* product);

ScopedModule LoadInstallDirLibrary(const wchar_t* fileName) {
  wchar_t path[kPathCapacity] = {};
  if (!GetInstallDir(path) || !BoundedAppend(path, fileName)) return ScopedModule();
  return ScopedModule(Platform().LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

bool IsTerminated(const char (&name)[kAnsiNameCapacity]) {
  return std::memchr(name, '\0', kAnsiNameCapacity) != nullptr;
}

bool LoadFromProductInfo(char (&company)[kAnsiNameCapacity], char (&product)[kAnsiNameCapacity]) {
  ScopedModule library = LoadInstallDirLibrary(L"prdinf.dll");
  if (!library) return false;
  auto readProductInfo = GetProc<ReadProductInfoFn>(library.get(), "RPI");
  if (!readProductInfo) return false;
  return readProductInfo(company, product) != 0 && IsTerminated(company) && IsTerminated(product);
}

bool LoadFromResources(char (&company)[kAnsiNameCapacity], char (&product)[kAnsiNameCapacity]) {
  ScopedModule library = LoadInstallDirLibrary(L"LBLRES.DLL");
  if (!library) return false;
  return LoadStringResource(library.get(), kCompanyNameStringId, company) &&
         LoadStringResource(library.get(), kProductNameStringId, product);
}

// Both names are loaded into scratch buffers and enter the cache together, so a half-failed load
// can never leave a placeholder text that would become a folder name.
bool LoadNames() {
  char company[kAnsiNameCapacity] = {};
  char product[kAnsiNameCapacity] = {};
  if (!LoadFromProductInfo(company, product)) {
    std::memset(company, 0, sizeof(company));
    std::memset(product, 0, sizeof(product));
    if (!LoadFromResources(company, product)) return false;
  }
  if (company[0] == '\0' || product[0] == '\0') return false;
  std::memcpy(g_companyName, company, sizeof(company));
  std::memcpy(g_productName, product, sizeof(product));
  return true;
}

bool ToWideName(const char (&name)[kAnsiNameCapacity], wchar_t (&wide)[kProductNameCapacity]) {
  return ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, -1, wide, kProductNameCapacity) != 0;
}

}  // namespace

bool LoadStringResource(HMODULE module, UINT id, char (&buffer)[kAnsiNameCapacity]) {
  if (module && Platform().LoadStringA(module, id, buffer, kAnsiNameCapacity) > 0) return true;
  BoundedCopy(buffer, "Resource not found.");
  return false;
}

bool GetProductIdentity(wchar_t (&company)[kProductNameCapacity], wchar_t (&product)[kProductNameCapacity]) {
  if ((g_companyName[0] == '\0' || g_productName[0] == '\0') && !LoadNames()) return false;
  return ToWideName(g_companyName, company) && ToWideName(g_productName, product);
}

void ResetProductIdentityCacheForTesting() {
  g_companyName[0] = '\0';
  g_productName[0] = '\0';
}

}  // namespace mivra
