#include "tools/Detect.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "framework/SysUtils.h"
#include "syntax/qvStrUtils.h"

namespace qv {
namespace {

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return r;
}

bool ExtensionListed(const std::string& extentions, std::string_view ext) {
  // Extentions is a list of extensions without dots, separated by blanks, commas or
  // semicolons; an entry may still carry a leading "." or "*.".
  size_t i = 0;
  while (i < extentions.size()) {
    while (i < extentions.size() && (extentions[i] == ' ' || extentions[i] == ',' || extentions[i] == ';'))
      ++i;
    size_t j = i;
    while (j < extentions.size() && extentions[j] != ' ' && extentions[j] != ',' && extentions[j] != ';') ++j;
    std::string_view item(extentions.data() + i, j - i);
    if (item.substr(0, 2) == "*.") item.remove_prefix(2);
    else if (item.substr(0, 1) == ".") item.remove_prefix(1);
    if (!item.empty() && SameText(item, ext)) return true;
    i = j;
  }
  return false;
}

// The word after "key" ending at a blank, ':' or ';' (for "mode: python", "ft=cpp").
std::string WordAfter(std::string_view line, std::string_view key) {
  const std::string lower = Lower(line);
  size_t at = lower.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  while (at < line.size() && line[at] == ' ') ++at;
  size_t end = at;
  while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '+' ||
                               line[end] == '#' || line[end] == '-' || line[end] == '_'))
    ++end;
  std::string word(line.substr(at, end - at));
  while (!word.empty() && word.back() == '-') word.pop_back();  // "-*- C++ -*-"
  return word;
}

TSyntAnalyzer* FromModeLine(TLexerSet& lexers, std::string_view line) {
  // Emacs: "-*- name -*-" or "-*- mode: name; ... -*-".
  if (const size_t a = line.find("-*-"); a != std::string_view::npos) {
    const size_t b = line.find("-*-", a + 3);
    if (b != std::string_view::npos) {
      std::string_view inner = line.substr(a + 3, b - a - 3);
      std::string name = WordAfter(inner, "mode:");
      if (name.empty()) {
        const size_t first = inner.find_first_not_of(' ');
        if (first != std::string_view::npos && inner.find(':') == std::string_view::npos)
          name = WordAfter(inner.substr(first), "");
      }
      if (TSyntAnalyzer* lexer = LexerForAlias(lexers, name)) return lexer;
    }
  }
  // Vim: "vim: set ft=name:", "vi: filetype=name".
  const std::string lower = Lower(line);
  if (lower.find("vim:") != std::string::npos || lower.find("vi:") != std::string::npos) {
    for (std::string_view key : {"filetype=", "ft=", "syntax="})
      if (TSyntAnalyzer* lexer = LexerForAlias(lexers, WordAfter(line, key))) return lexer;
  }
  return nullptr;
}

TSyntAnalyzer* FromShebang(TLexerSet& lexers, std::string_view line) {
  if (line.substr(0, 2) != "#!") return nullptr;
  // "#!/usr/bin/env -S python3 -u" names python3; "#!/bin/sh -e" names sh.
  std::vector<std::string_view> words;
  size_t i = 2;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ') ++j;
    if (j > i) words.push_back(line.substr(i, j - i));
    i = j;
  }
  for (size_t w = 0; w < words.size(); ++w) {
    std::string_view word = words[w];
    const size_t slash = word.rfind('/');
    if (slash != std::string_view::npos) word.remove_prefix(slash + 1);
    if (word == "env" || (!word.empty() && word[0] == '-')) continue;
    std::string name = Lower(word);
    // python3.11 → python, bash5 → bash
    while (!name.empty() && (std::isdigit(static_cast<unsigned char>(name.back())) || name.back() == '.'))
      name.pop_back();
    return LexerForAlias(lexers, name);
  }
  return nullptr;
}

}  // namespace

TSyntAnalyzer* LexerForAlias(TLexerSet& lexers, std::string_view name) {
  if (name.empty()) return nullptr;
  static const std::pair<const char*, const char*> aliases[] = {
      {"c++", "C++"},        {"cpp", "C++"},        {"cxx", "C++"},
      {"sh", "Shell"},       {"bash", "Shell"},     {"dash", "Shell"},
      {"zsh", "Shell"},      {"ksh", "Shell"},      {"shell-script", "Shell"},
      {"js", "JavaScript"},  {"node", "JavaScript"}, {"nodejs", "JavaScript"},
      {"ts", "TypeScript"},  {"py", "Python"},      {"python", "Python"},
      {"md", "Markdown"},    {"yml", "YAML"},       {"patch", "Diff"},
      {"make", "Makefile"},  {"gmake", "Makefile"}, {"makefile-gmake", "Makefile"},
      {"delphi", "Pascal"},  {"objectpascal", "Pascal"}, {"cs", "C#"},
      {"csharp", "C#"},      {"dosini", "INI"},     {"conf", "INI"},
      {"xhtml", "HTML"},     {"svg", "XML"},
  };
  const std::string lower = Lower(name);
  for (const auto& [alias, lexerName] : aliases)
    if (lower == alias) return lexers.Find(lexerName);
  return lexers.Find(name);
}

TSyntAnalyzer* DetectLexer(TLexerSet& lexers, const std::string& path, std::u16string_view firstLine) {
  const std::filesystem::path p(path);
  const std::string fileName = p.filename().string();
  std::string ext = p.extension().string();
  if (!ext.empty()) ext.erase(0, 1);

  // 1. Extension.
  if (!ext.empty() && fileName != "." + ext)
    for (size_t i = 0; i < lexers.Entries().size(); ++i)
      if (ExtensionListed(lexers.Entries()[i].Extentions, ext)) return lexers.Load(i);

  // 2. Well-known names.
  static const std::pair<const char*, const char*> names[] = {
      {"Makefile", "Makefile"},    {"GNUmakefile", "Makefile"}, {"makefile", "Makefile"},
      {".bashrc", "Shell"},        {".profile", "Shell"},       {".bash_profile", "Shell"},
      {".bash_logout", "Shell"},   {".zshrc", "Shell"},         {"configure", "Shell"},
      {".editorconfig", "INI"},    {".gitconfig", "INI"},       {"setup.cfg", "INI"},
  };
  for (const auto& [name, lexerName] : names)
    if (fileName == name)
      if (TSyntAnalyzer* lexer = lexers.Find(lexerName)) return lexer;
  if (fileName.rfind("Makefile.", 0) == 0 || fileName.rfind("makefile.", 0) == 0)
    if (TSyntAnalyzer* lexer = lexers.Find("Makefile")) return lexer;

  // 3. The first line.
  std::string line;
  for (char16_t c : firstLine.substr(0, 200)) line.push_back(c < 128 ? static_cast<char>(c) : '?');
  if (TSyntAnalyzer* lexer = FromModeLine(lexers, line)) return lexer;
  if (TSyntAnalyzer* lexer = FromShebang(lexers, line)) return lexer;
  const std::string lower = Lower(line);
  auto startsWith = [&lower](std::string_view s) { return lower.compare(0, s.size(), s) == 0; };
  if (startsWith("<?xml")) return lexers.Find("XML");
  if (startsWith("<!doctype html") || startsWith("<html")) return lexers.Find("HTML");
  if (startsWith("diff ") || startsWith("--- ") || startsWith("index: ")) return lexers.Find("Diff");
  return nullptr;
}

}  // namespace qv
