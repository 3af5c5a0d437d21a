// Replays the committed seed corpus of the bkmdata.dat fuzz target through its entry function,
// under the native build's sanitizers. Every seed is a valid file, so each must also be accepted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/corpus_replay.h"
#include "support/metadata_file_bytes.h"
#include "update/backup/bk_record_layout.h"
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

// An append cut off before its commit point: not valid as it stands; the checks of what tells it
// (the CRC of the counted records, a whole file once cut back to them) hold.
TEST(BkMdataCorpus, ChecksAnAppendCutOffBeforeItsCommitPoint) {
  mivra_test::MetadataRecord record;
  record.name = L"a.dll";
  const std::string file = mivra_test::MetadataFile(mivra_test::kBkLayout, {record}) + std::string(300, '\x11');
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  EXPECT_TRUE(ExamineMetadataFile(kBkMdataFormat, bytes, file.size()).unfinishedAppend);
  EXPECT_FALSE(FuzzBkMdata(bytes, file.size()));
}

// A name that fills its whole field, with no NUL (the library never writes one), is read whole:
// the file is valid and no check aborts.
TEST(BkMdataCorpus, AcceptsANameThatFillsItsField) {
  mivra_test::MetadataRecord record;
  record.name = std::wstring(259, L'n');
  std::string file = mivra_test::MetadataFile(mivra_test::kBkLayout, {record});
  file.replace(mivra_test::kBkAreaOffset + mivra_test::kBkLayout.nameAt + 2 * 259, 2,
               mivra_test::Scrambled(std::string("n\0", 2)));
  mivra_test::Reseal(mivra_test::kBkLayout, file);
  EXPECT_TRUE(FuzzBkMdata(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
}

}  // namespace
}  // namespace mivra
