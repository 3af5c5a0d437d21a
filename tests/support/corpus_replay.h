// Replays a committed seed corpus folder through a fuzz target's entry function. Every seed is a
// valid file, so each must also be accepted; an empty folder is a failure too.
#ifndef MIVRA_TESTS_SUPPORT_CORPUS_REPLAY_H_
#define MIVRA_TESTS_SUPPORT_CORPUS_REPLAY_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace mivra_test {

template <typename Entry>
void ReplayCorpusFolder(const std::filesystem::path& folder, Entry entry) {
  int replayed = 0;
  for (const auto& file : std::filesystem::directory_iterator(folder)) {
    std::ifstream in(file.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) << file.path();
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << folder;
}

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_CORPUS_REPLAY_H_
