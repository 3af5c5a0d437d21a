// libFuzzer target: bkmdata.dat validation, name-list load and record decoding.
#include <cstddef>
#include <cstdint>

#include "update/backup/fuzz/bkmdata_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mivra::FuzzBkMdata(data, size);
  return 0;
}
