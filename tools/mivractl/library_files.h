// The library's metadata files as the tool reads them: whole, read-only, judged with the record
// store's own checks.
#ifndef MIVRA_TOOLS_MIVRACTL_LIBRARY_FILES_H_
#define MIVRA_TOOLS_MIVRACTL_LIBRARY_FILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "update/store/metadata_format.h"

namespace mivra::ctl {

struct MetadataFile {
  FileRead read = FileRead::kMissing;
  std::vector<uint8_t> bytes;
  MetadataVerdict verdict;

  bool present() const { return read == FileRead::kOk; }
  // The library opens the file (magic and CRC); a file it would delete counts as not there.
  bool accepted() const { return present() && verdict.valid(); }
};

MetadataFile ReadMetadataFile(const std::wstring& path, const MetadataFormat& format);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_LIBRARY_FILES_H_
