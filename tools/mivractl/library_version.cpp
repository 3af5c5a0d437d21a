#include "library_version.h"

#include <windows.h>

#include <vector>

#include "install_paths.h"
#include "update/frame/bounded_string.h"

namespace mivra::ctl {
namespace {

// "1.0.0.0" from the file's fixed version information; empty when it has none.
std::string FileVersion(const wchar_t* path) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return std::string();
  std::vector<BYTE> info(size);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::GetFileVersionInfoW(path, 0, size, info.data()) ||
      !::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof(*fixed)) {
    return std::string();
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace

VersionDetail LibraryVersion() {
  VersionDetail detail;
  // The program imports the DLL, so it is loaded before main runs.
  const HMODULE library = ::GetModuleHandleW(L"mivra.dll");
  wchar_t path[kPathCapacity] = {};
  const DWORD length = library ? ::GetModuleFileNameW(library, path, kPathCapacity) : 0;
  if (length == 0 || length >= kPathCapacity) {
    detail.text = "mivra.dll: cannot tell which file is loaded\n";
    detail.json.Set("library", Report::Null("unknown"))
        .Set("libraryProblem", Report::Text("cannot tell which file is loaded"));
    return detail;
  }
  const std::string version = FileVersion(path);
  detail.text = "mivra.dll " + (version.empty() ? std::string("without a version resource") : version) + " (" +
                Narrow(path) + ")\n";
  Report file = Report::Object();
  file.Set("file", Report::Text(Narrow(path)))
      .Set("version", version.empty() ? Report::Null("none") : Report::Text(version));
  detail.json.Set("library", std::move(file));
  return detail;
}

}  // namespace mivra::ctl
