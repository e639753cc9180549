// The hand-written lexer files under tests/data/lexers, loaded without test assertions (for the
// fuzzers and benchmarks too). Test-only.
#pragma once

#include <string>

#include "framework/Classes.h"
#include "framework/Streams.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tests/support/RealFiles.h"

namespace qv::test {

// A lexer loaded from tests/data/lexers onto form under name (no test assertions, for the
// fuzzers and benchmarks too).
inline TSyntAnalyzer* LoadTestLexer(TComponent& form, const char* name, const char* file) {
  auto* lexer = new TSyntAnalyzer(&form);
  lexer->SetName(name);
  TMemoryStream in(ReadFile(std::string(QV_SOURCE_DIR "/tests/data/lexers/") + file));
  lexer->LoadFromStream(in);
  return lexer;
}

// The lexers the analysis fuzzers run: the C-like one (block rules deferred, and a copy that
// runs them after every token) and markup with its script sub-lexer.
struct TFuzzLexers {
  TComponent Form{nullptr};
  TSyntAnalyzer* CLike;
  TSyntAnalyzer* CLikeSync;
  TSyntAnalyzer* Markup;
  TFuzzLexers() {
    LoadTestLexer(Form, "Script", "script.lxr");
    CLike = LoadTestLexer(Form, "CLike", "clike.lxr");
    CLikeSync = LoadTestLexer(Form, "CLikeSync", "clike.lxr");
    CLikeSync->SetAlwaysSyncBlockAnal(true);
    Markup = LoadTestLexer(Form, "Markup", "markup.lxr");
  }
};

// A fuzzer's assertion: a finding stops the run where it is.
inline void FuzzCheck(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace qv::test
