// What each fuzz target does with one input, shared with the replay of the seed corpus so that
// the regression test runs exactly the fuzzed code.
#ifndef MIVRA_UPDATE_MANIFEST_FUZZ_FUZZ_ENTRIES_H_
#define MIVRA_UPDATE_MANIFEST_FUZZ_FUZZ_ENTRIES_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

// Parse one input and check what a successful parse promises; a broken promise aborts. True
// when the input was accepted.
bool FuzzUpdateConfig(const uint8_t* data, size_t size);
bool FuzzComponentList(const uint8_t* data, size_t size);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_FUZZ_FUZZ_ENTRIES_H_
