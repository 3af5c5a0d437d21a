// Writes the seed corpus of the manifest fuzz targets: small valid files of both formats, one
// file per shape worth starting from. Run with the corpus folder as the only argument; the
// output is committed.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/manifest/manifest_test_files.h"

namespace {

using mivra_test::BuildComponentList;
using mivra_test::BuildUpdateConfig;
using mivra_test::ConfigRecord;

bool WriteSeed(const std::filesystem::path& folder, const char* name, const std::string& bytes) {
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path config = std::filesystem::path(argv[1]) / "update_config";
  const std::filesystem::path list = std::filesystem::path(argv[1]) / "component_list";

  std::string zeroRecord = "UPCN";
  zeroRecord.resize(12 + 540, '\0');
  mivra_test::PutLe32(&zeroRecord, 8, 1);
  mivra_test::ResealUpdateConfig(&zeroRecord);
  std::vector<std::string> mixed;
  for (uint32_t id : {0x2Au, 0x10u, 0x2Au, 0xFFFFFFFFu, 3u}) mixed.push_back(ConfigRecord(id, id % 3));

  const std::string name259(259, 'n');
  std::string trailing = BuildComponentList({{1, "a.dll"}});
  trailing += std::string(17, '\x5A');
  mivra_test::ResealComponentList(&trailing);

  const bool written =
      WriteSeed(config, "one_zero_record", zeroRecord) &&
      WriteSeed(config, "one_enabled", BuildUpdateConfig({ConfigRecord(1, 1)})) &&
      WriteSeed(config, "duplicates", BuildUpdateConfig({ConfigRecord(7, 1), ConfigRecord(9, 2), ConfigRecord(7, 0)})) &&
      WriteSeed(config, "mixed", BuildUpdateConfig(mixed)) &&
      WriteSeed(list, "no_entries", BuildComponentList({})) &&
      WriteSeed(list, "two_entries", BuildComponentList({{0, "prdcore.dll"}, {1, "prdui.dll"}})) &&
      WriteSeed(list, "padded_names", BuildComponentList({{1, "a.dll", true, 9}, {2, "", true, 3}, {1, "b"}})) &&
      WriteSeed(list, "longest_name", BuildComponentList({{1, name259}})) &&
      WriteSeed(list, "trailing_bytes", trailing);
  if (!written) {
    std::fprintf(stderr, "cannot write the corpus under %s\n", argv[1]);
    return 1;
  }
  return 0;
}
