#include "update/frame/product_identity.h"

#include <cstring>

#include "update/frame/install_dir.h"
#include "update/frame/module_loader.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// The process-wide name cache; both empty until a load succeeded as a whole.
char g_companyName[kAnsiNameCapacity];
char g_productName[kAnsiNameCapacity];

using ReadProductInfoFn = int(__cdecl*)(char* company, char* product);

bool Settle(NameSource* source, NameSourceOutcome outcome) {
  source->outcome = outcome;
  return false;
}

ScopedModule LoadInstallDirLibrary(const wchar_t* fileName, NameSource* source) {
  if (!GetInstallDir(source->path) || !BoundedAppend(source->path, fileName)) {
    source->path[0] = L'\0';
    Settle(source, NameSourceOutcome::kNoPath);
    return ScopedModule();
  }
  ScopedModule library(Platform().LoadLibraryExW(source->path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!library) {
    source->win32 = Platform().GetLastError();
    Settle(source, NameSourceOutcome::kNotLoaded);
  }
  return library;
}

bool IsTerminated(const char (&name)[kAnsiNameCapacity]) {
  return std::memchr(name, '\0', kAnsiNameCapacity) != nullptr;
}

// True when RPI answered with both names, empty or not.
bool LoadFromProductInfo(char (&company)[kAnsiNameCapacity], char (&product)[kAnsiNameCapacity], NameSource* source) {
  ScopedModule library = LoadInstallDirLibrary(kProductInfoLibrary, source);
  if (!library) return false;
  auto readProductInfo = GetProc<ReadProductInfoFn>(library.get(), kProductInfoExport);
  if (!readProductInfo) return Settle(source, NameSourceOutcome::kNoExport);
  if (readProductInfo(company, product) == 0) return Settle(source, NameSourceOutcome::kRefused);
  if (!IsTerminated(company) || !IsTerminated(product)) return Settle(source, NameSourceOutcome::kUnterminated);
  source->outcome = NameSourceOutcome::kGaveNames;
  return true;
}

bool LoadFromResources(char (&company)[kAnsiNameCapacity], char (&product)[kAnsiNameCapacity], NameSource* source) {
  ScopedModule library = LoadInstallDirLibrary(kResourceLibrary, source);
  if (!library) return false;
  for (const UINT id : {kCompanyNameStringId, kProductNameStringId}) {
    if (!LoadStringResource(library.get(), id, id == kCompanyNameStringId ? company : product)) {
      source->stringId = id;
      return Settle(source, NameSourceOutcome::kNoString);
    }
  }
  source->outcome = NameSourceOutcome::kGaveNames;
  return true;
}

NameSource& SourceThatAnswered(ProductIdentityLoad* load) {
  return load->resources.outcome == NameSourceOutcome::kNotTried ? load->productInfo : load->resources;
}

// Both names are loaded into scratch buffers and enter the cache together, so a half-failed load
// can never leave a placeholder text that would become a folder name. An answer of product info
// is final, empty names included: the resource library is asked only when it gave none.
bool LoadNames(char (&company)[kAnsiNameCapacity], char (&product)[kAnsiNameCapacity], ProductIdentityLoad* load) {
  if (!LoadFromProductInfo(company, product, &load->productInfo)) {
    std::memset(company, 0, sizeof(company));
    std::memset(product, 0, sizeof(product));
    if (!LoadFromResources(company, product, &load->resources)) return false;
  }
  if (company[0] == '\0' || product[0] == '\0') return Settle(&SourceThatAnswered(load), NameSourceOutcome::kEmptyName);
  return true;
}

void TraceSource(const char* step, const NameSource& source) {
  if (source.outcome == NameSourceOutcome::kNotTried) return;
  TraceEvent event = TraceStep(step);
  if (source.path[0] != L'\0') event.Path("path", source.path);
  switch (source.outcome) {
    case NameSourceOutcome::kGaveNames:
      event.Ok(true);
      return;
    case NameSourceOutcome::kNotLoaded:
      event.Outcome("failed").Number("win32", source.win32);
      return;
    case NameSourceOutcome::kNoExport:
    case NameSourceOutcome::kRefused:
    case NameSourceOutcome::kUnterminated:
      event.Text("export", kProductInfoExport);
      break;
    case NameSourceOutcome::kNoString:
      event.Number("string", source.stringId);
      break;
    case NameSourceOutcome::kNotTried:
    case NameSourceOutcome::kNoPath:
    case NameSourceOutcome::kEmptyName:
    case NameSourceOutcome::kNameTooLong:
      break;
  }
  event.Failed(NameSourceWords(source.outcome));
}

bool ToWideName(const char (&name)[kAnsiNameCapacity], wchar_t (&wide)[kProductNameCapacity]) {
  return ::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, -1, wide, kProductNameCapacity) != 0;
}

}  // namespace

const char* NameSourceWords(NameSourceOutcome outcome) {
  switch (outcome) {
    case NameSourceOutcome::kNotTried: return "not tried";
    case NameSourceOutcome::kNoPath: return "no path";
    case NameSourceOutcome::kNotLoaded: return "cannot be loaded";
    case NameSourceOutcome::kNoExport: return "no export";
    case NameSourceOutcome::kRefused: return "returned 0";
    case NameSourceOutcome::kUnterminated: return "name not terminated";
    case NameSourceOutcome::kNoString: return "no string";
    case NameSourceOutcome::kEmptyName: return "empty name";
    case NameSourceOutcome::kNameTooLong: return "name too long";
    case NameSourceOutcome::kGaveNames: return "ok";
  }
  return "unknown";
}

bool LoadStringResource(HMODULE module, UINT id, char (&buffer)[kAnsiNameCapacity]) {
  if (module && Platform().LoadStringA(module, id, buffer, kAnsiNameCapacity) > 0) return true;
  BoundedCopy(buffer, "Resource not found.");
  return false;
}

bool GetProductIdentity(wchar_t (&company)[kProductNameCapacity], wchar_t (&product)[kProductNameCapacity]) {
  if (g_companyName[0] == '\0' || g_productName[0] == '\0') {
    char loadedCompany[kAnsiNameCapacity] = {};
    char loadedProduct[kAnsiNameCapacity] = {};
    ProductIdentityLoad load;
    const bool loaded = LoadNames(loadedCompany, loadedProduct, &load);
    TraceSource("product-info", load.productInfo);
    TraceSource("product-resources", load.resources);
    if (!loaded) return false;
    std::memcpy(g_companyName, loadedCompany, sizeof(loadedCompany));
    std::memcpy(g_productName, loadedProduct, sizeof(loadedProduct));
  }
  if (ToWideName(g_companyName, company) && ToWideName(g_productName, product)) return true;
  TraceStep("product-names").Failed(NameSourceWords(NameSourceOutcome::kNameTooLong));
  return false;
}

bool DiagnoseProductIdentity(ProductIdentityLoad* load) {
  *load = ProductIdentityLoad();
  char company[kAnsiNameCapacity] = {};
  char product[kAnsiNameCapacity] = {};
  if (!LoadNames(company, product, load)) return false;
  wchar_t wideCompany[kProductNameCapacity] = {};
  wchar_t wideProduct[kProductNameCapacity] = {};
  if (ToWideName(company, wideCompany) && ToWideName(product, wideProduct)) return true;
  return Settle(&SourceThatAnswered(load), NameSourceOutcome::kNameTooLong);
}

void ResetProductIdentityCacheForTesting() {
  g_companyName[0] = '\0';
  g_productName[0] = '\0';
}

}  // namespace mivra
