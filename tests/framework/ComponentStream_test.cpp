// The component reader and writer: the exact text of written objects, round trips in both
// forms, the default and stored rules, references and events, the error hook, and input that
// is malformed in every way the text form allows.
#include "framework/ComponentStream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "framework/ObjectText.h"
#include "tests/support/RealFiles.h"
#include "tests/support/StreamProbes.h"

namespace qv {
namespace {

using namespace std::string_literals;
using test::TLeaf;
using test::TProbeAlways;
using test::TProbeItem;
using test::TProbeNode;
using test::TProbeRoot;

std::string Golden(const std::string& name) {
  const std::string text = test::ReadFile(QV_SOURCE_DIR "/tests/golden/streaming/" + name);
  EXPECT_FALSE(text.empty()) << name;
  return text;
}

std::string ToText(TComponent* component) {
  TMemoryStream out;
  WriteComponentText(out, component);
  return out.DataString();
}

// Reads text into component; errors go to the recorder, which answers with handled.
struct TRecorder {
  std::vector<std::string> Messages;
  bool Answer = true;
  TReaderError Hook() {
    return [this](TReader&, const std::string& message, bool& handled) {
      Messages.push_back(message);
      handled = Answer;
    };
  }
};

void FromText(std::string_view text, TComponent* component, const TReaderError& onError = {}) {
  TMemoryStream in(text);
  ReadComponentText(in, component, onError);
}

// Lines joined with CR LF, each ended by one.
std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string s;
  for (std::string_view l : lines) s += std::string(l) + "\r\n";
  return s;
}

class ComponentStream : public testing::Test {
protected:
  void SetUp() override { test::RegisterProbeClasses(); }
};

// --- The worked example: framework-written and FPC-written text ---------------------------

TEST_F(ComponentStream, WorkedExampleLoadsAndIsWrittenBackByteForByte) {
  const std::string text = Golden("worked-example.txt");
  TProbeRoot root(nullptr);
  FromText(text, &root);

  EXPECT_EQ(root.Name(), "Root1");
  EXPECT_EQ(root.Kinds(), (test::TProbeKinds{test::kdAlpha, test::kdDelta}));
  EXPECT_EQ(root.Shade(), 0xFF);
  EXPECT_EQ(root.S1(), "This hint is deliberately longer than sixty-four characters, it's split.");
  EXPECT_EQ(root.Lines()->Text(), "first\r\n\r\nit's\r\n");
  ASSERT_EQ(root.Items()->Count(), 2);
  auto* one = static_cast<TProbeItem*>(root.Items()->Items(0));
  auto* two = static_cast<TProbeItem*>(root.Items()->Items(1));
  EXPECT_EQ(one->Caption(), "one");
  EXPECT_EQ(one->Look()->Inner()->Depth(), 2);
  EXPECT_TRUE(one->Enabled());
  EXPECT_FALSE(two->Enabled());
  EXPECT_EQ(root.EmptyItems()->Count(), 0);
  EXPECT_EQ(root.Blob, "\x0A\x0B\x0C"s);
  ASSERT_EQ(root.ComponentCount(), 1);
  auto* leaf = dynamic_cast<TLeaf*>(root.Components(0));
  ASSERT_NE(leaf, nullptr);
  EXPECT_EQ(leaf->Name(), "LeafB");
  EXPECT_EQ(leaf->Count(), -300);
  EXPECT_EQ(root.Link(), leaf);  // resolved after the child was read
  EXPECT_EQ(root.LoadedCalls, 1);

  EXPECT_EQ(ToText(&root), text);
}

TEST_F(ComponentStream, FpcLayoutReadsToTheSameObject) {
  TProbeRoot framework(nullptr), fpc(nullptr);
  FromText(Golden("worked-example.txt"), &framework);
  FromText(Golden("worked-example.fpc.txt"), &fpc);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(framework, fpc, &difference)) << difference;
  EXPECT_EQ(ToText(&fpc), Golden("worked-example.txt"));
}

// --- Writing: every kind, and what is left out ---------------------------------------------

// A root with every property away from its default, children, references and events.
void Populate(TProbeRoot& root) {
  root.SetName("Root1");
  root.SetTag(-7);
  root.SetCount(-300);
  root.SetCard(4294967295u);
  root.SetBig(-5000000000);
  root.SetFlag(true);
  root.SetKind(test::kdGamma);
  root.SetKinds({test::kdBeta, test::kdDelta});
  root.SetShade(12345);  // no name: written as a number
  root.SetS1("Caf\xE9 au lait, 'quoted' and\ttabbed; long enough to be cut into two pieces here.");
  root.SetW(u"x\u00E9\u03A9\u20AC'q\U0001F600");
  root.Lines()->Add("first");
  root.Lines()->Add("");
  root.Lines()->Add(std::string(70, 'L'));
  root.Look()->SetName("Mono");
  root.Look()->SetShade(-16);
  root.Look()->Inner()->SetDepth(3);
  root.Look()->Inner()->SetKinds({test::kdAlpha});
  root.Blob = std::string("\x00\x07\x0E\x15", 4) + std::string(36, '\xFE');

  auto* leafA = new TLeaf(&root);
  leafA->SetName("LeafA");
  leafA->SetNote("first child");
  leafA->SetDesignPosition({10, -20});
  auto* leafB = new TLeaf(&root);
  leafB->SetName("LeafB");
  leafB->SetLink(&root);  // the root itself: "Owner"
  leafA->SetLink(leafB);  // a sibling read after it: resolved at the end
  root.SetLink(leafA);

  auto* item = static_cast<TProbeItem*>(root.Items()->Add());
  item->SetCaption("one");
  item->SetValue(1);
  item->Look()->Inner()->SetDepth(2);
  item->SetLink(leafB);
  item = static_cast<TProbeItem*>(root.Items()->Add());
  item->SetEnabled(false);

  const TMethodInfo* ping = root.ClassType().FindMethod("HandlePing");
  ASSERT_NE(ping, nullptr);
  root.OnPing = std::any_cast<test::TPingEvent>(ping->Bind(root, *ping));
  const TMethodInfo* notify = root.ClassType().FindMethod("HandleNotify");
  leafB->OnChange = std::any_cast<TNotifyEvent>(notify->Bind(root, *notify));
  root.OnChange = [](TObject*) {};  // not bound by name: never written
}

TEST_F(ComponentStream, EveryKindOfValueIsWrittenInTheFrameworksLayout) {
  TProbeRoot root(nullptr);
  Populate(root);
  EXPECT_EQ(ToText(&root), Golden("components.txt"));
}

TEST_F(ComponentStream, RoundTripsThroughTextAndBinaryKeepEveryValue) {
  TProbeRoot root(nullptr);
  Populate(root);
  const std::string text = ToText(&root);

  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    std::unique_ptr<TComponent> created;
    if (binary) {
      TMemoryStream data;
      WriteComponentBinary(data, &root);
      data.SetPosition(0);
      TComponentReader reader(data);
      created.reset(reader.ReadRootComponent(nullptr));  // created by class name
    } else {
      created = std::make_unique<TProbeRoot>(nullptr);
      FromText(text, created.get());
    }
    auto* copy = dynamic_cast<TProbeRoot*>(created.get());
    ASSERT_NE(copy, nullptr);
    std::string difference;
    EXPECT_TRUE(SamePublishedValues(root, *copy, &difference)) << difference;
    EXPECT_EQ(copy->Name(), "Root1");
    ASSERT_EQ(copy->ComponentCount(), 2);
    auto* leafA = static_cast<TLeaf*>(copy->Components(0));
    auto* leafB = static_cast<TLeaf*>(copy->Components(1));
    EXPECT_TRUE(SamePublishedValues(*root.Components(0), *leafA, &difference)) << difference;
    EXPECT_EQ(leafA->DesignPosition(), (TPoint{10, -20}));
    // References point into the new tree, not the old one.
    EXPECT_EQ(copy->Link(), leafA);
    EXPECT_EQ(leafA->Link(), leafB);
    EXPECT_EQ(leafB->Link(), copy);
    EXPECT_EQ(static_cast<TProbeItem*>(copy->Items()->Items(0))->Link(), leafB);
    // Events call the new root's methods.
    int count = 10;
    ASSERT_TRUE(copy->OnPing);
    copy->OnPing(copy, count);
    EXPECT_EQ(count, 11);
    EXPECT_EQ(copy->Pings, 1);
    ASSERT_TRUE(leafB->OnChange);
    leafB->OnChange(leafB);
    EXPECT_EQ(copy->Pings, 2);
    EXPECT_FALSE(copy->OnChange);
    EXPECT_EQ(ToText(copy), text);
  }
}

TEST_F(ComponentStream, DefaultsStoredRulesAndReadOnlyDecideWhatIsWritten) {
  TProbeRoot fresh(nullptr);
  fresh.SetName("Root1");
  // Only the collections, which are always written.
  EXPECT_EQ(ToText(&fresh), Lines({"object Root1: TProbeRoot", "  Items = <>",
                                   "  EmptyItems = <>", "end"}));

  TProbeAlways always(nullptr);
  always.SetName("Always1");
  EXPECT_EQ(ToText(&always), Lines({"object Always1: TProbeAlways", "  Zero = 0",
                                    "  NoKinds = []", "  Off = False", "  Nodes = <>", "end"}));
  always.SetZero(150);  // Hidden is stored above 100; ReadOnly never
  EXPECT_EQ(ToText(&always),
            Lines({"object Always1: TProbeAlways", "  Zero = 150", "  NoKinds = []",
                   "  Off = False", "  Hidden = 150", "  Nodes = <>", "end"}));

  // Setting a value back to its default leaves it out again; a set is compared whole.
  fresh.SetKinds({test::kdAlpha});
  fresh.SetKinds({});
  fresh.SetCount(0);
  EXPECT_EQ(ToText(&fresh).find("Kinds"), std::string::npos);
}

TEST_F(ComponentStream, ReferencesAreNamedFromTheRoot) {
  TComponent form(nullptr);
  form.SetName("Form1");
  TComponent other(nullptr);
  other.SetName("Other");
  auto* far = new TLeaf(&other);
  far->SetName("Far");
  auto* near = new TLeaf(&form);
  near->SetName("Near");
  auto* unnamed = new TLeaf(&form);

  EXPECT_EQ(TComponentWriter::ComponentPath(near, &form), "Near");
  EXPECT_EQ(TComponentWriter::ComponentPath(&form, &form), "Owner");
  EXPECT_EQ(TComponentWriter::ComponentPath(far, &form), "Other.Far");
  EXPECT_EQ(TComponentWriter::ComponentPath(unnamed, &form), "");
  EXPECT_EQ(TComponentWriter::ComponentPath(&other, &form), "");  // no owner to qualify by
}

TEST_F(ComponentStream, QualifiedReferencesResolveThroughTheRootsOwnerOrAGlobalLookup) {
  TComponent form(nullptr);
  form.SetName("Form1");
  auto* root = new TProbeRoot(&form);
  root->SetName("Root1");
  auto* sibling = new TLeaf(&form);
  sibling->SetName("Sibling");
  TComponent module(nullptr);
  module.SetName("Module");
  auto* far = new TLeaf(&module);
  far->SetName("Far");
  RegisterFindGlobalComponentProc(
      [&](std::string_view name) { return SameText(name, "Module") ? &module : nullptr; });

  FromText(Lines({"object Root1: TProbeRoot", "  Link = Form1.Sibling", "  Items = <",
                  "    item", "      Link = module.FAR", "    end", "    item",
                  "      Link = Module.Nobody", "    end>", "end"}),
           root);
  RegisterFindGlobalComponentProc(nullptr);
  EXPECT_EQ(root->Link(), sibling);
  EXPECT_EQ(static_cast<TProbeItem*>(root->Items()->Items(0))->Link(), far);
  EXPECT_EQ(static_cast<TProbeItem*>(root->Items()->Items(1))->Link(), nullptr);
}

// A reference read into a collection item that a later value of the same collection
// replaced must not be applied to the freed item.
TEST_F(ComponentStream, ReferencesIntoReplacedItemsAreDropped) {
  TProbeRoot root(nullptr);
  FromText(Lines({"object Root1: TProbeRoot", "  Items = <", "    item", "      Link = LeafB",
                  "    end", "    item", "      Link = LeafB", "    end>", "  Items = <",
                  "    item", "      Caption = 'only'", "    end>",
                  "  object LeafB: TLeaf", "  end", "end"}),
           &root);
  ASSERT_EQ(root.Items()->Count(), 1);
  EXPECT_EQ(static_cast<TProbeItem*>(root.Items()->Items(0))->Link(), nullptr);
}

// --- Reading: leniency and the collection rules --------------------------------------------

TEST_F(ComponentStream, NamesAndIdentifiersAreReadWithoutCase) {
  TProbeRoot root(nullptr);
  FromText("OBJECT Root1: TProbeRoot\n count = 5\n KIND = KDBETA\n kinds = [KDGAMMA]\n"
           " shade = SHRED\n LOOK.inner.DEPTH = 4\n flag = TRUE\n onping = handleping\nEND\n",
           &root);
  EXPECT_EQ(root.Count(), 5);
  EXPECT_EQ(root.Kind(), test::kdBeta);
  EXPECT_EQ(root.Kinds(), test::TProbeKinds{test::kdGamma});
  EXPECT_EQ(root.Shade(), 0xFF);
  EXPECT_EQ(root.Look()->Inner()->Depth(), 4);
  EXPECT_TRUE(root.Flag());
  EXPECT_TRUE(root.OnPing);
}

TEST_F(ComponentStream, EmptyCollectionValueKeepsItemsAndAFullOneReplacesThem) {
  TProbeRoot root(nullptr);
  root.Items()->Add();
  root.Items()->Add();
  FromText("object Root1: TProbeRoot\r\n  Items = <>\r\nend\r\n", &root);
  EXPECT_EQ(root.Items()->Count(), 2);
  FromText("object Root1: TProbeRoot\r\n  Items = <item [7] Value = 3 end item[2] end>\r\nend\r\n",
           &root);
  ASSERT_EQ(root.Items()->Count(), 2);  // the order numbers are read and not used
  EXPECT_EQ(static_cast<TProbeItem*>(root.Items()->Items(0))->Value(), 3);
}

TEST_F(ComponentStream, NestedCollectionsRoundTrip) {
  TProbeAlways always(nullptr);
  always.SetName("Tree");
  auto* node = static_cast<TProbeNode*>(always.Nodes()->Add());
  for (int depth = 1; depth <= 40; ++depth) {
    node->SetValue(depth);
    static_cast<TProbeNode*>(node->Sub()->Add())->SetValue(-depth);
    node = static_cast<TProbeNode*>(node->Sub()->Add());
  }
  const std::string text = ToText(&always);
  TProbeAlways copy(nullptr);
  FromText(text, &copy);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(always, copy, &difference)) << difference;
  EXPECT_EQ(ToText(&copy), text);
}

// --- Errors: messages, the hook's answers, and skipping -------------------------------------

struct TBadLine {
  std::string Line;
  std::string Message;  // after "Error reading "
};

TEST_F(ComponentStream, PropertyErrorsNameThePathAndCanBeSkippedOrRaised) {
  const std::vector<TBadLine> cases = {
      {"Foo = 1", "Root1.Foo: Property Foo does not exist"},
      {"Look.Foo = 'x'", "Root1.Look.Foo: Property Foo does not exist"},
      {"Nope.Depth = 1", "Root1.Nope.Depth: Property Nope does not exist"},
      {"Count.Foo = 1", "Root1.Count.Foo: Invalid property path"},
      {"Flag = 1", "Root1.Flag: Invalid property value"},
      {"Count = True", "Root1.Count: Invalid property value"},
      {"Count = 2147483648", "Root1.Count: Invalid property value"},
      {"Count = shNope", "Root1.Count: Invalid property value"},
      {"Card = -1", "Root1.Card: Invalid property value"},
      {"Card = 4294967296", "Root1.Card: Invalid property value"},
      {"Big = 1.5", "Root1.Big: Invalid property value"},
      {"Kind = kdNope", "Root1.Kind: Invalid property value"},
      {"Kind = 1", "Root1.Kind: Invalid property value"},
      {"Kinds = [kdAlpha, kdNope]", "Root1.Kinds: Invalid property value"},
      {"S1 = 5", "Root1.S1: Invalid property value"},
      {"W = kdAlpha", "Root1.W: Invalid property value"},
      {"Look = 'x'", "Root1.Look: Invalid property value"},
      {"Lines = ('a')", "Root1.Lines: Invalid property value"},
      {"Lines.Strings = ('a' 5)", "Root1.Lines.Strings: Invalid property value"},
      {"Lines.Strings = 'a'", "Root1.Lines.Strings: Invalid property value"},
      {"Items = 5", "Root1.Items: Invalid property value"},
      {"Items = <item Foo = 1 end>", "Root1.Items[0].Foo: Property Foo does not exist"},
      {"Items = <item end item Enabled = 3 end>", "Root1.Items[1].Enabled: Invalid property value"},
      {"Items = <item Look.Inner.Kinds = [x] end>",
       "Root1.Items[0].Look.Inner.Kinds: Invalid property value"},
      {"Link = 5", "Root1.Link: Invalid property value"},
      {"OnPing = NoSuchMethod", "Root1.OnPing: Invalid property value"},
      {"OnPing = HandleNotify", "Root1.OnPing: Invalid property value"},  // other signature
      {"Left = 'x'", "Root1.Left: Invalid property value"},
      {"Left = 5000000000", "Root1.Left: Invalid property value"},
      {"Blob = 'x'", "Root1.Blob: Invalid property value"},
  };
  for (const TBadLine& c : cases) {
    SCOPED_TRACE(c.Line);
    const std::string text = "object Root1: TProbeRoot\r\n  Kinds = [kdBeta]\r\n  " + c.Line +
                             "\r\n  Count = 9\r\nend\r\n";
    const std::string expected = "Error reading " + c.Message;
    {
      TProbeRoot root(nullptr);
      root.Lines()->Add("kept");
      TRecorder skip;
      FromText(text, &root, skip.Hook());
      EXPECT_THAT(skip.Messages, testing::ElementsAre(expected));
      EXPECT_EQ(root.Count(), 9);  // reading went on after the skipped value
      EXPECT_EQ(root.Kinds(), test::TProbeKinds{test::kdBeta});
      EXPECT_EQ(root.Lines()->Text(), "kept\r\n");  // never half applied
      EXPECT_FALSE(root.OnPing);
      EXPECT_EQ(root.LoadedCalls, 1);
    }
    {
      TProbeRoot root(nullptr);
      TRecorder refuse;
      refuse.Answer = false;
      EXPECT_THAT([&] { FromText(text, &root, refuse.Hook()); },
                  testing::ThrowsMessage<EReadError>(testing::StrEq(expected)));
      EXPECT_EQ(refuse.Messages.size(), 1u);  // offered once, however deep
      EXPECT_EQ(root.Count(), 0);
      EXPECT_FALSE(root.ComponentState().Contains(csLoading));
      EXPECT_FALSE(root.ComponentState().Contains(csReading));
    }
  }
}

TEST_F(ComponentStream, ChildErrorsSkipTheWholeChild) {
  const std::string text = Lines({"object Root1: TProbeRoot", "  object A: TNope",
                                  "    Count = 1", "    object Inner: TLeaf", "    end", "  end",
                                  "  object B: TLeaf", "  end", "  object B: TLeaf",
                                  "    Count = 2", "  end", "  object C: TLeaf",
                                  "    Count = 3", "  end", "end"});
  TProbeRoot root(nullptr);
  TRecorder skip;
  FromText(text, &root, skip.Hook());
  EXPECT_THAT(skip.Messages, testing::ElementsAre("Class TNope not found",
                                                  "A component named B already exists"));
  ASSERT_EQ(root.ComponentCount(), 2);
  EXPECT_EQ(root.Components(0)->Name(), "B");
  EXPECT_EQ(static_cast<TLeaf*>(root.Components(0))->Count(), 0);
  EXPECT_EQ(root.Components(1)->Name(), "C");
  EXPECT_EQ(static_cast<TLeaf*>(root.Components(1))->Count(), 3);

  TProbeRoot refused(nullptr);
  EXPECT_THROW(FromText(text, &refused), EReadError);  // no hook: the first error raises
  EXPECT_EQ(refused.ComponentCount(), 0);
}

TEST_F(ComponentStream, SyntaxErrorsAreNotOfferedToTheHook) {
  TProbeRoot root(nullptr);
  TRecorder skip;
  EXPECT_THAT([&] { FromText("object Root1: TProbeRoot\r\n  S1 = 'open\r\nend\r\n", &root,
                             skip.Hook()); },
              testing::Throws<EParserError>());
  EXPECT_TRUE(skip.Messages.empty());
}

TEST_F(ComponentStream, UnresolvedReferencesStayEmptyAndLoadedRunsOncePerComponent) {
  TProbeRoot root(nullptr);
  FromText(Lines({"object Root1: TProbeRoot", "  Link = NoSuch", "  object L: TLeaf",
                  "    Link = Owner", "  end", "end"}),
           &root);
  EXPECT_EQ(root.Link(), nullptr);
  EXPECT_EQ(static_cast<TLeaf*>(root.Components(0))->Link(), &root);
  EXPECT_EQ(root.LoadedCalls, 1);
  EXPECT_FALSE(root.Components(0)->ComponentState().Contains(csLoading));
}

// --- Malformed input: every cut of a real file, in both forms -----------------------------

TEST_F(ComponentStream, EveryTruncationFailsCleanlyOrLoads) {
  TProbeRoot source(nullptr);
  Populate(source);
  const std::string text = ToText(&source);
  TMemoryStream binary;
  WriteComponentBinary(binary, &source);
  const std::string bytes = binary.DataString();

  int loadedText = 0, loadedBinary = 0;
  for (size_t cut = 0; cut < text.size(); ++cut) {
    TProbeRoot root(nullptr);
    try {
      FromText(std::string_view(text).substr(0, cut), &root, TRecorder().Hook());
      ++loadedText;
    } catch (const Exception&) {
    }
  }
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    TMemoryStream in(std::string_view(bytes).substr(0, cut));
    TProbeRoot root(nullptr);
    TComponentReader reader(in);
    TRecorder skip;
    reader.OnError = skip.Hook();
    try {
      reader.ReadRootComponent(&root);
      ++loadedBinary;
    } catch (const Exception&) {
      EXPECT_FALSE(root.ComponentState().Contains(csLoading));
    }
  }
  // Only a cut in the trailing line break leaves a whole object.
  EXPECT_LE(loadedText, 2);
  EXPECT_EQ(loadedBinary, 0);
}

TEST_F(ComponentStream, CorruptBytesNeverCrashTheReader) {
  TProbeRoot source(nullptr);
  Populate(source);
  TMemoryStream binary;
  WriteComponentBinary(binary, &source);
  const std::string bytes = binary.DataString();
  int loaded = 0;
  for (size_t i = 4; i < bytes.size(); ++i)
    for (uint8_t x : {0x01, 0x80, 0xFF}) {
      std::string corrupt = bytes;
      corrupt[i] = static_cast<char>(corrupt[i] ^ x);
      TMemoryStream in(corrupt);
      TComponentReader reader(in);
      TRecorder skip;
      reader.OnError = skip.Hook();
      TProbeRoot root(nullptr);
      try {
        reader.ReadRootComponent(&root);
        ++loaded;
      } catch (const Exception&) {
      }
    }
  EXPECT_GT(loaded, 0);  // some flips only change a value
}

TEST_F(ComponentStream, VeryLongValuesRoundTrip) {
  TProbeRoot root(nullptr);
  root.SetName("Root1");
  std::string value;
  for (int i = 0; value.size() < 300000; ++i) value += static_cast<char>(1 + i % 255);
  root.SetS1(value);
  root.Lines()->Add(value);
  root.Blob = value;
  TProbeRoot copy(nullptr);
  FromText(ToText(&root), &copy);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(root, copy, &difference)) << difference;
  EXPECT_EQ(copy.Blob, value);
  // The same value on one line, as other writers leave it.
  std::string quoted = "'";
  for (char c : std::string(200000, 'q')) quoted += c;
  FromText("object Root1: TProbeRoot S1 = " + quoted + "' end", &copy);
  EXPECT_EQ(copy.S1().size(), 200000u);
}

TEST_F(ComponentStream, DeepNestingIsReadUpToTheLimitAndRefusedBeyond) {
  auto nested = [](int depth) {
    std::string text = "object Tree: TProbeAlways Nodes = <", tail;
    for (int i = 0; i < depth; ++i) {
      text += "item Value = " + std::to_string(i) + " Sub = <";
      tail += "> end";
    }
    return text + tail + "> end";
  };
  TProbeAlways tree(nullptr);
  FromText(nested(MaxNestingLevel / 2 - 5), &tree);  // a collection and an item: two levels
  const TCollection* level = tree.Nodes();
  int depth = 0;
  for (; level->Count() > 0; ++depth) level = static_cast<TProbeNode*>(level->Items(0))->Sub();
  EXPECT_EQ(depth, MaxNestingLevel / 2 - 5);
  EXPECT_THROW(FromText(nested(MaxNestingLevel), &tree), Exception);
}

TEST_F(ComponentStream, DeepNestingIsRefusedNotOverflowed) {
  std::string text = "object Tree: TProbeAlways\r\n";
  std::string tail;
  text += "  Nodes = <";
  for (int i = 0; i < MaxNestingLevel + 10; ++i) {
    text += "item Sub = <";
    tail += "> end";
  }
  text += tail + ">\r\nend\r\n";
  TProbeAlways tree(nullptr);
  EXPECT_THROW(FromText(text, &tree), Exception);
}

}  // namespace
}  // namespace qv
