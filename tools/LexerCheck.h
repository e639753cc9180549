// Checking a lexer file: what `vornish check` reports.
#pragma once

#include <string>
#include <vector>

#include "syntax/qvSyntAnalyzer.h"
#include "tools/LexerSet.h"

namespace qv {

// One finding: the 1-based line of the lexer text it concerns (0 when none) and what is wrong.
struct TLexerProblem {
  int Line = 0;
  std::string Message;
};

// The problems of lexer, loaded from text (its text form):
//  - expressions that do not compile (token rules, sub-lexer start and end expressions), with
//    the compiler's message; empty token expressions;
//  - names that resolve to nothing: styles (StyleName, TreeItemStyle, TreeGroupStyle and the
//    special styles), block rules (BlockName, BlockEnd), grammar rules (GrammaRuleName) and
//    sub-lexers (SyntAnalyzer);
//  - styles that nothing uses;
//  - token rules that can never fire because an earlier rule without conditions matches at
//    every character such a rule can start with (checked on single-byte expressions).
std::vector<TLexerProblem> CheckLexer(TSyntAnalyzer& lexer, const std::string& text);

}  // namespace qv
