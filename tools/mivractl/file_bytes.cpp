#include "file_bytes.h"

#include <fstream>
#include <system_error>

#include "update/digest/md5.h"

namespace mivra::ctl {

FileRead ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>* bytes) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return FileRead::kMissing;
  if (error || !std::filesystem::is_regular_file(status)) return FileRead::kUnreadable;
  std::ifstream in(path, std::ios::binary);
  if (!in) return FileRead::kUnreadable;
  bytes->clear();
  char piece[4096];
  while (in.read(piece, sizeof(piece)) || in.gcount() > 0) {
    bytes->insert(bytes->end(), piece, piece + in.gcount());
  }
  return in.bad() ? FileRead::kUnreadable : FileRead::kOk;
}

bool Md5OfFile(const std::filesystem::path& path, uint8_t (&digest)[16]) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  CMd5 md5;
  const int32_t done = Md5OfStream(
      md5,
      [&in](uint8_t* buffer, unsigned capacity) -> int {
        in.read(reinterpret_cast<char*>(buffer), capacity);
        if (in.bad()) return -1;
        return static_cast<int>(in.gcount());
      },
      digest);
  return done == 1;
}

}  // namespace mivra::ctl
