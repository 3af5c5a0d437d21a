#include "update/digest/file_crc32.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "update/digest/crc32.h"
#include "update/digest/file_piece.h"
#include "update/frame/platform_calls.h"

namespace mivra {

bool CalcFileCrc32(int fd, int32_t start, uint32_t* result) { return CalcFileCrc32(fd, start, result, nullptr); }

bool CalcFileCrc32(int fd, int32_t start, uint32_t* result,
                   const std::function<void(const uint8_t* piece, size_t length)>& eachPiece) {
  if (fd == -1 || !result || start < 0) return false;
  const int64_t end = Platform().seek(fd, 0, SEEK_END);
  if (end < 0 || end > INT32_MAX) return false;
  if (Platform().seek(fd, start, SEEK_SET) != start) return false;
  const int32_t length = static_cast<int32_t>(end) - start;
  if (length < 0) return false;

  const size_t pieceSize = static_cast<size_t>(length) < kFilePieceSize ? static_cast<size_t>(length) : kFilePieceSize;
  std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[pieceSize > 0 ? pieceSize : 1]);
  if (!piece) return false;
  // A short read would checksum part of the tail and condemn a sound file, so read until the
  // whole tail is in and fail on an error or an early end.
  uint32_t reg = kCrc32Initial;
  int32_t done = 0;
  while (done < length) {
    const size_t want = std::min(pieceSize, static_cast<size_t>(length - done));
    const int got = Platform().read(fd, piece.get(), static_cast<unsigned>(want));
    if (got <= 0) return false;
    reg = Crc32Update(reg, piece.get(), static_cast<size_t>(got));
    if (eachPiece) eachPiece(piece.get(), static_cast<size_t>(got));
    done += got;
  }
  *result = reg ^ 0xFFFFFFFFu;
  return true;
}

}  // namespace mivra
