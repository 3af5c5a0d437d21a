#include "support/deferred_delete_probe.h"

#include <windows.h>

#include <cwchar>
#include <sstream>

#include "support/file_util.h"

namespace mivra_test {
namespace {

constexpr wchar_t kSessionManagerKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";
constexpr wchar_t kPendingValue[] = L"PendingFileRenameOperations";

}  // namespace

DeferredDeleteProbe::DeferredDeleteProbe(const wchar_t* mode) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  log_ = std::wstring(temp) + L"mivra-zkstub-" + std::to_wstring(GetCurrentProcessId()) + L".log";
  DeleteFileW(log_.c_str());
  SetEnv(L"MIVRA_STANDIN_ZK", mode);
  SetEnv(L"MIVRA_STANDIN_ZK_LOG", log_.c_str());
  ClearPendingDeletions();
}

DeferredDeleteProbe::~DeferredDeleteProbe() {
  ClearPendingDeletions();
  SetEnv(L"MIVRA_STANDIN_ZK", nullptr);
  SetEnv(L"MIVRA_STANDIN_ZK_LOG", nullptr);
  DeleteFileW(log_.c_str());
}

std::vector<std::string> DeferredDeleteProbe::TrustCalls() const {
  std::vector<std::string> lines;
  std::istringstream text(ReadFileBytes(log_));
  for (std::string line; std::getline(text, line);) lines.push_back(line);
  return lines;
}

std::vector<std::wstring> DeferredDeleteProbe::PendingDeletions() {
  std::vector<std::wstring> paths;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return paths;
  DWORD size = 0;
  if (RegQueryValueExW(key, kPendingValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS && size > 0) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, kPendingValue, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()), &size) ==
        ERROR_SUCCESS) {
      // Pairs of source and target; an empty target means deletion.
      const size_t end = size / sizeof(wchar_t);
      size_t at = 0;
      while (at < end && data[at] != L'\0') {
        std::wstring source(&data[at]);
        const size_t targetAt = at + source.size() + 1;
        if (targetAt >= end) break;
        if (data[targetAt] == L'\0') {
          if (source.rfind(L"\\??\\", 0) == 0) source.erase(0, 4);
          paths.push_back(source);
        }
        at = targetAt + std::wcslen(&data[targetAt]) + 1;
      }
    }
  }
  RegCloseKey(key);
  return paths;
}

void DeferredDeleteProbe::ClearPendingDeletions() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, kPendingValue);
  RegCloseKey(key);
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), size, nullptr, nullptr);
  result.pop_back();
  return result;
}

}  // namespace mivra_test
