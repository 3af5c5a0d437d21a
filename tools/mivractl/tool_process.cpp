#include "tool_process.h"

#include <windows.h>

#include "install_paths.h"
#include "support/file_util.h"
#include "update/frame/scoped_handles.h"

namespace mivra_test {
namespace {

constexpr DWORD kTimeoutMs = 120000;

// An inheritable file for the child's output, deleted when the last handle closes.
mivra::ScopedHandle OutputFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  return mivra::ScopedHandle(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                           CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
}

std::string ReadBack(HANDLE file) {
  std::string text;
  ::SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char piece[4096];
  DWORD got = 0;
  while (::ReadFile(file, piece, sizeof(piece), &got, nullptr) && got > 0) text.append(piece, got);
  // The console runtime may write CR LF; the tests compare lines.
  std::string lines;
  for (char c : text) {
    if (c != '\r') lines.push_back(c);
  }
  return lines;
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

ToolResult RunMivractl(const std::vector<std::string>& args, const std::wstring& program) {
  ToolResult result;
  const std::wstring path = program.empty() ? ExeFolder() + L"mivractl.exe" : program;
  std::wstring command = QuoteArgument(path);
  for (const std::string& arg : args) command += L" " + QuoteArgument(mivra::ctl::Widen(arg));

  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  // A fresh name for every run: the file of the previous run may still be on its way out (the
  // child's inherited handle can outlive the wait), and a name pending deletion cannot be created.
  static unsigned runs = 0;
  const std::wstring tag = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++runs);
  const std::wstring outPath = std::wstring(temp) + L"mivractl-out-" + tag + L".txt";
  const std::wstring errPath = std::wstring(temp) + L"mivractl-err-" + tag + L".txt";
  mivra::ScopedHandle out = OutputFile(outPath);
  mivra::ScopedHandle err = OutputFile(errPath);
  if (!out || !err) {
    result.err = "the test could not create the files for the tool's output";
    return result;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  PROCESS_INFORMATION info = {};
  // A start refused under load is tried once more (nothing ran), and otherwise said.
  bool started = false;
  DWORD startError = 0;
  for (int attempt = 0; attempt < 2 && !started; ++attempt) {
    started = ::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                               &info);
    if (!started) startError = ::GetLastError();
  }
  if (!started) result.err = "mivractl.exe did not start: win32 " + std::to_string(startError) + "\n";
  if (started) {
    mivra::ScopedHandle process(info.hProcess);
    mivra::ScopedHandle thread(info.hThread);
    DWORD code = 0;
    if (::WaitForSingleObject(process.get(), kTimeoutMs) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process.get(), &code)) {
      result.exitCode = static_cast<int>(code);
    } else {
      ::TerminateProcess(process.get(), 1);
    }
  }
  result.out = ReadBack(out.get());
  result.err += ReadBack(err.get());
  out.reset();
  err.reset();
  ::DeleteFileW(outPath.c_str());
  ::DeleteFileW(errPath.c_str());
  return result;
}

}  // namespace mivra_test
