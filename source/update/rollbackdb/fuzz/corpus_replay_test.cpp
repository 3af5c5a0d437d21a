// Replays the committed seed corpus of the metadata fuzz targets through their entry functions,
// under the native build's sanitizers. Every seed is a valid file, so each must also be accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/corpus_replay.h"
#include "update/rollbackdb/fuzz/metadata_fuzz_entries.h"

namespace mivra {
namespace {

void ReplayFolder(const char* kind, bool (*entry)(const uint8_t*, size_t)) {
  mivra_test::ReplayCorpusFolder(std::filesystem::path(MIVRA_METADATA_CORPUS) / kind, entry);
}

TEST(MetadataCorpus, ReplaysBkMdataSeeds) { ReplayFolder("bkmdata", FuzzBkMdata); }

TEST(MetadataCorpus, ReplaysRBMdataSeeds) { ReplayFolder("rbmdata", FuzzRBMdata); }

// Short of a whole header, damaged in its magic or its CRC: refused, without a crash.
TEST(MetadataCorpus, RefusesFilesThatAreNotValid) {
  const std::string shortFile(40, 'K');
  EXPECT_FALSE(FuzzBkMdata(reinterpret_cast<const uint8_t*>(shortFile.data()), shortFile.size()));
  std::string wrongMagic(86, '\0');
  EXPECT_FALSE(FuzzRBMdata(reinterpret_cast<const uint8_t*>(wrongMagic.data()), wrongMagic.size()));
  EXPECT_FALSE(FuzzBkMdata(nullptr, 0));
}

}  // namespace
}  // namespace mivra
