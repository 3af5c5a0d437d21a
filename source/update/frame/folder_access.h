// Open access rights for the library's folders: Everyone gets full access to a folder the library
// created and to everything later created in it. Best effort: a failure leaves the folder as
// created.
#ifndef MIVRA_UPDATE_FRAME_FOLDER_ACCESS_H_
#define MIVRA_UPDATE_FRAME_FOLDER_ACCESS_H_

#include <windows.h>

#include "update/frame/scoped_handles.h"

namespace mivra {

// Replaces the DACL of the folder (or file) at `path` by the Everyone list. Reports nothing.
void ApplyFolderAccess(const wchar_t* path);

// True when the native processor architecture is a 64-bit one; decides only how the Everyone
// SID is built.
bool IsNative64Bit();

// The Everyone SID, built the way IsNative64Bit selects.
class EveryoneSid {
 public:
  bool Create();
  PSID get() const { return local_ ? local_.get() : allocated_.get(); }

 private:
  ScopedLocalMem local_;
  ScopedAllocatedSid allocated_;
};

// The absolute descriptor that ApplyFolderAccess writes, kept apart from the write so that what
// it holds can be examined.
class EveryoneAccessDescriptor {
 public:
  // Builds the descriptor from the path's `current` descriptor: for a folder an inherit-only ACE
  // (flags 0x0B) then an ACE for the folder itself (flags 0), for a file one ACE; all for
  // Everyone with GENERIC_ALL. Control flags follow the current descriptor: auto-inherited gives
  // auto-inherited and auto-inherit-required, otherwise protected stays protected.
  bool Build(PSECURITY_DESCRIPTOR current, PSID everyone, bool isDirectory);
  PSECURITY_DESCRIPTOR get() { return &descriptor_; }

 private:
  SECURITY_DESCRIPTOR descriptor_ = {};
  ScopedProcessHeapBlock acl_;
};

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FOLDER_ACCESS_H_
