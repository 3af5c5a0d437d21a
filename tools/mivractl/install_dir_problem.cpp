#include "install_dir_problem.h"

#include <windows.h>

#include "install_paths.h"

namespace mivra::ctl {
namespace {

std::string ErrorNumber(int32_t status) { return "(error " + std::to_string(status) + ")"; }

const char* RegistryTypeName(uint32_t type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "not a string type";
  }
}

// What the step that failed found.
std::string StepProblem(const InstallDirResolution& resolution) {
  const std::string names = "it names " + Narrow(resolution.value);
  switch (resolution.step) {
    case InstallDirStep::kResolved:
      return std::string();
    case InstallDirStep::kProgramPathTooLong:
      return "the path of this program does not fit 260 characters";
    case InstallDirStep::kKeyMissing:
      return "the key does not exist";
    case InstallDirStep::kKeyUnreadable:
      return "the key cannot be opened " + ErrorNumber(resolution.registryStatus);
    case InstallDirStep::kValueMissing:
      return "the key has no value \"Path\"";
    case InstallDirStep::kValueTooLong:
      return "the value is longer than 260 characters";
    case InstallDirStep::kValueUnreadable:
      return "the value cannot be read " + ErrorNumber(resolution.registryStatus);
    case InstallDirStep::kValueNotString:
      return std::string("the value is of type ") + RegistryTypeName(resolution.valueType) + ", not a string";
    case InstallDirStep::kValueEmpty:
      return "the value is empty";
    case InstallDirStep::kProgramFolderLongForm:
      return names + ", but the long form of this program's folder " + Narrow(resolution.programFolder) +
             " cannot be taken";
  }
  return "the library could not resolve it";
}

}  // namespace

std::string DescribeInstallDirProblem(const InstallDirResolution& resolution) {
  if (resolution.resolved()) return std::string();
  const std::wstring keyPath = kAppPathsKey;
  return "read HKLM\\" + Narrow(keyPath) + ", value \"Path\", the App Paths entry of the executable name " +
         Narrow(keyPath.substr(keyPath.rfind(L'\\') + 1)) + ": " + StepProblem(resolution);
}

std::string InstallDirProblem() { return DescribeInstallDirProblem(ResolveInstallDir()); }

}  // namespace mivra::ctl
