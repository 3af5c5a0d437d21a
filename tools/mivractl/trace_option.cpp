#include "trace_option.h"

#include <windows.h>

#include "install_paths.h"
#include "system_error_names.h"
#include "update/frame/scoped_handles.h"

namespace mivra::ctl {

bool StartLibraryTrace(const std::string& file, std::string* problem) {
  const std::wstring path = Widen(file);
  if (path.empty() || !::SetEnvironmentVariableW(L"MIVRA_TRACE", path.c_str())) {
    *problem = "cannot set MIVRA_TRACE to \"" + file + "\" for --trace";
    return false;
  }
  // Opened as the library opens it, appending; a file that did not exist stays, empty, as the
  // library would have left it.
  ScopedHandle trace(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (trace) return true;
  const DWORD error = ::GetLastError();
  const char* name = Win32ErrorName(error);
  *problem = "the trace file \"" + file + "\" cannot be written (win32 " + std::to_string(error) +
             (name ? std::string(" ") + name : std::string()) + "); this run is not traced";
  return true;
}

}  // namespace mivra::ctl
