// Closed access rights for the library's folders: full control for SYSTEM and Administrators,
// read and execute for everyone else, on the folder and inherited by everything later created in
// it. The elevated updater restores from these folders, so nobody it does not trust may write
// there. Best effort: a failure leaves the folder as it was.
#ifndef MIVRA_UPDATE_FRAME_FOLDER_ACCESS_H_
#define MIVRA_UPDATE_FRAME_FOLDER_ACCESS_H_

#include <windows.h>

#include "update/frame/scoped_handles.h"

namespace mivra {

// Replaces the DACL of the folder (or file) at `path` by the closed list. Reports nothing.
void ApplyFolderAccess(const wchar_t* path);

// When the DACL of the library's folder at `path` lets others do more than read (as earlier
// versions left it: Everyone with full access), closes it like a new folder, and the entries
// directly in it and in its subfolders that are as open, leaving links alone. Reports nothing: a
// caller without the right to change it carries on, and the next one that has it closes it.
void TightenFolderAccess(const wchar_t* path);

// True when the DACL of `descriptor` grants Everyone, Users, Authenticated Users or Interactive
// more than read and execute, on the object itself or on what it passes on to new entries; also
// when there is no DACL at all, which grants everything.
bool GrantsOthersMoreThanRead(PSECURITY_DESCRIPTOR descriptor);

// True when the native processor architecture is a 64-bit one; decides only how the well-known
// SIDs are built.
bool IsNative64Bit();

// A well-known SID of the closed list, built the way IsNative64Bit selects.
enum class Trustee { kSystem, kAdministrators, kEveryone };
class TrusteeSid {
 public:
  bool Create(Trustee trustee);
  PSID get() const { return local_ ? local_.get() : allocated_.get(); }

 private:
  ScopedLocalMem local_;
  ScopedAllocatedSid allocated_;
};

// The absolute descriptor that ApplyFolderAccess writes, kept apart from the write so that what
// it holds can be examined.
class ClosedAccessDescriptor {
 public:
  // Builds the descriptor from the path's `current` descriptor: one ACE each for SYSTEM and
  // Administrators (all rights) and Everyone (read and execute), inherited by files and subfolders
  // when `isDirectory`; nothing of the old list is kept. Control flags follow the current
  // descriptor: auto-inherited gives auto-inherited and auto-inherit-required, otherwise
  // protected stays protected.
  bool Build(PSECURITY_DESCRIPTOR current, bool isDirectory);
  PSECURITY_DESCRIPTOR get() { return &descriptor_; }

 private:
  SECURITY_DESCRIPTOR descriptor_ = {};
  ScopedProcessHeapBlock acl_;
};

// The rights the closed list gives the library's trustees and everyone else.
inline constexpr ACCESS_MASK kTrusteeRights = FILE_ALL_ACCESS;
inline constexpr ACCESS_MASK kOthersRights = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_FOLDER_ACCESS_H_
