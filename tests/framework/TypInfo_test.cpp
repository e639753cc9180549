// Published-property metadata: streaming order with properties stated again, lookups without
// case, identifier tables, method binding, and the generic copy and compare built on it.
#include "framework/TypInfo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/ComponentStream.h"
#include "tests/support/StreamProbes.h"

namespace qv {
namespace {

using test::TLeaf;
using test::TProbeItem;
using test::TProbeRoot;

std::vector<std::string> Names(const TClassInfo& info) {
  std::vector<std::string> names;
  for (const TPropInfo* p : info.Properties()) names.push_back(p->Name);
  return names;
}

// States Count of its ancestor again with another default, and adds a typed reference.
class TLeafWithDefault : public TLeaf {
  QV_CLASS(TLeafWithDefault, TLeaf)
  static void DeclareClass(TClassDecl& c) {
    c.Component("Partner", &TLeafWithDefault::Partner, &TLeafWithDefault::SetPartner);
    c.Integer("count", &TLeafWithDefault::Count, &TLeafWithDefault::SetCount).Default(7);
  }
  explicit TLeafWithDefault(TComponent* owner) : TLeaf(owner) { SetCount(7); }
  TLeaf* Partner() const { return FPartner; }
  void SetPartner(TLeaf* v) { FPartner = v; }

private:
  TLeaf* FPartner = nullptr;  // not owned
};

TEST(TypInfo, InheritedPropertiesComeFirstAndAStatedAgainOneKeepsItsPlace) {
  EXPECT_THAT(Names(ClassInfoOf<TLeaf>()),
              testing::ElementsAre("Name", "Tag", "Count", "Note", "Link", "OnChange"));
  const TClassInfo& derived = ClassInfoOf<TLeafWithDefault>();
  EXPECT_THAT(Names(derived),
              testing::ElementsAre("Name", "Tag", "count", "Note", "Link", "OnChange", "Partner"));
  const TPropInfo* count = derived.FindProperty("COUNT");
  ASSERT_NE(count, nullptr);
  EXPECT_EQ(count->DefaultValue, 7);
  EXPECT_EQ(count->DeclaredBy, &derived);
  EXPECT_EQ(ClassInfoOf<TLeaf>().FindProperty("Count")->DefaultValue, 0);  // ancestor untouched
  EXPECT_EQ(derived.FindProperty("Nothing"), nullptr);

  EXPECT_TRUE(derived.InheritsFrom(ClassInfoOf<TComponent>()));
  EXPECT_FALSE(ClassInfoOf<TLeaf>().InheritsFrom(derived));
  EXPECT_STREQ(derived.Parent()->Name(), "TLeaf");
  TLeafWithDefault leaf(nullptr);
  EXPECT_EQ(&leaf.ClassType(), &derived);
  EXPECT_STREQ(leaf.ClassName(), "TLeafWithDefault");

  // The stated-again default decides what is written.
  leaf.SetName("L");
  TMemoryStream out;
  WriteComponentText(out, &leaf);
  EXPECT_EQ(out.DataString(), "object L: TLeafWithDefault\r\nend\r\n");
}

TEST(TypInfo, IdentifierTablesLookUpWithoutCaseAndRefuseStrangers) {
  int64_t v = -1;
  EXPECT_TRUE(test::ProbeKindInfo.ValueOf("KDGAMMA", v));
  EXPECT_EQ(v, test::kdGamma);
  EXPECT_FALSE(test::ProbeKindInfo.ValueOf("kdGamm", v));
  EXPECT_STREQ(test::ProbeKindInfo.NameOf(3), "kdDelta");
  EXPECT_EQ(test::ProbeKindInfo.NameOf(4), nullptr);
  EXPECT_EQ(test::ProbeKindInfo.NameOf(-1), nullptr);
  EXPECT_TRUE(test::ProbeShadeIdents.ValueOf("shsystemtext", v));
  EXPECT_EQ(v, -16);
  EXPECT_EQ(test::ProbeShadeIdents.NameOf(12345), nullptr);

  const TClassInfo& root = ClassInfoOf<TProbeRoot>();
  EXPECT_EQ(OrdinalToString(*root.FindProperty("Kinds"), 0b1010), "[kdBeta, kdDelta]");
  EXPECT_EQ(OrdinalToString(*root.FindProperty("Kinds"), 0), "[]");
  EXPECT_EQ(OrdinalToString(*root.FindProperty("Shade"), 0xFF), "shRed");
  EXPECT_EQ(OrdinalToString(*root.FindProperty("Shade"), 12), "12");
  EXPECT_EQ(OrdinalToString(*root.FindProperty("Flag"), 1), "True");
  EXPECT_EQ(OrdinalToString(*root.FindProperty("Kind"), 2), "kdGamma");
}

TEST(TypInfo, MethodsBindByNameOnlyToObjectsOfTheirClass) {
  const TClassInfo& info = ClassInfoOf<TProbeRoot>();
  const TMethodInfo* ping = info.FindMethod("handleping");
  ASSERT_NE(ping, nullptr);
  EXPECT_EQ(info.FindMethod("Nothing"), nullptr);

  TProbeRoot root(nullptr);
  TLeaf stranger(nullptr);
  EXPECT_FALSE(ping->Bind(stranger, *ping).has_value());

  const TPropInfo* onPing = info.FindProperty("OnPing");
  ASSERT_TRUE(onPing->SetEvent(root, ping->Bind(root, *ping)));
  int count = 0;
  root.OnPing(&root, count);
  EXPECT_EQ(count, 1);
  TEventBinding binding = onPing->GetEventBinding(root);
  EXPECT_EQ(binding.Self, &root);
  EXPECT_EQ(binding.Method, ping);

  // An event of another signature refuses the method and keeps its value.
  const TPropInfo* onChange = info.FindProperty("OnChange");
  EXPECT_FALSE(onChange->SetEvent(root, ping->Bind(root, *ping)));
  EXPECT_FALSE(root.OnChange);
  // Assigned in code, an event has no name.
  root.OnPing = [](TObject*, int&) {};
  EXPECT_TRUE(onPing->EventAssigned(root));
  EXPECT_EQ(onPing->GetEventBinding(root).Method, nullptr);
}

TEST(TypInfo, TypedReferenceSettersRefuseComponentsOfAnotherClass) {
  TLeafWithDefault leaf(nullptr);
  TLeaf partner(nullptr);
  TComponent plain(nullptr);
  const TPropInfo* prop = leaf.ClassType().FindProperty("Partner");
  prop->SetComponent(leaf, &partner);
  EXPECT_EQ(leaf.Partner(), &partner);
  EXPECT_THROW(prop->SetComponent(leaf, &plain), EConvertError);
  EXPECT_EQ(leaf.Partner(), &partner);
  prop->SetComponent(leaf, nullptr);
  EXPECT_EQ(leaf.Partner(), nullptr);
}

TEST(TypInfo, AssignPublishedCopiesValuesAndOwnedObjectsButNotTheName) {
  test::RegisterProbeClasses();
  TProbeRoot source(nullptr);
  source.SetName("Source");
  source.SetCount(4);
  source.SetCard(4000000000u);
  source.SetKinds({test::kdGamma});
  source.SetS1("eight-bit");
  source.SetW(u"wide \u20AC");
  source.Lines()->Add("line");
  source.Look()->Inner()->SetDepth(9);
  TLeaf target(nullptr);
  source.SetLink(&target);
  auto* item = static_cast<TProbeItem*>(source.Items()->Add());
  item->SetCaption("c");
  item->Look()->SetName("item look");
  const TMethodInfo* ping = source.ClassType().FindMethod("HandlePing");
  source.OnPing = std::any_cast<test::TPingEvent>(ping->Bind(source, *ping));

  TProbeRoot dest(nullptr);
  dest.SetName("Dest");
  AssignPublished(dest, source);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(dest, source, &difference)) << difference;
  EXPECT_EQ(dest.Name(), "Dest");
  EXPECT_EQ(dest.Link(), &target);
  // Owned objects are copies, not shared.
  EXPECT_NE(dest.Lines(), source.Lines());
  source.Lines()->Add("later");
  source.Look()->Inner()->SetDepth(1);
  EXPECT_EQ(dest.Lines()->Count(), 1);
  EXPECT_EQ(dest.Look()->Inner()->Depth(), 9);
  ASSERT_EQ(dest.Items()->Count(), 1);
  EXPECT_NE(dest.Items()->Items(0), source.Items()->Items(0));
  EXPECT_EQ(static_cast<TProbeItem*>(dest.Items()->Items(0))->Look()->Name(), "item look");
  // The event is the same binding: it still calls the source's method.
  int count = 0;
  dest.OnPing(&dest, count);
  EXPECT_EQ(source.Pings, 1);

  // Between classes only the properties of the same name and kind are copied.
  TLeaf leaf(nullptr);
  leaf.SetName("Leaf");
  AssignPublished(leaf, source);
  EXPECT_EQ(leaf.Count(), 4);
  EXPECT_EQ(leaf.Link(), &target);
  EXPECT_EQ(leaf.Name(), "Leaf");
}

TEST(TypInfo, SamePublishedValuesNamesTheFirstDifference) {
  TProbeRoot a(nullptr), b(nullptr);
  std::string difference;
  EXPECT_TRUE(SamePublishedValues(a, b, &difference));
  struct TCase {
    std::function<void(TProbeRoot&)> Change;
    std::string Path;
  };
  const std::vector<TCase> cases = {
      {[](TProbeRoot& r) { r.SetBig(1); }, "Big"},
      {[](TProbeRoot& r) { r.SetW(u"w"); }, "W"},
      {[](TProbeRoot& r) { r.Look()->Inner()->SetKinds({test::kdBeta}); }, "Look.Inner.Kinds"},
      {[](TProbeRoot& r) { r.Lines()->Add("x"); }, "Lines.<defined data>"},
      {[](TProbeRoot& r) { r.Items()->Add(); }, "Items.Count"},
      {[](TProbeRoot& r) { r.Blob = "b"; }, "<defined data>"},
      {[](TProbeRoot& r) { r.SetLink(&r); }, "Link"},
  };
  for (const TCase& c : cases) {
    TProbeRoot changed(nullptr);
    c.Change(changed);
    EXPECT_FALSE(SamePublishedValues(a, changed, &difference)) << c.Path;
    EXPECT_EQ(difference, c.Path);
  }
  a.Items()->Add();
  b.Items()->Add();
  static_cast<TProbeItem*>(b.Items()->Items(0))->SetEnabled(false);
  EXPECT_FALSE(SamePublishedValues(a, b, &difference));
  EXPECT_EQ(difference, "Items[0].Enabled");
  TLeaf leaf(nullptr);
  EXPECT_FALSE(SamePublishedValues(a, leaf, &difference));
  EXPECT_EQ(difference, "<class>");
}

}  // namespace
}  // namespace qv
