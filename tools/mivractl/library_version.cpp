#include "library_version.h"

#include "mivra_version.h"

namespace mivra::ctl {

VersionDetail LibraryVersion() {
  VersionDetail detail;
  detail.text = std::string("mivra ") + MIVRA_VERSION_TEXT +
                " built in (mivractl carries the library's code and loads no mivra.dll)\n";
  Report library = Report::Object();
  library.Set("version", Report::Text(MIVRA_VERSION_TEXT)).Set("builtIn", Report::Flag(true));
  detail.json.Set("library", std::move(library));
  return detail;
}

}  // namespace mivra::ctl
