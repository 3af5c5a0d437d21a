// libFuzzer target: updtconf.dat parser.
#include <cstddef>
#include <cstdint>

#include "update/manifest/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mivra::FuzzUpdateConfig(data, size);
  return 0;
}
