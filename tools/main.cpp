// The vornish command-line tool.
#include <unistd.h>

#include <cstdlib>
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
    qv::TToolStreams streams{std::cout, std::cerr, isatty(1) == 1, isatty(2) == 1, nullptr};
    // Nothing is left to do once the output is out: the system takes the memory back.
    streams.OnOutputDone = [](int done) {
      std::cout.flush();
      std::cerr.flush();
      std::_Exit(done);
    };
    status = qv::RunTool(args, streams);
  }
  std::cout.flush();
  qv::FinalizeUnits();
  return status;
}
