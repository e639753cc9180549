// Grammar analyzer: tokenising the grammar text with a temporary lexer, the recursive-descent
// compiler over those tokens, name resolution, and the backwards rule matcher.
#include "syntax/qvSyntGramma.h"

#include <utility>

#include "framework/TextServices.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"

namespace qv {

namespace {

// Token types of the grammar lexer, in the order of its rules.
enum TGrammaTokenType : int {
  gtComment,        // "// ..." and "/* ... */"
  gtLiteral,        // "..."
  gtLiteralNoCase,  // '...'
  gtTokenType,      // <...>
  gtIdent,          // rule name
  gtEquals,         // =
  gtOr,             // |
  gtEnd,            // ;
  gtRepeat,         // * + ?
  gtOpen,           // (
  gtClose           // )
};

struct TGrammaLexRule {
  int TokenType;
  const char16_t* Expression;
};

// Tried in this order at each position; the first match makes the token. Literals have no
// escapes: the shortest match ends a literal at its next quote on the same line.
const TGrammaLexRule GrammaLexRules[] = {
    {gtComment, u"//.*"},
    {gtComment, u"(?s)/\\*.*?(\\*/|\\Z)"},  // an unterminated comment runs to the end
    {gtLiteral, u"\".*?\""},
    {gtLiteralNoCase, u"'.*?'"},
    {gtTokenType, u"<.*?>"},
    {gtIdent, u"\\w+"},
    {gtEquals, u"="},
    {gtOr, u"\\|"},
    {gtEnd, u";"},
    {gtRepeat, u"[\\*\\+\\?]"},
    {gtOpen, u"[\\(]"},
    {gtClose, u"[\\)]"},
};

struct TGrammaToken {
  int Type;
  std::u16string Text;
};

// Tokenises the grammar text with a lexer of this engine, synchronously.
std::vector<TGrammaToken> TokeniseGramma(TSyntMemoStrings& text) {
  TSyntAnalyzer lexer(nullptr);  // initial settings: white space and line breaks skipped
  for (const TGrammaLexRule& r : GrammaLexRules) {
    TTokenRule* rule = lexer.TokenRules()->Add();
    rule->SetTokenType(r.TokenType);
    rule->SetExpression(r.Expression);
  }
  // Declared after the lexer: a client is freed before its analyzer.
  std::unique_ptr<TClientSyntAnalyzer> client(lexer.AddClient(nullptr, [&text] { return &text; }));
  client->Analyze(true);
  std::vector<TGrammaToken> tokens;
  tokens.reserve(static_cast<size_t>(client->TokenCount()));
  for (int i = 0; i < client->TokenCount(); ++i)
    tokens.push_back({client->TokenType(i), client->TagStr(i)});
  return tokens;
}

std::string ToAnsi(std::u16string_view s) { return WideCharToMultiByte(CP_ACP, s); }

char LowerAZ(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Equal ignoring the case of the letters a-z only (no locale).
bool SameTextAZ(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAZ(a[i]) != LowerAZ(b[i])) return false;
  return true;
}

// Recursive descent over the grammar tokens with one cursor. Every Parse function returns
// null on failure; the cursor is then wherever the failure was found, as nothing resumes
// after a failure but the caller's own handling.
class TGrammaParser {
public:
  explicit TGrammaParser(std::vector<TGrammaToken> tokens) : FTokens(std::move(tokens)) {}

  bool AtEnd() const { return FPos >= static_cast<int>(FTokens.size()); }

  std::unique_ptr<TParserRule> ParseRuleDef() {
    SkipComments();
    if (AtEnd()) return nullptr;
    auto rule = std::make_unique<TParserRule>();
    if (Type() == gtIdent) {
      rule->Name = ToAnsi(FTokens[FPos].Text);
      ++FPos;
      SkipComments();
      if (AtEnd() || Type() != gtEquals) return nullptr;
      ++FPos;
    } else if (Type() == gtOpen) {
      ++FPos;  // a group: nameless, ends at its ")", which the item reads
    } else {
      return nullptr;
    }
    while (!AtEnd()) {
      std::unique_ptr<TParserRuleBranch> branch = ParseBranch(rule.get());
      if (!branch) return nullptr;
      rule->Branches.push_back(std::move(branch));
      // A branch ends only before ";", "|", ")" or the name of the next rule.
      switch (Type()) {
        case gtOr: ++FPos; continue;
        case gtEnd: ++FPos; return rule;
        default: return rule;  // ")" stays for the group item; a name starts the next rule
      }
    }
    return nullptr;  // the text ended inside the rule
  }

private:
  int Type() const { return FTokens[FPos].Type; }

  void SkipComments() {
    while (!AtEnd() && Type() == gtComment) ++FPos;
  }

  std::unique_ptr<TParserRuleBranch> ParseBranch(TParserRule* rule) {
    auto branch = std::make_unique<TParserRuleBranch>(rule);
    int lastStart = -1;
    while (!AtEnd()) {
      const int start = FPos;
      std::unique_ptr<TParserRuleItem> item = ParseItem(branch.get());
      if (item) {
        lastStart = start;
        branch->Items.push_back(std::move(item));
        continue;
      }
      if (AtEnd()) break;
      const int type = Type();
      if (type == gtEnd || type == gtOr || type == gtClose) return branch;
      // "name =": the last item was the name of the next rule, whose ";" was left out.
      if (type == gtEquals && !branch->Items.empty() &&
          branch->Items.back()->ItemType == itRule) {
        FPos = lastStart;
        branch->Items.pop_back();
        return branch;
      }
      break;
    }
    return nullptr;  // a branch running to the end of the text is lost with its rule
  }

  std::unique_ptr<TParserRuleItem> ParseItem(TParserRuleBranch* branch) {
    SkipComments();
    if (AtEnd()) return nullptr;
    TParserItemType itemType;
    std::string terminal;
    std::unique_ptr<TParserRule> group;
    const std::u16string& text = FTokens[FPos].Text;
    switch (Type()) {
      case gtLiteral: itemType = itLiteral; break;
      case gtLiteralNoCase: itemType = itLiteralIgnoreCase; break;
      case gtTokenType: itemType = itTokenType; break;
      case gtIdent: itemType = itRule; break;
      case gtOpen:
        itemType = itRule;
        group = ParseRuleDef();
        if (!group || AtEnd() || Type() != gtClose) return nullptr;
        break;
      default: return nullptr;
    }
    if (itemType == itRule) {
      terminal = ToAnsi(FTokens[FPos].Text);  // the name, or the group's ")"
    } else {
      if (text.size() <= 2) return nullptr;  // "" and '' are no items
      terminal = ToAnsi(std::u16string_view(text).substr(1, text.size() - 2));
    }
    auto item = std::make_unique<TParserRuleItem>(branch, itemType, std::move(terminal));
    if (group) {
      item->ParserRule = group.release();
      item->IsSubRule = true;
    }
    ++FPos;
    // The suffix follows directly; a comment before it leaves it a stray token.
    if (!AtEnd() && Type() == gtRepeat) {
      switch (FTokens[FPos].Text[0]) {
        case u'+': item->RepMax = -1; break;
        case u'?': item->RepMin = 0; break;
        default: item->RepMin = 0; item->RepMax = -1; break;  // '*'
      }
      ++FPos;
    }
    return item;
  }

  std::vector<TGrammaToken> FTokens;
  int FPos = 0;
};

// One match: its token cursor, its guard against left recursion and its skipping flag.
// Rules are only read.
class TGrammaMatcher {
public:
  TGrammaMatcher(const TTokenHolder& tokens, TParserRule* skipRule, int pos)
      : FTokens(tokens), FSkipRule(skipRule), FPos(pos) {}

  std::unique_ptr<TParserNode> MatchRule(TParserRule* rule) {
    // Rules are told apart by identity, so groups differ from every named rule; the position
    // is kept whole, so tokens far apart never collide.
    for (const TGuardKey& key : FGuard)
      if (key.Pos == FPos && key.Rule == rule) throw Exception(SCircularStack);
    FGuard.push_back({FPos, rule});
    struct TPop {
      std::vector<TGuardKey>& Guard;
      ~TPop() { Guard.pop_back(); }
    } pop{FGuard};
    for (auto it = rule->Branches.rbegin(); it != rule->Branches.rend(); ++it)
      if (std::unique_ptr<TParserNode> node = MatchBranch(it->get())) return node;
    return nullptr;
  }

private:
  struct TGuardKey {
    int Pos;
    const TParserRule* Rule;
  };

  std::unique_ptr<TParserNode> MatchBranch(TParserRuleBranch* branch) {
    if (branch->Items.empty()) return nullptr;
    const int start = FPos;
    auto node = std::make_unique<TParserBranchNode>(branch);
    for (auto it = branch->Items.rbegin(); it != branch->Items.rend(); ++it) {
      TParserRuleItem* item = it->get();
      int count = 0;
      // Greedy: as many as match, never given back for an earlier item.
      while (item->RepMax < 0 || count < item->RepMax) {
        const int before = FPos;
        std::unique_ptr<TParserNode> child = MatchItem(item);
        if (!child) break;
        node->Add(std::move(child));
        ++count;
        if (FPos == before) break;  // matched without a token: it would match so forever
      }
      if (count < item->RepMin) {
        FPos = start;
        return nullptr;
      }
    }
    return node;
  }

  std::unique_ptr<TParserNode> MatchItem(TParserRuleItem* item) {
    if (FPos < 0) return nullptr;
    if (item->ItemType == itRule)
      return item->ParserRule ? MatchRule(item->ParserRule) : nullptr;  // unknown name
    if (FPos >= FTokens.TokenCount()) return nullptr;
    bool matched = false;
    switch (item->ItemType) {
      case itLiteral:
        matched = FTokens.TagStr(FPos) == MultiByteToWideChar(CP_ACP, item->Terminal);
        break;
      case itLiteralIgnoreCase:
        matched = SameTextAZ(ToAnsi(FTokens.TagStr(FPos)), item->Terminal);
        break;
      case itTokenType:
        matched = item->TokenType == 0 || FTokens.TokenType(FPos) == item->TokenType;
        break;
      case itRule: break;
    }
    if (!matched) return nullptr;
    auto node = std::make_unique<TParserTermNode>(item, FPos);
    --FPos;
    Skip();
    return node;
  }

  // Passes over what the skip rule matches below the token just taken; the skip rule's own
  // terminals skip nothing.
  void Skip() {
    if (FSkipping || !FSkipRule) return;
    FSkipping = true;
    struct TReset {
      bool& Flag;
      ~TReset() { Flag = false; }
    } reset{FSkipping};
    MatchRule(FSkipRule);  // its tree is of no use; a failed skip leaves the cursor
  }

  const TTokenHolder& FTokens;
  TParserRule* FSkipRule;
  int FPos;
  bool FSkipping = false;
  std::vector<TGuardKey> FGuard;  // searched linearly: it is as deep as the rule nesting
};

void ResolveRule(TParserRule& rule, const TStrings& tokenTypeNames,
                 const TGrammaAnalyzer& gramma) {
  for (const auto& branch : rule.Branches)
    for (const auto& item : branch->Items) {
      if (item->ItemType == itTokenType) {
        item->TokenType = tokenTypeNames.IndexOf(item->Terminal);
      } else if (item->ItemType == itRule) {
        if (item->IsSubRule)
          ResolveRule(*item->ParserRule, tokenTypeNames, gramma);
        else
          item->ParserRule = gramma.ParserRuleByName(item->Terminal);
      }
    }
}

}  // namespace

// --- Rule objects ----------------------------------------------------------------------------

TParserRuleItem::~TParserRuleItem() {
  if (IsSubRule) delete ParserRule;
}

TParserNode* TParserBranchNode::Nodes(int index) const {
  if (FNodes.empty()) return nullptr;
  if (index < 0 || index >= Count()) throw EListError(Format(SListIndexError, index));
  return FNodes[static_cast<size_t>(index)].get();
}

int TParserBranchNode::FirstToken() const {
  return FNodes.empty() ? -1 : FNodes.back()->FirstToken();
}

int TParserBranchNode::LastToken() const {
  return FNodes.empty() ? -1 : FNodes.front()->LastToken();
}

// --- TGrammaAnalyzer -------------------------------------------------------------------------

void TGrammaAnalyzer::DeclareClass(TClassDecl& c) {
  using T = TGrammaAnalyzer;
  c.WideString("Gramma", &T::Gramma, &T::SetGramma).Stored(true);
}

TGrammaAnalyzer::TGrammaAnalyzer() : FGrammaText(std::make_unique<TSyntMemoStrings>()) {}

TGrammaAnalyzer::~TGrammaAnalyzer() { Clear(); }

void TGrammaAnalyzer::Assign(const TPersistent* source) {
  if (const auto* other = dynamic_cast<const TGrammaAnalyzer*>(source))
    SetGramma(other->Gramma());
}

void TGrammaAnalyzer::Clear() {
  FRoot = nullptr;
  FSkipRule = nullptr;
  FRules.clear();
  FGrammaText->Clear();
}

const std::u16string& TGrammaAnalyzer::Gramma() const { return FGrammaText->Text(); }

void TGrammaAnalyzer::SetGramma(const std::u16string& value) {
  FGrammaText->SetTextStr(value);
  Changed();
}

void TGrammaAnalyzer::Changed() {
  if (OnChange) OnChange(this);
}

TParserRule* TGrammaAnalyzer::Rules(int index) const {
  if (index < 0 || index >= RuleCount()) throw EListError(Format(SListIndexError, index));
  return FRules[static_cast<size_t>(index)].get();
}

TParserRule* TGrammaAnalyzer::ParserRuleByName(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (const auto& rule : FRules)
    if (SameTextAZ(rule->Name, name)) return rule.get();
  return nullptr;
}

bool TGrammaAnalyzer::CompileGramma(const TStrings& tokenTypeNames) {
  FRoot = nullptr;
  FSkipRule = nullptr;
  FRules.clear();
  if (FGrammaText->Count() == 0) return true;

  TGrammaParser parser(TokeniseGramma(*FGrammaText));
  // The first rule that cannot be parsed ends compilation; the rules before it stay.
  while (!parser.AtEnd()) {
    std::unique_ptr<TParserRule> rule = parser.ParseRuleDef();
    if (!rule) break;
    rule->Index = RuleCount();
    FRules.push_back(std::move(rule));
  }
  for (const auto& rule : FRules) ResolveRule(*rule, tokenTypeNames, *this);

  FRoot = ParserRuleByName("Root");
  FSkipRule = ParserRuleByName("Skip");
  return true;
}

std::unique_ptr<TParserNode> TGrammaAnalyzer::ParseRule(int pos, TParserRule* rule,
                                                        const TTokenHolder& tokens) const {
  if (!rule) return nullptr;
  TGrammaMatcher matcher(tokens, FSkipRule, pos);
  return matcher.MatchRule(rule);
}

int TGrammaAnalyzer::TestRule(int pos, TParserRule* rule, const TTokenHolder& tokens) const {
  std::unique_ptr<TParserNode> tree = ParseRule(pos, rule, tokens);
  return tree ? tree->FirstToken() : -1;
}

}  // namespace qv
