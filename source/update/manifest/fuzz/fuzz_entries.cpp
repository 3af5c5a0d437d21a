#include "update/manifest/fuzz/fuzz_entries.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "update/manifest/component_list_parser.h"
#include "update/manifest/update_config_parser.h"

namespace mivra {
namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

bool FuzzUpdateConfig(const uint8_t* data, size_t size) {
  cLinkList chain;
  const UpdateConfigStatus status = ParseUpdateConfig(data, size, &chain);
  // Every outcome has a message; a failure has no chain.
  Require(status.ok() == UpdateConfigMessage(status).empty());
  if (!status.ok()) {
    Require(chain.head() == nullptr && chain.count() == 0);
    return false;
  }
  Require(size >= kUpdateConfigHeaderSize + kUpdateConfigRecordSize);
  const uint32_t records = static_cast<uint32_t>((size - kUpdateConfigHeaderSize) / kUpdateConfigRecordSize);
  uint32_t nodes = 0;
  uint32_t lastIndex = 0;
  for (const UpdateConfigNode* node = chain.head(); node; node = node->next) {
    Require(node->recordIndex < records);
    Require(nodes == 0 || node->recordIndex > lastIndex);
    for (const UpdateConfigNode* earlier = chain.head(); earlier != node; earlier = earlier->next) {
      Require(earlier->RecordId() != node->RecordId());
    }
    lastIndex = node->recordIndex;
    ++nodes;
  }
  Require(nodes >= 1 && nodes == chain.count() && nodes <= kUpdateConfigMaxRecords);
  return true;
}

bool FuzzComponentList(const uint8_t* data, size_t size) {
  ComponentEntries entries;
  if (!ParseComponentList(data, size, &entries)) return false;
  Require((entries.count() == 0) == (entries.slots() == nullptr));
  for (uint32_t i = 0; i < entries.count(); ++i) {
    const char* name = entries.Name(i);
    const size_t length = strnlen(name, kComponentNameFieldSize);
    Require(length < kComponentNameFieldSize);
    // The rest of the name field stays zero.
    for (size_t k = length; k < kComponentNameFieldSize; ++k) Require(name[k] == '\0');
  }
  return true;
}

}  // namespace mivra
