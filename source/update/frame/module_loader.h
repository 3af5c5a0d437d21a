// Finding functions in modules, and loading the product's components by name.
#ifndef MIVRA_UPDATE_FRAME_MODULE_LOADER_H_
#define MIVRA_UPDATE_FRAME_MODULE_LOADER_H_

#include <windows.h>

#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"

namespace mivra {

// The function `name` (or ordinal, through MAKEINTRESOURCEA) of `module` as type Fn; null when
// missing.
template <typename Fn>
Fn GetProc(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(Platform().GetProcAddress(module, name)));
}

template <typename Fn>
Fn GetOrdinal(HMODULE module, WORD ordinal) {
  return GetProc<Fn>(module, MAKEINTRESOURCEA(ordinal));
}

// Loads a product component such as "zkstub.dll" at the time of the call, searching only the
// application's folder and System32, never the current folder or PATH.
ScopedModule LoadProductComponent(const wchar_t* fileName);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_MODULE_LOADER_H_
