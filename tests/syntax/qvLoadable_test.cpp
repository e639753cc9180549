// Loadable components: saving and loading through files, streams and resources, the read-error
// dialog and its three answers, names kept and generated on load, and the state flags.
#include "syntax/qvLoadable.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/ComponentStream.h"
#include "framework/Dialogs.h"
#include "tests/support/RealFiles.h"
#include "tests/support/StreamProbes.h"

namespace qv {
namespace {

using test::TProbeItem;

// A lexer-like loadable component: a rule collection, a long expression, and a reference to
// another lexer.
class TProbeLexer : public TLoadableComponent {
  QV_CLASS(TProbeLexer, TLoadableComponent)
  static void DeclareClass(TClassDecl& c) {
    c.String("Expression", &TProbeLexer::Expression, &TProbeLexer::SetExpression);
    c.Collection("Rules", &TProbeLexer::Rules);
    c.Component("Other", &TProbeLexer::Other, &TProbeLexer::SetOther);
  }
  explicit TProbeLexer(TComponent* owner) : TLoadableComponent(owner) {}
  const std::string& Expression() const { return FExpression; }
  void SetExpression(const std::string& v) { FExpression = v; }
  TOwnedCollection* Rules() const { return FRules.get(); }
  TComponent* Other() const { return FOther; }
  void SetOther(TComponent* v) { FOther = v; }

  void Loaded() override {
    LoadingSeenInLoaded = IsLoadingFromStream();
    ReadingSeenInLoaded = LexerStreamReading();
    TLoadableComponent::Loaded();
  }
  bool LoadingSeenInLoaded = false;
  bool ReadingSeenInLoaded = false;

private:
  std::string FExpression;
  std::unique_ptr<TOwnedCollection> FRules =
      std::make_unique<TOwnedCollection>(this, CreateItemOf<TProbeItem>, "TProbeItem");
  TComponent* FOther = nullptr;  // not owned
};

// A library-like loadable component whose owned lexers are its children in the stream.
class TProbeLibrary : public TLoadableComponent {
  QV_CLASS(TProbeLibrary, TLoadableComponent)
  explicit TProbeLibrary(TComponent* owner) : TLoadableComponent(owner) {}
  ~TProbeLibrary() override { DestroyComponents(); }
  void GetChildren(const TGetChildProc& proc, TComponent*) override {
    for (int i = 0; i < ComponentCount(); ++i) proc(Components(i));
  }
};

std::string Crlf(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) s += std::string(l) + "\r\n";
  return s;
}

std::string Save(TLoadableComponent& c) {
  TMemoryStream out;
  c.SaveToStream(out);
  return out.DataString();
}

void Load(TLoadableComponent& c, std::string_view text) {
  TMemoryStream in(text);
  c.LoadFromStream(in);
}

// Answers the message dialog from a script and records what it was asked.
class DialogScript {
public:
  explicit DialogScript(std::vector<int> answers) : FAnswers(std::move(answers)) {
    FPrevious = SetMessageDlgHandler(
        [this](const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
          Texts.push_back(msg);
          Types.push_back(type);
          Buttons.push_back(buttons);
          return FNext < FAnswers.size() ? FAnswers[FNext++] : mrNo;
        });
  }
  ~DialogScript() { SetMessageDlgHandler(FPrevious); }
  std::vector<std::string> Texts;
  std::vector<TMsgDlgType> Types;
  std::vector<TMsgDlgButtons> Buttons;

private:
  std::vector<int> FAnswers;
  size_t FNext = 0;
  TMessageDlgHandler FPrevious;
};

class Loadable : public testing::Test {
protected:
  void SetUp() override {
    RegisterClass("TProbeLexer", CreateComponentOf<TProbeLexer>);
    RegisterClass("TProbeLibrary", CreateComponentOf<TProbeLibrary>);
  }
};

// Three bad lines between good ones.
const std::string ThreeErrors =
    Crlf({"object Lexer1: TProbeLexer", "  Foo = 1", "  Expression = 'kept'", "  Bar = 2",
          "  Tag = 5", "  Baz = 3", "  Rules = <item Caption = 'r' end>", "end"});

TEST_F(Loadable, YesSkipsOneErrorAndAsksAgainForTheNext) {
  TProbeLexer lexer(nullptr);
  lexer.SetName("Lexer1");
  DialogScript dialog({mrYes, mrYes, mrYes});
  Load(lexer, ThreeErrors);
  ASSERT_EQ(dialog.Texts.size(), 3u);
  EXPECT_EQ(dialog.Texts[0],
            "Ignore this error?\r\nError reading Lexer1.Foo: Property Foo does not exist");
  EXPECT_EQ(dialog.Types[0], mtError);
  EXPECT_EQ(dialog.Buttons[0], (TMsgDlgButtons{mbYes, mbNo, mbAll}));
  EXPECT_EQ(lexer.Expression(), "kept");
  EXPECT_EQ(lexer.Tag(), 5);
  EXPECT_EQ(lexer.Rules()->Count(), 1);
  EXPECT_FALSE(lexer.IgnoreAll());
}

TEST_F(Loadable, AllSuppressesTheDialogForTheRestOfThatLoadOnly) {
  TProbeLexer lexer(nullptr);
  DialogScript dialog({mrAll, mrAll});
  Load(lexer, ThreeErrors);
  EXPECT_EQ(dialog.Texts.size(), 1u);
  EXPECT_TRUE(lexer.IgnoreAll());
  EXPECT_EQ(lexer.Rules()->Count(), 1);
  Load(lexer, ThreeErrors);  // a new load asks again
  EXPECT_EQ(dialog.Texts.size(), 2u);
}

TEST_F(Loadable, NoFailsTheLoadAndClearsTheFlags) {
  TProbeLexer lexer(nullptr);
  lexer.SetName("Lexer1");
  DialogScript dialog({mrYes, mrNo});
  EXPECT_THAT([&] { Load(lexer, ThreeErrors); },
              testing::ThrowsMessage<EReadError>(
                  testing::StrEq("Error reading Lexer1.Bar: Property Bar does not exist")));
  EXPECT_EQ(dialog.Texts.size(), 2u);
  EXPECT_EQ(lexer.Expression(), "kept");  // what came before the error stays
  EXPECT_FALSE(lexer.IsLoadingFromStream());
  EXPECT_FALSE(TLoadableComponent::LexerStreamReading());
  EXPECT_FALSE(lexer.ComponentState().Contains(csLoading));
}

TEST_F(Loadable, TheDefaultDialogAnswerSkipsAndReportsOnStandardError) {
  TProbeLexer lexer(nullptr);
  testing::internal::CaptureStderr();
  Load(lexer, ThreeErrors);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_THAT(printed, testing::HasSubstr("Property Baz does not exist"));
  EXPECT_EQ(lexer.Rules()->Count(), 1);
}

TEST_F(Loadable, LoadingKeepsTheComponentsOwnNameAndSetsFlagsOnlyMeanwhile) {
  TProbeLexer lexer(nullptr);
  lexer.SetName("Lexer1");
  Load(lexer, Crlf({"object SomethingElse: TProbeLexer", "  Expression = 'x'", "end"}));
  EXPECT_EQ(lexer.Name(), "Lexer1");
  EXPECT_TRUE(lexer.LoadingSeenInLoaded);
  EXPECT_TRUE(lexer.ReadingSeenInLoaded);
  EXPECT_FALSE(lexer.IsLoadingFromStream());
  EXPECT_FALSE(TLoadableComponent::LexerStreamReading());
  lexer.SetName("Renamed");  // outside a load the usual rename
  EXPECT_EQ(lexer.Name(), "Renamed");
}

TEST_F(Loadable, ALibraryLoadGivesTakenNamesGeneratedOnes) {
  TProbeLibrary library(nullptr);
  library.SetName("Library");
  auto* existing = new TProbeLexer(&library);
  existing->SetName("Pascal");
  (new TProbeLexer(&library))->SetName("ProbeLexer2");
  Load(library, Crlf({"object Library: TProbeLibrary", "  object Pascal: TProbeLexer", "  end",
                      "  object Pascal: TProbeLexer", "  end", "  object Fresh: TProbeLexer",
                      "  end", "  object Fresh: TProbeLexer", "  end", "end"}));
  ASSERT_EQ(library.ComponentCount(), 6);
  EXPECT_EQ(library.Components(2)->Name(), "ProbeLexer1");
  EXPECT_EQ(library.Components(3)->Name(), "ProbeLexer3");  // 2 is taken
  EXPECT_EQ(library.Components(4)->Name(), "Fresh");
  EXPECT_EQ(library.Components(5)->Name(), "ProbeLexer4");

  // Outside a load a taken name is an error, as for every component.
  EXPECT_THROW(library.Components(5)->SetName("Pascal"), EComponentError);
}

TEST_F(Loadable, WithAnOwnerReferencesAreWrittenAndResolvedFromTheOwner) {
  TProbeLibrary library(nullptr);
  library.SetName("Library");
  auto* a = new TProbeLexer(&library);
  a->SetName("A");
  auto* b = new TProbeLexer(&library);
  b->SetName("B");
  a->SetOther(b);
  TProbeLibrary elsewhere(nullptr);
  elsewhere.SetName("Elsewhere");
  auto* far = new TProbeLexer(&elsewhere);
  far->SetName("Far");
  b->SetOther(far);

  EXPECT_EQ(Save(*a), Crlf({"object A: TProbeLexer", "  Rules = <>", "  Other = B", "end"}));
  EXPECT_EQ(Save(*b),
            Crlf({"object B: TProbeLexer", "  Rules = <>", "  Other = Elsewhere.Far", "end"}));

  a->SetOther(nullptr);
  Load(*a, Save(*a).replace(0, 0, "").insert(std::string("object A: TProbeLexer\r\n").size(),
                                               "  Other = B\r\n"));
  EXPECT_EQ(a->Other(), b);
}

TEST_F(Loadable, FilesAreSavedLoadedAndNamedOnlyOnSuccess) {
  const auto dir = std::filesystem::temp_directory_path() / "vornish-loadable-test";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "lexer.lxr").string();

  TProbeLexer lexer(nullptr);
  lexer.SetName("Lexer1");
  lexer.SetExpression(std::string(60, 'a') + "(" + std::string(38, 'b') + ")");  // 100 chars
  static_cast<TProbeItem*>(lexer.Rules()->Add())->SetCaption("rule");
  lexer.SaveToFile(path);
  EXPECT_EQ(lexer.FileName(), path);
  const std::string text = test::ReadFile(path);
  // A 100-character value is cut into 64 and 36.
  EXPECT_THAT(text, testing::HasSubstr("  Expression = \r\n    '" + std::string(60, 'a') + "(" +
                                       std::string(3, 'b') + "' +\r\n    '" +
                                       std::string(35, 'b') + ")'\r\n"));

  TProbeLexer copy(nullptr);
  copy.LoadFromFile(path);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(lexer, copy, &difference)) << difference;
  EXPECT_EQ(copy.FileName(), "");  // loading does not name the file

  EXPECT_THROW(lexer.SaveToFile((dir / "missing" / "x.lxr").string()), EFCreateError);
  EXPECT_EQ(lexer.FileName(), path);
  EXPECT_THROW(copy.LoadFromFile((dir / "missing.lxr").string()), EFOpenError);
  std::filesystem::remove_all(dir);
}

TEST_F(Loadable, ResourcesLoadByNameAndById) {
  static const std::string text =
      Crlf({"object Res: TProbeLexer", "  Expression = 'from a resource'", "end"});
  RegisterResource(HInstance, RT_RCDATA, "PROBELEXER", text);
  RegisterResource(HInstance, RT_RCDATA, 4711, text);
  TProbeLexer byName(nullptr), byId(nullptr);
  byName.LoadFromResourceName(HInstance, "ProbeLexer", RT_RCDATA);
  byId.LoadFromResourceID(HInstance, 4711, RT_RCDATA);
  EXPECT_EQ(byName.Expression(), "from a resource");
  EXPECT_EQ(byId.Expression(), "from a resource");
  EXPECT_THROW(byName.LoadFromResourceName(HInstance, "NoSuchLexer", RT_RCDATA), EResNotFound);
  UnregisterResource(HInstance, RT_RCDATA, "PROBELEXER");
  UnregisterResource(HInstance, RT_RCDATA, 4711);
}

TEST_F(Loadable, NameAndTagArePublishedAgainAndTagIsWrittenWhenSet) {
  const TClassInfo& info = TProbeLexer(nullptr).ClassType();
  ASSERT_GE(info.Properties().size(), 2u);
  EXPECT_EQ(info.Properties()[0]->Name, "Name");
  EXPECT_EQ(info.Properties()[0]->DeclaredBy, &ClassInfoOf<TLoadableComponent>());
  EXPECT_EQ(info.Properties()[1]->Name, "Tag");
  TProbeLexer lexer(nullptr);
  lexer.SetName("L");
  lexer.SetTag(3);
  EXPECT_EQ(Save(lexer), Crlf({"object L: TProbeLexer", "  Tag = 3", "  Rules = <>", "end"}));
}

}  // namespace
}  // namespace qv
