// Writes the seed corpora of the metadata fuzz targets: small valid files of both kinds, one per
// shape worth starting from (damaged counts and stray bytes after the last record included). Run
// with the bkmdata.dat and the rbmdata.dat corpus folders as arguments; the output is committed
// (backup/fuzz/corpus/bkmdata, rollbackdb/fuzz/corpus/rbmdata).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/metadata_file_bytes.h"

namespace {

using mivra_test::MetadataFileLayout;
using mivra_test::MetadataRecord;

bool WriteSeed(const std::filesystem::path& folder, const char* name, const std::string& bytes) {
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

MetadataRecord Record(const std::wstring& name, uint32_t size, uint32_t flags) {
  MetadataRecord record;
  record.size = size;
  record.flags = flags;
  record.name = name;
  record.digest = std::string(16, static_cast<char>(size));
  return record;
}

// The seeds of one file kind.
bool WriteSeeds(const MetadataFileLayout& layout, const std::filesystem::path& folder) {
  const bool hasFlags = layout.flagsAt != MetadataFileLayout::kNoField;
  const std::vector<MetadataRecord> three = {Record(L"app.exe", 10, 0), Record(L"added.dll", 0, hasFlags ? 2 : 0),
                                             Record(L"gone.txt", 7, hasFlags ? 1 : 0)};
  std::string wrongCount = mivra_test::MetadataFile(layout, three);
  mivra_test::PutLe32(wrongCount, layout.countAt, 0xFFFFFFFFu);
  std::string stray = mivra_test::MetadataFile(layout, three) + std::string(100, '\x5A');
  mivra_test::Reseal(layout, stray);
  std::string hostile = mivra_test::MetadataFile(layout, three);
  mivra_test::RenameRecord(layout, hostile, 1, u"...");
  mivra_test::RenameRecord(layout, hostile, 2, u"a.txt.");
  const std::vector<MetadataRecord> longest = {Record(std::wstring(259, L'n'), 1, 0)};
  return WriteSeed(folder, "new", mivra_test::NewMetadataFile(layout)) &&
         WriteSeed(folder, "one_record", mivra_test::MetadataFile(layout, {Record(L"Dup.txt", 5, 0)})) &&
         WriteSeed(folder, "three_records", mivra_test::MetadataFile(layout, three)) &&
         WriteSeed(folder, "count_wrapped", wrongCount) && WriteSeed(folder, "stray_bytes", stray) &&
         WriteSeed(folder, "hostile_names", hostile) &&
         WriteSeed(folder, "longest_name", mivra_test::MetadataFile(layout, longest));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <bkmdata corpus folder> <rbmdata corpus folder>\n", argv[0]);
    return 2;
  }
  if (!WriteSeeds(mivra_test::kBkLayout, argv[1]) || !WriteSeeds(mivra_test::kRBLayout, argv[2])) {
    std::fprintf(stderr, "cannot write the corpora under %s and %s\n", argv[1], argv[2]);
    return 1;
  }
  return 0;
}
