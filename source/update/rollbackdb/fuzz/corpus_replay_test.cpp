// Replays the committed seed corpus of the rbmdata.dat fuzz target through its entry function,
// under the native build's sanitizers. Every seed is a valid file, so each must also be accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/corpus_replay.h"
#include "update/rollbackdb/fuzz/rbmdata_fuzz_entry.h"

namespace mivra {
namespace {

TEST(RBMdataCorpus, ReplaysTheSeeds) {
  mivra_test::ReplayCorpusFolder(std::filesystem::path(MIVRA_RBMDATA_CORPUS), FuzzRBMdata);
}

// Damaged in its magic: refused, without a crash.
TEST(RBMdataCorpus, RefusesFilesThatAreNotValid) {
  const std::string wrongMagic(86, '\0');
  EXPECT_FALSE(FuzzRBMdata(reinterpret_cast<const uint8_t*>(wrongMagic.data()), wrongMagic.size()));
}

}  // namespace
}  // namespace mivra
