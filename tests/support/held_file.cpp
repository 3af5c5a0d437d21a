#include "support/held_file.h"

#include <string>

#include "support/test_program.h"

namespace mivra_test {

HeldFile::HeldFile(const std::wstring& path, DWORD access, DWORD share) {
  static int counter = 0;
  const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
  const std::wstring readyName = L"Local\\mivra_holder_ready_" + tag;
  const std::wstring releaseName = L"Local\\mivra_holder_release_" + tag;
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
  release_ = CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());

  process_ = StartTestProgram(L"file_holder.exe", L"\"" + path + L"\" " + std::to_wstring(access) + L" " +
                                                     std::to_wstring(share) + L" " + readyName + L" " + releaseName);
  if (process_) {
    HANDLE waits[2] = {ready, process_};
    held_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
  }
  CloseHandle(ready);
}

void HeldFile::Release() {
  if (release_) SetEvent(release_);
  if (process_) {
    if (WaitForSingleObject(process_, 20000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
    CloseHandle(process_);
    process_ = nullptr;
  }
  if (release_) {
    CloseHandle(release_);
    release_ = nullptr;
  }
  held_ = false;
}

HeldFile::~HeldFile() { Release(); }

}  // namespace mivra_test
