// The library's one handle of an open metadata file (bkmdata.dat or rbmdata.dat). The open binds
// the file's format, and with it the kind of the object; every store function takes the format
// from the object, and the typed codecs refuse an object of the other kind.
#ifndef MIVRA_UPDATE_STORE_MDATA_OBJECT_H_
#define MIVRA_UPDATE_STORE_MDATA_OBJECT_H_

#include <memory>
#include <string>
#include <vector>

#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"
#include "update/store/metadata_format.h"

// Global, so that it is the type the public header names opaquely.
struct MdataObject {
  MdataObject() = default;
  ~MdataObject() { Close(); }
  MdataObject(const MdataObject&) = delete;
  MdataObject& operator=(const MdataObject&) = delete;

  // Flushes the file to disk when a record was written, closes it, empties the name list and
  // unbinds the format: a closed object has no kind.
  void Close();

  // What the open file is; kNone when no file is open.
  mivra::MdataKind kind() const { return format && fd.valid() ? format->kind : mivra::MdataKind::kNone; }

  // The open file; none when the open failed or the object was closed.
  mivra::ScopedFd fd;
  // The layout of the open file, bound by the open; null when none is open.
  const mivra::MetadataFormat* format = nullptr;
  // Set by the record writers; makes closing flush the file.
  bool modified = false;
  // Opened for reading alone (the caller may not write): every change is refused.
  bool readOnly = false;
  // Set when a change through this object could not be undone: what the object knows of the file
  // (its end, its CRC, its names) may no longer be the file's, so every later write through it
  // fails, and the journal left on disk is the next open's to put back. Mutable: a state write
  // takes the object as const, and learns this about the handle, not the file.
  mutable bool writeClosed = false;
  // The backup folder kind (BackupFolderKind) of the open file when its open resolved that folder,
  // closing it and the base folder holding it to others; 0 otherwise. While the file is open here
  // neither folder can be renamed or deleted, and only an administrator can open their rights
  // again: later calls on the object need not close them again.
  uint32_t closedFolderKind = 0;
  // Where the open file lies, for the journal that every change of it keeps beside it.
  wchar_t path[mivra::kPathCapacity] = {};
  // The names of the file's records in record order, loaded by the first lookup.
  mivra::RecordNames names;
};

namespace mivra {

// A new, unopened object; null when it cannot be allocated or constructed, never an exception.
std::unique_ptr<MdataObject> NewMdataObject() noexcept;

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_MDATA_OBJECT_H_
