// Replays the committed seed corpus through the fuzz targets' entry functions, under the native
// build's sanitizers. Every seed is a valid file, so each must also be accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "support/corpus_replay.h"
#include "update/manifest/fuzz/fuzz_entries.h"

namespace mivra {
namespace {

void ReplayFolder(const char* kind, bool (*entry)(const uint8_t*, size_t)) {
  mivra_test::ReplayCorpusFolder(std::filesystem::path(MIVRA_MANIFEST_CORPUS) / kind, entry);
}

TEST(ManifestCorpus, ReplaysUpdateConfigSeeds) { ReplayFolder("update_config", FuzzUpdateConfig); }

TEST(ManifestCorpus, ReplaysComponentListSeeds) { ReplayFolder("component_list", FuzzComponentList); }

}  // namespace
}  // namespace mivra
