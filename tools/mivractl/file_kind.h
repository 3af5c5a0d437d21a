// Which of the library's files a byte string is: recognised by its magic, and by its file name
// when the file is too short or too damaged to show one.
#ifndef MIVRA_TOOLS_MIVRACTL_FILE_KIND_H_
#define MIVRA_TOOLS_MIVRACTL_FILE_KIND_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace mivra::ctl {

enum class FileKind { kUnknown, kBkMdata, kRBMdata, kUpdateConfig, kComponentList };

struct Recognition {
  FileKind kind = FileKind::kUnknown;
  bool byMagic = false;  // false: taken from the file name
};

// `fileName` is the final path component in UTF-8.
Recognition RecognizeFile(const uint8_t* bytes, size_t length, const std::string& fileName);

// "bkmdata.dat", "rbmdata.dat", "updtconf.dat", "component list", "unknown".
const char* FileKindName(FileKind kind);

}  // namespace mivra::ctl

#endif  // MIVRA_TOOLS_MIVRACTL_FILE_KIND_H_
