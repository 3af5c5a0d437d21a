// What the metadata fuzz targets do with one input, shared with the replay of their seed corpus so
// that the regression test runs exactly the fuzzed code.
#ifndef MIVRA_UPDATE_ROLLBACKDB_FUZZ_METADATA_FUZZ_ENTRIES_H_
#define MIVRA_UPDATE_ROLLBACKDB_FUZZ_METADATA_FUZZ_ENTRIES_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

// Validate one whole bkmdata.dat or rbmdata.dat, load its name list and decode every record, and
// check what the stores promise of them; a broken promise aborts. True when the file is valid.
bool FuzzBkMdata(const uint8_t* data, size_t size);
bool FuzzRBMdata(const uint8_t* data, size_t size);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_FUZZ_METADATA_FUZZ_ENTRIES_H_
