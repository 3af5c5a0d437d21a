// Replaces one entry of the platform table for the life of the object, so a test can make a
// read, a write or an attribute query fail (or succeed) without a broken disk.
#ifndef MIVRA_TESTS_SUPPORT_SCOPED_PLATFORM_ENTRY_H_
#define MIVRA_TESTS_SUPPORT_SCOPED_PLATFORM_ENTRY_H_

#include "update/frame/platform_calls.h"

namespace mivra_test {

template <typename Fn>
class ScopedPlatformEntry {
 public:
  ScopedPlatformEntry(Fn mivra::PlatformCalls::*entry, Fn replacement) : entry_(entry) {
    mivra::Platform().*entry_ = replacement;
  }
  ~ScopedPlatformEntry() { mivra::Platform().*entry_ = mivra::RealPlatformCalls().*entry_; }
  ScopedPlatformEntry(const ScopedPlatformEntry&) = delete;
  ScopedPlatformEntry& operator=(const ScopedPlatformEntry&) = delete;

 private:
  Fn mivra::PlatformCalls::*entry_;
};

}  // namespace mivra_test

#endif  // MIVRA_TESTS_SUPPORT_SCOPED_PLATFORM_ENTRY_H_
