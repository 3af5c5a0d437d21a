// The library's folders under Common Files: the base folder named after company and product, and
// in it the committed backup "bkup" and the staging backup "tmpbkup".
#ifndef MIVRA_UPDATE_FRAME_BACKUP_FOLDER_H_
#define MIVRA_UPDATE_FRAME_BACKUP_FOLDER_H_

#include <cstddef>
#include <cstdint>

#include "update/frame/bounded_string.h"

namespace mivra {

enum BackupFolderKind : uint32_t {
  BKF_BASE = 1,
  BKF_BKUP = 2,
  BKF_TMPBKUP = 3,
};

// Within the life of a CommonFilesScope on its thread, the Common Files folder is asked of the
// system once, and every folder the thread composes meanwhile lies under that one answer. The
// product lock holds one for its call: each asking costs registry reads, and a call otherwise asks
// for the lock's name and again for every folder it works in. Scopes nest; each must end on the
// thread that began it, innermost first.
class CommonFilesScope {
 public:
  CommonFilesScope();
  ~CommonFilesScope();
  CommonFilesScope(const CommonFilesScope&) = delete;
  CommonFilesScope& operator=(const CommonFilesScope&) = delete;

  // The folder as first asked in this scope, asking now if it was not yet; false when the system
  // does not give it (asked again at the next need).
  bool Get(wchar_t (&folder)[kPathCapacity]);

 private:
  CommonFilesScope* outer_;
  bool known_ = false;
  wchar_t folder_[kPathCapacity] = {};
};

// What a resolution with creation does about folders that exist already.
enum class ExistingFolders {
  kClose,       // closed when left open to others (TightenFolderAccess)
  kKnownClosed  // left as they are: the caller holds them closed since it last closed them
};

// Writes the path of folder `kind` into `buffer`. With `create`, a missing folder is created with
// its parents, and the folder the call created gets the access rights of ApplyFolderAccess, while
// an existing one and the base folder are handled as `existing` says; a folder that cannot be
// created is not a failure here (the file operations in it fail instead). False for an unknown
// kind, unavailable names, no Common Files folder, a path that does not fit, or a base folder or
// folder `kind` that is a link (or cannot be told not to be one).
bool GetBackupFolder(wchar_t (&buffer)[kPathCapacity], uint32_t kind, bool create,
                     ExistingFolders existing = ExistingFolders::kClose);

// Deletes a folder with everything in it, for good and without any dialog. True when the folder
// is gone or never existed. False, with nothing deleted, when the folder is a link or holds one
// anywhere below it: what a link points to is never deleted.
bool DeleteFolderTree(const wchar_t* path);

}  // namespace mivra

#endif  // MIVRA_UPDATE_FRAME_BACKUP_FOLDER_H_
