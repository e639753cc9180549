#include "tools/Commands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>

#include "framework/ObjectText.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "framework/TextServices.h"
#include "setup/Setup.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvTokenRules.h"
#include "syntax/qvSyntManager.h"
#include "syntax/qvZRegExpr.h"
#include "syntax/qvZRegExprNodes.h"
#include "tools/Detect.h"
#include "tools/FileAnalysis.h"
#include "tools/LexerCheck.h"
#include "tools/LexerSet.h"
#include "tools/TextInput.h"

namespace qv {
namespace {

inline constexpr const char* SPlainText = "Plain Text";

// The lexer options shared by highlight, tokens and blocks.
struct TLexerChoice {
  std::string Name;
  std::string File;
};

void AddLexerOptions(CLI::App& cmd, TLexerChoice& choice) {
  auto* name = cmd.add_option("--lexer,-l", choice.Name, "Lexer by name (see `vornish lexers`); overrides detection");
  auto* file = cmd.add_option("--lexer-file", choice.File, "Lexer loaded from a lexer file");
  name->excludes(file);
}

// A progress bar on stderr, for runs over many or large files, when stderr is a terminal.
class TProgress {
public:
  TProgress(TToolStreams& s, const std::vector<std::string>& files) : FStreams(s), FTotal(files.size()) {
    if (!s.ErrIsTerminal) return;
    uintmax_t bytes = 0;
    std::error_code ec;
    for (const std::string& f : files) {
      const uintmax_t size = std::filesystem::file_size(f, ec);
      if (!ec) bytes += size;
    }
    FShown = files.size() > 8 || bytes > (8u << 20);
  }
  ~TProgress() {
    if (FDrawn) FStreams.Err << "\r\x1b[K" << std::flush;
  }
  void Step(size_t done, const std::string& name) {
    if (!FShown) return;
    const int width = 30;
    const int filled = FTotal ? static_cast<int>(done * width / FTotal) : width;
    std::string shortName = name.size() > 40 ? "..." + name.substr(name.size() - 37) : name;
    FStreams.Err << "\r\x1b[K[" << std::string(static_cast<size_t>(filled), '#')
                 << std::string(static_cast<size_t>(width - filled), ' ') << "] " << done << "/" << FTotal << " "
                 << shortName << std::flush;
    FDrawn = true;
  }

private:
  TToolStreams& FStreams;
  size_t FTotal;
  bool FShown = false;
  bool FDrawn = false;
};

class TTool {
public:
  explicit TTool(TToolStreams s) : S(s) {}

  int Highlight(const std::vector<std::string>& files, const TLexerChoice& choice, std::string format,
                const std::string& output, const THtmlOptions& html) {
    if (format.empty()) format = S.OutIsTerminal && output.empty() ? "ansi" : "html";
    TSyntAnalyzer* fixed = nullptr;
    if (!ChooseLexer(choice, fixed)) return ExitUsage;
    std::vector<std::unique_ptr<TFileAnalysis>> analyses;
    int status = ExitOk;
    TProgress progress(S, files);
    std::string result;
    for (size_t i = 0; i < files.size(); ++i) {
      progress.Step(i, files[i]);
      std::unique_ptr<TFileAnalysis> a = Analyse(files[i], fixed);
      if (!a) {
        status = ExitUsage;
        continue;
      }
      if (format == "ansi") {
        if (files.size() > 1) result += "==> " + files[i] + " <==\n";
        result += RenderAnsi(a->TokensView());
      } else if (format == "json") {
        result += (files.size() > 1 ? (result.empty() ? "[" : ",") : "") + RenderJson(a->View());
      } else {
        analyses.push_back(std::move(a));  // one page for all of them
      }
    }
    progress.Step(files.size(), "");
    if (format == "json" && files.size() > 1) result += result.empty() ? "[]\n" : "]\n";
    if (format == "html") {
      // A page is written as it is made: it is several times the size of its text.
      std::vector<TRenderedFile> views;
      for (const auto& a : analyses) views.push_back(a->TokensView());
      if (!Write(output, [&](std::ostream& out) {
            if (!views.empty()) RenderHtml(views, html, out);
          }))
        return ExitUsage;
      for (const auto& a : analyses) a->WaitForDisplayRanges();
    } else if (!Write(output, result)) {
      return ExitUsage;
    }
    if (S.OnOutputDone) S.OnOutputDone(status);
    return status;
  }

  int Listing(const std::string& file, const TLexerChoice& choice, bool json, bool blocks) {
    TSyntAnalyzer* fixed = nullptr;
    if (!ChooseLexer(choice, fixed)) return ExitUsage;
    std::unique_ptr<TFileAnalysis> a = Analyse(file, fixed);
    if (!a) return ExitUsage;
    if (json) S.Out << RenderJson(a->View());
    else S.Out << (blocks ? RenderBlockList(a->View()) : RenderTokenList(a->View()));
    return ExitOk;
  }

  int Check(const std::vector<std::string>& files) {
    int status = ExitOk;
    for (const std::string& path : files) {
      std::string text;
      if (!ReadBytes(path, text)) {
        status = ExitUsage;
        continue;
      }
      std::vector<TLexerLoadError> errors;
      TSyntAnalyzer* lexer = nullptr;
      // Each file in a set of its own, so that files checked together cannot clash by name
      // (a lexer file and another that loads the same lexer as a sub-lexer).
      TLexerSet lexers;
      try {
        lexer = lexers.LoadData(text, &errors);
      } catch (const EParserError& e) {
        S.Err << path << ":" << e.Line() << ": " << e.Reason() << "\n";
        status = std::max(status, ExitProblems);
        continue;
      } catch (const std::exception& e) {
        S.Err << path << ": " << e.what() << "\n";
        status = std::max(status, ExitProblems);
        continue;
      }
      {
        // Problems are reported against the text form.
        TMemoryStream probe(text);
        if (TestStreamFormat(probe) == sofBinary) {
          TMemoryStream out;
          ObjectBinaryToText(probe, out);
          text = out.DataString();
        }
      }
      size_t count = errors.size();
      for (const TLexerLoadError& e : errors) S.Out << Where(path, e.Line) << e.Message << "\n";
      for (const TLexerProblem& p : CheckLexer(*lexer, text)) {
        S.Out << Where(path, p.Line) << p.Message << "\n";
        ++count;
      }
      if (count) status = std::max(status, ExitProblems);
      else S.Out << path << ": ok (" << (lexer->LexerName().empty() ? lexer->Name() : lexer->LexerName()) << ", "
                 << lexer->TokenRules()->Count() << " token rules, " << lexer->BlockRules()->Count()
                 << " block rules)\n";
    }
    return status;
  }

  int Match(const std::string& expression, const std::string& text, int pos, bool backward,
            const std::string& flags, const std::string& modifiers) {
    TqvRegExpr re;
    try {
      // --flags takes the letters alone, --modifiers the group as an expression writes it.
      std::string group = !modifiers.empty() ? modifiers : flags.empty() ? std::string() : "(?" + flags + ")";
      if (!group.empty()) {
        if (group.rfind("(?", 0) != 0 || group.back() != ')') throw Exception("Unexpected modifier");
        re.SetModifierStr(Utf8ToWide(group));
      }
    } catch (const Exception& e) {
      S.Err << "vornish: invalid modifiers: " << e.Message() << "\n";
      return ExitUsage;
    }
    const std::u16string wideExpr = Utf8ToWide(expression);
    re.SetExpression(wideExpr);
    try {
      TqvRegExpr probe;
      probe.Assign(&re);
      probe.CompileText(WideToMultiByte(wideExpr, GetACP()));
    } catch (const Exception& e) {
      S.Out << "expression does not compile: " << e.Message() << "\n";
      return ExitUsage;
    }
    const std::u16string subject = Utf8ToWide(text);
    const int length = static_cast<int>(subject.size());
    if (pos < 1 || pos > length + 1) {
      S.Err << "vornish: --pos " << pos << " lies outside the text (1.." << length + 1 << ")\n";
      return ExitUsage;
    }
    int end = pos;
    bool matched;
    try {
      matched = re.MatchWide(subject, end, backward);
    } catch (const Exception& e) {
      S.Out << "no match: " << e.Message() << "\n";
      return ExitProblems;
    }
    S.Out << "modifiers " << WideToUtf8(re.ModifierStr()) << "\n";
    if (!matched) {
      S.Out << "no match at " << pos << (backward ? " looking backward" : "") << "\n";
      return ExitProblems;
    }
    const int from = backward ? end : pos;
    const int to = backward ? pos : end;
    std::string quoted;
    AppendJsonString(quoted, std::u16string_view(subject).substr(static_cast<size_t>(from - 1),
                                                                 static_cast<size_t>(to - from)));
    S.Out << "match at " << from << ", length " << to - from << ": " << quoted << "\n";
    if (const TreRootNode* root = re.Root())
      for (size_t g = 1; g < root->SubExprs.size(); ++g) {
        const TreSubExpr* sub = root->SubExprs[g];
        S.Out << "group " << g << ": ";
        if (sub->CapStart < 1 || sub->CapEnd < sub->CapStart || sub->CapEnd > length + 1) {
          S.Out << "not set\n";
          continue;
        }
        std::string cap;
        AppendJsonString(cap, std::u16string_view(subject).substr(static_cast<size_t>(sub->CapStart - 1),
                                                                  static_cast<size_t>(sub->CapEnd - sub->CapStart)));
        S.Out << sub->CapStart << ", length " << sub->CapEnd - sub->CapStart << ": " << cap << "\n";
      }
    return ExitOk;
  }

  int Lexers() {
    size_t width = 4;
    for (const TLexerEntry& e : FLexers.Entries()) width = std::max(width, e.LexerName.size());
    S.Out << "Name" << std::string(width - 4 + 2, ' ') << "Extensions\n";
    for (const TLexerEntry& e : FLexers.Entries())
      S.Out << e.LexerName << std::string(width - e.LexerName.size() + 2, ' ') << e.Extentions << "\n";
    return ExitOk;
  }

  int Convert(const std::string& in, const std::string& out, bool binary) {
    std::string data;
    if (!ReadBytes(in, data)) return ExitUsage;
    std::string text;
    try {
      TMemoryStream source(data);
      const TStreamOriginalFormat format = TestStreamFormat(source);
      if (format == sofUnknown) throw EToolError("not a lexer or library file");
      TMemoryStream saved;
      if (IsLibrary(data, format)) {
        auto* manager = new TSyntaxManager(&FLexers.Owner());
        if (format == sofBinary) {
          TMemoryStream converted;
          ObjectBinaryToText(source, converted);
          converted.SetPosition(0);
          manager->LoadFromStream(converted);
        } else {
          manager->LoadFromStream(source);
        }
        manager->SaveToStream(saved);
      } else {
        std::vector<TLexerLoadError> errors;
        TSyntAnalyzer* lexer = FLexers.LoadData(data, &errors);
        for (const TLexerLoadError& e : errors) S.Err << Where(in, e.Line) << e.Message << "\n";
        lexer->SaveToStream(saved);
      }
      text = saved.DataString();
    } catch (const EParserError& e) {
      S.Err << in << ":" << e.Line() << ": " << e.Reason() << "\n";
      return ExitUsage;
    } catch (const std::exception& e) {
      S.Err << in << ": " << e.what() << "\n";
      return ExitUsage;
    }
    if (binary) {
      TMemoryStream source(text);
      TMemoryStream converted;
      ObjectTextToBinary(source, converted);
      text = converted.DataString();
    }
    return Write(out, text) ? ExitOk : ExitUsage;
  }

private:
  TToolStreams S;
  TLexerSet FLexers;
  TSyntAnalyzer* FPlain = nullptr;

  static std::string Where(const std::string& path, int line) {
    return line > 0 ? path + ":" + std::to_string(line) + ": " : path + ": ";
  }

  static bool IsLibrary(const std::string& data, TStreamOriginalFormat format) {
    if (format == sofBinary) return data.find("\x0eTSyntaxManager") != std::string::npos;
    const size_t colon = data.find(':');
    const size_t eol = data.find('\n');
    return colon != std::string::npos && colon < eol &&
           data.substr(colon, std::min(eol, data.size()) - colon).find("TSyntaxManager") != std::string::npos;
  }

  bool ReadBytes(const std::string& path, std::string& bytes) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      S.Err << path << ": is a directory\n";
      return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      S.Err << path << ": " << std::strerror(errno) << "\n";
      return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return true;
  }

  bool Write(const std::string& path, const std::string& data) {
    return Write(path, [&data](std::ostream& out) { out << data; });
  }
  // The output made by fill, to the file path or to Out for none or "-"; false, with a
  // message, when the file cannot be written.
  bool Write(const std::string& path, const std::function<void(std::ostream&)>& fill) {
    if (path.empty() || path == "-") {
      fill(S.Out);
      S.Out << std::flush;
      return true;
    }
    std::ofstream out(path, std::ios::binary);
    if (out) fill(out);
    if (out) out.close();
    if (!out) {
      S.Err << path << ": cannot write: " << std::strerror(errno) << "\n";
      return false;
    }
    return true;
  }

  // The lexer fixed by the options, or null to detect one per file; false after an error.
  bool ChooseLexer(const TLexerChoice& choice, TSyntAnalyzer*& lexer) {
    lexer = nullptr;
    if (!choice.Name.empty()) {
      lexer = LexerForAlias(FLexers, choice.Name);
      if (!lexer && SameText(choice.Name, SPlainText)) lexer = Plain();
      if (!lexer) {
        S.Err << "vornish: no lexer named '" << choice.Name << "' (see vornish lexers)\n";
        return false;
      }
    } else if (!choice.File.empty()) {
      std::vector<TLexerLoadError> errors;
      try {
        std::string data;
        if (!ReadBytes(choice.File, data)) return false;
        lexer = FLexers.LoadData(data, &errors);
      } catch (const EParserError& e) {
        S.Err << choice.File << ":" << e.Line() << ": " << e.Reason() << "\n";
        return false;
      } catch (const std::exception& e) {
        S.Err << choice.File << ": " << e.what() << "\n";
        return false;
      }
      for (const TLexerLoadError& e : errors) S.Err << Where(choice.File, e.Line) << e.Message << "\n";
    }
    return true;
  }

  TSyntAnalyzer* Plain() {
    if (!FPlain) {
      FPlain = new TSyntAnalyzer(&FLexers.Owner());
      FPlain->SetLexerName(SPlainText);
    }
    return FPlain;
  }

  std::unique_ptr<TFileAnalysis> Analyse(const std::string& path, TSyntAnalyzer* fixed) {
    std::unique_ptr<TFileAnalysis> a;
    try {
      a = std::make_unique<TFileAnalysis>(path);
      ReadTextFile(path, a->Text);
      TSyntAnalyzer* lexer = fixed;
      if (!lexer) lexer = DetectLexer(FLexers, path, a->Text.GetCount() ? a->Text.Get(0) : std::u16string());
      if (!lexer) lexer = Plain();
      a->Run(lexer);
    } catch (const EToolError& e) {
      S.Err << e.what() << "\n";
      return nullptr;
    } catch (const std::exception& e) {
      S.Err << path << ": " << e.what() << "\n";
      return nullptr;
    }
    return a;
  }
};

}  // namespace

int RunTool(const std::vector<std::string>& args, TToolStreams streams) {
  CLI::App app{"Rule-driven syntax analysis of source text.", "vornish"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string(ProductName) + " " + EditionLabel());
  app.footer("Exit status: 0 success, 1 problems found, 2 bad usage or unreadable input.");

  std::vector<std::string> files;
  TLexerChoice choice;
  std::string format, output, expression, text, flags, modifiers, in, out;
  THtmlOptions html;
  bool json = false, binary = false, backward = false;
  int pos = 1;

  auto* highlight = app.add_subcommand("highlight", "Analyse files and write them highlighted (HTML, ANSI or JSON)");
  highlight->add_option("FILE", files, "Text files")->required();
  AddLexerOptions(*highlight, choice);
  highlight->add_option("--format,-f", format, "html, ansi or json (default: ansi on a terminal, else html)")
      ->check(CLI::IsMember({"html", "ansi", "json"}));
  highlight->add_option("-o,--output", output, "Write to this file instead of standard output");
  highlight->add_flag("--fragment", html.Fragment, "HTML: only the style sheet and <pre> elements, for embedding");
  highlight->add_flag("--line-numbers,-n", html.LineNumbers, "HTML: number the lines");
  highlight->add_option("--title", html.Title, "HTML: page title (default: the first file name)");

  auto* tokens = app.add_subcommand("tokens", "List the tokens of a file, one a line");
  tokens->add_option("FILE", in, "Text file")->required();
  AddLexerOptions(*tokens, choice);
  tokens->add_flag("--json", json, "The whole analysis as JSON");

  auto* blocks = app.add_subcommand("blocks", "List the block ranges, folding ranges, sub-lexer ranges and line breaks");
  blocks->add_option("FILE", in, "Text file")->required();
  AddLexerOptions(*blocks, choice);
  blocks->add_flag("--json", json, "The whole analysis as JSON");

  auto* check = app.add_subcommand("check", "Load lexer files and report their problems");
  check->add_option("LEXERFILE", files, "Lexer files")->required();

  auto* match = app.add_subcommand("match", "Try an expression of the lexer language on a text");
  match->add_option("EXPR", expression, "The expression")->required();
  match->add_option("TEXT", text, "The text")->required();
  match->add_option("--pos", pos, "1-based position the match is anchored at (default 1)");
  match->add_flag("--backward", backward, "Match backward, ending at --pos");
  auto* flagsOpt = match->add_option("--flags", flags, "Modifier letters, as in (?<letters>): i r s g m x, '-' to clear");
  auto* modifiersOpt = match->add_option("--modifiers", modifiers, "Modifiers as an expression would set them: '(?is-m)'");
  flagsOpt->excludes(modifiersOpt);

  auto* lexers = app.add_subcommand("lexers", "List the bundled lexers");

  auto* convert = app.add_subcommand("convert", "Load a lexer or library file and save it again");
  convert->add_option("IN", in, "Lexer or library file (text or binary form)")->required();
  convert->add_option("OUT", out, "File to write")->required();
  convert->add_flag("--binary", binary, "Write the binary form instead of text");

  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e, streams.Out, streams.Err);
    return code == 0 ? ExitOk : ExitUsage;
  }

  TTool tool(streams);
  if (highlight->parsed()) return tool.Highlight(files, choice, format, output, html);
  if (tokens->parsed()) return tool.Listing(in, choice, json, false);
  if (blocks->parsed()) return tool.Listing(in, choice, json, true);
  if (check->parsed()) return tool.Check(files);
  if (match->parsed()) return tool.Match(expression, text, pos, backward, flags, modifiers);
  if (lexers->parsed()) return tool.Lexers();
  if (convert->parsed()) return tool.Convert(in, out, binary);
  return ExitUsage;
}

}  // namespace qv
