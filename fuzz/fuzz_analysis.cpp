// Fuzzes whole analyses: the input, read as UTF-8, is analysed by the C-like test lexer with
// block rules after every token and deferred, and by the markup lexer with its script
// sub-lexer. Only the framework's exceptions may escape; tokens must lie in the text in
// order, and the two block-rule modes of the C-like lexer must agree.
#include <cstddef>
#include <cstdint>
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

std::string Analyse(TSyntAnalyzer& lexer, TSyntMemoStrings& text, bool perToken) {
  std::unique_ptr<TClientSyntAnalyzer> client(lexer.AddClient(nullptr, [&] { return &text; }));
  if (perToken)
    client->Analyze(true);
  else
    client->IdleTick();  // tokens, then the deferred pass, as the idle timer runs them
  FuzzCheck(client->IsFinished() || (perToken && text.TextLength() == 0));
  const int length = text.TextLength();
  for (int i = 0; i < client->TokenCount(); ++i) {
    const TSyntToken* t = client->Tags(i);
    FuzzCheck(t->StartPos >= 0 && t->StartPos < t->EndPos && t->EndPos <= length);
    FuzzCheck(i == 0 || client->Tags(i - 1)->EndPos <= t->StartPos);
  }
  return DumpResults(*client);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TLexers lexers;
  if (size > 4096) return 0;
  TSyntMemoStrings text;
  text.SetTextStr(Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size)));
  FuzzCheck(Analyse(*lexers.CLike, text, true) == Analyse(*lexers.CLike, text, false));
  Analyse(*lexers.Markup, text, true);
  Analyse(*lexers.Markup, text, false);
  return 0;
}
