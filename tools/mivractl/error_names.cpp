#include "error_names.h"

#include "command_line.h"
#include "mivra_errors.h"

namespace mivra::ctl {
namespace {

#define MIVRA_ERROR_ENTRY(name, code, meaning) {code, #name, meaning},
const ErrorName kErrorNames[] = {MIVRA_ERROR_LIST(MIVRA_ERROR_ENTRY)};
#undef MIVRA_ERROR_ENTRY

}  // namespace

std::span<const ErrorName> ErrorNames() { return kErrorNames; }

const ErrorName* FindErrorName(uint32_t code) {
  for (const ErrorName& entry : kErrorNames) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

std::string DescribeError(uint32_t code) {
  const ErrorName* entry = FindErrorName(code);
  if (!entry) return "error " + std::to_string(code) + ": not a code of the library";
  return "error " + std::to_string(code) + " " + entry->name + ": " + entry->meaning;
}

int ReportLibraryFailure(const char* command, const std::string& what, uint32_t code, std::ostream& err) {
  err << "mivractl " << command << ": " << what << " failed: ";
  if (code == 0) {
    err << "without an error code\n";
  } else {
    err << DescribeError(code) << "\n";
  }
  return kExitFailed;
}

}  // namespace mivra::ctl
