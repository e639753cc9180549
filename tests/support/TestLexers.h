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

}  // namespace qv::test
