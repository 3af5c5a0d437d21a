// A second user of the library in a process of its own: library_caller.exe, started with a command
// line, waited for or killed. Ended on destruction if still running.
#ifndef MIVRA_TESTS_SUPPORT_CALLER_PROCESS_H_
#define MIVRA_TESTS_SUPPORT_CALLER_PROCESS_H_

#include <windows.h>

#include <memory>
#include <string>

namespace mivra_test {

// What Finish reports when the process did not end in time or never started.
inline constexpr DWORD kCallerLost = 0xDEAD;

class CallerProcess {
 public:
  // Starts library_caller.exe with `arguments` (quoted by the caller where needed).
  explicit CallerProcess(const std::wstring& arguments);
  ~CallerProcess();
  CallerProcess(const CallerProcess&) = delete;
  CallerProcess& operator=(const CallerProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  bool running() const;
  // Waits up to `milliseconds` for the process to end and returns its exit code.
  DWORD Finish(DWORD milliseconds = 90000);
  // Ends the process at once, as a crash would, and waits until it is gone.
  void Kill();

 private:
  HANDLE process_ = nullptr;
};

// Starts library_caller.exe holding the named mutex `lockName` and waits until it holds it.
// Null when it could not take it.
std::unique_ptr<CallerProcess> StartLockHolder(const std::wstring& lockName);

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_CALLER_PROCESS_H_
