// The token source every block condition and grammar rule reads, and the per-text results
// that register with an analyzer. An analyzer knows its results objects only through the
// three calls below: it clears them when its configuration changes and tells their hosts
// when styles changed.
#pragma once

#include <string>

#include "framework/Classes.h"

namespace qv {

class TSyntAnalyzer;

// A sequence of tokens: how many, the type of each, and its characters.
class TTokenHolder : public TObject {
public:
  const char* ClassName() const override { return "TTokenHolder"; }
  virtual int TokenCount() const = 0;
  virtual int TokenType(int index) const = 0;
  virtual std::u16string TagStr(int index) const = 0;
};

// The results of analysing one text with a main analyzer. A results object registers with
// its analyzer (AddClient) for its lifetime and must be destroyed before it.
class TParserResults : public TTokenHolder {
public:
  const char* ClassName() const override { return "TParserResults"; }
  // Forgets everything found so far; the text is analysed again from its start.
  virtual void Clear() = 0;
  // Restarts the idle analysis of the text after a Clear.
  virtual void RestartTimer() = 0;
  // Tells the text's host that the styles of the analysis changed.
  virtual void FormatChanged() = 0;
};

}  // namespace qv
