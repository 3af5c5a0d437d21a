#include "update/frame/install_dir.h"

#include <windows.h>

#include <cwchar>

#include "update/frame/bounded_string.h"
#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/frame/trace_log.h"

namespace mivra {
namespace {

// The one process-wide cache of the install directory; empty until resolved.
wchar_t g_installDir[kPathCapacity];

// Cuts `path` after its last backslash, keeping it. False when there is none.
bool CutAfterLastBackslash(wchar_t* path) {
  wchar_t* last = std::wcsrchr(path, L'\\');
  if (!last) return false;
  last[1] = L'\0';
  return true;
}

bool GetLongForm(const wchar_t* path, wchar_t (&longForm)[kPathCapacity]) {
  const DWORD length = Platform().GetLongPathNameW(path, longForm, kPathCapacity);
  return length != 0 && length < kPathCapacity;
}

// Reads the "Path" value into `resolution->value`; the step that failed, or kResolved.
InstallDirStep ReadAppPathsValue(InstallDirResolution* resolution) {
  ScopedRegKey key;
  const LSTATUS opened = Platform().RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_QUERY_VALUE, key.receive());
  if (opened == ERROR_FILE_NOT_FOUND) return InstallDirStep::kKeyMissing;
  if (opened != ERROR_SUCCESS) {
    resolution->registryStatus = opened;
    return InstallDirStep::kKeyUnreadable;
  }
  wchar_t value[kPathCapacity] = {};
  DWORD type = 0;
  DWORD size = sizeof(value);
  const LSTATUS read =
      Platform().RegQueryValueExW(key.get(), L"Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  if (read == ERROR_FILE_NOT_FOUND) return InstallDirStep::kValueMissing;
  if (read == ERROR_MORE_DATA) return InstallDirStep::kValueTooLong;
  if (read != ERROR_SUCCESS) {
    resolution->registryStatus = read;
    return InstallDirStep::kValueUnreadable;
  }
  // A value of another type holds no path: reading it as one would name a random folder.
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    resolution->valueType = type;
    return InstallDirStep::kValueNotString;
  }
  value[kPathCapacity - 1] = L'\0';
  // An empty value would make every composed name relative, so that the product libraries were
  // looked for along the search path.
  if (value[0] == L'\0') return InstallDirStep::kValueEmpty;
  BoundedCopy(resolution->value, value);
  return InstallDirStep::kResolved;
}

// True when `value` names the folder whose long form is `longFolder`, in whatever spelling.
bool NamesFolder(const wchar_t* value, const wchar_t* longFolder) {
  wchar_t longValue[kPathCapacity] = {};
  return GetLongForm(value, longValue) && _wcsicmp(longValue, longFolder) == 0;
}

// The steps, up to the one that fails.
InstallDirStep Resolve(InstallDirResolution* resolution) {
  wchar_t exeFolder[kPathCapacity] = {};
  const DWORD length = Platform().GetModuleFileNameW(nullptr, exeFolder, kPathCapacity);
  if (length == 0 || (length == kPathCapacity && Platform().GetLastError() == ERROR_INSUFFICIENT_BUFFER)) {
    return InstallDirStep::kProgramPathTooLong;
  }
  CutAfterLastBackslash(exeFolder);
  BoundedCopy(resolution->programFolder, exeFolder);

  const InstallDirStep read = ReadAppPathsValue(resolution);
  if (read != InstallDirStep::kResolved) return read;
  const wchar_t* value = resolution->value;

  // The registry decides the folder; the executable's folder only lends its spelling, in long form
  // when the value is spelled short.
  const wchar_t* result = value;
  wchar_t longFolder[kPathCapacity] = {};
  if (_wcsicmp(value, exeFolder) == 0) {
    result = exeFolder;
  } else {
    if (!GetLongForm(exeFolder, longFolder)) return InstallDirStep::kProgramFolderLongForm;
    if (_wcsicmp(value, longFolder) == 0 || NamesFolder(value, longFolder)) result = longFolder;
  }
  BoundedCopy(resolution->installDir, result);
  return InstallDirStep::kResolved;
}

void TraceResolution(const InstallDirResolution& resolution) {
  TraceEvent step = TraceStep("install-dir");
  step.Path("key", kAppPathsKey);
  if (resolution.value[0] != L'\0') step.Path("value", resolution.value);
  if (resolution.resolved()) {
    step.Path("path", resolution.installDir).Outcome("ok");
  } else {
    step.Failed(InstallDirStepWord(resolution.step));
  }
}

}  // namespace

InstallDirResolution ResolveInstallDir() {
  InstallDirResolution resolution;
  resolution.step = Resolve(&resolution);
  return resolution;
}

const char* InstallDirStepWord(InstallDirStep step) {
  switch (step) {
    case InstallDirStep::kResolved: return "resolved";
    case InstallDirStep::kProgramPathTooLong: return "program-path-too-long";
    case InstallDirStep::kKeyMissing: return "key-missing";
    case InstallDirStep::kKeyUnreadable: return "key-unreadable";
    case InstallDirStep::kValueMissing: return "value-missing";
    case InstallDirStep::kValueTooLong: return "value-too-long";
    case InstallDirStep::kValueUnreadable: return "value-unreadable";
    case InstallDirStep::kValueNotString: return "value-not-string";
    case InstallDirStep::kValueEmpty: return "value-empty";
    case InstallDirStep::kProgramFolderLongForm: return "program-folder-long-form";
  }
  return "unknown";
}

bool GetInstallDir(wchar_t* buffer, size_t capacity) {
  if (!buffer) return false;
  if (g_installDir[0] == L'\0') {
    const InstallDirResolution resolution = ResolveInstallDir();
    TraceResolution(resolution);
    if (!resolution.resolved() || !BoundedCopy(g_installDir, resolution.installDir)) {
      g_installDir[0] = L'\0';
      return false;
    }
  }
  return BoundedCopy(buffer, capacity, g_installDir);
}

bool IsOutsideInstallDir(const wchar_t* path, bool* outside) {
  if (!outside) return false;
  *outside = false;
  if (!path) return false;
  wchar_t copy[kPathCapacity];
  if (!BoundedCopy(copy, path)) return false;

  wchar_t fileFolder[kPathCapacity] = {};
  if (!GetLongForm(copy, fileFolder)) return false;
  if (!CutAfterLastBackslash(fileFolder)) return false;

  wchar_t installDir[kPathCapacity] = {};
  wchar_t installLong[kPathCapacity] = {};
  if (!GetInstallDir(installDir) || !GetLongForm(installDir, installLong)) return false;

  *outside = _wcsicmp(fileFolder, installLong) != 0;
  return true;
}

void ResetInstallDirCacheForTesting() { g_installDir[0] = L'\0'; }

}  // namespace mivra
