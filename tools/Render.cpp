#include "tools/Render.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <ostream>

#include "framework/Graphics.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"

namespace qv {
namespace {

// --- Text out -------------------------------------------------------------------------------

enum TEscape { esNone, esHtml, esJson };

// Whether an ASCII character needs more than itself in the target.
constexpr bool NeedsEscape(char16_t c, TEscape escape) {
  switch (escape) {
    case esHtml: return c == '<' || c == '>' || c == '&';
    case esJson: return c < 32 || c == '"' || c == '\\';
    default: return false;
  }
}

// Output through a write position, growing the buffer ahead of the writes: the output is
// written a few bytes at a time, millions of times. A sink on a string appends what was
// written to it when it goes; a sink on a stream writes its buffer out each time it fills,
// so that a large output is never held whole.
class TSink {
public:
  explicit TSink(std::string& s) : FS(&s) {}
  explicit TSink(std::ostream& out) : FOut(&out) {}
  ~TSink() { Flush(); }
  TSink(const TSink&) = delete;
  TSink& operator=(const TSink&) = delete;

  void Flush() {
    if (!FN) return;
    if (FS) FS->append(FBuf.get(), FN);
    else FOut->write(FBuf.get(), static_cast<std::streamsize>(FN));
    FN = 0;
  }
  void Reserve(size_t more) {
    if (FN + more <= FCap) return;
    if (FOut) Flush();
    if (FN + more <= FCap) return;
    const size_t cap = FOut ? std::max(FN + more, kStreamBuffer) : std::max(FCap * 2, FN + more + 65536);
    std::unique_ptr<char[]> grown(new char[cap]);  // left uninitialised: written before read
    if (FN) std::memcpy(grown.get(), FBuf.get(), FN);
    FBuf = std::move(grown);
    FCap = cap;
  }
  void Put(std::string_view v) {
    if (v.empty()) return;
    Reserve(v.size());
    std::memcpy(FBuf.get() + FN, v.data(), v.size());
    FN += v.size();
  }
  void Put(char c) {
    Reserve(1);
    FBuf[FN++] = c;
  }
  // text[from, to) as UTF-8, escaped for the target. A surrogate pair becomes one
  // character; a lone surrogate becomes U+FFFD.
  void Text(std::u16string_view text, size_t from, size_t to, TEscape escape) {
    switch (escape) {
      case esHtml: Text<esHtml>(text, from, to); break;
      case esJson: Text<esJson>(text, from, to); break;
      default: Text<esNone>(text, from, to); break;
    }
  }

private:
  static constexpr size_t kStreamBuffer = size_t{1} << 18;

  template <TEscape escape>
  void Text(std::u16string_view text, size_t from, size_t to) {
    if (from >= to) return;
    Reserve((to - from) * 6);  // the longest form of a unit: "\u001f"
    char* d = FBuf.get() + FN;
    for (size_t i = from; i < to; ++i) {
      uint32_t c = text[i];
      if (c < 0x80) {
        if (!NeedsEscape(static_cast<char16_t>(c), escape)) {
          *d++ = static_cast<char>(c);
          continue;
        }
        const char* e = nullptr;
        char buf[8];
        if constexpr (escape == esHtml) {
          e = c == '<' ? "&lt;" : c == '>' ? "&gt;" : "&amp;";
        } else {
          switch (c) {
            case '"': e = "\\\""; break;
            case '\\': e = "\\\\"; break;
            case '\n': e = "\\n"; break;
            case '\r': e = "\\r"; break;
            case '\t': e = "\\t"; break;
            default:
              std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
              e = buf;
          }
        }
        while (*e) *d++ = *e++;
        continue;
      }
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < to && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        c = 0xFFFD;
      }
      if (c < 0x800) {
        *d++ = static_cast<char>(0xC0 | (c >> 6));
      } else if (c < 0x10000) {
        *d++ = static_cast<char>(0xE0 | (c >> 12));
        *d++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      } else {
        *d++ = static_cast<char>(0xF0 | (c >> 18));
        *d++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *d++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      }
      *d++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    FN = static_cast<size_t>(d - FBuf.get());
  }

  std::string* FS = nullptr;
  std::ostream* FOut = nullptr;
  std::unique_ptr<char[]> FBuf;
  size_t FN = 0;
  size_t FCap = 0;
};

// Appends text[from, to) as UTF-8, escaped for the target.
void AppendText(std::string& out, std::u16string_view text, size_t from, size_t to, TEscape escape) {
  TSink(out).Text(text, from, to, escape);
}

void AppendInt(std::string& out, long long value) { out += std::to_string(value); }

// --- Styles ---------------------------------------------------------------------------------

struct TRgb {
  int R, G, B;
};

// The colour as RGB, or false for "none" (clNone, clDefault, the window's own text colour).
bool ToRgb(TColor color, TRgb& rgb) {
  if (color == clNone || color == clDefault || color == clWindowText || color == clWindow) return false;
  const TColor c = ColorToRGB(color);
  if (c == clNone || c == clDefault) return false;
  rgb = {c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF};
  return true;
}

bool HasForeground(const TSyntaxFormat* style) { return style->FormatType() != ftBackGround; }
bool HasFontStyle(const TSyntaxFormat* style) {
  return style->FormatType() == ftFontAttr || style->FormatType() == ftCustomFont;
}

// "vn-" and the style name with every character other than a letter, digit, '-' or '_'
// replaced by '-'.
std::string CssClass(const std::string& name) {
  std::string r = "vn-";
  for (char c : name)
    r.push_back((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'
                    ? c
                    : '-');
  return r;
}

std::string CssRgb(const TRgb& c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.R, c.G, c.B);
  return buf;
}

std::string CssRule(const TSyntaxFormat* style, bool background) {
  std::string css;
  TRgb rgb;
  if (!background && HasForeground(style) && ToRgb(style->Font()->Color(), rgb)) css += "color:" + CssRgb(rgb) + ";";
  if (ToRgb(style->BgColor(), rgb)) css += "background-color:" + CssRgb(rgb) + ";";
  if (!background && HasFontStyle(style)) {
    const TFontStyles fs = style->Font()->Style();
    if (fs.Contains(fsBold)) css += "font-weight:bold;";
    if (fs.Contains(fsItalic)) css += "font-style:italic;";
    if (fs.Contains(fsUnderline) && fs.Contains(fsStrikeOut)) css += "text-decoration:underline line-through;";
    else if (fs.Contains(fsUnderline)) css += "text-decoration:underline;";
    else if (fs.Contains(fsStrikeOut)) css += "text-decoration:line-through;";
  }
  return css;
}

std::string SgrOf(const TStyleRun& run) {
  std::string sgr;
  TRgb rgb;
  auto add = [&sgr](const std::string& code) { sgr += (sgr.empty() ? "" : ";") + code; };
  if (run.Style && HasForeground(run.Style) && ToRgb(run.Style->Font()->Color(), rgb))
    add("38;2;" + std::to_string(rgb.R) + ";" + std::to_string(rgb.G) + ";" + std::to_string(rgb.B));
  const TSyntaxFormat* back = run.Style && ToRgb(run.Style->BgColor(), rgb) ? run.Style : run.Back;
  if (back && ToRgb(back->BgColor(), rgb))
    add("48;2;" + std::to_string(rgb.R) + ";" + std::to_string(rgb.G) + ";" + std::to_string(rgb.B));
  if (run.Style && HasFontStyle(run.Style)) {
    const TFontStyles fs = run.Style->Font()->Style();
    if (fs.Contains(fsBold)) add("1");
    if (fs.Contains(fsItalic)) add("3");
    if (fs.Contains(fsUnderline)) add("4");
    if (fs.Contains(fsStrikeOut)) add("9");
  }
  return sgr.empty() ? sgr : "\x1b[" + sgr + "m";
}

std::string TypeName(const TRenderedFile& file, const TSyntToken& token) {
  // The type names of the lexer that made the token (a sub-lexer's own names).
  const TSyntAnalyzer* lexer = file.Lexer;
  if (token.Rule)
    if (const TSyntAnalyzer* owner = token.Rule->SyntOwner()) lexer = owner;
  const TStrings* names = lexer->TokenTypeNames();
  if (token.TokenType >= 0 && token.TokenType < names->Count()) return names->Get(token.TokenType);
  return "#" + std::to_string(token.TokenType);
}

std::string RuleName(const TRuleCollectionItem* rule) { return rule ? rule->DisplayName() : "-"; }

// Walks offsets in increasing order and tells their 0-based line and column.
class TLineWalker {
public:
  explicit TLineWalker(const TSyntMemoStrings& text) : FStarts(text.LineStarts()) {}
  void At(int offset, int& line, int& column) {
    if (FLine >= static_cast<int>(FStarts.size()) || (FLine > 0 && offset < FStarts[FLine])) FLine = 0;
    while (FLine + 1 < static_cast<int>(FStarts.size()) && FStarts[FLine + 1] <= offset) ++FLine;
    line = FLine;
    column = FStarts.empty() ? offset : offset - FStarts[FLine];
  }

private:
  const std::vector<int>& FStarts;
  int FLine = 0;
};

std::string LineCol(const TSyntMemoStrings& text, int offset) {
  const TPoint p = text.StrPosToCaretPos(offset);
  return std::to_string(p.Y + 1) + ":" + std::to_string(p.X + 1);
}

// The offsets a block range spans: from its first token's start to its last token's end.
void RangeBounds(const TClientSyntAnalyzer& client, const TTextRange& r, int& start, int& end) {
  start = r.StartPos;
  end = -1;
  if (r.IsClosed() && r.EndIdx < client.TokenCount()) end = client.Tags(r.EndIdx)->EndPos;
}

int Depth(const TTextRange* r) {
  int d = 0;
  for (const TTextRange* p = r->Parent; p && d < 1000; p = p->Parent) ++d;
  return d;
}

}  // namespace

void AppendJsonString(std::string& out, std::u16string_view text) {
  out.push_back('"');
  AppendText(out, text, 0, text.size(), esJson);
  out.push_back('"');
}

void AppendJsonString(std::string& out, std::string_view utf8) {
  out.push_back('"');
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(ch);
    } else if (c < 32) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    } else {
      out.push_back(ch);
    }
  }
  out.push_back('"');
}

namespace {

// Calls f with each run of the file in order (see StyleRuns), without holding them.
template <class F>
void EachStyleRun(const TRenderedFile& file, F&& f) {
  const TClientSyntAnalyzer& client = *file.Client;
  const int length = file.Text->TextLength();
  const auto& subs = client.SubLexerBlocks();
  size_t s = 0;
  // Sub-lexer bodies: a run is split at their bounds, and the parts inside get the body style.
  auto emit = [&](const TStyleRun& run) {
    if (subs.empty()) {
      f(run);
      return;
    }
    int from = run.Start;
    while (from < run.End) {
      while (s < subs.size() && subs[s]->EndPos >= 0 && subs[s]->EndPos <= from) ++s;
      const TSubLexerRange* sub = s < subs.size() ? subs[s].get() : nullptr;
      const int subEnd = sub ? (sub->EndPos < 0 ? length : sub->EndPos) : length;
      int to = run.End;
      const TSyntaxFormat* back = nullptr;
      if (sub && sub->StartPos <= from) {
        to = std::min(to, subEnd);
        back = sub->Rule ? sub->Rule->Style() : nullptr;
      } else if (sub) {
        to = std::min(to, sub->StartPos);
      }
      if (to <= from) to = run.End;  // malformed bounds: keep going
      f(TStyleRun{from, to, run.Style, back});
      from = to;
    }
  };
  // Neighbours drawn alike are merged before they are split.
  TStyleRun pending{0, 0, nullptr, nullptr};
  auto push = [&](int start, int end, const TSyntaxFormat* style) {
    if (end <= start) return;
    if (pending.End > pending.Start && pending.Style == style && pending.End == start) {
      pending.End = end;
      return;
    }
    if (pending.End > pending.Start) emit(pending);
    pending = {start, end, style, nullptr};
  };
  int pos = 0;
  for (int i = 0; i < client.TokenCount(); ++i) {
    const TSyntToken* t = client.Tags(i);
    const int start = std::clamp(t->StartPos, pos, length);
    const int end = std::clamp(t->EndPos, start, length);
    push(pos, start, nullptr);
    push(start, end, t->Rule ? t->Rule->Style() : nullptr);
    pos = std::max(pos, end);
  }
  push(pos, length, nullptr);
  if (pending.End > pending.Start) emit(pending);
}

// The HTML of runs, made once for each pair of styles met (a lexer has few), and the style
// sheet's rules of the classes they use: the first style of a name met gives the rule.
class THtmlTags {
public:
  struct TTags {
    const TSyntaxFormat* Style;
    const TSyntaxFormat* Back;
    std::string Open, Close;
  };

  const TTags& Of(const TStyleRun& run) {
    // Looked up in a small cache first: a page has a few pairs and a great many runs.
    const auto key = (reinterpret_cast<uintptr_t>(run.Style) >> 5) ^ (reinterpret_cast<uintptr_t>(run.Back) >> 3);
    TCached& cached = FCache[key & (kCacheSize - 1)];
    if (cached.Tags && cached.Style == run.Style && cached.Back == run.Back) return *cached.Tags;
    auto it = std::find_if(FTags.begin(), FTags.end(),
                           [&run](const TTags& t) { return t.Style == run.Style && t.Back == run.Back; });
    if (it == FTags.end()) {
      TTags t{run.Style, run.Back, {}, {}};
      if (run.Back) t.Open += "<span class=\"" + ClassOf(run.Back, true) + "\">";
      if (run.Style) t.Open += "<span class=\"" + ClassOf(run.Style, false) + "\">";
      t.Close = run.Style && run.Back ? "</span></span>" : run.Style || run.Back ? "</span>" : "";
      FTags.push_back(std::move(t));
      it = FTags.end() - 1;
    }
    cached = {run.Style, run.Back, &*it};
    return *it;
  }
  // Notes the class of style (of its background) for the style sheet.
  void Note(const TSyntaxFormat* style, bool background) { ClassOf(style, background); }
  // The rules by class name.
  const std::map<std::string, std::string>& Css() const { return FCss; }

private:
  std::string ClassOf(const TSyntaxFormat* style, bool background) {
    std::string name = CssClass(style->DisplayName()) + (background ? "-bg" : "");
    if (!FCss.count(name)) FCss[name] = CssRule(style, background);
    return name;
  }

  struct TCached {
    const TSyntaxFormat* Style = nullptr;
    const TSyntaxFormat* Back = nullptr;
    const TTags* Tags = nullptr;
  };
  static constexpr size_t kCacheSize = 64;
  std::deque<TTags> FTags;  // stable: the cache points into it
  TCached FCache[kCacheSize];
  std::map<std::string, std::string> FCss;
};

// Has tags note the classes of the file's runs in the order the runs meet them (as
// EachStyleRun makes them): the styles of tokens that cover text, then the styles of
// sub-lexer bodies that hold text.
void NoteClasses(const TRenderedFile& file, THtmlTags& tags) {
  const TClientSyntAnalyzer& client = *file.Client;
  const int length = file.Text->TextLength();
  const TSyntaxFormat* seen[64] = {};  // styles noted, by a hash of the pointer
  int pos = 0;
  for (int i = 0; i < client.TokenCount(); ++i) {
    const TSyntToken* t = client.Tags(i);
    const int start = std::clamp(t->StartPos, pos, length);
    const int end = std::clamp(t->EndPos, start, length);
    const TSyntaxFormat* style = t->Rule ? t->Rule->Style() : nullptr;
    const TSyntaxFormat*& slot = seen[(reinterpret_cast<uintptr_t>(style) >> 5) & 63];
    if (end > start && style && slot != style) {
      tags.Note(style, false);
      slot = style;
    }
    pos = std::max(pos, end);
  }
  for (const auto& sub : client.SubLexerBlocks()) {
    const int end = sub->EndPos < 0 ? length : std::min(sub->EndPos, length);
    if (sub->Rule && sub->Rule->Style() && std::max(sub->StartPos, 0) < end) tags.Note(sub->Rule->Style(), true);
  }
}

void HtmlBody(const TRenderedFile& file, bool heading, const THtmlOptions& options, THtmlTags& tags, TSink& sink) {
  const std::u16string& text = file.Text->Text();
  if (heading) {
    sink.Put("<h2 class=\"vornish-file\">");
    const std::u16string name = Utf8ToWide(file.Name);
    sink.Text(name, 0, name.size(), esHtml);
    sink.Put("</h2>\n");
  }
  sink.Put("<pre class=\"vornish\"><code>");
  int line = 1;
  auto lineNumber = [&]() {
    if (!options.LineNumbers) return;
    char buf[64];
    std::snprintf(buf, sizeof buf, "<span class=\"vn-ln\">%5d </span>", line);
    sink.Put(buf);
  };
  lineNumber();
  EachStyleRun(file, [&](const TStyleRun& run) {
    const THtmlTags::TTags& t = tags.Of(run);
    // Spans end before each line break, so a line can be read on its own.
    int from = run.Start;
    while (from < run.End) {
      int to = from;
      while (to < run.End && text[static_cast<size_t>(to)] != '\n') ++to;
      if (to > from) {
        sink.Put(t.Open);
        sink.Text(text, static_cast<size_t>(from), static_cast<size_t>(to), esHtml);
        sink.Put(t.Close);
      }
      if (to < run.End) {  // the line break
        sink.Put('\n');
        ++line;
        if (to + 1 < static_cast<int>(text.size())) lineNumber();
        ++to;
      }
      from = to;
    }
  });
  sink.Put("</code></pre>\n");
}

void Html(const std::vector<TRenderedFile>& files, const THtmlOptions& options, TSink& sink) {
  // The style sheet comes first, so the classes are gathered by a pass over the tokens first.
  THtmlTags tags;
  for (const TRenderedFile& file : files) NoteClasses(file, tags);
  std::string sheet = "pre.vornish{font-family:monospace;color:#000;background:#fff;}\n";
  if (options.LineNumbers) sheet += ".vornish .vn-ln{color:#999;user-select:none;}\n";
  for (const auto& [name, rule] : tags.Css()) sheet += ".vornish ." + name + "{" + rule + "}\n";
  if (options.Fragment) {
    sink.Put("<style>\n" + sheet + "</style>\n");
  } else {
    const std::string title = options.Title.empty() && !files.empty() ? files.front().Name : options.Title;
    sink.Put("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>");
    const std::u16string wideTitle = Utf8ToWide(title);
    sink.Text(wideTitle, 0, wideTitle.size(), esHtml);
    sink.Put("</title>\n<style>\n" + sheet + "</style>\n</head>\n<body>\n");
  }
  for (const TRenderedFile& file : files) HtmlBody(file, files.size() > 1, options, tags, sink);
  if (!options.Fragment) sink.Put("</body>\n</html>\n");
}

void Ansi(const TRenderedFile& file, TSink& sink) {
  const std::u16string& text = file.Text->Text();
  std::vector<std::pair<TStyleRun, std::string>> sgrs;  // by the run's pair of styles
  EachStyleRun(file, [&](const TStyleRun& run) {
    auto it = std::find_if(sgrs.begin(), sgrs.end(), [&run](const auto& e) {
      return e.first.Style == run.Style && e.first.Back == run.Back;
    });
    if (it == sgrs.end()) {
      sgrs.emplace_back(run, SgrOf(run));
      it = sgrs.end() - 1;
    }
    const std::string& sgr = it->second;
    int from = run.Start;
    while (from < run.End) {
      int to = from;
      while (to < run.End && text[static_cast<size_t>(to)] != '\n' && text[static_cast<size_t>(to)] != '\r') ++to;
      if (to > from) {
        sink.Put(sgr);
        sink.Text(text, static_cast<size_t>(from), static_cast<size_t>(to), esNone);
        if (!sgr.empty()) sink.Put("\x1b[0m");
      }
      if (to < run.End) {
        sink.Put(static_cast<char>(text[static_cast<size_t>(to)]));
        ++to;
      }
      from = to;
    }
  });
}

}  // namespace

std::vector<TStyleRun> StyleRuns(const TRenderedFile& file) {
  std::vector<TStyleRun> runs;
  EachStyleRun(file, [&runs](const TStyleRun& run) { runs.push_back(run); });
  return runs;
}

std::string RenderHtml(const std::vector<TRenderedFile>& files, const THtmlOptions& options) {
  std::string out;
  {
    TSink sink(out);
    Html(files, options, sink);
  }
  return out;
}

void RenderHtml(const std::vector<TRenderedFile>& files, const THtmlOptions& options, std::ostream& out) {
  TSink sink(out);
  Html(files, options, sink);
}

std::string RenderAnsi(const TRenderedFile& file) {
  std::string out;
  {
    TSink sink(out);
    Ansi(file, sink);
  }
  return out;
}

void RenderAnsi(const TRenderedFile& file, std::ostream& out) {
  TSink sink(out);
  Ansi(file, sink);
}

std::string RenderJson(const TRenderedFile& file) {
  const TClientSyntAnalyzer& client = *file.Client;
  const TSyntMemoStrings& text = *file.Text;
  std::string out = "{\"file\":";
  AppendJsonString(out, file.Name);
  out += ",\"lexer\":";
  AppendJsonString(out, file.Lexer->LexerName());
  out += ",\"length\":";
  AppendInt(out, text.TextLength());
  out += ",\"lines\":";
  AppendInt(out, text.GetCount());
  out += ",\n\"tokens\":[";
  TLineWalker walker(text);
  out.reserve(out.size() + static_cast<size_t>(client.TokenCount()) * 80);
  for (int i = 0; i < client.TokenCount(); ++i) {
    const TSyntToken* t = client.Tags(i);
    int line, column;
    walker.At(t->StartPos, line, column);
    out += i ? ",\n{\"start\":" : "\n{\"start\":";
    AppendInt(out, t->StartPos);
    out += ",\"end\":";
    AppendInt(out, t->EndPos);
    out += ",\"line\":";
    AppendInt(out, line + 1);
    out += ",\"column\":";
    AppendInt(out, column + 1);
    out += ",\"type\":";
    AppendJsonString(out, TypeName(file, *t));
    out += ",\"style\":";
    const TSyntaxFormat* style = t->Rule ? t->Rule->Style() : nullptr;
    if (style) AppendJsonString(out, style->DisplayName());
    else out += "null";
    out += "}";
  }
  out += "],\n\"ranges\":[";
  for (int i = 0; i < client.RangeCount(); ++i) {
    const TTextRange* r = client.Ranges(i);
    int start, end;
    RangeBounds(client, *r, start, end);
    out += i ? ",\n{\"rule\":" : "\n{\"rule\":";
    AppendJsonString(out, RuleName(r->Rule));
    out += ",\"start\":";
    AppendInt(out, start);
    out += ",\"end\":";
    if (end < 0) out += "null";
    else AppendInt(out, end);
    out += ",\"startToken\":";
    AppendInt(out, r->StartIdx);
    out += ",\"endToken\":";
    if (r->EndIdx < 0) out += "null";
    else AppendInt(out, r->EndIdx);
    out += ",\"parent\":";
    if (r->Parent) AppendInt(out, r->Parent->Index);
    else out += "null";
    out += "}";
  }
  out += "],\n\"folding\":[";
  bool first = true;
  if (file.Collapsibles) {
    const TRangeCollection& folds = *file.Collapsibles;
    std::vector<const TCollapsibleRange*> list;
    for (int l = 0; l < folds.LayerCount(); ++l)
      for (int i = 0; i < folds.Layers(l)->Count(); ++i)
        list.push_back(static_cast<const TCollapsibleRange*>(folds.Layers(l)->Items(i)));
    std::sort(list.begin(), list.end(), [](auto* a, auto* b) {
      return a->StartPos != b->StartPos ? a->StartPos < b->StartPos : a->EndPos > b->EndPos;
    });
    for (const TCollapsibleRange* c : list) {
      out += first ? "\n{\"start\":" : ",\n{\"start\":";
      first = false;
      AppendInt(out, c->StartPos);
      out += ",\"end\":";
      AppendInt(out, c->EndPos);
      out += ",\"startLine\":";
      AppendInt(out, text.StrPosToCaretPos(c->StartPos).Y + 1);
      out += ",\"endLine\":";
      AppendInt(out, text.StrPosToCaretPos(std::max(c->StartPos, c->EndPos - 1)).Y + 1);
      out += ",\"range\":";
      AppendInt(out, c->RangeIdx);
      out += "}";
    }
  }
  out += "],\n\"sublexers\":[";
  first = true;
  for (const auto& s : client.SubLexerBlocks()) {
    out += first ? "\n{\"rule\":" : ",\n{\"rule\":";
    first = false;
    AppendJsonString(out, RuleName(s->Rule));
    out += ",\"lexer\":";
    const TSyntAnalyzer* sub = s->Rule ? s->Rule->SyntAnalyzer() : nullptr;
    if (sub) AppendJsonString(out, sub->LexerName().empty() ? sub->Name() : sub->LexerName());
    else out += "null";
    out += ",\"start\":";
    AppendInt(out, s->StartPos);
    out += ",\"end\":";
    if (s->EndPos < 0) out += "null";
    else AppendInt(out, s->EndPos);
    out += "}";
  }
  out += "],\n\"lineBreaks\":[";
  first = true;
  for (const auto& b : client.LineBreaks()) {
    out += first ? "\n{\"token\":" : ",\n{\"token\":";
    first = false;
    AppendInt(out, b->RefIdx);
    out += ",\"line\":";
    AppendInt(out, b->Line + 1);
    out += ",\"rule\":";
    AppendJsonString(out, RuleName(b->Rule));
    out += "}";
  }
  out += "]}\n";
  return out;
}

std::string RenderTokenList(const TRenderedFile& file) {
  const TClientSyntAnalyzer& client = *file.Client;
  const std::u16string& text = file.Text->Text();
  std::string out;
  TLineWalker walker(*file.Text);
  for (int i = 0; i < client.TokenCount(); ++i) {
    const TSyntToken* t = client.Tags(i);
    int line, column;
    walker.At(t->StartPos, line, column);
    out += std::to_string(line + 1) + ":" + std::to_string(column + 1) + " " + std::to_string(t->StartPos) + "-" +
           std::to_string(t->EndPos) + " " + TypeName(file, *t) + " " +
           (t->Rule && t->Rule->Style() ? t->Rule->Style()->DisplayName() : std::string("-")) + " ";
    AppendJsonString(out, std::u16string_view(text).substr(static_cast<size_t>(t->StartPos),
                                                           static_cast<size_t>(t->EndPos - t->StartPos)));
    out.push_back('\n');
  }
  return out;
}

std::string RenderBlockList(const TRenderedFile& file) {
  const TClientSyntAnalyzer& client = *file.Client;
  const TSyntMemoStrings& text = *file.Text;
  std::string out = "ranges " + std::to_string(client.RangeCount()) + "\n";
  for (int i = 0; i < client.RangeCount(); ++i) {
    const TTextRange* r = client.Ranges(i);
    int start, end;
    RangeBounds(client, *r, start, end);
    out += std::string(2 * (1 + Depth(r)), ' ') + RuleName(r->Rule) + " " + LineCol(text, start) + "-" +
           (end < 0 ? std::string("open") : LineCol(text, std::max(start, end - 1))) + "\n";
  }
  std::vector<const TCollapsibleRange*> folds;
  if (file.Collapsibles)
    for (int l = 0; l < file.Collapsibles->LayerCount(); ++l)
      for (int i = 0; i < file.Collapsibles->Layers(l)->Count(); ++i)
        folds.push_back(static_cast<const TCollapsibleRange*>(file.Collapsibles->Layers(l)->Items(i)));
  std::sort(folds.begin(), folds.end(), [](auto* a, auto* b) { return a->StartPos < b->StartPos; });
  out += "collapsible " + std::to_string(folds.size()) + "\n";
  for (const TCollapsibleRange* c : folds)
    out += "  lines " + std::to_string(text.StrPosToCaretPos(c->StartPos).Y + 1) + "-" +
           std::to_string(text.StrPosToCaretPos(std::max(c->StartPos, c->EndPos - 1)).Y + 1) + "\n";
  out += "sublexers " + std::to_string(client.SubLexerBlocks().size()) + "\n";
  for (const auto& s : client.SubLexerBlocks()) {
    const TSyntAnalyzer* sub = s->Rule ? s->Rule->SyntAnalyzer() : nullptr;
    out += "  " + RuleName(s->Rule) + " " + LineCol(text, s->StartPos) + "-" +
           (s->EndPos < 0 ? std::string("open") : LineCol(text, std::max(s->StartPos, s->EndPos - 1))) + " -> " +
           (sub ? (sub->LexerName().empty() ? sub->Name() : sub->LexerName()) : std::string("-")) + "\n";
  }
  out += "linebreaks " + std::to_string(client.LineBreaks().size()) + "\n";
  for (const auto& b : client.LineBreaks())
    out += "  line " + std::to_string(b->Line + 1) + " " + RuleName(b->Rule) + "\n";
  return out;
}

}  // namespace qv
