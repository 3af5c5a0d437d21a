// Stand-in for the product's notification library. Steered through the calling process's
// environment:
//   MIVRA_STANDIN_NTFHUB      "library": ordinal 1 says the library is to be used (default: it says
//                             to use the service's events instead); "refuse": it says so, but
//                             ordinal 4 then fails
//   MIVRA_STANDIN_NTFHUB_LOG  file to which every call is appended, one line each
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void Log(const char* line) {
  char path[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("MIVRA_STANDIN_NTFHUB_LOG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  FILE* log = std::fopen(path, "ab");
  if (!log) return;
  std::fprintf(log, "%s\n", line);
  std::fclose(log);
}

bool ModeIs(const char* mode) {
  char value[32] = {};
  const DWORD length = ::GetEnvironmentVariableA("MIVRA_STANDIN_NTFHUB", value, sizeof(value));
  return length > 0 && length < sizeof(value) && std::strcmp(value, mode) == 0;
}

int g_value = 0;

void Notify(void** value) {
  Log(value && *value == &g_value ? "notify" : "notify with a foreign value");
}

}  // namespace

extern "C" uint8_t NtfUseLibrary() {
  Log("use");
  return ModeIs("library") || ModeIs("refuse") ? 1 : 0;
}

extern "C" uint8_t NtfOpen(const char* topic, void** handle, void** function, void** value) {
  char line[128];
  std::snprintf(line, sizeof(line), "open %s", topic ? topic : "(null)");
  Log(line);
  if (ModeIs("refuse") || !handle || !function || !value) return 0;
  *handle = &g_value;
  *function = reinterpret_cast<void*>(&Notify);
  *value = &g_value;
  return 1;
}

extern "C" void NtfClose(void* handle, void** value) {
  Log(handle == &g_value && value && *value == &g_value ? "close" : "close with foreign arguments");
}
