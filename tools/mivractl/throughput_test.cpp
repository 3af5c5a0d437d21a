#include "throughput.h"

#include <gtest/gtest.h>

namespace mivra::ctl {
namespace {

TEST(Throughput, SecondsKeepMilliseconds) {
  EXPECT_EQ(FormatSeconds(0), "0.000 s");
  EXPECT_EQ(FormatSeconds(999), "0.000 s");
  EXPECT_EQ(FormatSeconds(250000), "0.250 s");
  EXPECT_EQ(FormatSeconds(61001000), "61.001 s");
}

TEST(Throughput, RatesTakeTheLargestUnitBelow1024) {
  struct Case {
    uint64_t bytes;
    uint64_t microseconds;
    const char* text;
  };
  const Case cases[] = {
      {5, 0, "-"},                            // nothing measured
      {0, 10, "0 B/s"},
      {512, 1000000, "512 B/s"},
      {1023, 1000000, "1023 B/s"},
      {1024, 1000000, "1.0 KB/s"},
      {2457, 1000000, "2.4 KB/s"},
      {1048576, 500000, "2.0 MB/s"},
      {3ull << 30, 2000000, "1.5 GB/s"},
      {5ull << 40, 1000000, "5120.0 GB/s"},  // no unit above GB
  };
  for (const Case& c : cases) EXPECT_EQ(FormatThroughput(c.bytes, c.microseconds), c.text) << c.bytes;
}

}  // namespace
}  // namespace mivra::ctl
