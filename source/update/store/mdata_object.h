// The library's one handle of an open metadata file (bkmdata.dat or rbmdata.dat).
#ifndef MIVRA_UPDATE_STORE_MDATA_OBJECT_H_
#define MIVRA_UPDATE_STORE_MDATA_OBJECT_H_

#include <memory>
#include <string>
#include <vector>

#include "update/frame/bounded_string.h"
#include "update/frame/scoped_handles.h"

// Global, so that it is the type the public header names opaquely.
struct MdataObject {
  MdataObject() = default;
  ~MdataObject() { Close(); }
  MdataObject(const MdataObject&) = delete;
  MdataObject& operator=(const MdataObject&) = delete;

  // Flushes the file to disk when a record was written, closes it and empties the name list.
  void Close();

  // The open file; none when the open failed or the object was closed.
  mivra::ScopedFd fd;
  // Set by the record writers; makes closing flush the file.
  bool modified = false;
  // Where the open file lies, for the journal that every change of it keeps beside it.
  wchar_t path[mivra::kPathCapacity] = {};
  // The names of the file's records in record order, loaded by the first lookup.
  std::vector<std::wstring> names;
};

namespace mivra {

// A new, unopened object; null when it cannot be allocated or constructed, never an exception.
std::unique_ptr<MdataObject> NewMdataObject() noexcept;

}  // namespace mivra

#endif  // MIVRA_UPDATE_STORE_MDATA_OBJECT_H_
