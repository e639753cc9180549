// The hand-written lexer files and texts under tests/data, and a text analysed by them: a
// main analyzer (with a sub-lexer named "Script" when asked for) on a form, a line store and
// a client over it. Test-only.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/Streams.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tests/support/RealFiles.h"
#include "tests/support/TestLexers.h"

namespace qv::test {

inline std::string DataFile(const std::string& path) {
  const std::string text = ReadFile(QV_SOURCE_DIR "/tests/data/" + path);
  EXPECT_FALSE(text.empty()) << path;
  return text;
}

inline void LoadLexer(TSyntAnalyzer& lexer, const std::string& file) {
  TMemoryStream in(DataFile("lexers/" + file));
  lexer.LoadFromStream(in);
}

// A text, its lexers and a client over it.
struct TAnalysis {
  TComponent Form{nullptr};
  TSyntMemoStrings Text;
  TSyntAnalyzer* Main = nullptr;
  std::unique_ptr<TClientSyntAnalyzer> Client;

  TAnalysis(const std::string& lexerFile, const std::u16string& text,
            const std::string& subLexerFile = "") {
    if (!subLexerFile.empty()) {
      auto* sub = new TSyntAnalyzer(&Form);
      sub->SetName("Script");
      LoadLexer(*sub, subLexerFile);
    }
    Main = new TSyntAnalyzer(&Form);
    Main->SetName("Main");
    if (!lexerFile.empty()) LoadLexer(*Main, lexerFile);
    Text.SetTextStr(text);
    Client.reset(Main->AddClient(nullptr, [this] { return &Text; }));
  }
  // The client goes before its analyzers.
  ~TAnalysis() { Client.reset(); }
};

}  // namespace qv::test
