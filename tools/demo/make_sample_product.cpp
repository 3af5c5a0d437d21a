// Writes the demo's sample product into an install directory: program files with fixed contents,
// the update configuration and one component list, built with the library's manifest writers.
//   make_sample_product INSTALL_DIR
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "update/manifest/manifest_test_files.h"

namespace {

struct SampleFile {
  const char* name;
  size_t size;
  const char* text;  // null: binary content
};

// Sixteen files of the product; with the two manifests and the two product libraries the demo
// copies in, the install directory holds twenty.
const SampleFile kFiles[] = {
    {"CORVANE.EXE", 96 * 1024, nullptr},   {"CORVCORE.DLL", 180 * 1024, nullptr},
    {"CORVUI.DLL", 120 * 1024, nullptr},   {"CORVNET.DLL", 64 * 1024, nullptr},
    {"CORVDB.DLL", 72 * 1024, nullptr},    {"CORVSCAN.DLL", 150 * 1024, nullptr},
    {"CORVOLD.DLL", 40 * 1024, nullptr},   {"CORVTASK.EXE", 48 * 1024, nullptr},
    {"VENTRAEX.EXT", 33 * 1024, nullptr},  {"CORVSIG.DAT", 256 * 1024, nullptr},
    {"CORVLANG.DAT", 20 * 1024, nullptr},  {"CORVHELP.CHM", 30 * 1024, nullptr},
    {"CORVICON.ICO", 4 * 1024, nullptr},   {"CORVANE.INI", 0, "[Corvane]\r\nVersion=4.1.0\r\nScan=daily\r\n"},
    {"README.TXT", 0, "Corvane 4.1\r\nSee LICENSE.TXT.\r\n"},
    {"LICENSE.TXT", 0, "Corvane is licensed to the holder of the product key.\r\n"},
};

// Content fixed by the name, so that every run of the demo starts from the same bytes.
std::string Content(const SampleFile& file) {
  if (file.text) return file.text;
  uint32_t state = 2166136261u;
  for (const char* p = file.name; *p; ++p) state = (state ^ static_cast<uint8_t>(*p)) * 16777619u;
  std::string bytes(file.size, '\0');
  for (char& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_product INSTALL_DIR\n");
    return 2;
  }
  const std::filesystem::path dir(argv[1]);
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  bool ok = true;
  for (const SampleFile& file : kFiles) ok = Write(dir / file.name, Content(file)) && ok;

  // Component 0x2a has a list, naming the help file (collected) and the settings (not collected);
  // 0x2b is enabled without a list file; 0x2c is disabled.
  using mivra_test::ConfigRecord;
  ok = Write(dir / "updtconf.dat",
             mivra_test::BuildUpdateConfig({ConfigRecord(0x2a, 1), ConfigRecord(0x2b, 1), ConfigRecord(0x2c, 0)})) &&
       ok;
  ok = Write(dir / "0000002a_compns.lst",
             mivra_test::BuildComponentList({{1, "CORVHELP.CHM"}, {0, "CORVANE.INI"}})) &&
       ok;
  if (!ok) {
    std::fprintf(stderr, "make_sample_product: cannot write the sample product\n");
    return 1;
  }
  return 0;
}
