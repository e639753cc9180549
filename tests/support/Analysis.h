// Driving a client's analysis to its end in a test: the idle tick run at once, and the loop
// run until the completion thread has handed its display ranges over. Test-only.
#pragma once

#include "framework/Forms.h"
#include "syntax/qvClientAnalyzer.h"

namespace qv::test {

// Runs the loop until the client's completion thread has handed over (or there is none).
inline void WaitForDisplay(TClientSyntAnalyzer& client) {
  while (client.FinishThread())
    if (!Application || !Application->HandleMessage()) break;
}

// Analyses the rest of the text as the idle timer does (the tokens, then the deferred block
// pass and Finished), then waits for the display ranges.
inline void AnalyzeToEnd(TClientSyntAnalyzer& client) {
  client.IdleTick();
  WaitForDisplay(client);
}

}  // namespace qv::test
