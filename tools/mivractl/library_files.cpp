#include "library_files.h"

#include <filesystem>

namespace mivra::ctl {

MetadataFile ReadMetadataFile(const std::wstring& path, const MetadataFormat& format) {
  MetadataFile file;
  file.read = ReadWholeFile(std::filesystem::path(path), &file.bytes);
  if (file.present()) file.verdict = ExamineMetadataFile(format, file.bytes.data(), file.bytes.size());
  return file;
}

}  // namespace mivra::ctl
