// mivractl for Linux and other systems without the library: only "inspect" and "log", so that
// files and traces sent in from a customer's machine can be examined anywhere. The commands that
// work through the library are named as needing Windows.
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "examine_command.h"
#include "log_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const mivra::ctl::Command commands[] = {mivra::ctl::kInspectCommand, mivra::ctl::kLogCommand};
  mivra::ctl::Program program;
  program.commands = commands;
  program.about = "Examines the library's files and traces taken from a Windows machine.\n";
  return mivra::ctl::Dispatch(program, args, std::cout, std::cerr);
}
