#include "update/manifest/read_exact.h"

#include <climits>

#include "update/frame/platform_calls.h"

namespace mivra {

bool ReadExact(int fd, uint8_t* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const size_t rest = size - done;
    const unsigned piece = rest > INT_MAX ? INT_MAX : static_cast<unsigned>(rest);
    const int got = Platform().read(fd, buffer + done, piece);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace mivra
