// Checking the bundled lexers on real files: a text analysed by a bundled lexer from start to
// end, what no token covers, what stays open, incremental analysis after random edits against
// a fresh one, and golden dumps of small samples. Test-only.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "syntax/qvBlockRules.h"
#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvResultsDump.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnalyzer.h"
#include "tests/support/Analysis.h"
#include "tests/support/RealFiles.h"
#include "tools/LexerSet.h"

namespace qv::test {

// A text read as UTF-8 (bytes that are no UTF-8 taken as Latin-1 one by one, as the tool's
// fallback does), with line ends kept.
inline std::u16string ReadText(const std::string& path) {
  const std::string bytes = ReadFile(path);
  std::u16string text = Utf8ToWide(bytes);
  if (WideToUtf8(text) != bytes) {
    text.clear();
    for (unsigned char c : bytes) text.push_back(c);
  }
  return text;
}

// Files under dir (recursively, in name order) whose names end with one of suffixes, at most
// limit of them, each no larger than maxBytes. Empty when dir is missing.
inline std::vector<std::string> FindFiles(const std::string& dir, const std::vector<std::string>& suffixes,
                                          size_t limit, uintmax_t maxBytes = 1u << 20) {
  std::vector<std::string> found;
  std::error_code ec;
  std::filesystem::recursive_directory_iterator it(
      dir, std::filesystem::directory_options::skip_permission_denied, ec);
  for (; !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const std::string name = it->path().string();
    for (const std::string& s : suffixes)
      if (name.size() >= s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0 &&
          it->file_size(ec) <= maxBytes) {
        found.push_back(name);
        break;
      }
  }
  std::sort(found.begin(), found.end());
  if (found.size() > limit) {
    // Spread over the whole list rather than the first few directories.
    std::vector<std::string> spread;
    for (size_t i = 0; i < limit; ++i) spread.push_back(found[i * found.size() / limit]);
    found.swap(spread);
  }
  return found;
}

// A text analysed by one bundled lexer (found by LexerName or component name).
struct TBundledAnalysis {
  TLexerSet Lexers;
  TSyntMemoStrings Text;
  TSyntAnalyzer* Lexer = nullptr;
  std::unique_ptr<TClientSyntAnalyzer> Client;

  TBundledAnalysis(const std::string& lexerName, const std::u16string& text) {
    Lexer = Lexers.Find(lexerName);
    if (!Lexer) throw std::runtime_error("no bundled lexer " + lexerName);
    Text.SetTextStr(text);
    Client.reset(Lexer->AddClient(nullptr, [this] { return &Text; }));
  }
  ~TBundledAnalysis() { Client.reset(); }

  void Run() { AnalyzeToEnd(*Client); }
};

// Where a character no token covers lies: "line:column 'c'" (1-based), for messages.
inline std::string DescribeAt(const TSyntMemoStrings& text, int offset) {
  const TPoint p = text.StrPosToCaretPos(offset);
  return std::to_string(p.Y + 1) + ":" + std::to_string(p.X + 1) + " '" +
         WideToUtf8(text.Text().substr(static_cast<size_t>(offset), 1)) + "'";
}

// The characters that are neither white space nor part of a token: their count, and where
// the first few lie.
struct TUncovered {
  int Count = 0;
  std::vector<std::string> First;
};

inline TUncovered Uncovered(const TBundledAnalysis& a) {
  TUncovered u;
  const std::u16string& s = a.Text.Text();
  int pos = 0;
  auto gap = [&](int to) {
    for (; pos < to; ++pos)
      if (!IsSpaceChar(s[static_cast<size_t>(pos)]) && !IsLineBreakChar(s[static_cast<size_t>(pos)])) {
        if (u.First.size() < 5) u.First.push_back(DescribeAt(a.Text, pos));
        ++u.Count;
      }
  };
  for (int i = 0; i < a.Client->TokenCount(); ++i) {
    const TSyntToken* t = a.Client->Tags(i);
    gap(t->StartPos);
    pos = std::max(pos, t->EndPos);
  }
  gap(static_cast<int>(s.size()));
  return u;
}

// Block ranges still open after the analysis ended, described by their rule and start.
inline std::vector<std::string> OpenRanges(const TBundledAnalysis& a) {
  std::vector<std::string> open;
  for (int i = 0; i < a.Client->RangeCount(); ++i) {
    const TTextRange* r = a.Client->Ranges(i);
    if (!r->IsClosed())
      open.push_back((r->Rule ? r->Rule->DisplayName() : std::string("-")) + " at " +
                     DescribeAt(a.Text, r->StartPos));
  }
  return open;
}

// One analysis of a real file: every non-blank character lies in a token of lexerName, and
// no block range is left open.
inline void ExpectCoveredAndClosed(const std::string& lexerName, const std::string& path) {
  SCOPED_TRACE(path);
  TBundledAnalysis a(lexerName, ReadText(path));
  a.Run();
  const TUncovered u = Uncovered(a);
  EXPECT_EQ(u.Count, 0) << "first uncovered: " << ::testing::PrintToString(u.First);
  const std::vector<std::string> open = OpenRanges(a);
  EXPECT_TRUE(open.empty()) << ::testing::PrintToString(open);
}

inline void ExpectCoveredAndClosed(const std::string& lexerName, const std::vector<std::string>& paths) {
  for (const std::string& path : paths) ExpectCoveredAndClosed(lexerName, path);
}

// The results of an analysis of text from scratch.
inline std::string FreshDump(const std::string& lexerName, const std::u16string& text) {
  TBundledAnalysis fresh(lexerName, text);
  fresh.Run();
  return DumpResults(*fresh.Client);
}

// After each round of random inserts (taken from pieces) and deletes, reported to the
// client, the incremental re-analysis ends with the results of a fresh one.
inline void ExpectEditsMatchFresh(const std::string& lexerName, const std::string& path,
                                  const std::vector<std::u16string>& pieces, unsigned seed,
                                  int rounds = 8) {
  SCOPED_TRACE(path + " seed " + std::to_string(seed));
  TBundledAnalysis a(lexerName, ReadText(path));
  a.Run();
  std::mt19937 random(seed);
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    RandomEdit(a.Text, *a.Client, pieces, random);
    if (random() % 2 == 0) a.Client->AppendToPos(static_cast<int>(random() % (a.Text.TextLength() + 1)));
    a.Run();
    ASSERT_TRUE(a.Client->IsFinished());
    ASSERT_EQ(DumpResults(*a.Client), FreshDump(lexerName, a.Text.Text()));
  }
}

// The dump of a small sample (tests/data/samples/<sample>) equals the checked-in
// tests/golden/bundled/<sample>.txt; QV_UPDATE_GOLDEN=1 rewrites the golden file instead
// (review the difference before committing it).
inline void ExpectGolden(const std::string& lexerName, const std::string& sample) {
  SCOPED_TRACE(sample);
  TBundledAnalysis a(lexerName, ReadText(QV_SOURCE_DIR "/tests/data/samples/" + sample));
  a.Run();
  const std::string dump = DumpResults(*a.Client);
  const std::string golden = QV_SOURCE_DIR "/tests/golden/bundled/" + sample + ".txt";
  if (std::getenv("QV_UPDATE_GOLDEN")) {
    std::filesystem::create_directories(QV_SOURCE_DIR "/tests/golden/bundled");
    std::ofstream(golden, std::ios::binary) << dump;
    return;
  }
  const std::string expected = ReadFile(golden);
  ASSERT_FALSE(expected.empty()) << "no golden file " << golden;
  EXPECT_EQ(dump, expected);
}

}  // namespace qv::test
