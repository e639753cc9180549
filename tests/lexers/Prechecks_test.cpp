// Bundled lexers: the block pass passes over a rule when the precheck of its conditions
// refuses the newest tokens. On the samples of every bundled lexer, as written and with
// their letters upper-cased (keywords of languages that ignore case), no rule of any
// loaded lexer may be refused where its whole test would accept.
#include "tests/support/BundledLexers.h"

#include <filesystem>

namespace qv::test {
namespace {

std::u16string AsciiUpper(std::u16string s) {
  for (char16_t& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char16_t>(c - 32);
  return s;
}

TEST(BundledLexers, PrechecksRefuseOnlyWhatTheConditionsRefuse) {
  int samples = 0, accepted = 0, refused = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QV_SOURCE_DIR "/tests/data/samples")) {
    const std::string component = entry.path().stem().string();
    const std::u16string text = ReadText(entry.path().string());
    for (const std::u16string& variant : {text, AsciiUpper(text)}) {
      SCOPED_TRACE(component);
      TBundledAnalysis a(component, variant);
      a.Run();
      ++samples;
      // The sample's lexer and its sub-lexers, whose rules also meet foreign tokens here.
      for (const TLexerEntry& e : a.Lexers.Entries()) {
        if (!e.Lexer) continue;
        for (int r = 0; r < e.Lexer->BlockRules()->Count(); ++r) {
          const TTagBlockCondition* rule = e.Lexer->BlockRules()->Items(r);
          for (int n = 1; n <= a.Client->TokenCount(); ++n) {
            int refIdx = 0;
            if (rule->CheckCondition(*a.Client, n, refIdx)) {
              ASSERT_TRUE(rule->MayAccept(*a.Client, n)) << e.LexerName << " rule " << rule->DisplayName() << " at token " << n;
              ++accepted;
            } else if (!rule->MayAccept(*a.Client, n)) {
              ++refused;
            }
          }
        }
      }
    }
  }
  EXPECT_GE(samples, 38);
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 10 * accepted);
}

}  // namespace
}  // namespace qv::test
