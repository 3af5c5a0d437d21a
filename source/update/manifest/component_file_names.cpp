#include "update/manifest/component_file_names.h"

#include <cstdint>
#include <iterator>
#include <new>
#include <string_view>

#include "update/frame/bounded_string.h"
#include "update/frame/file_info.h"
#include "update/manifest/component_list_reader.h"
#include "update/manifest/update_config_reader.h"

namespace mivra {
namespace {

constexpr wchar_t kConfigName[] = L"updtconf.dat";
constexpr wchar_t kListSuffix[] = L"compns.lst";

bool ConfigPath(wchar_t (&path)[kPathCapacity], std::wstring_view directory) {
  const bool hasSeparator = !directory.empty() && directory.back() == L'\\';
  return BoundedConcat(path, {directory, hasSeparator ? L"" : L"\\", kConfigName});
}

// "%s%c%08x%c%s": the separator is added even after a trailing one; the doubled backslash reads
// as one.
bool ListPath(wchar_t (&path)[kPathCapacity], std::wstring_view directory, uint32_t recordId) {
  return BoundedConcat(path, {directory, L"\\", FormatHex(recordId, 8, false).view(), L"_", kListSuffix});
}

// Appends the included names of the list at `path`; a missing list adds nothing.
bool CollectListNames(const wchar_t* path, std::vector<std::string>* names) {
  // Only a list proved absent adds nothing; one that cannot be tested cannot be read either.
  switch (ProbePath(path)) {
    case PathState::kPresent: break;
    case PathState::kAbsent: return true;
    case PathState::kUnknown: return false;
  }
  ComponentEntries entries;
  uint32_t count = 0;
  if (ReadComponentList(path, &entries, &count) == 0) return false;
  for (uint32_t i = 0; i < count; ++i) {
    if (entries.Included(i) != 0) names->emplace_back(entries.Name(i));
  }
  return true;
}

}  // namespace

int CollectComponentFileNames(std::vector<std::string>* names, const wchar_t* directory, UpdateConfigStatus* config) {
  if (config) *config = UpdateConfigStatus{};
  if (!names || !directory) return 0;
  const std::wstring_view folder(directory);
  wchar_t path[kPathCapacity];
  if (!ConfigPath(path, folder)) return 0;
  cLinkList chain;
  const UpdateConfigStatus read = ReadUpdateConfig(path, &chain);
  if (config) *config = read;
  if (!read.ok()) return 0;

  // Names reach the caller only when every list was read, so a failed collection adds none.
  try {
    std::vector<std::string> collected;
    for (const UpdateConfigNode* node = chain.head(); node; node = node->next) {
      if (node->Enabled() != 1) continue;
      // A list that cannot be named cannot be checked; granting no exemption is the safe side.
      if (!ListPath(path, folder, node->RecordId())) return 0;
      if (!CollectListNames(path, &collected)) return 0;
    }
    names->reserve(names->size() + collected.size());
    names->insert(names->end(), std::make_move_iterator(collected.begin()),
                  std::make_move_iterator(collected.end()));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

}  // namespace mivra
