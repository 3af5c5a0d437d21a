#include "throughput.h"

#include <cstdio>

namespace mivra::ctl {

std::string FormatSeconds(uint64_t microseconds) {
  char text[32];
  std::snprintf(text, sizeof(text), "%llu.%03llu s", static_cast<unsigned long long>(microseconds / 1000000),
                static_cast<unsigned long long>(microseconds / 1000 % 1000));
  return text;
}

std::string FormatThroughput(uint64_t bytes, uint64_t microseconds) {
  if (microseconds == 0) return "-";
  double perSecond = static_cast<double>(bytes) * 1e6 / static_cast<double>(microseconds);
  if (perSecond < 1024) return std::to_string(static_cast<uint64_t>(perSecond)) + " B/s";
  const char* const units[] = {"KB/s", "MB/s", "GB/s"};
  size_t unit = 0;
  perSecond /= 1024;
  while (perSecond >= 1024 && unit + 1 < sizeof(units) / sizeof(units[0])) {
    perSecond /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f %s", perSecond, units[unit]);
  return text;
}

}  // namespace mivra::ctl
