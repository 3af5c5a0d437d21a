#include "update/digest/file_crc32.h"

#include <cstdio>
#include <memory>
#include <new>

#include "update/digest/crc32.h"
#include "update/frame/platform_calls.h"

namespace mivra {

bool CalcFileCrc32(int fd, int32_t start, uint32_t* result) {
  if (fd == -1 || !result || start < 0) return false;
  const int64_t end = Platform().seek(fd, 0, SEEK_END);
  if (end < 0 || end > INT32_MAX) return false;
  if (Platform().seek(fd, start, SEEK_SET) != start) return false;
  const int32_t length = static_cast<int32_t>(end) - start;
  if (length < 0) return false;

  std::unique_ptr<uint8_t[]> tail(new (std::nothrow) uint8_t[length > 0 ? length : 1]);
  if (!tail) return false;
  // A short read would checksum part of the tail and condemn a sound file, so read until the
  // whole tail is in and fail on an error or an early end.
  int32_t done = 0;
  while (done < length) {
    const int got = Platform().read(fd, tail.get() + done, static_cast<unsigned>(length - done));
    if (got <= 0) return false;
    done += got;
  }
  *result = Crc32(tail.get(), static_cast<size_t>(length));
  return true;
}

}  // namespace mivra
