#include "library_version.h"

#include "mivra_version.h"

namespace mivra::ctl {

std::string LibraryVersionLine() {
  return std::string("mivra ") + MIVRA_VERSION_TEXT +
         " built in (mivractl carries the library's code and loads no mivra.dll)\n";
}

}  // namespace mivra::ctl
