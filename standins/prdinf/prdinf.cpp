// Stand-in for the product-information library. "RPI" fills the company and product names.
// Tests steer it through the environment of the calling process:
//   MIVRA_STANDIN_RPI_RESULT  "0" makes RPI fail (return 0) without writing the names
//   MIVRA_STANDIN_COMPANY     company name (default "Kestrivane Technologies")
//   MIVRA_STANDIN_PRODUCT     product name (default "Corvane")
// Every call raises MIVRA_STANDIN_RPI_CALLS by one, so tests can tell whether it was asked.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void ReadSetting(const char* name, const char* fallback, char* out, size_t capacity) {
  char value[1024];
  const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof(value));
  const char* text = (length > 0 && length < sizeof(value)) ? value : fallback;
  std::snprintf(out, capacity, "%s", text);
}

void CountCall() {
  char value[32] = {};
  ::GetEnvironmentVariableA("MIVRA_STANDIN_RPI_CALLS", value, sizeof(value));
  char next[32];
  std::snprintf(next, sizeof(next), "%d", std::atoi(value) + 1);
  ::SetEnvironmentVariableA("MIVRA_STANDIN_RPI_CALLS", next);
}

}  // namespace

extern "C" __declspec(dllexport) int RPI(char* company, char* product) {
  CountCall();
  char result[8] = {};
  if (::GetEnvironmentVariableA("MIVRA_STANDIN_RPI_RESULT", result, sizeof(result)) > 0 &&
      std::strcmp(result, "0") == 0) {
    return 0;
  }
  ReadSetting("MIVRA_STANDIN_COMPANY", "Kestrivane Technologies", company, 260);
  ReadSetting("MIVRA_STANDIN_PRODUCT", "Corvane", product, 260);
  return 1;
}
