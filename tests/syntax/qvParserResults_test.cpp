// The results of analysing one text: creation against a source procedure and the owner's
// client list, the continuation position, the state history and rule gating by state sets,
// token texts read through the current text, what Clear keeps, and the records' own
// constructors. The analysis tests use a small lexer whose token rules switch a state bit.
#include "syntax/qvParserResults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/SysUtils.h"
#include "framework/TextServices.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvTokenRules.h"

namespace qv {
namespace {

using ::testing::StrEq;
using ::testing::ThrowsMessage;

// The results base with the one operation it leaves to descendants recorded.
class TPlainResults : public TParserResults {
public:
  TPlainResults(TSyntAnalyzer* owner, TSourceProc srcProc,
                std::shared_ptr<IqvSyntClient> host = nullptr)
      : TParserResults(owner, std::move(srcProc), std::move(host)) {}
  void CloseAtEnd(int fromIdx) override { CloseAtEndCalls.push_back(fromIdx); }
  std::vector<int> CloseAtEndCalls;
};

struct TCountingHost : IqvSyntClient {
  void FormatChanged() override { ++FormatChanges; }
  void AnalysisFinished() override { ++Finishes; }
  int FormatChanges = 0;
  int Finishes = 0;
};

// "1:1 4:0": token index and state set of each history record.
std::string DumpStates(const TParserResults& results) {
  std::string s;
  for (const TStateChange& c : results.StateChanges()) {
    if (!s.empty()) s += ' ';
    s += std::to_string(c.TokenIndex) + ':' + std::to_string(c.State);
  }
  return s;
}

// "a:2 <<:3": each token's text and type.
std::string DumpTokens(const TParserResults& results) {
  std::string s;
  for (int i = 0; i < results.TokenCount(); ++i) {
    if (!s.empty()) s += ' ';
    s +=
        WideCharToMultiByte(CP_ACP, results.TagStr(i)) + ':' + std::to_string(results.TokenType(i));
  }
  return s;
}

TTokenRule* AddTokenRule(TSyntAnalyzer& lexer, const char16_t* expression, int tokenType) {
  TTokenRule* rule = lexer.TokenRules()->Add();
  rule->SetExpression(expression);
  rule->SetTokenType(tokenType);
  return rule;
}

// --- Creation and lifetime ------------------------------------------------------------------

TEST(ParserResults, CreationWithoutUsableSourceProcedureFailsAndRegistersNothing) {
  TSyntAnalyzer lexer(nullptr);
  EXPECT_THAT([&] { TPlainResults r(&lexer, TSourceProc()); },
              ThrowsMessage<Exception>(StrEq("Source procedure not passed from syntax server")));
  EXPECT_THAT(
      [&] { TPlainResults r(&lexer, [] { return static_cast<TSyntMemoStrings*>(nullptr); }); },
      ThrowsMessage<Exception>(StrEq("Source procedure not passed from syntax server")));
  EXPECT_THAT([&] { std::unique_ptr<TClientSyntAnalyzer> c(lexer.AddClient(nullptr, nullptr)); },
              ThrowsMessage<Exception>(StrEq("Source procedure not passed from syntax server")));
  EXPECT_EQ(lexer.ClientCount(), 0);
}

TEST(ParserResults, RegistersWithItsOwnerForItsLifetimeAndReleasesItsHost) {
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  auto host = std::make_shared<TCountingHost>();
  std::weak_ptr<TCountingHost> watch = host;
  {
    TPlainResults a(&lexer, [&] { return &text; }, std::move(host));
    auto b = std::make_unique<TPlainResults>(&lexer, [&] { return &text; });
    ASSERT_EQ(lexer.ClientCount(), 2);
    EXPECT_EQ(lexer.Clients(0), &a);
    b.reset();
    ASSERT_EQ(lexer.ClientCount(), 1);
    EXPECT_EQ(lexer.Clients(0), &a);
    EXPECT_FALSE(watch.expired());
    // The analyzer reaches the host through the results.
    lexer.UpdateClients();
    EXPECT_EQ(watch.lock()->FormatChanges, 1);
  }
  EXPECT_EQ(lexer.ClientCount(), 0);
  EXPECT_TRUE(watch.expired());
}

TEST(ParserResults, FreshResultsContinueAtTheFirstCharacter) {
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  text.SetTextStr(u"abc");
  TPlainResults r(&lexer, [&] { return &text; });
  EXPECT_EQ(r.TokenCount(), 0);
  EXPECT_EQ(r.ParserPos(), 1);
  EXPECT_EQ(r.CurState(), 0u);
  EXPECT_TRUE(r.StateChanges().empty());
  EXPECT_FALSE(r.IsFinished());
  EXPECT_EQ(r.Owner(), &lexer);
  EXPECT_EQ(r.Source(), &text);
}

// --- Positions ------------------------------------------------------------------------------

TEST(ParserResults, ParserPosIsAfterTheLastTokenOrLastAnalPosWhenLater) {
  struct TCase {
    const char* Name;
    std::vector<std::pair<int, int>> Tokens;
    int LastAnalPos;
    int Expected;
  };
  const TCase cases[] = {
      {"no tokens", {}, 0, 1},
      {"no tokens, scanned on", {}, 7, 7},
      {"last token ends at 10", {{0, 3}, {6, 10}}, 0, 11},
      {"scan position before the token end", {{0, 3}, {6, 10}}, 5, 11},
      {"scan position equal", {{6, 10}}, 11, 11},
      {"scanned past the last token", {{6, 10}}, 15, 15},
      {"an empty last token", {{4, 4}}, 0, 5},
  };
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  text.SetTextStr(u"0123456789abcdef");
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TPlainResults r(&lexer, [&] { return &text; });
    for (auto [s, e] : c.Tokens) r.AddToken(std::make_unique<TSyntToken>(nullptr, 1, s, e));
    r.SetLastAnalPos(c.LastAnalPos);
    EXPECT_EQ(r.ParserPos(), c.Expected);
  }
}

// --- States ---------------------------------------------------------------------------------

TEST(ParserResults, SaveStateRecordsOnlyChangesOfTheStateSet) {
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  TPlainResults r(&lexer, [&] { return &text; });
  auto token = [&] {
    r.SaveState();
    r.AddToken(std::make_unique<TSyntToken>(nullptr, 0, r.TokenCount(), r.TokenCount() + 1));
  };
  token();  // state 0 with an empty history: nothing to record
  EXPECT_EQ(DumpStates(r), "");
  r.SetCurState(5);
  token();
  EXPECT_EQ(DumpStates(r), "1:5");
  token();  // unchanged
  EXPECT_EQ(DumpStates(r), "1:5");
  r.SetCurState(4);
  token();
  r.SetCurState(0);  // a return to 0 is a change of its own
  token();
  token();
  EXPECT_EQ(DumpStates(r), "1:5 3:4 4:0");
  r.SetCurState(0x80000000u);  // the top bit is a state bit like any other
  token();
  EXPECT_EQ(DumpStates(r), "1:5 3:4 4:0 6:2147483648");
}

TEST(ParserResults, ApplyStatesClearsRemovedBitsBeforeSettingAddedOnes) {
  TSyntAnalyzer lexer(nullptr);
  TTokenRule* rule = lexer.TokenRules()->Add();
  rule->SetStatesRemove(0b0110);
  rule->SetStatesAdd(0b0011);
  TSyntMemoStrings text;
  TPlainResults r(&lexer, [&] { return &text; });
  r.SetCurState(0b1100);
  r.ApplyStates(rule);
  EXPECT_EQ(r.CurState(), 0b1011u);  // bit 1 is in both masks and ends set
  r.ApplyStates(nullptr);
  EXPECT_EQ(r.CurState(), 0b1011u);
}

TEST(ParserResults, IsEnabledGatesByEnabledAlwaysEnabledAndTheStateMasks) {
  struct TCase {
    const char* Name;
    bool Enabled, AlwaysEnabled, OnlyGlobal;
    int Present, Absent;
    uint32_t State;
    bool Expected;
  };
  const TCase cases[] = {
      {"plain rule", true, false, false, 0, 0, 0, true},
      {"disabled", false, true, false, 0, 0, 0, false},
      {"only global rules asked, rule not global", true, false, true, 0, 0, 0, false},
      {"only global rules asked, rule global", true, true, true, 0, 0, 0, true},
      {"all present bits set", true, false, false, 0b101, 0, 0b111, true},
      {"one present bit missing", true, false, false, 0b101, 0, 0b100, false},
      {"absent bits clear", true, false, false, 0, 0b010, 0b101, true},
      {"one absent bit set", true, false, false, 0, 0b011, 0b001, false},
      {"present and absent both hold", true, false, false, 1, 2, 1, true},
      {"high state bit present", true, false, false, static_cast<int>(0x80000000u), 0, 0x80000000u,
       true},
      {"high state bit absent", true, false, false, static_cast<int>(0x80000000u), 0, 0x7fffffffu,
       false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSyntAnalyzer lexer(nullptr);
    TTokenRule* rule = lexer.TokenRules()->Add();
    rule->SetEnabled(c.Enabled);
    rule->SetAlwaysEnabled(c.AlwaysEnabled);
    rule->SetStatesPresent(c.Present);
    rule->SetStatesAbsent(c.Absent);
    TSyntMemoStrings text;
    TPlainResults r(&lexer, [&] { return &text; });
    r.SetCurState(c.State);
    EXPECT_EQ(r.IsEnabled(rule, c.OnlyGlobal), c.Expected);
  }
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  TPlainResults r(&lexer, [&] { return &text; });
  EXPECT_FALSE(r.IsEnabled(nullptr, false));
}

// A lexer whose "<<" sets state bit 0 and ">>" clears it; words are type 7 while the bit
// is set and type 2 otherwise.
struct TStateLexer {
  TStateLexer() {
    AddTokenRule(Lexer, u"<<", 3)->SetStatesAdd(1);
    AddTokenRule(Lexer, u">>", 3)->SetStatesRemove(1);
    AddTokenRule(Lexer, u"[a-z]+", 7)->SetStatesPresent(1);
    AddTokenRule(Lexer, u"[a-z]+", 2);
  }
  TSyntAnalyzer Lexer{nullptr};
};

TEST(ParserResults, AnalysisRecordsTheStateInForceFromTheTokenThatChangedIt) {
  TStateLexer lexer;
  TSyntMemoStrings text;
  text.SetTextStr(u"a << b c >> d << e");
  std::unique_ptr<TClientSyntAnalyzer> client(
      lexer.Lexer.AddClient(nullptr, [&] { return &text; }));
  client->Analyze(true);
  EXPECT_EQ(DumpTokens(*client), "a:2 <<:3 b:7 c:7 >>:3 d:2 <<:3 e:7");
  EXPECT_EQ(DumpStates(*client), "1:1 4:0 6:1");
  EXPECT_EQ(client->CurState(), 1u);

  // Clear forgets the state and its history; the next analysis starts from state 0.
  text.SetTextStr(u"x >> y");
  client->Clear();
  EXPECT_EQ(client->CurState(), 0u);
  EXPECT_EQ(DumpStates(*client), "");
  client->Analyze(true);
  EXPECT_EQ(DumpTokens(*client), "x:2 >>:3 y:2");
  EXPECT_EQ(DumpStates(*client), "");
}

// --- Token texts --------------------------------------------------------------------------

TEST(ParserResults, TagStrReadsTheCurrentTextThroughTheSourceProcedure) {
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings first, second;
  first.SetTextStr(u"alpha beta\r\ngamma");
  second.SetTextStr(u"0123456789");
  TSyntMemoStrings* current = &first;
  int calls = 0;
  TPlainResults r(&lexer, [&] {
    ++calls;
    return current;
  });
  r.AddToken(std::make_unique<TSyntToken>(nullptr, 2, 6, 10));   // "beta"
  r.AddToken(std::make_unique<TSyntToken>(nullptr, 2, 12, 17));  // "gamma", after CR LF
  EXPECT_EQ(r.TagStr(0), u"beta");
  EXPECT_EQ(r.TagStr(1), u"gamma");

  // The results keep no copy: an edit and a different store are seen at once.
  first.InsertText(u"XY", 7);
  EXPECT_EQ(r.TagStr(0), u"bXYe");
  const int before = calls;
  current = &second;
  EXPECT_EQ(r.TagStr(0), u"6789");
  EXPECT_GT(calls, before);
  // A token beyond a shortened text gives what is left of it.
  EXPECT_EQ(r.TagStr(1), u"");
  second.SetTextStr(u"0123456789abcd");
  EXPECT_EQ(r.TagStr(1), u"cd");
}

TEST(ParserResults, BadTokenIndexRaisesTheListError) {
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  text.SetTextStr(u"ab");
  TPlainResults r(&lexer, [&] { return &text; });
  r.AddToken(std::make_unique<TSyntToken>(nullptr, 4, 0, 2));
  EXPECT_EQ(r.TokenType(0), 4);
  for (int index : {-1, 1}) {
    SCOPED_TRACE(index);
    EXPECT_THROW(r.Tags(index), EListError);
    EXPECT_THROW(r.TokenType(index), EListError);
    EXPECT_THROW(r.TagStr(index), EListError);
  }
}

// --- Clear ----------------------------------------------------------------------------------

TEST(ParserResults, ClearForgetsResultsButKeepsIsFinishedAndLastAnalPos) {
  TSyntAnalyzer lexer(nullptr);
  TSyntMemoStrings text;
  text.SetTextStr(u"one two three");
  TPlainResults r(&lexer, [&] { return &text; });
  r.AddToken(std::make_unique<TSyntToken>(nullptr, 1, 0, 3));
  r.SetCurState(3);
  r.SaveState();
  r.AddToken(std::make_unique<TSyntToken>(nullptr, 1, 4, 7));
  r.AddSubLexerRange(std::make_unique<TSubLexerRange>(8, -1));
  r.SetLastAnalPos(9);
  r.Finished();
  ASSERT_TRUE(r.IsFinished());

  r.Clear();
  EXPECT_EQ(r.TokenCount(), 0);
  EXPECT_TRUE(r.SubLexerBlocks().empty());
  EXPECT_TRUE(r.StateChanges().empty());
  EXPECT_EQ(r.CurState(), 0u);
  EXPECT_TRUE(r.IsFinished());
  EXPECT_EQ(r.LastAnalPos(), 9);
  EXPECT_EQ(r.ParserPos(), 9);
  EXPECT_TRUE(r.CloseAtEndCalls.empty());
}

// --- Records --------------------------------------------------------------------------------

TEST(ParserResultsRecords, TokenTakesItsRuleTypeAndCutsItsTextFromASource) {
  TSyntAnalyzer lexer(nullptr);
  TTokenRule* rule = AddTokenRule(lexer, u"x", 6);
  TSyntToken token(rule, 2, 5);
  EXPECT_EQ(token.TokenType, 6);
  EXPECT_EQ(token.Rule, rule);
  EXPECT_EQ(token.GetKey(), 2);
  EXPECT_EQ(token.GetStr(u"abcdefg"), u"cde");
  EXPECT_EQ(token.GetStr(u"abcd"), u"cd");  // cut at the end of a shorter source
  EXPECT_EQ(token.GetStr(u"a"), u"");
  EXPECT_EQ(TSyntToken(rule, 0, 0).GetStr(u"abc"), u"");
}

TEST(ParserResultsRecords, TextRangeStartsOpenAndUnnumberedKeyedByItsStartOffset) {
  TTextRange range(3, 17);
  EXPECT_FALSE(range.IsClosed());
  EXPECT_EQ(range.EndCondIdx, -1);
  EXPECT_EQ(range.Index, -1);
  EXPECT_EQ(range.GetKey(), 17);
  range.EndIdx = 0;  // a range may end at the first token
  EXPECT_TRUE(range.IsClosed());
}

TEST(ParserResultsRecords, DynoRangeNamesItsRuleOnlyWhenThatSelectsTheInnermostBlock) {
  TSyntAnalyzer lexer(nullptr);
  TTagBlockCondition* plain = lexer.BlockRules()->Add();
  TTagBlockCondition* minimal = lexer.BlockRules()->Add();
  minimal->SetDynSelectMin(true);
  TTextRange a(0, 0), b(1, 4), noRule(2, 8);
  a.Rule = plain;
  b.Rule = minimal;
  EXPECT_EQ(TDynoRange(0, 5, &a).Rule, nullptr);
  EXPECT_EQ(TDynoRange(0, 5, &b).Rule, minimal);
  EXPECT_EQ(TDynoRange(0, 5, &b).TextRange, &b);
  EXPECT_EQ(TDynoRange(0, 5, &noRule).Rule, nullptr);
  EXPECT_EQ(TDynoRange(0, 5, nullptr).Rule, nullptr);
}

}  // namespace
}  // namespace qv
