// Lexer libraries: the manager's list and current lexer, the lexer menu with its submenus,
// separators and check marks, library files saved and loaded with lexers that refer to each
// other, and the reports of broken libraries and broken lexers.
#include "syntax/qvSyntManager.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "framework/ComponentStream.h"
#include "framework/Dialogs.h"
#include "framework/Streams.h"
#include "syntax/qvSubLexers.h"
#include "tests/support/ComponentProbes.h"
#include "tests/support/LexerFiles.h"

namespace qv {
namespace {

using testing::HasSubstr;
using testing::Not;

// "Caption[Tag]" per item, "*" when checked, children in parentheses.
std::string DumpMenu(const TMenuItem& menu) {
  std::string s;
  for (int i = 0; i < menu.Count(); ++i) {
    const TMenuItem* item = menu.Items(i);
    if (i) s += " ";
    s += item->Caption() + "[" + std::to_string(item->Tag()) + "]";
    if (item->Checked()) s += "*";
    if (item->Count()) s += "(" + DumpMenu(*item) + ")";
  }
  return s;
}

// The first item at any depth with that caption.
TMenuItem* FindItem(TMenuItem& menu, const std::string& caption) {
  for (int i = 0; i < menu.Count(); ++i) {
    TMenuItem* item = menu.Items(i);
    if (item->Caption() == caption) return item;
    if (TMenuItem* found = FindItem(*item, caption)) return found;
  }
  return nullptr;
}

using test::TRemovalProbe;

// Answers message dialogs from a script and records their texts.
class DialogScript {
public:
  explicit DialogScript(std::vector<int> answers) : FAnswers(std::move(answers)) {
    FPrevious = SetMessageDlgHandler([this](const std::string& msg, TMsgDlgType, TMsgDlgButtons) {
      Texts.push_back(msg);
      return FNext < FAnswers.size() ? FAnswers[FNext++] : mrNo;
    });
  }
  ~DialogScript() { SetMessageDlgHandler(FPrevious); }
  std::vector<std::string> Texts;

private:
  std::vector<int> FAnswers;
  size_t FNext = 0;
  TMessageDlgHandler FPrevious;
};

// Records message boxes.
class BoxRecorder {
public:
  BoxRecorder() {
    FPrevious = SetMessageBoxHandler([this](const std::string& text, const std::string& caption,
                                            unsigned flags) {
      Boxes.push_back({text, caption, flags});
      return IDOK;
    });
  }
  ~BoxRecorder() { SetMessageBoxHandler(FPrevious); }
  struct TBox {
    std::string Text, Caption;
    unsigned Flags;
  };
  std::vector<TBox> Boxes;

private:
  TMessageBoxHandler FPrevious;
};

// A temporary file removed at the end of the test.
struct TTempFile {
  explicit TTempFile(const std::string& name)
      : Path((std::filesystem::temp_directory_path() /
              ("qvsyntmanager-" + name + "-" + std::to_string(::getpid()) + ".lxl"))
                 .string()) {}
  ~TTempFile() {
    std::error_code ec;
    std::filesystem::remove(Path, ec);
  }
  void Write(const std::string& text) const {
    TFileStream out(Path, fmCreate);
    out.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  }
  std::string Path;
};

std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) s += std::string(l) + "\r\n";
  return s;
}

// A form holding a manager and the menu it builds into.
class SyntaxManager : public testing::Test {
protected:
  SyntaxManager() {
    Form.SetName("Form");
    Manager = new TSyntaxManager(&Form);
    Manager->SetName("Library");
    Menu = new TMenuItem(&Form);
    Menu->SetName("LexersMenu");
    Manager->OnChange = [this](TObject*) { ++Changes; };
    Manager->OnLexerChanged = [this](TObject* sender) {
      ++LexerChanges;
      EXPECT_EQ(sender, Manager);
    };
  }
  TLibSyntAnalyzer* AddLexer(const std::string& lexerName, bool internal = false) {
    auto* lexer = new TLibSyntAnalyzer(Manager);
    lexer->SetParentComponent(Manager);
    lexer->SetLexerName(lexerName);
    lexer->SetInternal(internal);
    return lexer;
  }

  TComponent Form{nullptr};
  TSyntaxManager* Manager = nullptr;
  TMenuItem* Menu = nullptr;
  int Changes = 0;
  int LexerChanges = 0;
};

TEST_F(SyntaxManager, MenuGroupsDoubleColonNamesIntoSubmenus) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Lexers;
    std::string Expected;
  } cases[] = {
      {"same submenu, caption case ignored",
       {"Web::HTML", "web::CSS", "WEB::JS"},
       "Plain Text[-1]* -[-2] Web[-2](HTML[0] CSS[1] JS[2])"},
      {"nested submenus",
       {"A::B::C", "a::D", "Pascal"},
       "Plain Text[-1]* -[-2] A[-2](B[-2](C[0]) D[1]) Pascal[2]"},
      {"a leading :: is part of the name",
       {"::Odd", "x::"},
       "Plain Text[-1]* -[-2] ::Odd[0] x[-2]([1])"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    Manager->Clear();
    for (const std::string& name : c.Lexers) AddLexer(name);
    Manager->SetLexersMenu(nullptr);
    Manager->SetLexersMenu(Menu);
    EXPECT_EQ(DumpMenu(*Menu), c.Expected);
  }
}

TEST_F(SyntaxManager, SeparatorSetsApartOnlyItemsThatAreThere) {
  struct TCase {
    const char* Name;
    std::string PlainText;
    std::vector<std::string> UserItems;  // put into the menu before the manager builds
    std::string Expected;
  } cases[] = {
      {"no plain text, empty menu", "", {}, "Pascal[0] Web[-2](HTML[1])"},
      {"no plain text, user item", "", {"Open"}, "Open[0] -[-2] Pascal[0] Web[-2](HTML[1])"},
      {"plain text, user item", "None", {"Open"},
       "Open[0] -[-2] None[-1]* -[-2] Pascal[0] Web[-2](HTML[1])"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMenuItem menu(nullptr);
    for (const std::string& caption : c.UserItems) {
      auto* item = new TMenuItem(&Form);
      item->SetCaption(caption);
      menu.Add(item);
    }
    Manager->Clear();
    AddLexer("Pascal");
    AddLexer("Web::HTML");
    Manager->SetMenuPlainText(c.PlainText);
    Manager->SetLexersMenu(&menu);
    EXPECT_EQ(DumpMenu(menu), c.Expected);
    Manager->UpdateLexersMenu();  // rebuilding replaces only the manager's own items
    EXPECT_EQ(DumpMenu(menu), c.Expected);
    Manager->SetLexersMenu(nullptr);
    Manager->SetMenuPlainText(SDefaultMenuPlainText);
  }
}

TEST_F(SyntaxManager, InternalLexersGetNoItemButKeepTheirIndex) {
  AddLexer("First");
  AddLexer("Hidden", true);
  TLibSyntAnalyzer* third = AddLexer("Third");
  Manager->SetLexersMenu(Menu);
  EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1]* -[-2] First[0] Third[2]");
  FindItem(*Menu, "Third")->Click();
  EXPECT_EQ(Manager->CurrentLexer(), third);
  EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1] -[-2] First[0] Third[2]*");
}

TEST_F(SyntaxManager, MenuClicksSelectLexersAndCheckMarksFollow) {
  AddLexer("Pascal");
  TLibSyntAnalyzer* html = AddLexer("Web::HTML");
  Manager->SetLexersMenu(Menu);

  FindItem(*Menu, "HTML")->Click();
  EXPECT_EQ(Manager->CurrentLexer(), html);
  EXPECT_EQ(LexerChanges, 1);
  EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1] -[-2] Pascal[0] Web[-2](HTML[1]*)");

  FindItem(*Menu, "Plain Text")->Click();
  EXPECT_EQ(Manager->CurrentLexer(), nullptr);
  EXPECT_EQ(LexerChanges, 2);
  EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1]* -[-2] Pascal[0] Web[-2](HTML[1])");

  // Setting the property checks the same way; a lexer of no list is refused.
  Manager->SetCurrentLexer(Manager->Analyzers(0));
  EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1] -[-2] Pascal[0]* Web[-2](HTML[1])");
  TLibSyntAnalyzer stranger(nullptr);
  Manager->SetCurrentLexer(&stranger);
  EXPECT_EQ(Manager->CurrentLexer(), Manager->Analyzers(0));

  // A lexer item whose tag points past the list does nothing.
  FindItem(*Menu, "Pascal")->SetTag(5);
  FindItem(*Menu, "Pascal")->Click();
  EXPECT_EQ(LexerChanges, 2);
  EXPECT_EQ(Manager->CurrentLexer(), Manager->Analyzers(0));
  EXPECT_EQ(Changes, 0);  // menu clicks are no library change
}

TEST_F(SyntaxManager, LexersJoinAndLeaveTheListOfTheirParent) {
  TLibSyntAnalyzer* a = AddLexer("A");
  TLibSyntAnalyzer* b = AddLexer("B");
  EXPECT_EQ(a->Owner(), &Form);  // created "by" the manager, owned by its owner
  EXPECT_EQ(b->GetParentComponent(), Manager);
  EXPECT_TRUE(a->HasParent());

  TSyntaxManager other(nullptr);
  a->SetParentComponent(&other);
  EXPECT_EQ(Manager->AnalyzerCount(), 1);
  EXPECT_EQ(other.AnalyzerCount(), 1);
  EXPECT_EQ(a->SyntManager(), &other);
  a->SetParentComponent(&Form);  // not a manager: no list at all
  EXPECT_EQ(other.AnalyzerCount(), 0);
  EXPECT_EQ(a->SyntManager(), nullptr);
  a->SetParentComponent(Manager);
  EXPECT_EQ(Manager->Analyzers(1), a);  // at the end

  Manager->SetCurrentLexer(a);
  delete a;
  EXPECT_EQ(Manager->AnalyzerCount(), 1);
  EXPECT_EQ(Manager->CurrentLexer(), nullptr);
  EXPECT_THROW(Manager->Analyzers(1), EListError);
}

TEST_F(SyntaxManager, ClearFreesLexersAndDestructionFiresNoChange) {
  TRemovalProbe listener(nullptr);
  TLibSyntAnalyzer* a = AddLexer("A");
  a->FreeNotification(&listener);
  EXPECT_FALSE(Manager->Modified());
  Manager->Clear();
  EXPECT_EQ(Manager->AnalyzerCount(), 0);
  EXPECT_EQ(listener.Removed, std::vector<TComponent*>{a});
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(Manager->Modified());

  TLibSyntAnalyzer* b = AddLexer("B");
  b->FreeNotification(&listener);
  delete Manager;
  EXPECT_EQ(listener.Removed.size(), 2u);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Form.ComponentCount(), 1);  // only the menu is left
}

TEST_F(SyntaxManager, FreedMenuIsForgotten) {
  Manager->SetLexersMenu(Menu);
  delete Menu;  // same owner: the owner tells the manager
  EXPECT_EQ(Manager->LexersMenu(), nullptr);

  auto* loose = new TMenuItem(nullptr);  // no common owner: the free-notification link tells
  Manager->SetLexersMenu(loose);
  delete loose;
  EXPECT_EQ(Manager->LexersMenu(), nullptr);
  AddLexer("A");
  Manager->UpdateLexersMenu();
}

TEST_F(SyntaxManager, LibraryOfSubLexersRoundTripsThroughAFile) {
  // The library: the markup lexer refers to "Script", which comes after it in the list.
  auto* markup = new TLibSyntAnalyzer(Manager);
  markup->SetName("Markup");
  markup->SetParentComponent(Manager);
  auto* script = new TLibSyntAnalyzer(Manager);
  script->SetName("Script");
  script->SetParentComponent(Manager);
  test::LoadLexer(*script, "script.lxr");
  test::LoadLexer(*markup, "markup.lxr");
  ASSERT_EQ(markup->SubAnalyzers()->Items(0)->SyntAnalyzer(), script);
  Manager->SetTag(7);
  Manager->SetMenuPlainText("Off");
  Manager->SetLexersMenu(Menu);

  TTempFile file("library");
  Manager->SaveToFile(file.Path);
  EXPECT_FALSE(Manager->Modified());
  const std::string saved = test::ReadFile(file.Path);
  EXPECT_EQ(saved.rfind("object Library: TSyntaxManager\r\n  Tag = 7\r\n"
                        "  object Markup: TLibSyntAnalyzer\r\n",
                        0),
            0u)
      << saved;
  EXPECT_THAT(saved, HasSubstr("\r\n  object Script: TLibSyntAnalyzer\r\n"));
  EXPECT_THAT(saved, HasSubstr("      SyntAnalyzer = Script\r\n"));
  for (const char* property : {"LexersMenu", "MenuPlainText", "OnLexerChanged", "OnChange"})
    EXPECT_THAT(saved, Not(HasSubstr(property))) << property;
  // Written by anyone else, the manager's settings are kept.
  TMemoryStream asRoot;
  WriteComponentText(asRoot, Manager);
  EXPECT_THAT(asRoot.DataString(), HasSubstr("LexersMenu = Form.LexersMenu"));
  EXPECT_THAT(asRoot.DataString(), HasSubstr("MenuPlainText = 'Off'"));

  // A fresh manager that already holds a lexer: it is freed, the file's lexers replace it.
  TComponent form2(nullptr);
  auto* manager2 = new TSyntaxManager(&form2);
  auto* menu2 = new TMenuItem(&form2);
  auto* old = new TLibSyntAnalyzer(manager2);
  old->SetName("Old");
  old->SetLexerName("Old one");
  old->SetParentComponent(manager2);
  manager2->SetLexersMenu(menu2);
  EXPECT_EQ(DumpMenu(*menu2), "Plain Text[-1]* -[-2] Old one[0]");
  TRemovalProbe listener(nullptr);
  old->FreeNotification(&listener);
  int changes = 0;
  manager2->OnChange = [&](TObject*) { ++changes; };

  manager2->LoadFromFile(file.Path);
  EXPECT_EQ(listener.Removed, std::vector<TComponent*>{old});
  EXPECT_EQ(changes, 2);  // cleared, then loaded
  EXPECT_FALSE(manager2->Modified());
  EXPECT_EQ(manager2->Tag(), 7);
  EXPECT_EQ(manager2->MenuPlainText(), SDefaultMenuPlainText);  // not in the file
  ASSERT_EQ(manager2->AnalyzerCount(), 2);
  TLibSyntAnalyzer* markup2 = manager2->Analyzers(0);
  TLibSyntAnalyzer* script2 = manager2->Analyzers(1);
  EXPECT_EQ(markup2->Owner(), &form2);
  EXPECT_EQ(markup2->Name(), "Markup");
  EXPECT_EQ(script2->Name(), "Script");
  EXPECT_EQ(markup2->SubAnalyzers()->Count(), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(markup2->SubAnalyzers()->Items(i)->SyntAnalyzer(), script2) << i;
  ASSERT_EQ(script2->MasterCount(), 1);
  EXPECT_EQ(script2->Masters(0), markup2);
  EXPECT_EQ(markup2->LexerName(), markup->LexerName());
  EXPECT_TRUE(SamePublishedValues(*script2, *script));
  EXPECT_EQ(DumpMenu(*menu2),
            "Plain Text[-1]* -[-2] " + markup->LexerName() + "[0] " + script->LexerName() + "[1]");
}

// The library text with one bad property in the manager or in its second lexer.
const std::string BadManagerLine = Crlf({"object Library: TSyntaxManager", "  Bogus = 1",
                                         "  object First: TLibSyntAnalyzer",
                                         "    LexerName = 'First'", "  end", "end"});
const std::string BadLexerLine =
    Crlf({"object Library: TSyntaxManager", "  object First: TLibSyntAnalyzer",
          "    LexerName = 'First'", "  end", "  object Second: TLibSyntAnalyzer",
          "    LexerName = 'Second'", "    Bogus = 1", "    Extentions = 'sec'", "  end", "end"});

TEST_F(SyntaxManager, ReadErrorsNameTheLexerBeingRead) {
  AddLexer("Before");
  Manager->SetLexersMenu(Menu);
  TTempFile file("broken");
  {
    SCOPED_TRACE("error in a lexer, skipped");
    file.Write(BadLexerLine);
    DialogScript dialog({mrYes});
    Manager->LoadFromFile(file.Path);
    ASSERT_EQ(dialog.Texts.size(), 1u);
    EXPECT_THAT(dialog.Texts[0], testing::StartsWith("Ignore this error?\r\nError in lexer: "
                                                     "Second. Error reading "));
    EXPECT_THAT(dialog.Texts[0], testing::EndsWith("Bogus: Property Bogus does not exist"));
    ASSERT_EQ(Manager->AnalyzerCount(), 2);
    EXPECT_EQ(Manager->Analyzers(1)->Extentions(), "sec");
    EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1]* -[-2] First[0] Second[1]");
  }
  {
    SCOPED_TRACE("error in the manager itself: no lexer read yet");
    file.Write(BadManagerLine);
    DialogScript dialog({mrYes});
    Manager->LoadFromFile(file.Path);
    ASSERT_EQ(dialog.Texts.size(), 1u);
    EXPECT_THAT(dialog.Texts[0], testing::StartsWith("Ignore this error?\r\nError reading "));
    EXPECT_EQ(Manager->AnalyzerCount(), 1);
  }
  {
    SCOPED_TRACE("error in a lexer, refused");
    file.Write(BadLexerLine);
    DialogScript dialog({mrNo});
    Changes = 0;
    EXPECT_THROW(Manager->LoadFromFile(file.Path), EReadError);
    EXPECT_THAT(dialog.Texts.at(0), HasSubstr("Error in lexer: Second. "));
    // What was read before the error stays; the lexer that failed is gone.
    ASSERT_EQ(Manager->AnalyzerCount(), 1);
    EXPECT_EQ(Manager->Analyzers(0)->LexerName(), "First");
    EXPECT_TRUE(Manager->Modified());
  }
  {
    SCOPED_TRACE("still usable");
    file.Write(BadLexerLine);
    DialogScript dialog({mrAll});
    Manager->LoadFromFile(file.Path);
    EXPECT_EQ(Manager->AnalyzerCount(), 2);
    EXPECT_EQ(DumpMenu(*Menu), "Plain Text[-1]* -[-2] First[0] Second[1]");
    EXPECT_FALSE(Manager->Modified());
  }
}

TEST(TLibSyntAnalyzer, FailedLoadIsReportedInAMessageBoxAndSwallowed) {
  TLibSyntAnalyzer lexer(nullptr);
  lexer.SetName("Lexer1");
  BoxRecorder boxes;
  DialogScript dialog({mrNo});
  TMemoryStream in(Crlf({"object Other: TLibSyntAnalyzer", "  LexerName = 'Half'", "  Bogus = 1",
                         "  Extentions = 'never'", "end"}));
  lexer.LoadFromStream(in);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text,
            "Error occurs during loading lexer \"Half\". Error:\r\n"
            "Error reading Lexer1.Bogus: Property Bogus does not exist");
  EXPECT_EQ(boxes.Boxes[0].Caption, "Lexer loading error");
  EXPECT_EQ(boxes.Boxes[0].Flags & MB_ICONERROR, MB_ICONERROR);
  EXPECT_EQ(lexer.LexerName(), "Half");  // kept as far as it was read
  EXPECT_EQ(lexer.Extentions(), "");
  EXPECT_FALSE(lexer.IsLoadingFromStream());
}

TEST(TLibSyntAnalyzer, OtherFailuresOfALoadPassOn) {
  TLibSyntAnalyzer lexer(nullptr);
  BoxRecorder boxes;
  lexer.OnChange = [](TObject*) { throw std::runtime_error("handler failed"); };
  TMemoryStream in(Crlf({"object Other: TLibSyntAnalyzer", "  TokenTypeNames.Strings = (",
                         "    'One')", "end"}));
  EXPECT_THROW(lexer.LoadFromStream(in), std::runtime_error);
  EXPECT_TRUE(boxes.Boxes.empty());
}

}  // namespace
}  // namespace qv
