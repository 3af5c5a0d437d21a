// Replays the committed seed corpus through the fuzz targets' entry functions, under the native
// build's sanitizers. Every seed is a valid file, so each must also be accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "update/manifest/fuzz/fuzz_entries.h"

namespace mivra {
namespace {

template <typename Entry>
void ReplayFolder(const char* kind, Entry entry) {
  const std::filesystem::path folder = std::filesystem::path(MIVRA_MANIFEST_CORPUS) / kind;
  int replayed = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(file.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << file.path();
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << folder;
}

TEST(ManifestCorpus, ReplaysUpdateConfigSeeds) { ReplayFolder("update_config", FuzzUpdateConfig); }

TEST(ManifestCorpus, ReplaysComponentListSeeds) { ReplayFolder("component_list", FuzzComponentList); }

}  // namespace
}  // namespace mivra
