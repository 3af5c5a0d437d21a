// Fault injection into the library's platform table (tests that link mivra_core): one entry is
// replaced for the life of the object, so a read, a write or a delete fails without a broken disk.
#ifndef MIVRA_TESTS_SUPPORT_PLATFORM_FAULT_H_
#define MIVRA_TESTS_SUPPORT_PLATFORM_FAULT_H_

#include "update/frame/platform_calls.h"

namespace mivra_test {

template <typename Fn>
class ScopedPlatformCall {
 public:
  // `slot` is an entry of mivra::Platform(), such as mivra::Platform().read.
  ScopedPlatformCall(Fn& slot, Fn replacement) : slot_(slot), saved_(slot) { slot_ = replacement; }
  ~ScopedPlatformCall() { slot_ = saved_; }
  ScopedPlatformCall(const ScopedPlatformCall&) = delete;
  ScopedPlatformCall& operator=(const ScopedPlatformCall&) = delete;

 private:
  Fn& slot_;
  Fn saved_;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_PLATFORM_FAULT_H_
