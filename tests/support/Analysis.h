// Driving a client's analysis to its end in a test: the idle tick run at once, and the loop
// run until the completion thread has handed its display ranges over. Test-only.
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"

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

// One random edit of text, reported to client: one time in three (when there is text) a
// delete of 1 to 12 characters, else an insert of one of pieces.
inline void RandomEdit(TSyntMemoStrings& text, TClientSyntAnalyzer& client,
                       const std::vector<std::u16string>& pieces, std::mt19937& random) {
  const int length = text.TextLength();
  if (random() % 3 == 0 && length > 0) {
    const int pos = static_cast<int>(random() % static_cast<unsigned>(length));
    const int removed = std::min(1 + static_cast<int>(random() % 12), length - pos);
    text.DeleteText(pos, removed);
    client.TextChanged(pos, -removed);
  } else {
    const int pos = static_cast<int>(random() % static_cast<unsigned>(length + 1));
    const std::u16string& piece = pieces[random() % pieces.size()];
    const int before = text.TextLength();
    text.InsertText(piece, pos);
    // An insert between CR and LF goes behind the LF: report where the text really changed.
    const int at =
        pos < before && text.Text().compare(static_cast<size_t>(pos), piece.size(), piece) != 0 ? pos + 1 : pos;
    client.TextChanged(at, text.TextLength() - before);
  }
}

}  // namespace qv::test
