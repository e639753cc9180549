#include "tools/FileAnalysis.h"

namespace qv {

TFileAnalysis::TFileAnalysis(std::string name) : FName(std::move(name)) {}

TFileAnalysis::~TFileAnalysis() { FClient.reset(); }

void TFileAnalysis::Run(TSyntAnalyzer* lexer) {
  FLexer = lexer;
  FClient.reset(FLexer->AddClient(nullptr, [this] { return &Text; }));
  // The idle analysis in one go: tokens, the deferred block pass where the rules allow it,
  // then the end of the analysis. Without an application no completion thread starts.
  while (!FClient->IsFinished()) {
    const int before = FClient->TokenCount();
    FClient->IdleTick();
    if (!FClient->IsFinished() && FClient->TokenCount() == before) break;  // nothing moved
  }
  FClient->Lock();
  try {
    BuildDisplayRanges(*FClient, FDisplay, [] { return false; });
  } catch (...) {
    FClient->Unlock();
    throw;
  }
  FClient->Unlock();
}

}  // namespace qv
