// Replays the committed seed corpus of the bkmdata.dat fuzz target through its entry function,
// under the native build's sanitizers. Every seed is a valid file, so each must also be accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/corpus_replay.h"
#include "update/backup/fuzz/bkmdata_fuzz_entry.h"

namespace mivra {
namespace {

TEST(BkMdataCorpus, ReplaysTheSeeds) {
  mivra_test::ReplayCorpusFolder(std::filesystem::path(MIVRA_BKMDATA_CORPUS), FuzzBkMdata);
}

// Short of a whole header, or no bytes at all: refused, without a crash.
TEST(BkMdataCorpus, RefusesFilesThatAreNotValid) {
  const std::string shortFile(40, 'K');
  EXPECT_FALSE(FuzzBkMdata(reinterpret_cast<const uint8_t*>(shortFile.data()), shortFile.size()));
  EXPECT_FALSE(FuzzBkMdata(nullptr, 0));
}

}  // namespace
}  // namespace mivra
