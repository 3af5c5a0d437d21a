// What the rbmdata.dat fuzz target does with one input, shared with the replay of its seed corpus
// so that the regression test runs exactly the fuzzed code.
#ifndef MIVRA_UPDATE_ROLLBACKDB_FUZZ_RBMDATA_FUZZ_ENTRY_H_
#define MIVRA_UPDATE_ROLLBACKDB_FUZZ_RBMDATA_FUZZ_ENTRY_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

// Validate one whole rbmdata.dat, load its name list and decode every record, and check what the
// store promises of them; a broken promise aborts. True when the file is valid.
bool FuzzRBMdata(const uint8_t* data, size_t size);

}  // namespace mivra

#endif  // MIVRA_UPDATE_ROLLBACKDB_FUZZ_RBMDATA_FUZZ_ENTRY_H_
