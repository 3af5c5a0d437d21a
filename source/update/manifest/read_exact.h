// Reading a known number of bytes from a descriptor through the platform layer.
#ifndef MIVRA_UPDATE_MANIFEST_READ_EXACT_H_
#define MIVRA_UPDATE_MANIFEST_READ_EXACT_H_

#include <cstddef>
#include <cstdint>

namespace mivra {

// Reads until `size` bytes are in `buffer`. False on an error or an early end of file.
bool ReadExact(int fd, uint8_t* buffer, size_t size);

}  // namespace mivra

#endif  // MIVRA_UPDATE_MANIFEST_READ_EXACT_H_
