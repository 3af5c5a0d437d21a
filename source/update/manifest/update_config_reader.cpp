#include "update/manifest/update_config_reader.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "update/frame/platform_calls.h"
#include "update/frame/scoped_handles.h"
#include "update/manifest/read_exact.h"
#include "update/manifest/update_config_parser.h"

namespace mivra {
namespace {

bool Report(const UpdateConfigStatus& status) {
  std::printf("ReadUpdateConfigData: %s\n", UpdateConfigMessage(status).c_str());
  std::fflush(stdout);
  return false;
}

bool Report(UpdateConfigStep step, uint32_t value = 0) { return Report(UpdateConfigStatus{step, value, 0}); }

}  // namespace

bool ReadUpdateConfigData(const wchar_t* path, cLinkList* chain) {
  if (!path || !chain) return false;
  ScopedFd fd(Platform().wopen(path, _O_RDONLY | _O_BINARY, 0));
  if (!fd) return Report(UpdateConfigStep::kOpen, static_cast<uint32_t>(errno));

  uint8_t headerBytes[kUpdateConfigHeaderSize];
  if (!ReadExact(fd.get(), headerBytes, sizeof(headerBytes))) return Report(UpdateConfigStep::kHeaderRead);
  const int64_t fileLength = Platform().seek(fd.get(), 0, SEEK_END);
  UpdateConfigHeader header;
  // A length that cannot be told cannot match the records either.
  UpdateConfigStatus status =
      CheckUpdateConfigHeader(headerBytes, fileLength < 0 ? 0 : static_cast<uint64_t>(fileLength), &header);
  if (!status.ok()) return Report(status);

  // The whole record area is checked first; the records are then read one by one.
  {
    const size_t areaSize = UpdateConfigAreaSize(header);
    std::unique_ptr<uint8_t[]> area(new (std::nothrow) uint8_t[areaSize]);
    if (!area) return Report(UpdateConfigStep::kAllocation);
    if (Platform().seek(fd.get(), kUpdateConfigHeaderSize, SEEK_SET) != int64_t{kUpdateConfigHeaderSize} ||
        !ReadExact(fd.get(), area.get(), areaSize)) {
      return Report(UpdateConfigStep::kAreaRead);
    }
    status = CheckUpdateConfigArea(header, area.get(), areaSize);
    if (!status.ok()) return Report(status);
  }

  cLinkList read;
  const bool positioned = Platform().seek(fd.get(), kUpdateConfigHeaderSize, SEEK_SET) == int64_t{kUpdateConfigHeaderSize};
  for (uint32_t i = 0; i < header.recordCount; ++i) {
    uint8_t stored[kUpdateConfigRecordSize] = {};
    if (!positioned || !ReadExact(fd.get(), stored, sizeof(stored))) return Report(UpdateConfigStep::kRecordRead, i);
    status = AddUpdateConfigRecord(stored, i, &read);
    if (!status.ok()) return Report(status);
  }
  *chain = std::move(read);
  return true;
}

}  // namespace mivra
