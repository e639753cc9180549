// Fuzzes incremental analysis: the input is a text and a list of edits. The text is analysed
// to its end by the C-like test lexer (block rules deferred, and after every token) and by
// the markup lexer with its script sub-lexer; then each edit is made, reported to the client,
// and followed by a partial analysis. After the last edit the analysis is completed, and its
// results must equal those of a fresh analysis of the final text.
//
// Input: the text, then a byte 0, then edits of four bytes each: position (two bytes, taken
// modulo the text's length + 1), kind (even: insert, odd: delete) and an argument (for an
// insert one of the pieces below, for a delete the count, 1 to 16), then how far the partial
// analysis runs (the same byte taken as a share of the text).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "framework/Streams.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvResultsDump.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tests/support/TestLexers.h"

namespace {

using namespace qv;

using test::FuzzCheck;
using TLexers = test::TFuzzLexers;

const char16_t* const kPieces[] = {u"/*", u"*/", u"{", u"}", u"\"", u"\n", u"<script>",
                                   u"</script>", u"<p>", u"x", u" ", u"(", u")", u"//", u"\r\n",
                                   u"<!--", u"-->", u"'"};

std::string Fresh(TSyntAnalyzer& lexer, const std::u16string& s) {
  TSyntMemoStrings text;
  text.SetTextStr(s);
  std::unique_ptr<TClientSyntAnalyzer> client(lexer.AddClient(nullptr, [&] { return &text; }));
  client->IdleTick();
  return DumpResults(*client);
}

void Run(TSyntAnalyzer& lexer, const std::u16string& start, const uint8_t* edits, size_t count,
         int spacing) {
  TSyntMemoStrings text;
  text.SetTextStr(start);
  std::unique_ptr<TClientSyntAnalyzer> client(lexer.AddClient(nullptr, [&] { return &text; }));
  client->SetCheckpointSteps(spacing);
  client->IdleTick();
  for (size_t i = 0; i + 4 <= count; i += 4) {
    const uint8_t* e = edits + i;
    const int length = text.TextLength();
    const int pos = ((e[0] << 8) | e[1]) % (length + 1);
    if (e[2] % 2 == 0) {
      const std::u16string piece = kPieces[e[3] % std::size(kPieces)];
      text.InsertText(piece, pos);
      // An insert between CR and LF lands behind the LF.
      const int at = pos < length && text.Text().compare(static_cast<size_t>(pos), piece.size(), piece) != 0
                         ? pos + 1
                         : pos;
      client->TextChanged(at, text.TextLength() - length);
    } else {
      const int removed = std::min(1 + e[3] % 16, length - pos);
      if (removed <= 0) continue;
      text.DeleteText(pos, removed);
      client->TextChanged(pos, -removed);
    }
    client->AppendToPos(text.TextLength() * e[3] / 255);
  }
  client->IdleTick();
  FuzzCheck(client->IsFinished() || text.TextLength() == 0);
  FuzzCheck(DumpResults(*client) == Fresh(lexer, text.Text()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TLexers lexers;
  if (size > 1024) return 0;  // three analyses and their fresh twins per edit list
  const auto* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const size_t textSize = end ? static_cast<size_t>(end - data) : size;
  const std::u16string start = Utf8ToWide(std::string(reinterpret_cast<const char*>(data), textSize));
  const uint8_t* edits = end ? end + 1 : data + size;
  const size_t count = static_cast<size_t>(data + size - edits);
  const int spacing = 1 + static_cast<int>(size % 5);
  Run(*lexers.CLike, start, edits, count, spacing);
  Run(*lexers.CLikeSync, start, edits, count, spacing);
  Run(*lexers.Markup, start, edits, count, spacing);
  return 0;
}
