// One text analysed by the tool from start to end: the line store, a client of the chosen
// lexer, and the display ranges built in this thread (the tool has no message loop to hand
// them over, and needs them at once).
#pragma once

#include <memory>
#include <string>

#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tools/Render.h"

namespace qv {

class TFileAnalysis {
public:
  // name is what the writers call the text; fill Text before Run.
  explicit TFileAnalysis(std::string name);
  ~TFileAnalysis();
  TFileAnalysis(const TFileAnalysis&) = delete;
  TFileAnalysis& operator=(const TFileAnalysis&) = delete;

  TSyntMemoStrings Text;

  // Analyses the whole text with lexer (block rules included), then builds the display
  // ranges. Once only.
  void Run(TSyntAnalyzer* lexer);
  TClientSyntAnalyzer& Client() const { return *FClient; }
  TSyntAnalyzer* Lexer() const { return FLexer; }
  const std::string& Name() const { return FName; }
  TRenderedFile View() const { return {FName, FLexer, &Text, FClient.get(), &FDisplay}; }

private:
  TSyntAnalyzer* FLexer = nullptr;  // not owned
  std::string FName;
  std::unique_ptr<TClientSyntAnalyzer> FClient;
  TDisplayRanges FDisplay;
};

}  // namespace qv
