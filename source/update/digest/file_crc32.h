// CRC-32 of an open file's tail: the guard of the metadata files' record areas.
#ifndef MIVRA_UPDATE_DIGEST_FILE_CRC32_H_
#define MIVRA_UPDATE_DIGEST_FILE_CRC32_H_

#include <cstddef>
#include <cstdint>
#include <functional>

namespace mivra {

// CRC-32 of the bytes from `start` to the end of the binary-mode descriptor `fd`. False when the
// descriptor is -1, the start lies past the end, memory runs short, or the tail cannot be read
// whole. The file position is left unspecified: callers seek before their next read or write.
bool CalcFileCrc32(int fd, int32_t start, uint32_t* result);

// The same, handing every piece it reads to `eachPiece` too, in file order, so that a caller who
// needs the bytes of the tail reads them once.
bool CalcFileCrc32(int fd, int32_t start, uint32_t* result,
                   const std::function<void(const uint8_t* piece, size_t length)>& eachPiece);

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_FILE_CRC32_H_
