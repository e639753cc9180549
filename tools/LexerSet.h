// The lexers one run of the tool works with: the bundled ones, compiled in as resources, and
// any loaded from files. All belong to one owner, so a lexer names its sub-lexers by their
// component names, and a lexer file loaded later can use the bundled lexers as sub-lexers.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"
#include "syntax/qvSyntAnalyzer.h"

namespace qv {

// A bundled lexer: its component name (also its resource name) and its file under lexers/.
struct TBundledLexer {
  const char* Component;
  const char* File;
};

// The bundled lexers in load order: a lexer comes after those it uses as sub-lexers.
const std::vector<TBundledLexer>& BundledLexers();

// Registers the bundled lexer files as resources of the program (once; later calls do
// nothing).
void RegisterBundledLexerResources();

// One problem met while loading a lexer file: the 1-based line it concerns (0 when unknown)
// and the message.
struct TLexerLoadError {
  int Line = 0;
  std::string Message;
};

class TLexerSet {
public:
  TLexerSet();
  ~TLexerSet();
  TLexerSet(const TLexerSet&) = delete;
  TLexerSet& operator=(const TLexerSet&) = delete;

  // Loads every bundled lexer that is not loaded yet. A bundled lexer that fails to load
  // raises (it is part of the program).
  void LoadBundled();
  // Loads a lexer from a file (text or binary form). Read errors of single values are
  // collected into errors (when given) and skipped, as an editor's "ignore" would; a file
  // that cannot be read or parsed raises. The lexer joins the set.
  TSyntAnalyzer* LoadFile(const std::string& path, std::vector<TLexerLoadError>* errors = nullptr);
  // Loads a lexer from text or binary lexer data; name is what errors are reported for.
  TSyntAnalyzer* LoadData(std::string_view data, std::vector<TLexerLoadError>* errors = nullptr);

  // The lexer whose LexerName or component name is name, ignoring the case of A-Z; null if
  // none. Bundled lexers are loaded first when they are not.
  TSyntAnalyzer* Find(std::string_view name);
  // Every lexer of the set in load order.
  const std::vector<TSyntAnalyzer*>& Lexers() const { return FLexers; }
  TComponent& Owner() { return FOwner; }

private:
  TComponent FOwner{nullptr};
  std::vector<TSyntAnalyzer*> FLexers;  // owned by FOwner
  bool FBundledLoaded = false;
};

// The 1-based line of lexer text on which a read error most likely lies: the line of the
// last property named in its "Error reading <Name>.<path>: ..." message, searched from
// fromLine on (0 when not found).
int LineOfReadError(std::string_view text, std::string_view message, int fromLine);

}  // namespace qv
