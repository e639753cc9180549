#include "tools/FileAnalysis.h"

#include "framework/Forms.h"

namespace qv {

TFileAnalysis::TFileAnalysis(std::string name) : FName(std::move(name)) {}

TFileAnalysis::~TFileAnalysis() {
  WaitForDisplayRanges();
  FClient.reset();
}

void TFileAnalysis::Run(TSyntAnalyzer* lexer) {
  FLexer = lexer;
  FClient.reset(FLexer->AddClient(nullptr, [this] { return &Text; }));
  if (Text.TextLength() > 0) FClient->AppendToPos(Text.TextLength());
  if (!FClient->IsFinished()) {  // the block rules were deferred, or the text is empty
    FClient->RunDeferredBlockPass();
    FClient->Finished();
  }
  if (Application) return;  // the completion thread builds them
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

void TFileAnalysis::WaitForDisplayRanges() {
  if (!FClient || !Application) return;
  while (FClient->FinishThread())
    if (!Application->HandleMessage()) break;
}

TRenderedFile TFileAnalysis::View() {
  WaitForDisplayRanges();
  const TRangeCollection* folds = nullptr;
  if (FClient) folds = FOwnDisplay ? FDisplay.Collapsibles.get() : &FClient->Collapsibles();
  return {FName, FLexer, &Text, FClient.get(), folds};
}

TRenderedFile TFileAnalysis::TokensView() const { return {FName, FLexer, &Text, FClient.get(), nullptr}; }

}  // namespace qv
