// Copying a file and proving the copy by its MD5 digest: how files go into a backup folder and
// come out of it again.
#ifndef MIVRA_UPDATE_BACKUP_COPY_VERIFIED_H_
#define MIVRA_UPDATE_BACKUP_COPY_VERIFIED_H_

#include <cstdint>
#include <functional>

#include "update/frame/scoped_handles.h"

namespace mivra {

// Copies the data of `source` to `destination`, replacing it; the copy gets normal attributes and
// its own times. The source is read with read and write sharing, so a process that holds it open
// does not stop the copy. A failed read or write deletes the destination: no partial copy stays.
bool CopyFileData(const wchar_t* source, const wchar_t* destination);

enum class HeldCopy {
  kProved,   // copied and the copy proved
  kFailed,   // the copy or its proof failed
  kNotHeld,  // the source cannot be opened without write sharing (another process may write it)
};

// Copies `source` while holding it open without write sharing, digesting it in the same pass, and
// proves the copy by its own digest against that one: two reads of the source's bytes and of the
// copy's prove what three would, since nothing can change the source in between. A mismatch copies
// once more; after a second mismatch the call fails and leaves that copy in place. On success the
// copy's digest goes to `copyDigest` (16 bytes) when that is not null. The copy is read back after
// its flush: a large one while it is written, a small one through the handle that wrote it, and by
// name when that reading fails.
HeldCopy CopyHeldSourceVerified(const wchar_t* source, const wchar_t* destination, uint8_t* copyDigest);

// Copies `source` to `destination` and compares the copy's digest with `expected` (16 bytes). When
// that is null, the source is copied as CopyHeldSourceVerified does, or, when it cannot be held
// that way, compared with the source's digest taken once before copying. A mismatch copies once
// more; after a second mismatch the call fails and leaves that copy in place. On success the
// copy's digest, just taken, goes to `copyDigest` (16 bytes) when that is not null, so that no
// caller needs to read the copy again.
// `created`, when given with `expected`: the destination's handle, which the caller has just
// created exclusively (open for reading and writing, reading shared), so that the first copy goes
// into it without opening the file again. When that copy is the one proved, the handle comes back
// in `created`, still open, for the caller to close or to rename the copy through; otherwise it is
// closed by the time the call returns.
// `acceptSource`, when given with `expected`, is asked about each open of the source before any of
// its bytes is copied: false refuses that copy, and the call fails.
using SourceCheck = std::function<bool(HANDLE opened)>;
bool CopyFileVerified(const wchar_t* source, const wchar_t* destination, const uint8_t* expected,
                      uint8_t* copyDigest = nullptr, ScopedHandle* created = nullptr,
                      const SourceCheck* acceptSource = nullptr);

}  // namespace mivra

#endif  // MIVRA_UPDATE_BACKUP_COPY_VERIFIED_H_
