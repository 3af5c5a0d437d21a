#include "support/caller_process.h"

#include "support/test_program.h"

namespace mivra_test {

CallerProcess::CallerProcess(const std::wstring& arguments) {
  process_ = StartTestProgram(L"library_caller.exe", arguments);
}

CallerProcess::~CallerProcess() { Kill(); }

bool CallerProcess::running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }

DWORD CallerProcess::Finish(DWORD milliseconds) {
  if (!process_ || WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return kCallerLost;
  DWORD code = kCallerLost;
  GetExitCodeProcess(process_, &code);
  return code;
}

void CallerProcess::Kill() {
  if (!process_) return;
  if (running()) {
    TerminateProcess(process_, kCallerLost);
    WaitForSingleObject(process_, 20000);
  }
  CloseHandle(process_);
  process_ = nullptr;
}

std::unique_ptr<CallerProcess> StartLockHolder(const std::wstring& lockName) {
  static int counter = 0;
  const std::wstring readyName =
      L"Local\\mivra_lock_ready_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
  HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
  auto holder = std::make_unique<CallerProcess>(L"hold \"" + lockName + L"\" " + readyName);
  const bool held = ready && holder->started() && WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
  if (ready) CloseHandle(ready);
  if (!held) return nullptr;
  return holder;
}

}  // namespace mivra_test
