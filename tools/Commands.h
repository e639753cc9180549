// The vornish command line: highlight, tokens, blocks, check, match, lexers and convert.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace qv {

// Where a run of the tool writes, and what its streams are connected to.
struct TToolStreams {
  std::ostream& Out;
  std::ostream& Err;
  bool OutIsTerminal = false;  // ANSI output by default, and no progress on Out
  bool ErrIsTerminal = false;  // a progress bar for long runs
  // Called with the exit status once highlight has written all its output and the
  // completion thread is done, before the analyses are freed: a program may end the process
  // there, which gives their memory back at once instead of object by object.
  std::function<void(int status)> OnOutputDone;
};

// Exit statuses.
inline constexpr int ExitOk = 0;
inline constexpr int ExitProblems = 1;  // check found problems; match found no match
inline constexpr int ExitUsage = 2;     // bad usage, or an input that cannot be read

// Runs the tool on args (args[0] is the program name); returns the exit status. Errors are
// one line on Err naming the file they concern.
int RunTool(const std::vector<std::string>& args, TToolStreams streams);

}  // namespace qv
