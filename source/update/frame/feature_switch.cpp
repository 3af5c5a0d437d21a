#include "update/frame/feature_switch.h"

#include <windows.h>

#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"

namespace mivra {

bool IsFeatureOff() {
  wchar_t path[kPathCapacity] = {};
  if (!GetInstallDir(path)) return false;
  if (!BoundedAppend(path, L"section.ini")) return false;
  return Platform().GetPrivateProfileIntW(L"UPDATE", L"MIVRA", 1, path) == 0;
}

}  // namespace mivra
