// Stand-in for the product's trust component. Tests steer it through the environment of the
// calling process:
//   MIVRA_STANDIN_ZK      "open" (default): ordinal 3 opens a connection on this module, which
//                         exports ZK_TrustPendingRenameForEntity;
//                         "refuse": ordinal 3 returns 0;
//                         "noexport": ordinal 3 returns 1 with kernel32's handle, which lacks
//                         the export
//   MIVRA_STANDIN_ZK_LOG  file that receives one line per call with its arguments
// Every line ends with "pending=N", the number of files the system has scheduled for deletion at
// restart at that moment, so tests can tell on which side of the scheduling a call came.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kContextAfterOpen = 17;
constexpr uint32_t kContextAfterTrust = 42;

HMODULE g_self = nullptr;

std::string Mode() {
  char value[32] = {};
  const DWORD length = ::GetEnvironmentVariableA("MIVRA_STANDIN_ZK", value, sizeof(value));
  return length > 0 && length < sizeof(value) ? value : "open";
}

std::string Utf8(const wchar_t* text) {
  if (!text) return "(null)";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return "";
  std::string result(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.pop_back();
  return result;
}

const char* ModuleName(HMODULE module) {
  if (!module) return "null";
  if (module == g_self) return "zkstub";
  if (module == ::GetModuleHandleW(L"kernel32.dll")) return "kernel32";
  return "other";
}

// Entries of PendingFileRenameOperations come in pairs: source, then target (empty: delete).
int PendingDeletions() {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return 0;
  }
  DWORD size = 0;
  int count = 0;
  if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
      size > 0) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                           reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
      const size_t end = size / sizeof(wchar_t);
      size_t at = 0;
      while (at < end && data[at] != L'\0') {
        const size_t targetAt = at + std::wcslen(&data[at]) + 1;
        if (targetAt >= end) break;
        if (data[targetAt] == L'\0') ++count;
        at = targetAt + std::wcslen(&data[targetAt]) + 1;
      }
    }
  }
  ::RegCloseKey(key);
  return count;
}

void Log(const std::string& line) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"MIVRA_STANDIN_ZK_LOG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + " pending=" + std::to_string(PendingDeletions()) + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_self = instance;
  return TRUE;
}

extern "C" uint8_t TrustConnectionOpen(HMODULE* module, uint32_t* context) {
  const std::string mode = Mode();
  uint8_t result = 0;
  if (module && context && mode != "refuse") {
    *module = mode == "noexport" ? ::GetModuleHandleW(L"kernel32.dll") : g_self;
    *context = kContextAfterOpen;
    result = 1;
  }
  Log("open result=" + std::to_string(result));
  return result;
}

extern "C" void TrustConnectionClose(HMODULE module, uint32_t* context) {
  Log(std::string("close module=") + ModuleName(module) +
      " context=" + (context ? std::to_string(*context) : std::string("(null)")));
}

extern "C" uint32_t ZK_TrustPendingRenameForEntity(uint32_t processId, const wchar_t* path, const wchar_t* newName,
                                                   uint32_t flags, uint32_t* context) {
  Log("trust pid=" + std::to_string(processId) + " path=" + Utf8(path) + " newName=" + Utf8(newName) +
      " flags=" + std::to_string(flags) + " context=" + (context ? std::to_string(*context) : std::string("(null)")));
  if (context) *context = kContextAfterTrust;
  return 0;
}
