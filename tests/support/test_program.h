// Starts one of the test programs built beside the running test (the stand-ins and helpers).
#ifndef MIVRA_TESTS_SUPPORT_TEST_PROGRAM_H_
#define MIVRA_TESTS_SUPPORT_TEST_PROGRAM_H_

#include <windows.h>

#include <string>

namespace mivra_test {

// Runs `program` ("notify_service.exe") from the test's folder with `arguments` (quoted by the
// caller where needed). The process handle, which the caller closes, or null when it did not start.
HANDLE StartTestProgram(const wchar_t* program, const std::wstring& arguments);

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_TEST_PROGRAM_H_
