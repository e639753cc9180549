// Writing an analysed text out: HTML (a standalone page or a fragment), 24-bit ANSI for
// terminals, and JSON for programs; and the readable listings of tokens and blocks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "syntax/qvClientAnalyzer.h"
#include "syntax/qvMemoStrings.h"
#include "syntax/qvSyntStyles.h"

namespace qv {

// One analysed file as the writers see it.
struct TRenderedFile {
  std::string Name;                          // as given on the command line
  const TSyntAnalyzer* Lexer = nullptr;      // the main lexer
  const TSyntMemoStrings* Text = nullptr;
  const TClientSyntAnalyzer* Client = nullptr;
  const TRangeCollection* Collapsibles = nullptr;  // display ranges of the finished results
};

// A stretch of text drawn alike: the token style (null for text no styled token covers) and
// the style of the sub-lexer range it lies in, whose background shows under it (or null).
struct TStyleRun {
  int Start;
  int End;
  const TSyntaxFormat* Style;
  const TSyntaxFormat* Back;
};

// The runs covering the whole text in order, merged where neighbours are drawn alike.
std::vector<TStyleRun> StyleRuns(const TRenderedFile& file);

struct THtmlOptions {
  bool Fragment = false;     // only the <pre> elements and no page around them
  bool LineNumbers = false;
  std::string Title;         // of the page; the first file's name when empty
};

// HTML of the files: each a <pre class="vornish"> (headed by its name when there are
// several), with one CSS class per style name ("vn-Comment"); the page's style sheet gives
// each class the attributes of the first style of that name met.
std::string RenderHtml(const std::vector<TRenderedFile>& files, const THtmlOptions& options);
// The same written to out a buffer at a time, for outputs too large to hold twice.
void RenderHtml(const std::vector<TRenderedFile>& files, const THtmlOptions& options, std::ostream& out);

// The text with 24-bit colour escape sequences; attributes end before every line break.
std::string RenderAnsi(const TRenderedFile& file);
void RenderAnsi(const TRenderedFile& file, std::ostream& out);

// The analysis as JSON: lexer, encoding-free text length and lines, tokens (offsets in UTF-16
// code units, 1-based line and column, type name, style name), block ranges with their
// nesting, folding ranges, sub-lexer ranges and line breaks.
std::string RenderJson(const TRenderedFile& file);

// The readable listings: one token a line ("line:column start-end type style "text""), and
// the blocks (ranges indented by nesting, collapsible ranges, sub-lexer ranges, line breaks).
std::string RenderTokenList(const TRenderedFile& file);
std::string RenderBlockList(const TRenderedFile& file);

// Text in a JSON string literal, quotes included; UTF-16 input is written as UTF-8.
void AppendJsonString(std::string& out, std::u16string_view text);
void AppendJsonString(std::string& out, std::string_view utf8);

}  // namespace qv
