#include "support/test_program.h"

#include "support/file_util.h"

namespace mivra_test {

HANDLE StartTestProgram(const wchar_t* program, const std::wstring& arguments) {
  std::wstring command = L"\"" + ExeFolder() + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return nullptr;
  }
  CloseHandle(info.hThread);
  return info.hProcess;
}

}  // namespace mivra_test
