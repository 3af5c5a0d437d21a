#include "update/manifest/component_list_reader.h"

#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/manifest/read_exact.h"

namespace mivra {
namespace {

// Lists hold a few hundred names; a file beyond what one read call can return is not one.
constexpr int64_t kMaxListFileSize = INT32_MAX;

}  // namespace

int ReadComponentList(const wchar_t* path, ComponentEntries* entries, uint32_t* count) {
  if (!path || !entries || !count) return 0;
  ScopedFd fd(Platform().wopen(path, _O_RDONLY | _O_BINARY, 0));
  if (!fd) return 0;
  const int64_t length = Platform().seek(fd.get(), 0, SEEK_END);
  if (length < int64_t{kComponentListHeaderSize} || length > kMaxListFileSize) return 0;
  if (Platform().seek(fd.get(), 0, SEEK_SET) != 0) return 0;

  const size_t size = static_cast<size_t>(length);
  std::unique_ptr<uint8_t[]> file(new (std::nothrow) uint8_t[size]());
  if (!file || !ReadExact(fd.get(), file.get(), size)) return 0;
  fd.reset();

  ComponentEntries parsed;
  if (!ParseComponentList(file.get(), size, &parsed)) return 0;
  *count = parsed.count();
  *entries = std::move(parsed);
  return 1;
}

}  // namespace mivra
