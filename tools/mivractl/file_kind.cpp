#include "file_kind.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "update/backup/bk_record_layout.h"
#include "update/manifest/component_list_parser.h"
#include "update/manifest/update_config_parser.h"
#include "update/rollbackdb/rb_record_layout.h"

namespace mivra::ctl {
namespace {

bool StartsWith(const uint8_t* bytes, size_t length, const char* magic, size_t magicSize) {
  return length >= magicSize && std::memcmp(bytes, magic, magicSize) == 0;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

Recognition RecognizeFile(const uint8_t* bytes, size_t length, const std::string& fileName) {
  if (StartsWith(bytes, length, kBkMdataFormat.magic, kMagicSize)) return {FileKind::kBkMdata, true};
  if (StartsWith(bytes, length, kRBMdataFormat.magic, kMagicSize)) return {FileKind::kRBMdata, true};
  if (StartsWith(bytes, length, kUpdateConfigMagic, sizeof(kUpdateConfigMagic))) {
    return {FileKind::kUpdateConfig, true};
  }
  if (StartsWith(bytes, length, kComponentListMagic, sizeof(kComponentListMagic))) {
    return {FileKind::kComponentList, true};
  }
  const std::string name = Lower(fileName);
  if (name == "bkmdata.dat") return {FileKind::kBkMdata, false};
  if (name == "rbmdata.dat") return {FileKind::kRBMdata, false};
  if (name == "updtconf.dat") return {FileKind::kUpdateConfig, false};
  if (EndsWith(name, "_compns.lst")) return {FileKind::kComponentList, false};
  return {};
}

const char* FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::kBkMdata:
      return "bkmdata.dat";
    case FileKind::kRBMdata:
      return "rbmdata.dat";
    case FileKind::kUpdateConfig:
      return "updtconf.dat";
    case FileKind::kComponentList:
      return "component list";
    case FileKind::kUnknown:
      break;
  }
  return "unknown";
}

}  // namespace mivra::ctl
