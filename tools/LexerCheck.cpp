#include "tools/LexerCheck.h"

#include <algorithm>
#include <set>

#include "framework/SysUtils.h"
#include "framework/TextServices.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvSyntGramma.h"
#include "syntax/qvTokenRules.h"
#include "syntax/qvZRegExpr.h"
#include "syntax/qvZRegExprNodes.h"

namespace qv {
namespace {

// A "Name = value" line of the lexer text.
struct TPropLine {
  int Line;
  std::string Name;   // the property's last name ("StyleName")
  std::string Value;  // a quoted string decoded, or the bare word
  bool Quoted;
};

// The property lines whose value is a single quoted string or a single word.
std::vector<TPropLine> PropertyLines(const std::string& text) {
  std::vector<TPropLine> lines;
  size_t start = 0;
  int line = 1;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view l(text.data() + start, end - start);
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ')) l.remove_suffix(1);
    while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) l.remove_prefix(1);
    const size_t eq = l.find(" = ");
    if (eq != std::string_view::npos) {
      std::string name(l.substr(0, eq));
      if (const size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(0, dot + 1);
      std::string_view v = l.substr(eq + 3);
      if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'') {
        std::string value;
        bool simple = true;
        for (size_t i = 1; i + 1 < v.size(); ++i) {
          if (v[i] == '\'') {
            if (v[i + 1] == '\'' && i + 2 < v.size()) {
              value.push_back('\'');
              ++i;
            } else {
              simple = false;  // joined pieces or #codes: not checked
              break;
            }
          } else {
            value.push_back(v[i]);
          }
        }
        if (simple) lines.push_back({line, name, value, true});
      } else if (!v.empty() && v.find_first_of(" '#+<([") == std::string_view::npos) {
        lines.push_back({line, name, std::string(v), false});
      }
    }
    start = end + 1;
    ++line;
  }
  return lines;
}

// The line of the first "DisplayName = '<name>'" in the text, 0 when none.
int LineOfItem(const std::vector<TPropLine>& props, const std::string& displayName) {
  for (const TPropLine& p : props)
    if (p.Name == "DisplayName" && p.Value == displayName) return p.Line;
  return 0;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// The compile error of an expression, or "" when it compiles.
std::string CompileError(const TqvRegExpr& source, const std::string& text8) {
  TqvRegExpr re;
  re.Assign(&source);
  try {
    re.CompileText(text8);
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

std::string CompileError(const std::string& expression) {
  TqvRegExpr re;
  try {
    re.CompileText(expression);
  } catch (const Exception& e) {
    return e.Message();
  }
  return {};
}

// Whether rule matches at the start of every text that begins with byte c (probed with
// typical continuations).
bool MatchesAllAfter(TqvRegExpr& re, uint8_t c) {
  static const char* const tails[] = {"", " ", "a", "0", "\n", "\"", ")", "_", "."};
  for (const char* tail : tails) {
    std::string s(1, static_cast<char>(c));
    s += tail;
    s += tail;
    int len = 0;
    try {
      len = re.MatchLength(s, 1, false);
    } catch (const Exception&) {
      return false;
    }
    if (len <= 0) return false;
  }
  return true;
}

bool Ungated(const TTokenRule& rule) {
  return rule.Enabled() && rule.StatesPresent() == 0 && rule.StatesAbsent() == 0 && !rule.Block() &&
         rule.BlockName().empty() && rule.ColumnFrom() <= 1 && rule.ColumnTo() <= 0 && !rule.OnMatchToken;
}

}  // namespace

std::vector<TLexerProblem> CheckLexer(TSyntAnalyzer& lexer, const std::string& text) {
  std::vector<TLexerProblem> problems;
  const std::vector<TPropLine> props = PropertyLines(text);
  auto add = [&problems](int line, std::string message) { problems.push_back({line, std::move(message)}); };

  // --- Expressions ---------------------------------------------------------------------
  TTokenRuleCollection& tokens = *lexer.TokenRules();
  for (int i = 0; i < tokens.Count(); ++i) {
    TTokenRule& rule = *tokens.Items(i);
    const int line = LineOfItem(props, rule.DisplayName());
    if (rule.Expression().empty()) {
      add(line, "token rule " + Quote(rule.DisplayName()) + " has no expression and never matches");
      continue;
    }
    const std::string error = CompileError(rule.RegExpr(), WideToMultiByte(rule.Expression(), GetACP()));
    if (!error.empty())
      add(line, "token rule " + Quote(rule.DisplayName()) + ": expression does not compile: " + error);
  }
  TSubAnalyzerRules& subs = *lexer.SubAnalyzers();
  for (int i = 0; i < subs.Count(); ++i) {
    TSubAnalyzerRule& rule = *subs.Items(i);
    const int line = LineOfItem(props, rule.DisplayName());
    for (const auto& [what, expr] : {std::pair{"start", rule.StartExpression()}, {"end", rule.EndExpression()}}) {
      const std::string error = expr.empty() ? std::string() : CompileError(expr);
      if (!error.empty())
        add(line, "sub-lexer rule " + Quote(rule.DisplayName()) + ": " + what + " expression does not compile: " + error);
    }
    if (!rule.SyntAnalyzer())
      add(line, "sub-lexer rule " + Quote(rule.DisplayName()) + " names no lexer");
  }

  // --- Names -----------------------------------------------------------------------------
  std::set<std::string> styles, blocks, usedStyles;
  for (int i = 0; i < lexer.Formats()->Count(); ++i) styles.insert(lexer.Formats()->Items(i)->DisplayName());
  for (int i = 0; i < lexer.BlockRules()->Count(); ++i) blocks.insert(lexer.BlockRules()->Items(i)->DisplayName());
  static const std::set<std::string> styleProps = {"StyleName",        "TreeItemStyle",    "TreeGroupStyle",
                                                   "MarkedBlockStyle", "SearchMatchStyle", "CurrentLineStyle",
                                                   "DefaultStyleName", "CollapseStyleName"};
  for (const TPropLine& p : props) {
    if (!p.Quoted) {
      if (p.Name == "SyntAnalyzer" && !lexer.Owner()->FindComponent(p.Value) && !SameText(p.Value, "nil"))
        add(p.Line, "SyntAnalyzer names no lexer: " + p.Value);
      continue;
    }
    if (p.Value.empty()) continue;
    if (styleProps.count(p.Name)) {
      if (styles.count(p.Value)) usedStyles.insert(p.Value);
      else add(p.Line, p.Name + " names no style: " + Quote(p.Value));
    } else if (p.Name == "BlockName" || p.Name == "BlockEnd") {
      if (!blocks.count(p.Value)) add(p.Line, p.Name + " names no block rule: " + Quote(p.Value));
    } else if (p.Name == "GrammaRuleName") {
      if (!lexer.Gramma()->ParserRuleByName(p.Value)) add(p.Line, "GrammaRuleName names no grammar rule: " + Quote(p.Value));
    }
  }
  // The special styles by their defaults count as used too.
  for (const TSyntaxFormat* s : {lexer.MarkedBlock(), lexer.SearchMatch(), lexer.CurrentLine(), lexer.DefStyle(),
                                 lexer.CollapseStyle()})
    if (s) usedStyles.insert(s->DisplayName());
  for (int i = 0; i < lexer.Formats()->Count(); ++i) {
    const std::string& name = lexer.Formats()->Items(i)->DisplayName();
    if (!usedStyles.count(name)) add(LineOfItem(props, name), "style " + Quote(name) + " is never used");
  }

  // --- Token rules that never fire --------------------------------------------------------
  // A byte is taken when an earlier ungated rule matches at every text starting with it.
  uint64_t taken[4] = {};
  std::vector<std::string> takers(256);
  for (int i = 0; i < tokens.Count(); ++i) {
    TTokenRule& rule = *tokens.Items(i);
    TqvRegExpr& re = rule.RegExpr();
    if (rule.Expression().empty() || !re.Compile() || !re.Root()) continue;
    const TStartFilter& f = re.Root()->StartFilter;
    if (!f.Any && !f.MultiByte) {
      bool any = false, all = true;
      std::set<std::string> by;
      for (int b = 0; b < 256; ++b) {
        if (!f.Allows(static_cast<uint8_t>(b))) continue;
        any = true;
        if ((taken[b >> 6] >> (b & 63)) & 1) by.insert(takers[b]);
        else all = false;
      }
      if (any && all && rule.Enabled()) {
        std::string names;
        for (const std::string& n : by) names += (names.empty() ? "" : ", ") + Quote(n);
        add(LineOfItem(props, rule.DisplayName()),
            "token rule " + Quote(rule.DisplayName()) + " can never fire: " + names +
                " before it always matches at the characters it starts with");
      }
    }
    if (!Ungated(rule) || f.MultiByte) continue;
    for (int b = 1; b < 256; ++b) {
      if (!f.Any && !f.Allows(static_cast<uint8_t>(b))) continue;
      if ((taken[b >> 6] >> (b & 63)) & 1) continue;
      if (MatchesAllAfter(re, static_cast<uint8_t>(b))) {
        taken[b >> 6] |= uint64_t{1} << (b & 63);
        takers[static_cast<size_t>(b)] = rule.DisplayName();
      }
    }
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const TLexerProblem& a, const TLexerProblem& b) { return a.Line < b.Line; });
  return problems;
}

}  // namespace qv
