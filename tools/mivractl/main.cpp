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
#include "trace_option.h"

int wmain(int argc, wchar_t** argv) {
  using namespace mivra::ctl;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  const Command commands[] = {
      kStatusCommand,     kBackupCommand,    kAddCommand,      kCommitCommand, kRemoveCommand,
      kListCommand,       kDeleteBackupCommand, kRegisterCommand, kMarkStatusCommand, kDeleteDbCommand,
      kQueryCommand,      kRollbackCommand,  kInspectCommand,  kExplainCommand, kLogCommand,
  };
  Program program;
  program.commands = commands;
  program.about =
      "Works on the installed product through the library's exports, as an updater does, and reads\n"
      "the library's files. The install directory is the App Paths \"Path\" value of Corvane.exe.\n"
      "With --trace FILE the library appends what it does during the run to FILE\n"
      "(mivractl log FILE tells it).\n";
  program.versionDetail = LibraryVersion;
  program.startTrace = StartLibraryTrace;
  return Dispatch(program, args, std::cout, std::cerr);
}
