// The bundled lexers of scripting and build languages (Python, Pascal, SQL, Shell, Makefile):
// real files of this machine covered and left without open blocks, incremental analysis
// after edits, golden dumps of the samples, and small texts whose tokens and blocks are known.
// See tests/support/BundledLexers.h.
#include "tests/support/BundledLexers.h"

#include <gmock/gmock.h>

#include <fstream>

namespace qv::test {
namespace {

constexpr uintmax_t kMaxBytes = 256 * 1024;
constexpr uintmax_t kEditBytes = 30 * 1024;

// At most limit of files, spread over the whole (sorted) list as FindFiles does.
std::vector<std::string> Spread(std::vector<std::string> files, size_t limit) {
  std::sort(files.begin(), files.end());
  if (files.size() <= limit) return files;
  std::vector<std::string> spread;
  for (size_t i = 0; i < limit; ++i) spread.push_back(files[i * files.size() / limit]);
  return spread;
}

// The standard library of the installed Python 3: the newest /usr/lib/python3.N.
std::string PythonLibDir() {
  std::string best;
  int bestMinor = -1;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator("/usr/lib", ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("python3.", 0) != 0 || !e.is_directory(ec)) continue;
    const int minor = std::atoi(name.c_str() + 8);
    if (minor > bestMinor && std::filesystem::exists(e.path() / "os.py", ec)) {
      bestMinor = minor;
      best = e.path().string();
    }
  }
  return best;
}

// Scripts directly in or under dirs whose first line runs sh, dash or bash.
std::vector<std::string> ShellScripts(const std::vector<std::string>& dirs, size_t limit) {
  std::vector<std::string> found;
  for (const std::string& dir : dirs)
    for (const std::string& path : FindFiles(dir, {""}, SIZE_MAX, kMaxBytes)) {
      std::ifstream in(path, std::ios::binary);
      std::string first(128, '\0');
      in.read(first.data(), static_cast<std::streamsize>(first.size()));
      first.resize(static_cast<size_t>(in.gcount()));
      first = first.substr(0, first.find('\n'));
      if (first.rfind("#!", 0) != 0) continue;
      for (const char* shell : {"/sh", "/dash", "/bash", "env bash", "env sh"}) {
        const size_t at = first.find(shell);
        if (at == std::string::npos) continue;
        const size_t end = at + std::char_traits<char>::length(shell);
        if (end == first.size() || first[end] == ' ' || first[end] == '\r') {
          found.push_back(path);
          break;
        }
      }
    }
  return Spread(found, limit);
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> lists) {
  std::vector<std::string> all;
  for (const auto& l : lists) all.insert(all.end(), l.begin(), l.end());
  return all;
}

// A small text analysed by a bundled lexer, with questions about its tokens and ranges.
struct TSmall {
  TBundledAnalysis A;
  TSmall(const std::string& lexerName, const std::u16string& text) : A(lexerName, text) { A.Run(); }

  std::u16string Text(int i) const { return A.Client->TagStr(i); }

  // Index of the n-th token (0-based) whose text is text; -1 when there is none.
  int Find(const std::u16string& text, int n = 0) const {
    for (int i = 0; i < A.Client->TokenCount(); ++i)
      if (Text(i) == text && n-- == 0) return i;
    return -1;
  }

  // "<style>/<type>" of that token: the style of the rule that made or marked it ("-" for
  // none), and its token type; "missing" when there is no such token.
  std::string Kind(const std::u16string& text, int n = 0) const {
    const int i = Find(text, n);
    if (i < 0) return "missing";
    const TSyntToken* t = A.Client->Tags(i);
    std::string style = t->Rule ? t->Rule->StyleName() : std::string();
    return (style.empty() ? "-" : style) + "/" + std::to_string(t->TokenType);
  }

  // Every range as "<rule> <first token>..<last token>", "open" for an open end.
  std::vector<std::string> Ranges() const {
    std::vector<std::string> out;
    for (int i = 0; i < A.Client->RangeCount(); ++i) {
      const TTextRange* r = A.Client->Ranges(i);
      out.push_back((r->Rule ? r->Rule->DisplayName() : std::string("-")) + " " +
                    WideToUtf8(Text(r->StartIdx)) + ".." +
                    (r->IsClosed() ? WideToUtf8(Text(r->EndIdx)) : std::string("open")));
    }
    return out;
  }
};

using ::testing::ElementsAre;

}  // namespace

// ---------------------------------------------------------------------------------------
// Python

TEST(ScriptingPython, StandardLibraryCoveredAndClosed) {
  const std::string lib = PythonLibDir();
  ASSERT_FALSE(lib.empty()) << "no /usr/lib/python3.N";
  const std::vector<std::string> files = FindFiles(lib, {".py"}, 40, kMaxBytes);
  ASSERT_GE(files.size(), 20u);
  ExpectCoveredAndClosed("Python", files);
}

TEST(ScriptingPython, EditsMatchFresh) {
  const std::vector<std::string> files =
      FindFiles(PythonLibDir() + "/json", {".py"}, 2, kEditBytes);
  ASSERT_FALSE(files.empty());
  const std::vector<std::u16string> pieces = {
      u"\"\"\"",   u"'",       u"#",    u"(", u")", u"[", u"\n", u"match x:\n    case [a]:\n",
      u"f\"{x}\"", u"@deco\n", u"0x1F", u"\\"};
  unsigned seed = 11;
  for (const std::string& path : files) ExpectEditsMatchFresh("Python", path, pieces, seed++, 8);
}

TEST(ScriptingPython, Golden) { ExpectGolden("Python", "python.py"); }

TEST(ScriptingPython, StringsInEveryForm) {
  TSmall s("Python",
           u"a = r'\\d' + b\"x\\\"y\" + f'{v!r}' + Rb'''one\n'two'\n''' + \"\"\"doc\"\"\"\n"
           u"c = 'open\n"
           u"d = 'it\\\n"
           u"continues'\n");
  EXPECT_EQ(s.Kind(u"r'\\d'"), "String/4");
  EXPECT_EQ(s.Kind(u"b\"x\\\"y\""), "String/4");
  EXPECT_EQ(s.Kind(u"f'{v!r}'"), "String/4");
  EXPECT_EQ(s.Kind(u"Rb'''one\n'two'\n'''"), "String/4");
  EXPECT_EQ(s.Kind(u"\"\"\"doc\"\"\""), "String/4");
  // An unterminated string ends with its line; a backslash continues it on the next.
  EXPECT_EQ(s.Kind(u"'open"), "String/4");
  EXPECT_EQ(s.Kind(u"'it\\\ncontinues'"), "String/4");
  EXPECT_EQ(s.Kind(u"d"), "-/2");
}

TEST(ScriptingPython, NumbersDecoratorsAndSymbols) {
  TSmall s("Python",
           u"@app.route('/')\ndef f(m):\n    return m @ m ** 2 + 0b1_01 + 0o7 + 0XfF + 1_0.5e-3 + "
           u"3J + .5 + 7\n");
  EXPECT_EQ(s.Kind(u"@app.route"), "Preprocessor/9");
  EXPECT_EQ(s.Kind(u"@"), "Symbol/3");  // matrix product, not a decorator
  EXPECT_EQ(s.Kind(u"**"), "Symbol/3");
  EXPECT_EQ(s.Kind(u"0b1_01"), "Number/7");
  EXPECT_EQ(s.Kind(u"0o7"), "Number/7");
  EXPECT_EQ(s.Kind(u"0XfF"), "Number/7");
  EXPECT_EQ(s.Kind(u"1_0.5e-3"), "Number/6");
  EXPECT_EQ(s.Kind(u"3J"), "Number/6");
  EXPECT_EQ(s.Kind(u".5"), "Number/6");
  EXPECT_EQ(s.Kind(u"7"), "Number/5");
}

TEST(ScriptingPython, KeywordsSoftKeywordsAndTypes) {
  TSmall s("Python",
           u"async def f(x: int) -> None:\n"
           u"    match x:\n"
           u"        case [a, *rest] if a:\n"
           u"            pass\n"
           u"    match = re.match(p, s)\n"
           u"    case = match.group(0)\n"
           u"    type Pair = tuple[int, int]\n"
           u"    print(type(x), Match, True)\n");
  EXPECT_EQ(s.Kind(u"async"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"def"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"None"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"True"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"int"), "Type/2");
  EXPECT_EQ(s.Kind(u"tuple"), "Type/2");
  // Soft keywords only where they start a statement.
  EXPECT_EQ(s.Kind(u"match", 0), "Keyword/2");
  EXPECT_EQ(s.Kind(u"case", 0), "Keyword/2");
  EXPECT_EQ(s.Kind(u"match", 1), "-/2");
  EXPECT_EQ(s.Kind(u"match", 2), "-/2");
  EXPECT_EQ(s.Kind(u"case", 1), "-/2");
  EXPECT_EQ(s.Kind(u"type", 0), "Keyword/2");
  EXPECT_EQ(s.Kind(u"type", 1), "-/2");
  EXPECT_EQ(s.Kind(u"Match"), "-/2");  // names are case-sensitive
}

TEST(ScriptingPython, BracketsFoldAcrossLines) {
  TSmall s("Python",
           u"x = {\n    'a': [1, (2,\n          3)],\n}\n"
           u"s = ')]}'  # ( [ {\n"
           u"def f():\n    return 1\n");
  EXPECT_THAT(s.Ranges(), ElementsAre("Brace open {..}", "Bracket open [..]", "Paren open (..)",
                                      "Paren open (..)"));
  // Statement blocks are indentation, which the token rules do not see: no range for def.
}

// ---------------------------------------------------------------------------------------
// Pascal (the examples of the Free Pascal units)

TEST(ScriptingPascal, ExamplesCoveredAndClosed) {
  const std::vector<std::string> files = Spread(
      Join({FindFiles("/usr/share/doc/fp-units-base", {".pp", ".pas"}, SIZE_MAX, kMaxBytes),
            FindFiles("/usr/share/doc/fp-units-math", {".pp", ".pas"}, SIZE_MAX, kMaxBytes)}),
      40);
  ASSERT_GE(files.size(), 20u) << "install fp-units-base-3.2.2 and fp-units-math-3.2.2";
  ExpectCoveredAndClosed("Pascal", files);
}

TEST(ScriptingPascal, EditsMatchFresh) {
  const std::vector<std::string> files =
      FindFiles("/usr/share/doc/fp-units-base", {".pp", ".pas"}, 2, kEditBytes);
  ASSERT_FALSE(files.empty());
  const std::vector<std::u16string> pieces = {
      u"{",       u"}",          u"(*",       u"*)",
      u"'",       u"begin ",     u"end;",     u" = class(TObject)\n",
      u"record ", u"{$IFDEF X}", u"{$ENDIF}", u"\n",
      u"//"};
  unsigned seed = 21;
  for (const std::string& path : files) ExpectEditsMatchFresh("Pascal", path, pieces, seed++, 8);
}

TEST(ScriptingPascal, Golden) { ExpectGolden("Pascal", "pascal.pas"); }

TEST(ScriptingPascal, TokensAndCase) {
  TSmall s(
      "Pascal",
      u"{$R+} (*$I inc.inc*) { c } (* c *) // c\n"
      u"BEGIN s := 'it''s'#13#10'x' + #$41; n := $1F + &17 + %101 + 2.5E-3 + 7; p^ := @q; End.\n");
  EXPECT_EQ(s.Kind(u"{$R+}"), "Preprocessor/9");
  EXPECT_EQ(s.Kind(u"(*$I inc.inc*)"), "Preprocessor/9");
  EXPECT_EQ(s.Kind(u"{ c }"), "Comment/1");
  EXPECT_EQ(s.Kind(u"(* c *)"), "Comment/1");
  EXPECT_EQ(s.Kind(u"// c"), "Comment/1");
  EXPECT_EQ(s.Kind(u"'it''s'#13#10'x'"), "String/4");
  EXPECT_EQ(s.Kind(u"#$41"), "String/4");
  EXPECT_EQ(s.Kind(u"$1F"), "Number/7");
  EXPECT_EQ(s.Kind(u"&17"), "Number/7");
  EXPECT_EQ(s.Kind(u"%101"), "Number/7");
  EXPECT_EQ(s.Kind(u"2.5E-3"), "Number/6");
  EXPECT_EQ(s.Kind(u"7"), "Number/5");
  EXPECT_EQ(s.Kind(u"BEGIN"), "Keyword/2");  // keywords ignore case
  EXPECT_EQ(s.Kind(u"End"), "Keyword/2");
  EXPECT_EQ(s.Kind(u":="), "Symbol/3");
  EXPECT_THAT(s.Ranges(), ElementsAre("Begin BEGIN..End"));
}

TEST(ScriptingPascal, TypeDeclarationsFold) {
  TSmall s("Pascal",
           u"type\n"
           u"  EError = class(Exception);\n"
           u"  TFwd = class;\n"
           u"  TMeta = class of TFwd;\n"
           u"  TProc = procedure of object;\n"
           u"  TFwd = class(TInterfacedObject, IFoo)\n    procedure P;\n  end;\n"
           u"  TBase = class abstract\n  end;\n"
           u"  IFoo = interface ['{00000000-0000-0000-0000-000000000000}']\n  end;\n"
           u"  TRec = packed record\n    A: Integer;\n    case Tag: Byte of\n      0: (B: Word);\n "
           u"     1: (C: Char);\n  end;\n"
           u"  TOld = object\n  end;\n");
  EXPECT_THAT(s.Ranges(),
              ElementsAre("Derived class class..end", "Class with modifier class..end",
                          "Class interface..end", "Record record..end", "Class object..end"));
}

TEST(ScriptingPascal, StatementsAndSectionsFold) {
  TSmall s(
      "Pascal",
      u"unit U;\ninterface\nprocedure P;\nimplementation\n"
      u"procedure P;\nbegin\n  try\n    case X of\n      1: repeat Inc(X) until X > 9;\n    end;\n"
      u"  except\n    on E: Exception do ;\n  end;\n  asm\n    nop\n  end;\nend;\n"
      u"{$IFDEF FPC}\nconst C = 1;\n{$ENDIF}\n"
      u"initialization\n  X := 0;\nfinalization\n  X := 1;\nend.\n");
  EXPECT_THAT(s.Ranges(), ElementsAre("Section interface..;", "Section implementation..{$ENDIF}",
                                      "Begin begin..end", "Begin try..end", "Case case..end",
                                      "Repeat repeat..until", "Begin asm..end",
                                      "Conditional {$IFDEF FPC}..{$ENDIF}",
                                      "Section initialization..;", "Section finalization..end"));
}

// ---------------------------------------------------------------------------------------
// SQL (the scripts of the PostgreSQL server)

TEST(ScriptingSQL, PostgreSQLScriptsCoveredAndClosed) {
  const std::vector<std::string> files =
      FindFiles("/usr/share/postgresql", {".sql"}, 40, kMaxBytes);
  ASSERT_GE(files.size(), 20u) << "install postgresql-15";
  ExpectCoveredAndClosed("SQL", files);
}

TEST(ScriptingSQL, EditsMatchFresh) {
  const std::vector<std::string> files =
      FindFiles("/usr/share/postgresql", {"/citext--1.4.sql", "/hstore--1.4.sql"}, 2, kEditBytes);
  ASSERT_FALSE(files.empty());
  const std::vector<std::u16string> pieces = {u"'",      u"$$",   u"/*",    u"*/", u"--",
                                              u"BEGIN ", u"END;", u"CASE ", u"(",  u")",
                                              u"\n",     u"\"",   u"$q$"};
  unsigned seed = 31;
  for (const std::string& path : files) ExpectEditsMatchFresh("SQL", path, pieces, seed++, 6);
}

TEST(ScriptingSQL, Golden) { ExpectGolden("SQL", "sql.sql"); }

TEST(ScriptingSQL, Tokens) {
  TSmall s("SQL",
           u"select \"Col\"\"x\", `t`, 'a''b', E'c\\'d', x'1F', $$ body; 'q' $$, $fn$ $$ $fn$,\n"
           u"  $1, @v, 0x1F, 1.5e3, 42 from T where a <> b -- note\n/* block */;\n\\echo done\n");
  EXPECT_EQ(s.Kind(u"select"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"from"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"\"Col\"\"x\""), "-/2");
  EXPECT_EQ(s.Kind(u"`t`"), "-/2");
  EXPECT_EQ(s.Kind(u"'a''b'"), "String/4");
  EXPECT_EQ(s.Kind(u"E'c\\'d'"), "String/4");
  EXPECT_EQ(s.Kind(u"x'1F'"), "String/4");
  EXPECT_EQ(s.Kind(u"$$ body; 'q' $$"), "String/4");
  EXPECT_EQ(s.Kind(u"$fn$ $$ $fn$"), "String/4");
  EXPECT_EQ(s.Kind(u"$1"), "Variable/10");
  EXPECT_EQ(s.Kind(u"@v"), "Variable/10");
  EXPECT_EQ(s.Kind(u"0x1F"), "Number/7");
  EXPECT_EQ(s.Kind(u"1.5e3"), "Number/6");
  EXPECT_EQ(s.Kind(u"42"), "Number/5");
  EXPECT_EQ(s.Kind(u"<>"), "Symbol/3");
  EXPECT_EQ(s.Kind(u"-- note"), "Comment/1");
  EXPECT_EQ(s.Kind(u"/* block */"), "Comment/1");
  EXPECT_EQ(s.Kind(u"\\echo done"), "Preprocessor/9");
  EXPECT_EQ(s.Kind(u"T"), "-/2");
}

TEST(ScriptingSQL, KeywordsAndTypesIgnoreCase) {
  TSmall s("SQL", u"Create Table t (a Integer, b varchar(3), c TIMESTAMPTZ);\n");
  EXPECT_EQ(s.Kind(u"Create"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"Table"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"Integer"), "Type/2");
  EXPECT_EQ(s.Kind(u"varchar"), "Type/2");
  EXPECT_EQ(s.Kind(u"TIMESTAMPTZ"), "Type/2");
  EXPECT_EQ(s.Kind(u"a"), "-/2");
}

TEST(ScriptingSQL, BlocksFold) {
  TSmall s("SQL",
           u"BEGIN;\nSELECT CASE WHEN a THEN (1) ELSE 2 END;\nCOMMIT;\n"
           u"BEGIN TRANSACTION; END;\n"
           u"CREATE FUNCTION f() RETURNS int BEGIN ATOMIC\n  SELECT 1;\nEND;\n"
           u"CREATE PROCEDURE p() begin if x then set y = 1; end if; case z when 1 then set y = 2; "
           u"end case; end;\n");
  EXPECT_THAT(s.Ranges(), ElementsAre("Case CASE..END", "Paren open (..)", "Paren open (..)",
                                      "Begin BEGIN..END", "Paren open (..)", "Begin begin..end",
                                      "Case case..end"));
}

// ---------------------------------------------------------------------------------------
// Shell

TEST(ScriptingShell, ScriptsCoveredAndClosed) {
  const std::vector<std::string> files = ShellScripts(
      {"/usr/bin", "/usr/sbin", "/etc/init.d", "/usr/share/debconf", "/usr/lib/dpkg"}, 40);
  ASSERT_GE(files.size(), 10u);
  ExpectCoveredAndClosed("Shell", files);
}

TEST(ScriptingShell, EditsMatchFresh) {
  // Two scripts of 4 to 30 KB.
  std::vector<std::string> small;
  for (const std::string& f : ShellScripts({"/usr/bin"}, SIZE_MAX))
    if (std::filesystem::file_size(f) >= 4096 && std::filesystem::file_size(f) <= kEditBytes)
      small.push_back(f);
  small = Spread(small, 2);
  ASSERT_FALSE(small.empty());
  const std::vector<std::u16string> pieces = {u"\"",      u"'",    u"$(",  u")",  u"<<EOF\n",
                                              u"\nEOF\n", u"#",    u"if ", u"fi", u"{",
                                              u"}",       u"${x}", u"\n",  u"`",  u"\\"};
  unsigned seed = 41;
  for (const std::string& path : small) ExpectEditsMatchFresh("Shell", path, pieces, seed++, 8);
}

TEST(ScriptingShell, Golden) { ExpectGolden("Shell", "shell.sh"); }

TEST(ScriptingShell, StringsAndVariables) {
  TSmall s("Shell",
           u"echo \"a $b ${c%%.*} $(dirname \"$0\") `pwd` \\\" d\" 'e $f' $'g\\n' $# $? $@ $1 "
           u"${#x}# x#y\n");
  EXPECT_EQ(s.Kind(u"echo"), "-/2");
  EXPECT_EQ(s.Kind(u"\""), "String/4");  // the opening quote
  EXPECT_EQ(s.Kind(u"a "), "String/4");
  EXPECT_EQ(s.Kind(u"$b"), "Variable/10");
  EXPECT_EQ(s.Kind(u"${c%%.*}"), "Variable/10");
  EXPECT_EQ(s.Kind(u"$(dirname \"$0\")"), "Variable/10");
  EXPECT_EQ(s.Kind(u"`pwd`"), "Variable/10");
  EXPECT_EQ(s.Kind(u"\\\" d"), "String/4");  // blanks between tokens are skipped
  EXPECT_EQ(s.Kind(u"'e $f'"), "String/4");
  EXPECT_EQ(s.Kind(u"$'g\\n'"), "String/4");
  for (const char16_t* v : {u"$#", u"$?", u"$@", u"$1", u"${#x}"})
    EXPECT_EQ(s.Kind(v), "Variable/10") << WideToUtf8(v);
  // "#" starts a comment only at the start of a word.
  EXPECT_EQ(s.Kind(u"#"), "-/2");
  EXPECT_EQ(s.Kind(u"x#y"), "-/2");
}

TEST(ScriptingShell, HereDocuments) {
  TSmall s("Shell",
           u"cat <<EOF | tr a b\nline $x\n EOF\nEOF\n"
           u"cat <<-'END'\n\tliteral $y\n\tEND\n"
           u"cat <<< \"$z\"\n"
           u"echo $(( 1 << 2 )) # shift\n");
  EXPECT_EQ(s.Kind(u"<<EOF | tr a b\nline $x\n EOF\nEOF"), "String/4");
  EXPECT_EQ(s.Kind(u"<<-'END'\n\tliteral $y\n\tEND"), "String/4");
  EXPECT_EQ(s.Kind(u"<<<"), "Symbol/3");
  EXPECT_EQ(s.Kind(u"$z"), "Variable/10");
  EXPECT_EQ(s.Kind(u"<<"), "Symbol/3");
  EXPECT_EQ(s.Kind(u"# shift"), "Comment/1");
}

TEST(ScriptingShell, KeywordsAndBlocks) {
  TSmall s("Shell",
           u"f() {\n  if [ -n \"$1\" ]; then\n    for i in 1 2; do echo \"$i\"; done\n  elif true; "
           u"then :\n  fi\n"
           u"  case $1 in\n    a|b) x=$(echo a) ;;\n    *) return 1 ;;\n  esac\n}\n");
  for (const char16_t* k :
       {u"if", u"then", u"for", u"in", u"do", u"done", u"elif", u"fi", u"case", u"esac", u"return"})
    EXPECT_EQ(s.Kind(k), "Keyword/2") << WideToUtf8(k);
  EXPECT_THAT(s.Ranges(), ElementsAre("Paren (..)", "Brace {..}", "If if..fi", "Loop do..done",
                                      "Case case..esac", "Paren $(..)"));
}

// ---------------------------------------------------------------------------------------
// Makefile

TEST(ScriptingMakefile, MakefilesCoveredAndClosed) {
  const std::vector<std::string> names = {"Makefile", "makefile", ".mk", "Makefile.inc"};
  const std::vector<std::string> files =
      Join({FindFiles("/usr/lib/x86_64-linux-gnu/icu", names, 4, kMaxBytes),
            FindFiles("/usr/share/dpkg", names, 10, kMaxBytes),
            FindFiles("/usr/share/python3", names, 2, kMaxBytes),
            FindFiles("/usr/share/doc", names, 16, kMaxBytes),
            FindFiles(PythonLibDir(), {"Makefile"}, 1, kMaxBytes)});
  // ICU's Makefile.inc (libicu-dev) is always there; the others where their packages are.
  ASSERT_FALSE(files.empty());
  ExpectCoveredAndClosed("Makefile", files);
}

TEST(ScriptingMakefile, EditsMatchFresh) {
  const std::vector<std::string> files =
      FindFiles("/usr/lib/x86_64-linux-gnu/icu", {"Makefile.inc"}, 1, kEditBytes);
  ASSERT_FALSE(files.empty());
  const std::vector<std::u16string> pieces = {u"\t",
                                              u"$(",
                                              u")",
                                              u"#",
                                              u"ifeq (a,b)\n",
                                              u"endif\n",
                                              u"define x\n",
                                              u"endef\n",
                                              u"target: dep\n",
                                              u"\\\n",
                                              u"'",
                                              u"\"",
                                              u"${",
                                              u"}"};
  ExpectEditsMatchFresh("Makefile", files[0], pieces, 51, 10);
}

TEST(ScriptingMakefile, Golden) { ExpectGolden("Makefile", "makefile.mk"); }

TEST(ScriptingMakefile, Tokens) {
  TSmall s("Makefile",
           u"OBJS := $(SRCS:.c=.o) # objects\n"
           u"all: app $(OBJS)\n"
           u"\t$(CC) -o $@ $^ ${LDFLAGS} \"$(X)\" $$HOME\n"
           u"X ?= a:b\n"
           u"$(OUT): %.o\n"
           u"-include deps.mk\n");
  EXPECT_EQ(s.Kind(u"OBJS"), "-/2");
  EXPECT_EQ(s.Kind(u":="), "Symbol/3");
  EXPECT_EQ(s.Kind(u"$(SRCS:.c=.o)"), "Variable/10");
  EXPECT_EQ(s.Kind(u"# objects"), "Comment/1");
  EXPECT_EQ(s.Kind(u"all"), "Attribute/11");
  EXPECT_EQ(s.Kind(u"app"), "-/2");  // a prerequisite
  for (const char16_t* v : {u"$(CC)", u"$@", u"$^", u"${LDFLAGS}", u"$$", u"$(OUT)"})
    EXPECT_EQ(s.Kind(v), "Variable/10") << WideToUtf8(v);
  EXPECT_EQ(s.Kind(u"\"$(X)\""), "String/4");
  EXPECT_EQ(s.Kind(u"X"), "-/2");  // an assignment, not a rule
  EXPECT_EQ(s.Kind(u"-include"), "Preprocessor/2");
}

TEST(ScriptingMakefile, ConditionalsDefinesAndFunctions) {
  TSmall s("Makefile",
           u"ifeq ($(A),1)\nB = 1\nelse ifneq ($(C),)\nB = 2\nelse\nB = 3\nendif\n"
           u"define tmpl\n\techo $(1)\nendef\n"
           u"L = $(foreach d,$(DIRS),$(wildcard $(d)/*.c))\n");
  EXPECT_EQ(s.Kind(u"ifeq"), "Preprocessor/2");
  EXPECT_EQ(s.Kind(u"else"), "Preprocessor/2");
  EXPECT_EQ(s.Kind(u"endef"), "Preprocessor/2");
  EXPECT_EQ(s.Kind(u"foreach"), "Keyword/2");
  EXPECT_EQ(s.Kind(u"wildcard"), "Keyword/2");
  EXPECT_THAT(s.Ranges(), ElementsAre("Conditional ifeq..endif", "Paren (..)", "Paren (..)",
                                      "Define define..endef", "Paren $(..)", "Paren $(..)"));
}

}  // namespace qv::test
