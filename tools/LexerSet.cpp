#include "tools/LexerSet.h"

#include <algorithm>
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

std::string TopLevelValue(std::string_view text, std::string_view name) {
  const std::string key = "\n  " + std::string(name) + " = ";
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return "";
  std::string value;
  size_t i = at + key.size();
  if (i < text.size() && text[i] == '\'') {
    for (++i; i < text.size() && text[i] != '\n'; ++i) {
      if (text[i] == '\'') {
        if (i + 1 < text.size() && text[i + 1] == '\'') {
          value.push_back('\'');
          ++i;
          continue;
        }
        break;
      }
      value.push_back(text[i]);
    }
  } else {
    while (i < text.size() && IsIdentChar(text[i])) value.push_back(text[i++]);
  }
  return value;
}

std::vector<std::string> SubLexerNames(std::string_view text) {
  std::vector<std::string> names;
  const std::string_view key = "SyntAnalyzer = ";
  for (size_t at = text.find(key); at != std::string_view::npos; at = text.find(key, at + 1)) {
    size_t i = at + key.size();
    std::string name;
    while (i < text.size() && IsIdentChar(text[i])) name.push_back(text[i++]);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

TLexerSet::TLexerSet() {
  RegisterBundledLexerResources();
  for (const TBundledLexer& b : BundledLexers()) {
    std::string_view data;
    if (!FindResource(HInstance, SLexerResourceType, b.Component, data))
      throw Exception(std::string("bundled lexer missing: ") + b.Component);
    FEntries.push_back({b.Component, TopLevelValue(data, "LexerName"), TopLevelValue(data, "Extentions"), nullptr, data});
  }
}

TLexerSet::~TLexerSet() = default;

void TLexerSet::LoadBundled() {
  for (size_t i = 0; i < BundledLexers().size(); ++i) Load(i);
}

TSyntAnalyzer* TLexerSet::Load(size_t index) {
  TLexerEntry& e = FEntries.at(index);
  if (e.Lexer) return e.Lexer;
  // Sub-lexers first, so the references resolve.
  LoadSubLexers(e.Data);
  if (e.Lexer) return e.Lexer;  // a lexer that names itself
  auto* lexer = new TSyntAnalyzer(&FOwner);
  lexer->SetName(e.Component);
  e.Lexer = lexer;
  FLexers.push_back(lexer);
  TMemoryStream in{std::string(e.Data)};
  lexer->LoadFromStream(in);
  return lexer;
}

void TLexerSet::LoadSubLexers(std::string_view text) {
  for (const std::string& name : SubLexerNames(text))
    for (size_t i = 0; i < BundledLexers().size(); ++i)
      if (!FEntries[i].Lexer && SameText(FEntries[i].Component, name)) Load(i);
}

TSyntAnalyzer* TLexerSet::Loaded(TSyntAnalyzer* lexer) {
  FLexers.push_back(lexer);
  FEntries.push_back({lexer->Name(), lexer->LexerName(), lexer->Extentions(), lexer, {}});
  return lexer;
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
  LoadSubLexers(text);
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
  return Loaded(lexer);
}

TSyntAnalyzer* TLexerSet::LoadFile(const std::string& path, std::vector<TLexerLoadError>* errors) {
  TFileStream stream(path, fmOpenRead | fmShareDenyWrite);
  TMemoryStream data;
  data.CopyFrom(stream, 0);
  return LoadData(data.DataString(), errors);
}

TSyntAnalyzer* TLexerSet::Find(std::string_view name) {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (SameText(FEntries[i].LexerName, name)) return Load(i);
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (SameText(FEntries[i].Component, name)) return Load(i);
  return nullptr;
}

}  // namespace qv
