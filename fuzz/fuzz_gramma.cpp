// Fuzzes the grammar analyzer: the input is a grammar text, a byte 0, then a token sequence of
// one byte a token (type = byte % 10, text one of a few words chosen by byte / 10). Any text
// must compile; every rule is then matched at every token. Only the "Circular stack" error
// may escape a match; a match's first token lies at or before where it started, and the tree
// agrees with TestRule.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntGramma.h"

namespace {

using namespace qv;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

class TTokens : public TTokenHolder {
public:
  int TokenCount() const override { return static_cast<int>(Types.size()); }
  int TokenType(int index) const override { return Types.at(static_cast<size_t>(index)); }
  std::u16string TagStr(int index) const override { return Texts.at(static_cast<size_t>(index)); }
  std::vector<int> Types;
  std::vector<std::u16string> Texts;
};

const char16_t* const kWords[] = {u"x", u"(", u")", u"{", u"}", u";", u"int", u"INT", u"",
                                  u"a b", u"=", u"Skip", u"'", u"\"", u"<", u">", u"*", u"|",
                                  u"(*", u"end", u"begin", u"Root", u"0", u"\n", u"//", u"é"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  const auto* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
  const size_t textSize = end ? static_cast<size_t>(end - data) : size;
  TGrammaAnalyzer gramma;
  gramma.SetGramma(Utf8ToWide(std::string(reinterpret_cast<const char*>(data), textSize)));
  TStringList names;
  for (const char* name : {"Unknown", "Comment", "Identifier", "Symbol", "String", "Number"})
    names.Add(name);
  gramma.CompileGramma(names);

  TTokens tokens;
  for (const uint8_t* p = end ? end + 1 : data + size; p < data + size; ++p) {
    tokens.Types.push_back(*p % 10);
    tokens.Texts.push_back(kWords[(*p / 10) % std::size(kWords)]);
  }
  for (int r = 0; r < gramma.RuleCount(); ++r) {
    TParserRule* rule = gramma.Rules(r);
    Check(gramma.ParserRuleByName(rule->Name) != nullptr || rule->Name.empty());
    for (int pos = -1; pos <= tokens.TokenCount(); ++pos) {
      int first = -2;
      try {
        first = gramma.TestRule(pos, rule, tokens);
      } catch (const Exception& e) {
        Check(std::string(e.what()) == SCircularStack);
        continue;
      }
      Check(first >= -1 && first <= pos);
      std::unique_ptr<TParserNode> tree = gramma.ParseRule(pos, rule, tokens);
      // A tree that covers no token (all items optional) counts as no match for TestRule.
      Check(tree ? first == tree->FirstToken() : first == -1);
      if (tree && tree->LastToken() != -1)
        Check(tree->LastToken() <= pos && tree->FirstToken() <= tree->LastToken());
    }
  }
  return 0;
}
