#include "support/linked_files.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <utility>

namespace mivra_test {
namespace {

struct State {
  std::vector<std::wstring> paths;
  DWORD(WINAPI* previous)(LPCWSTR) = nullptr;
};

State& TheState() {
  static State state;
  return state;
}

DWORD WINAPI AttributesOf(LPCWSTR path) {
  const State& state = TheState();
  const DWORD attributes = state.previous(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !path) return attributes;
  const bool linked = std::any_of(state.paths.begin(), state.paths.end(),
                                  [path](const std::wstring& p) { return _wcsicmp(p.c_str(), path) == 0; });
  return linked ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
}

}  // namespace

FilesReadAsLinks::FilesReadAsLinks(std::vector<std::wstring> paths) : override_(&AttributesOf) {
  TheState() = {std::move(paths), override_.previous()};
}

FilesReadAsLinks::~FilesReadAsLinks() { TheState() = {}; }

}  // namespace mivra_test
