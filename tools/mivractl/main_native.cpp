// mivractl for Linux and other systems without the library: only "inspect" and "log", so that
// files and traces sent in from a customer's machine can be examined anywhere.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "examine_command.h"
#include "log_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const mivra::ctl::Command commands[] = {mivra::ctl::kInspectCommand, mivra::ctl::kLogCommand};
  return mivra::ctl::Dispatch(commands,
                              "Examines the library's files and traces taken from a Windows machine; the other commands\n"
                              "exist only in mivractl.exe.\n",
                              args, std::cout, std::cerr);
}
