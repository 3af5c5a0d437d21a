#include "update/frame/feature_switch.h"

#include <windows.h>

#include "update/frame/bounded_string.h"
#include "update/frame/install_dir.h"
#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"

namespace mivra {

bool IsFeatureOff() {
  wchar_t path[kPathCapacity] = {};
  if (!GetInstallDir(path)) return false;
  if (!BoundedAppend(path, L"section.ini")) return false;
  const bool off = Platform().GetPrivateProfileIntW(L"UPDATE", L"MIVRA", 1, path) == 0;
  TraceStep("switch").Path("path", path).Outcome(off ? "off" : "on");
  return off;
}

}  // namespace mivra
