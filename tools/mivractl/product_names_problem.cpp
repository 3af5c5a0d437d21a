#include "product_names_problem.h"

#include "install_paths.h"
#include "report.h"
#include "system_error_names.h"
#include "update/frame/product_identity.h"

namespace mivra::ctl {
namespace {

std::string Told(const NameSource& source, const wchar_t* library) {
  const std::string path = QuotedPath(Narrow(source.path));
  std::string told = Narrow(library) + ": ";
  switch (source.outcome) {
    case NameSourceOutcome::kNotTried:
    case NameSourceOutcome::kGaveNames:
      return std::string();
    case NameSourceOutcome::kNoPath:
      return told + "no path: the install directory is unresolved, or too long for the name";
    case NameSourceOutcome::kNotLoaded: {
      const char* name = Win32ErrorName(source.win32);
      return told + path + " cannot be loaded (win32 " + std::to_string(source.win32) +
             (name ? std::string(" ") + name : std::string()) + ")";
    }
    case NameSourceOutcome::kNoExport:
      return told + path + " has no export " + kProductInfoExport;
    case NameSourceOutcome::kRefused:
      return told + "export " + kProductInfoExport + " of " + path + " returned 0 (no names)";
    case NameSourceOutcome::kUnterminated:
      return told + "export " + kProductInfoExport + " of " + path + " left a name unterminated in its 260 bytes";
    case NameSourceOutcome::kNoString:
      return told + path + " has no string " + std::to_string(source.stringId) + " (the " +
             (source.stringId == kCompanyNameStringId ? "company" : "product") + " name)";
    case NameSourceOutcome::kEmptyName:
      return told + path + " gave an empty company or product name";
    case NameSourceOutcome::kNameTooLong:
      return told + "a name from " + path + " does not fit a folder name (199 characters)";
  }
  return told + NameSourceWords(source.outcome);
}

}  // namespace

std::string ProductNamesProblem() {
  ProductIdentityLoad load;
  if (DiagnoseProductIdentity(&load)) return std::string();
  std::string problem = Told(load.productInfo, kProductInfoLibrary);
  const std::string resources = Told(load.resources, kResourceLibrary);
  if (!resources.empty()) problem += (problem.empty() ? "" : "; ") + resources;
  return problem;
}

}  // namespace mivra::ctl
