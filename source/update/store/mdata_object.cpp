#include "update/store/mdata_object.h"

#include <new>

#include "update/frame/platform_calls.h"
#include "update/frame/trace_log.h"

void MdataObject::Close() {
  if (fd.valid() && modified) {
    const bool flushed = mivra::Platform().commit(fd.get()) == 0;
    mivra::TraceStep("flush-metadata").Path("path", path).Crt(flushed);
  }
  fd.reset();
  format = nullptr;
  modified = false;
  readOnly = false;
  writeClosed = false;
  closedFolderKind = 0;
  names = mivra::RecordNames();
}

namespace mivra {

std::unique_ptr<MdataObject> NewMdataObject() noexcept {
  try {
    return std::unique_ptr<MdataObject>(new (std::nothrow) MdataObject());
  } catch (...) {
    return nullptr;
  }
}

}  // namespace mivra
