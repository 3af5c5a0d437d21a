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

namespace mivra {

void PrintUpdateConfigFailure(const UpdateConfigStatus& status) {
  if (status.ok()) return;
  std::printf("ReadUpdateConfigData: %s\n", UpdateConfigMessage(status).c_str());
  std::fflush(stdout);
}

UpdateConfigStatus ReadUpdateConfig(const wchar_t* path, cLinkList* chain) {
  if (!path || !chain) return {UpdateConfigStep::kOpen, static_cast<uint32_t>(EINVAL)};
  ScopedFd fd(Platform().wopen(path, _O_RDONLY | _O_BINARY, 0));
  if (!fd) return {UpdateConfigStep::kOpen, static_cast<uint32_t>(errno)};

  uint8_t headerBytes[kUpdateConfigHeaderSize];
  if (!ReadExact(fd.get(), headerBytes, sizeof(headerBytes))) return {UpdateConfigStep::kHeaderRead};
  const int64_t fileLength = Platform().seek(fd.get(), 0, SEEK_END);
  UpdateConfigHeader header;
  // A length that cannot be told cannot match the records either.
  UpdateConfigStatus status =
      CheckUpdateConfigHeader(headerBytes, fileLength < 0 ? 0 : static_cast<uint64_t>(fileLength), &header);
  if (!status.ok()) return status;

  // The whole record area is checked first; the records are then read one by one.
  {
    const size_t areaSize = UpdateConfigAreaSize(header);
    std::unique_ptr<uint8_t[]> area(new (std::nothrow) uint8_t[areaSize]);
    if (!area) return {UpdateConfigStep::kAllocation};
    if (Platform().seek(fd.get(), kUpdateConfigHeaderSize, SEEK_SET) != int64_t{kUpdateConfigHeaderSize} ||
        !ReadExact(fd.get(), area.get(), areaSize)) {
      return {UpdateConfigStep::kAreaRead};
    }
    status = CheckUpdateConfigArea(header, area.get(), areaSize);
    if (!status.ok()) return status;
  }

  cLinkList read;
  const bool positioned = Platform().seek(fd.get(), kUpdateConfigHeaderSize, SEEK_SET) == int64_t{kUpdateConfigHeaderSize};
  for (uint32_t i = 0; i < header.recordCount; ++i) {
    uint8_t stored[kUpdateConfigRecordSize] = {};
    if (!positioned || !ReadExact(fd.get(), stored, sizeof(stored))) return {UpdateConfigStep::kRecordRead, i};
    status = AddUpdateConfigRecord(stored, i, &read);
    if (!status.ok()) return status;
  }
  *chain = std::move(read);
  return {};
}

}  // namespace mivra
