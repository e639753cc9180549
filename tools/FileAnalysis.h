// One text analysed by the tool from start to end: the line store, a client of the chosen
// lexer, and its display ranges.
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

  // Analyses the whole text with lexer (block rules included) at once, without handling
  // messages between tokens, then has the display ranges built: by the completion thread
  // when there is an application, else here. Once only.
  void Run(TSyntAnalyzer* lexer);
  TClientSyntAnalyzer& Client() const { return *FClient; }
  TSyntAnalyzer* Lexer() const { return FLexer; }
  const std::string& Name() const { return FName; }
  // The whole analysis, display ranges included: waits in the message loop for the
  // completion thread to hand them over.
  TRenderedFile View();
  // The tokens and blocks, which do not wait for the completion thread, so that they can be
  // written out while it works: no display ranges (Collapsibles is null).
  TRenderedFile TokensView() const;
  // Returns once the completion thread is done with the client; the destructor waits too.
  void WaitForDisplayRanges();

private:
  TSyntAnalyzer* FLexer = nullptr;  // not owned
  std::string FName;
  std::unique_ptr<TClientSyntAnalyzer> FClient;
  TDisplayRanges FDisplay;  // built here when there is no application
  bool FOwnDisplay = false;
};

}  // namespace qv
