// Menu items: the child list and its errors, who frees whom, free notification, clicks, and
// a menu tree written and read back as text.
#include "framework/Menus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/ComponentStream.h"
#include "framework/Streams.h"
#include "tests/support/ComponentProbes.h"

namespace qv {
namespace {

using testing::StrEq;
using testing::ThrowsMessage;

std::string Captions(const TMenuItem& menu) {
  std::string s;
  for (int i = 0; i < menu.Count(); ++i) s += (i ? " " : "") + menu.Items(i)->Caption();
  return s;
}

TMenuItem* NewItem(TComponent* owner, const std::string& caption) {
  auto* item = new TMenuItem(owner);
  item->SetCaption(caption);
  return item;
}

using test::TRemovalProbe;

TEST(TMenuItem, ChildListKeepsOrderAndParent) {
  TComponent form(nullptr);
  TMenuItem menu(nullptr);
  TMenuItem* b = NewItem(&form, "b");
  menu.Add(b);
  menu.Add(NewItem(&form, "d"));
  menu.Insert(0, NewItem(&form, "a"));
  menu.Insert(2, NewItem(&form, "c"));
  menu.Insert(4, NewItem(&form, "e"));  // Count itself appends
  EXPECT_EQ(Captions(menu), "a b c d e");
  EXPECT_EQ(b->Parent(), &menu);
  EXPECT_EQ(menu.IndexOf(b), 1);

  menu.Delete(1);  // out of the list, not freed
  EXPECT_EQ(Captions(menu), "a c d e");
  EXPECT_EQ(b->Parent(), nullptr);
  EXPECT_EQ(menu.IndexOf(b), -1);
  EXPECT_EQ(form.ComponentCount(), 5);
  menu.Remove(menu.Items(3));
  menu.Remove(b);  // not a child: nothing
  EXPECT_EQ(Captions(menu), "a c d");
  EXPECT_EQ(form.ComponentCount(), 5);
}

TEST(TMenuItem, BadIndexesAndSecondInsertionRaise) {
  TComponent form(nullptr);
  TMenuItem menu(nullptr);
  TMenuItem other(nullptr);
  TMenuItem* a = NewItem(&form, "a");
  menu.Add(a);
  for (int index : {-1, 1})
    EXPECT_THAT([&] { menu.Items(index); },
                ThrowsMessage<EMenuError>(StrEq("Menu index out of range")))
        << index;
  EXPECT_THROW(menu.Insert(2, NewItem(&form, "x")), EMenuError);
  EXPECT_THROW(menu.Delete(1), EMenuError);
  EXPECT_THAT([&] { other.Add(a); }, ThrowsMessage<EMenuError>(StrEq("Menu inserted twice")));
  EXPECT_EQ(a->Parent(), &menu);
  EXPECT_EQ(other.Count(), 0);
}

TEST(TMenuItem, ParentFreesChildrenAndFreedChildLeavesParent) {
  TComponent form(nullptr);
  auto* menu = new TMenuItem(nullptr);
  auto* sub = NewItem(&form, "sub");
  menu->Add(sub);
  sub->Add(NewItem(&form, "leaf"));
  menu->Add(NewItem(&form, "second"));
  EXPECT_EQ(form.ComponentCount(), 3);

  delete menu->Items(1);
  EXPECT_EQ(Captions(*menu), "sub");
  EXPECT_EQ(form.ComponentCount(), 2);

  delete menu;  // frees the whole tree below it, though the form owns the items
  EXPECT_EQ(form.ComponentCount(), 0);

  TMenuItem cleared(nullptr);
  cleared.Add(NewItem(&form, "x"));
  cleared.Add(NewItem(&form, "y"));
  cleared.Clear();
  EXPECT_EQ(cleared.Count(), 0);
  EXPECT_EQ(form.ComponentCount(), 0);
}

TEST(TMenuItem, OwnerFreesItemsInAnyOrderOfCreation) {
  // The child is created before its menu, so the owner frees the menu first and the menu
  // frees the child; each must end exactly once.
  TRemovalProbe listener(nullptr);
  auto* form = new TComponent(nullptr);
  TMenuItem* leaf = NewItem(form, "leaf");
  TMenuItem* menu = NewItem(form, "menu");
  menu->Add(leaf);
  leaf->FreeNotification(&listener);
  menu->FreeNotification(&listener);
  delete form;
  EXPECT_THAT(listener.Removed, testing::UnorderedElementsAre(leaf, menu));
}

TEST(TMenuItem, ClickFiresOnClickWithTheItemAsSender) {
  TMenuItem item(nullptr);
  item.Click();  // no handler: nothing
  std::vector<TObject*> senders;
  item.OnClick = [&](TObject* sender) { senders.push_back(sender); };
  item.Click();
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], &item);
}

TEST(TMenuItem, MenuTreeRoundTripsThroughText) {
  RegisterClass("TMenuItem", CreateComponentOf<TMenuItem>);
  TMenuItem menu(nullptr);
  menu.SetName("Lexers");
  TMenuItem* plain = NewItem(&menu, "Plain Text");
  plain->SetName("PlainItem");
  plain->SetChecked(true);
  plain->SetTag(-1);
  menu.Add(plain);
  TMenuItem* web = NewItem(&menu, "Web");
  web->SetName("WebItem");
  menu.Add(web);
  TMenuItem* html = NewItem(&menu, "HTML");
  html->SetName("HtmlItem");
  web->Add(html);

  TMemoryStream text;
  WriteComponentText(text, &menu);
  EXPECT_THAT(text.DataString(), testing::HasSubstr("Caption = 'Plain Text'"));

  TMenuItem copy(nullptr);
  text.SetPosition(0);
  ReadComponentText(text, &copy);
  ASSERT_EQ(Captions(copy), "Plain Text Web");
  EXPECT_TRUE(copy.Items(0)->Checked());
  EXPECT_EQ(copy.Items(0)->Tag(), -1);
  EXPECT_FALSE(copy.Items(1)->Checked());
  EXPECT_EQ(Captions(*copy.Items(1)), "HTML");
  EXPECT_EQ(copy.Items(1)->Items(0)->Owner(), &copy);
  UnRegisterClass("TMenuItem");
}

}  // namespace
}  // namespace qv
