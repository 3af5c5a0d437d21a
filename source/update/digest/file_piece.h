// The size of the pieces in which file digests, file checksums and copies move data.
#ifndef MIVRA_UPDATE_DIGEST_FILE_PIECE_H_
#define MIVRA_UPDATE_DIGEST_FILE_PIECE_H_

#include <cstddef>

namespace mivra {

// One buffer of this size per stream: large enough that the cost of each call vanishes, small
// enough that memory stays bounded whatever the file's size. No larger: under Wine a heap block
// of 128 KiB or more is mapped afresh, and its pages faulted in, on every allocation, which for
// 256 KiB cost more than reading and digesting a file of that size.
inline constexpr size_t kFilePieceSize = 64 * 1024;

}  // namespace mivra

#endif  // MIVRA_UPDATE_DIGEST_FILE_PIECE_H_
