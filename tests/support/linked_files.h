// Files that read as links, as Windows shows a symbolic link to a file (Wine shows one as the
// plain file it points to, and CreateSymbolicLinkW makes nothing): for the life of the object the
// attributes of the named paths carry FILE_ATTRIBUTE_REPARSE_POINT; every other path reads as it
// is. Paths compare without regard to case.
#ifndef MIVRA_TESTS_SUPPORT_LINKED_FILES_H_
#define MIVRA_TESTS_SUPPORT_LINKED_FILES_H_

#include <string>
#include <vector>

#include "support/platform_fault.h"

namespace mivra_test {

class FilesReadAsLinks {
 public:
  explicit FilesReadAsLinks(std::vector<std::wstring> paths);
  ~FilesReadAsLinks();
  FilesReadAsLinks(const FilesReadAsLinks&) = delete;
  FilesReadAsLinks& operator=(const FilesReadAsLinks&) = delete;

 private:
  PlatformOverride<&mivra::PlatformCalls::GetFileAttributesW> override_;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_LINKED_FILES_H_
