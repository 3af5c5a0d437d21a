// A caller that may read the library's folders and nothing more, as a standard user's process
// is: for the life of the object every platform call that would create, write, rename, delete or
// change the rights of a file or folder is denied (ERROR_ACCESS_DENIED, EACCES for the C
// runtime), and counted; every call that only reads goes through.
#ifndef MIVRA_TESTS_SUPPORT_READ_ONLY_CALLER_H_
#define MIVRA_TESTS_SUPPORT_READ_ONLY_CALLER_H_

#include <cstdint>

#include "update/frame/platform_calls.h"

namespace mivra_test {

class ReadOnlyCaller {
 public:
  ReadOnlyCaller();
  ~ReadOnlyCaller();
  ReadOnlyCaller(const ReadOnlyCaller&) = delete;
  ReadOnlyCaller& operator=(const ReadOnlyCaller&) = delete;

  // Calls denied since the object was made, and of those the deletions (of a file or a tree).
  uint32_t denied() const;
  uint32_t deletionsTried() const;

 private:
  mivra::PlatformCalls saved_;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_READ_ONLY_CALLER_H_
