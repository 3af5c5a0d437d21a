// mivractl.exe: the library's command-line front end for release and support engineers. It works
// on the installed product through the library's exports, as an updater does (the library is
// linked in: one copy of its code and caches), and reads the library's files with the library's
// own layout and parsing code.
#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "examine_command.h"
#include "install_paths.h"
#include "library_version.h"
#include "log_command.h"

int wmain(int argc, wchar_t** argv) {
  using namespace mivra::ctl;
  int first = 1;
  // "--trace FILE" before the command: the library traces this run into FILE.
  if (argc > 2 && std::wstring(argv[1]) == L"--trace") {
    if (!::SetEnvironmentVariableW(L"MIVRA_TRACE", argv[2])) {
      std::cerr << "mivractl: cannot set MIVRA_TRACE for --trace\n";
      return kExitFailed;
    }
    first = 3;
  } else if (argc == 2 && std::wstring(argv[1]) == L"--trace") {
    std::cerr << "mivractl: --trace needs a FILE before the command\n";
    return kExitUsage;
  }
  std::vector<std::string> args;
  for (int i = first; i < argc; ++i) args.push_back(Narrow(argv[i]));
  const Command commands[] = {
      kStatusCommand,     kBackupCommand,    kAddCommand,      kCommitCommand, kRemoveCommand,
      kListCommand,       kDeleteBackupCommand, kRegisterCommand, kMarkStatusCommand, kDeleteDbCommand,
      kQueryCommand,      kRollbackCommand,  kInspectCommand,  kExplainCommand, kLogCommand,
  };
  return Dispatch(commands,
                  "Works on the installed product through the library's exports, as an updater does, and reads\n"
                  "the library's files. The install directory is the App Paths \"Path\" value of Corvane.exe.\n"
                  "With --trace FILE before the command, the library appends what it does to FILE\n"
                  "(mivractl log FILE tells it): mivractl --trace FILE COMMAND [ARGUMENTS].\n",
                  args, std::cout, std::cerr, LibraryVersionLine);
}
