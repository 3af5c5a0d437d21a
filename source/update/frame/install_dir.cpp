#include "update/frame/install_dir.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <string_view>

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

// A path from the root of a drive (C:\...) or a UNC or device path (\\server\..., \\?\...); any
// other is relative to a current folder or drive that the caller does not control.
bool IsAbsolutePath(std::wstring_view path) {
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return true;
  return path.size() >= 3 && std::iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\';
}

// The folder without the trailing backslashes that one spelling carries and another may not.
std::wstring_view Trimmed(const wchar_t* folder) {
  std::wstring_view view(folder);
  while (view.size() > 1 && view.back() == L'\\') view.remove_suffix(1);
  return view;
}

bool SameText(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && _wcsnicmp(a.data(), b.data(), a.size()) == 0;
}

// True when both spellings name one folder: equal without regard to case or trailing
// backslashes, as spelled or in long form (a folder that does not exist keeps its spelling).
bool NameSameFolder(const wchar_t* folder, const wchar_t* otherFolder) {
  if (SameText(Trimmed(folder), Trimmed(otherFolder))) return true;
  wchar_t longFolder[kPathCapacity] = {};
  wchar_t longOther[kPathCapacity] = {};
  const wchar_t* one = GetLongForm(folder, longFolder) ? longFolder : folder;
  const wchar_t* other = GetLongForm(otherFolder, longOther) ? longOther : otherFolder;
  return SameText(Trimmed(one), Trimmed(other));
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
  // A bare name names no folder; the caller refuses it as a path.
  const wchar_t* lastBackslash = std::wcsrchr(path, L'\\');
  if (!lastBackslash) return false;
  wchar_t installDir[kPathCapacity] = {};
  if (!GetInstallDir(installDir)) return false;

  // Outside until its folder is shown to be the install directory, so that a path that cannot be
  // judged is refused rather than recorded under its bare name.
  *outside = true;
  wchar_t folder[kPathCapacity];
  if (IsAbsolutePath(path) && BoundedCopy(folder, std::wstring_view(path, lastBackslash - path + 1))) {
    *outside = !NameSameFolder(folder, installDir);
  }
  if (*outside) TraceStep("in-install-dir").Path("path", path).Path("install-dir", installDir).Outcome("outside");
  return true;
}

void ResetInstallDirCacheForTesting() { g_installDir[0] = L'\0'; }

}  // namespace mivra
