#include "update/frame/module_loader.h"

namespace mivra {

ScopedModule LoadProductComponent(const wchar_t* fileName) {
  if (!fileName) return ScopedModule();
  return ScopedModule(
      Platform().LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32));
}

}  // namespace mivra
