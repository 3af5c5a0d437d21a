// Stand-in for the product's service side of the rollback handshake. It creates the two global
// events, announces that it waits for a rollback by signalling the write event, and reports
// "notified" into REPORT_FILE once the library answers on the read event.
//   notify_service REPORT_FILE [MILLISECONDS]
// Exits 0 when notified, 1 when the time ran out, 2 on bad usage or when the events exist.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const DWORD wait = argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 60000;
  HANDLE readEvent = ::CreateEventA(nullptr, TRUE, FALSE, "Global\\ORV_SERVICE_UI_ReadEvent");
  if (!readEvent || ::GetLastError() == ERROR_ALREADY_EXISTS) return 2;
  HANDLE writeEvent = ::CreateEventA(nullptr, TRUE, FALSE, "Global\\ORV_SERVICE_UI_WriteEvent");
  if (!writeEvent) return 2;

  ::SetEvent(writeEvent);
  const bool notified = ::WaitForSingleObject(readEvent, wait) == WAIT_OBJECT_0;
  // The library resets the write event before it answers.
  const bool writeReset = ::WaitForSingleObject(writeEvent, 0) == WAIT_TIMEOUT;
  FILE* report = _wfopen(argv[1], L"wb");
  if (report) {
    std::fprintf(report, "%s\n", notified ? (writeReset ? "notified" : "notified without reset") : "timed out");
    std::fclose(report);
  }
  ::CloseHandle(writeEvent);
  ::CloseHandle(readEvent);
  return notified ? 0 : 1;
}
