#include "tools/FileAnalysis.h"

#include "framework/Forms.h"

namespace qv {

TFileAnalysis::TFileAnalysis(std::string name) : FName(std::move(name)) {}

TFileAnalysis::~TFileAnalysis() { FClient.reset(); }

void TFileAnalysis::Run(TSyntAnalyzer* lexer) {
  FLexer = lexer;
  FClient.reset(FLexer->AddClient(nullptr, [this] { return &Text; }));
  if (Text.TextLength() > 0) FClient->AppendToPos(Text.TextLength());
  if (!FClient->IsFinished()) {  // the block rules were deferred, or the text is empty
    FClient->RunDeferredBlockPass();
    FClient->Finished();
  }
  if (Application) {
    while (FClient->FinishThread())
      if (!Application->HandleMessage()) break;
    return;
  }
  FClient->Lock();
  try {
    BuildDisplayRanges(*FClient, FDisplay, [] { return false; });
  } catch (...) {
    FClient->Unlock();
    throw;
  }
  FClient->Unlock();
  FOwnDisplay = true;
}

TRenderedFile TFileAnalysis::View() const {
  const TRangeCollection* folds = nullptr;
  if (FClient) folds = FOwnDisplay ? FDisplay.Collapsibles.get() : &FClient->Collapsibles();
  return {FName, FLexer, &Text, FClient.get(), folds};
}

}  // namespace qv
