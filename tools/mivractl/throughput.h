// How long a piece of work took and how fast it went, for progress lines.
#ifndef MIVRA_TOOLS_MIVRACTL_THROUGHPUT_H_
#define MIVRA_TOOLS_MIVRACTL_THROUGHPUT_H_

#include <cstdint>
#include <string>

namespace mivra::ctl {

// "0.250 s", millisecond resolution.
std::string FormatSeconds(uint64_t microseconds);

// "512 B/s", "2.4 KB/s", "31.0 MB/s", "1.2 GB/s" (units of 1024); "-" when no time was measured.
std::string FormatThroughput(uint64_t bytes, uint64_t microseconds);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_THROUGHPUT_H_
