// The vornish command-line tool.
#include <unistd.h>

#include <iostream>

#include "framework/Units.h"
#include "setup/Setup.h"
#include "tools/Commands.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  qv::InitializeUnits(qv::SetupUnits());
  int status;
  {
    std::vector<std::string> args(argv, argv + argc);
    status = qv::RunTool(args, {std::cout, std::cerr, isatty(1) == 1, isatty(2) == 1});
  }
  std::cout.flush();
  qv::FinalizeUnits();
  return status;
}
