// libFuzzer target: rbmdata.dat validation, name-list load and record decoding.
#include <cstddef>
#include <cstdint>

#include "update/rollbackdb/fuzz/rbmdata_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mivra::FuzzRBMdata(data, size);
  return 0;
}
