// A Windows SYSTEMTIME as the metadata files store it: eight little-endian 16-bit words.
#ifndef MIVRA_UPDATE_FRAME_SYSTEM_TIME_H_
#define MIVRA_UPDATE_FRAME_SYSTEM_TIME_H_

#include <cstdint>

namespace mivra {

struct SystemTime16 {
  uint16_t year;
  uint16_t month;
  uint16_t dayOfWeek;
  uint16_t day;
  uint16_t hour;
  uint16_t minute;
  uint16_t second;
  uint16_t milliseconds;

  friend bool operator==(const SystemTime16&, const SystemTime16&) = default;
};

inline constexpr size_t kSystemTimeSize = 16;

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_SYSTEM_TIME_H_
