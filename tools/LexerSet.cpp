#include "tools/LexerSet.h"

#include <mutex>

#include "framework/Dialogs.h"
#include "framework/ObjectText.h"
#include "framework/Resources.h"
#include "framework/Streams.h"
#include "framework/SysUtils.h"
#include "syntax/qvLoadable.h"

namespace qv {

// Generated from lexers/*.lxr by the build (cmake/EmbedResources.cmake).
void RegisterBundledLexers();

namespace {

inline constexpr const char* SLexerResourceType = "LEXER";

// While it lives, the "ignore this read error?" question of a lexer load is answered yes and
// the error is written down instead of shown.
class TReadErrorCollector {
public:
  TReadErrorCollector(std::string_view text, std::vector<TLexerLoadError>* errors)
      : FText(text), FErrors(errors) {
    FSaved = SetMessageDlgHandler([this](const std::string& msg, TMsgDlgType, TMsgDlgButtons) {
      std::string message = msg;
      const std::string prefix = std::string(SIgnoreReadError) + "\r\n";
      if (message.compare(0, prefix.size(), prefix) == 0) message.erase(0, prefix.size());
      const int line = LineOfReadError(FText, message, FLastLine);
      if (line > 0) FLastLine = line;
      if (FErrors) FErrors->push_back({line, message});
      return mrYes;
    });
  }
  ~TReadErrorCollector() { SetMessageDlgHandler(std::move(FSaved)); }
  TReadErrorCollector(const TReadErrorCollector&) = delete;
  TReadErrorCollector& operator=(const TReadErrorCollector&) = delete;

private:
  std::string_view FText;
  std::vector<TLexerLoadError>* FErrors;
  TMessageDlgHandler FSaved;
  int FLastLine = 1;
};

bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The component name in the first line of a lexer text ("object Name: TClass"), or "".
std::string HeaderName(std::string_view text) {
  size_t i = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
    ++i;
  size_t word = i;
  while (i < text.size() && IsIdentChar(text[i])) ++i;
  if (!SameText(text.substr(word, i - word), "object")) return "";
  while (i < text.size() && text[i] == ' ') ++i;
  const size_t name = i;
  while (i < text.size() && IsIdentChar(text[i])) ++i;
  if (i == name || i >= text.size() || text[i] != ':') return "";
  return std::string(text.substr(name, i - name));
}

}  // namespace

const std::vector<TBundledLexer>& BundledLexers() {
  static const std::vector<TBundledLexer> list = {
      {"C", "c.lxr"},
      {"CPP", "cpp.lxr"},
      {"Java", "java.lxr"},
      {"CSharp", "csharp.lxr"},
      {"JavaScript", "javascript.lxr"},
      {"TypeScript", "typescript.lxr"},
      {"Python", "python.lxr"},
      {"Pascal", "pascal.lxr"},
      {"CSS", "css.lxr"},
      {"HTML", "html.lxr"},
      {"XML", "xml.lxr"},
      {"JSON", "json.lxr"},
      {"SQL", "sql.lxr"},
      {"Shell", "shell.lxr"},
      {"Makefile", "makefile.lxr"},
      {"INI", "ini.lxr"},
      {"Markdown", "markdown.lxr"},
      {"YAML", "yaml.lxr"},
      {"Diff", "diff.lxr"},
  };
  return list;
}

void RegisterBundledLexerResources() {
  static std::once_flag once;
  std::call_once(once, [] { RegisterBundledLexers(); });
}

int LineOfReadError(std::string_view text, std::string_view message, int fromLine) {
  // "Error reading Name.Items[2].Caption: reason": the last name of the path is the property.
  const std::string_view lead = "Error reading ";
  if (message.substr(0, lead.size()) != lead) return 0;
  std::string_view path = message.substr(lead.size());
  path = path.substr(0, path.find(':'));
  const size_t dot = path.rfind('.');
  std::string_view prop = dot == std::string_view::npos ? path : path.substr(dot + 1);
  if (const size_t bracket = prop.find('['); bracket != std::string_view::npos)
    prop = prop.substr(0, bracket);
  if (prop.empty()) return 0;
  // The first line from fromLine on whose first word is the property, then from the top.
  for (int pass = 0; pass < 2; ++pass) {
    int line = 1;
    size_t start = 0;
    while (start <= text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      if (line >= (pass == 0 ? fromLine : 1)) {
        std::string_view l = text.substr(start, end - start);
        const size_t first = l.find_first_not_of(" \t");
        if (first != std::string_view::npos) {
          l = l.substr(first);
          if (l.size() > prop.size() && SameText(l.substr(0, prop.size()), prop) &&
              !IsIdentChar(l[prop.size()]))
            return line;
        }
      }
      if (end == text.size()) break;
      start = end + 1;
      ++line;
    }
  }
  return 0;
}

TLexerSet::TLexerSet() { RegisterBundledLexerResources(); }

TLexerSet::~TLexerSet() = default;

void TLexerSet::LoadBundled() {
  if (FBundledLoaded) return;
  FBundledLoaded = true;
  for (const TBundledLexer& b : BundledLexers()) {
    if (FOwner.FindComponent(b.Component)) continue;
    auto* lexer = new TSyntAnalyzer(&FOwner);
    lexer->SetName(b.Component);
    FLexers.push_back(lexer);
    lexer->LoadFromResourceName(HInstance, b.Component, SLexerResourceType);
  }
}

TSyntAnalyzer* TLexerSet::LoadData(std::string_view data, std::vector<TLexerLoadError>* errors) {
  // The binary form is turned into text first, so errors can name lines of it.
  std::string text(data);
  {
    TMemoryStream probe(text);
    if (TestStreamFormat(probe) == sofBinary) {
      TMemoryStream out;
      ObjectBinaryToText(probe, out);
      text = out.DataString();
    }
  }
  auto* lexer = new TSyntAnalyzer(&FOwner);
  const std::string name = HeaderName(text);
  if (!name.empty() && !FOwner.FindComponent(name)) lexer->SetName(name);
  try {
    TReadErrorCollector collector(text, errors);
    TMemoryStream in(text);
    lexer->LoadFromStream(in);
  } catch (...) {
    delete lexer;
    throw;
  }
  FLexers.push_back(lexer);
  return lexer;
}

TSyntAnalyzer* TLexerSet::LoadFile(const std::string& path, std::vector<TLexerLoadError>* errors) {
  TFileStream stream(path, fmOpenRead | fmShareDenyWrite);
  TMemoryStream data;
  data.CopyFrom(stream, 0);
  return LoadData(data.DataString(), errors);
}

TSyntAnalyzer* TLexerSet::Find(std::string_view name) {
  LoadBundled();
  for (TSyntAnalyzer* lexer : FLexers)
    if (SameText(lexer->LexerName(), name)) return lexer;
  for (TSyntAnalyzer* lexer : FLexers)
    if (SameText(lexer->Name(), name)) return lexer;
  return nullptr;
}

}  // namespace qv
