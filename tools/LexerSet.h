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

// A lexer the set knows: bundled ones before they are loaded (their names and extensions read
// off the file without loading it), and every lexer loaded.
struct TLexerEntry {
  std::string Component;
  std::string LexerName;
  std::string Extentions;
  TSyntAnalyzer* Lexer = nullptr;  // null until loaded; owned by the set's owner
  std::string_view Data;           // a bundled lexer's file (a compiled-in resource)
};

// The value of a top-level property of lexer text ("  LexerName = 'C'" gives C), or "".
std::string TopLevelValue(std::string_view text, std::string_view name);
// The component names a lexer text gives as sub-lexers (SyntAnalyzer = Name).
std::vector<std::string> SubLexerNames(std::string_view text);

class TLexerSet {
public:
  TLexerSet();
  ~TLexerSet();
  TLexerSet(const TLexerSet&) = delete;
  TLexerSet& operator=(const TLexerSet&) = delete;

  // Loads every bundled lexer that is not loaded yet. A bundled lexer that fails to load
  // raises (it is part of the program). Lexers are otherwise loaded when first asked for.
  void LoadBundled();
  // Loads the lexer of an entry (after the bundled lexers it uses as sub-lexers).
  TSyntAnalyzer* Load(size_t index);
  // The bundled lexers in load order, then the lexers loaded from files.
  const std::vector<TLexerEntry>& Entries() const { return FEntries; }
  // Loads a lexer from a file (text or binary form). Read errors of single values are
  // collected into errors (when given) and skipped, as an editor's "ignore" would; a file
  // that cannot be read or parsed raises. The lexer joins the set.
  TSyntAnalyzer* LoadFile(const std::string& path, std::vector<TLexerLoadError>* errors = nullptr);
  // Loads a lexer from text or binary lexer data; name is what errors are reported for.
  TSyntAnalyzer* LoadData(std::string_view data, std::vector<TLexerLoadError>* errors = nullptr);

  // The lexer whose LexerName or component name is name, ignoring the case of A-Z, loaded
  // when needed; null if none.
  TSyntAnalyzer* Find(std::string_view name);
  // Every lexer loaded so far, in load order.
  const std::vector<TSyntAnalyzer*>& Lexers() const { return FLexers; }
  TComponent& Owner() { return FOwner; }

private:
  TComponent FOwner{nullptr};
  std::vector<TSyntAnalyzer*> FLexers;  // owned by FOwner
  std::vector<TLexerEntry> FEntries;

  void LoadSubLexers(std::string_view text);
  TSyntAnalyzer* Loaded(TSyntAnalyzer* lexer);
};

// The 1-based line of lexer text on which a read error most likely lies: the line of the
// last property named in its "Error reading <Name>.<path>: ..." message, searched from
// fromLine on (0 when not found).
int LineOfReadError(std::string_view text, std::string_view message, int fromLine);

}  // namespace qv
