// Whole files read into memory, on every platform. The tool reads metadata and manifest files
// (a few hundred kilobytes at most) and never writes them.
#ifndef MIVRA_TOOLS_MIVRACTL_FILE_BYTES_H_
#define MIVRA_TOOLS_MIVRACTL_FILE_BYTES_H_

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mivra::ctl {

enum class FileRead { kOk, kMissing, kUnreadable };

FileRead ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>* bytes);

// MD5 of a file's bytes with the library's CMd5, read in pieces. False when it cannot be read.
bool Md5OfFile(const std::filesystem::path& path, uint8_t (&digest)[16]);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_FILE_BYTES_H_
