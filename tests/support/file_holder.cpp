// Helper process for tests: opens a file with the given access and sharing, signals that it is
// open, and holds it until told to let go.
//   file_holder PATH ACCESS SHARE READY_EVENT RELEASE_EVENT [MILLISECONDS]
#include <windows.h>

#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 6) return 2;
  const DWORD access = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
  const DWORD share = static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10));
  const DWORD hold = argc > 6 ? static_cast<DWORD>(std::wcstoul(argv[6], nullptr, 10)) : 60000;
  HANDLE file = CreateFileW(argv[1], access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4]);
  HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, argv[5]);
  if (ready) SetEvent(ready);
  if (release) WaitForSingleObject(release, hold);
  else Sleep(hold);
  CloseHandle(file);
  return 0;
}
