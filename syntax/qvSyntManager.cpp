// Lexer libraries: the library lexer's link to its manager, the manager's list, its library
// files, and the lexer menu it builds.
#include "syntax/qvSyntManager.h"

#include <algorithm>
#include <string_view>

#include "framework/Dialogs.h"

namespace qv {

namespace {

inline constexpr const char* SSeparatorCaption = "-";
// Tags of the menu items the manager builds: separators and submenus, and plain text.
inline constexpr intptr_t TagGroupItem = -2;
inline constexpr intptr_t TagPlainText = -1;

TComponent* LexerOwnerFor(TComponent* owner) {
  if (auto* manager = dynamic_cast<TSyntaxManager*>(owner)) return manager->Owner();
  return owner;
}

}  // namespace

// --- TLibSyntAnalyzer -------------------------------------------------------------------------

TLibSyntAnalyzer::TLibSyntAnalyzer(TComponent* owner) : TSyntAnalyzer(LexerOwnerFor(owner)) {}

TLibSyntAnalyzer::~TLibSyntAnalyzer() {
  if (FParent) FParent->RemoveLexer(this);
}

TComponent* TLibSyntAnalyzer::GetParentComponent() const { return FParent; }

void TLibSyntAnalyzer::SetParentComponent(TComponent* value) {
  if (value == FParent) return;
  if (!value && ComponentState().Contains(csLoading)) return;
  if (FParent) FParent->RemoveLexer(this);
  if (auto* manager = dynamic_cast<TSyntaxManager*>(value)) manager->AddLexer(this);
}

void TLibSyntAnalyzer::LoadFromStream(TStream& stream) {
  try {
    TSyntAnalyzer::LoadFromStream(stream);
  } catch (const Exception& e) {  // a broken lexer is reported and kept as far as it was read
    MessageBox(Format(SLexerLoadingError, LexerName(), e.Message()), SLexerLoadingErrorCaption,
               MB_OK | MB_ICONERROR);
  }
}

// --- TSyntaxManager ---------------------------------------------------------------------------

// The lexer items' click handler. A type of its own, so that the manager can tell its items
// from any others by the target of their OnClick.
struct TSyntaxManager::TLexerClickHandler {
  TSyntaxManager* Manager;  // not owned
  void operator()(TObject* sender) const { Manager->LexerItemClick(sender); }
};

void TSyntaxManager::DeclareClass(TClassDecl& c) {
  c.Component("LexersMenu", &TSyntaxManager::LexersMenu, &TSyntaxManager::SetLexersMenu)
      .Stored(&TSyntaxManager::IsPublishedStored);
  c.String("MenuPlainText", &TSyntaxManager::MenuPlainText, &TSyntaxManager::SetMenuPlainText)
      .Stored(&TSyntaxManager::IsPublishedStored);
  c.Event("OnLexerChanged", &TSyntaxManager::OnLexerChanged)
      .Stored(&TSyntaxManager::IsPublishedStored);
  c.Event("OnChange", &TSyntaxManager::OnChange).Stored(&TSyntaxManager::IsPublishedStored);
}

TSyntaxManager::TSyntaxManager(TComponent* owner) : TLoadableComponent(owner) {}

TSyntaxManager::~TSyntaxManager() {
  OnChange = nullptr;
  Clear();
  // Items left behind would call into a freed manager when clicked.
  if (FLexersMenu && !FLexersMenu->ComponentState().Contains(csDestroying)) RemoveLexerItems();
}

TLibSyntAnalyzer* TSyntaxManager::Analyzers(int index) const {
  if (index < 0 || index >= AnalyzerCount()) throw EListError(Format(SListIndexError, index));
  return FList[static_cast<size_t>(index)];
}

int TSyntaxManager::IndexOf(const TSyntAnalyzer* lexer) const {
  auto it = std::find(FList.begin(), FList.end(), lexer);
  return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

void TSyntaxManager::SetCurrentLexer(TLibSyntAnalyzer* value) {
  if (value == FCurrentLexer) return;
  if (value && IndexOf(value) < 0) return;
  FCurrentLexer = value;
  UpdateMenuChecks();
}

void TSyntaxManager::AddLexer(TLibSyntAnalyzer* lexer) {
  FList.push_back(lexer);
  lexer->FParent = this;
}

void TSyntaxManager::RemoveLexer(TLibSyntAnalyzer* lexer) {
  std::erase(FList, lexer);
  lexer->FParent = nullptr;
  if (FCurrentLexer == lexer) FCurrentLexer = nullptr;  // never points at a freed lexer
}

void TSyntaxManager::Clear() {
  // Each lexer leaves the list in its destructor.
  while (!FList.empty()) delete FList.back();
  if (OnChange) OnChange(this);
  FModified = true;
}

void TSyntaxManager::Change() {
  UpdateLexersMenu();
  if (OnChange) OnChange(this);
}

void TSyntaxManager::LoadFromFile(const std::string& fileName) {
  Clear();
  TLoadableComponent::LoadFromFile(fileName);
  Change();
  FModified = false;
}

void TSyntaxManager::SaveToFile(const std::string& fileName) {
  TLoadableComponent::SaveToFile(fileName);
  FModified = false;
}

void TSyntaxManager::HandleReadError(TReader& reader, const std::string& message, bool& handled) {
  if (!IgnoreAll() && !FList.empty()) {
    const std::string named = SErrorInLexer + FList.back()->Name() + ". " + message;
    TLoadableComponent::HandleReadError(reader, named, handled);
    return;
  }
  TLoadableComponent::HandleReadError(reader, message, handled);
}

void TSyntaxManager::SetLexersMenu(TMenuItem* value) {
  if (value == FLexersMenu) return;
  if (FLexersMenu) FLexersMenu->RemoveFreeNotification(this);
  FLexersMenu = value;
  if (FLexersMenu) FLexersMenu->FreeNotification(this);
  UpdateLexersMenu();
}

void TSyntaxManager::SetMenuPlainText(const std::string& value) {
  if (value == FMenuPlainText) return;
  FMenuPlainText = value;
  UpdateLexersMenu();
}

bool TSyntaxManager::IsLexerMenuItem(const TMenuItem* item) const {
  const auto* handler = item->OnClick.target<TLexerClickHandler>();
  return handler && handler->Manager == this;
}

void TSyntaxManager::RemoveLexerItems() {
  for (int i = FLexersMenu->Count() - 1; i >= 0; --i) {
    TMenuItem* item = FLexersMenu->Items(i);
    if (IsLexerMenuItem(item) || item->Tag() == TagGroupItem) delete item;  // leaves the menu
  }
}

void TSyntaxManager::UpdateLexersMenu() {
  if (!FLexersMenu || ComponentState().Contains(csDesigning)) return;
  RemoveLexerItems();

  // Items the user put into the menu are set apart by one separator, placed before the first
  // item built after it became due.
  bool separatorDue = FLexersMenu->Count() > 0;
  auto addItem = [&](TMenuItem* parent, const std::string& caption, intptr_t tag,
                     bool lexerItem) {
    if (separatorDue) {
      auto* separator = new TMenuItem(Owner());
      separator->SetCaption(SSeparatorCaption);
      separator->SetTag(TagGroupItem);
      parent->Add(separator);
      separatorDue = false;
    }
    auto* item = new TMenuItem(Owner());
    item->SetCaption(caption);
    item->SetTag(tag);
    if (lexerItem) item->OnClick = TLexerClickHandler{this};
    parent->Add(item);
    return item;
  };

  if (!FMenuPlainText.empty()) {
    addItem(FLexersMenu, FMenuPlainText, TagPlainText, true);
    separatorDue = true;
  }
  for (int i = 0; i < AnalyzerCount(); ++i) {
    TLibSyntAnalyzer* lexer = FList[static_cast<size_t>(i)];
    if (lexer->Internal()) continue;
    std::string_view name = lexer->LexerName();
    TMenuItem* parent = FLexersMenu;
    // "Web::HTML": a submenu Web holding HTML. A leading "::" is part of the name.
    for (size_t sep = name.find("::", 1); sep != std::string_view::npos;
         sep = name.find("::", 1)) {
      const std::string_view group = name.substr(0, sep);
      TMenuItem* submenu = nullptr;
      for (int k = 0; k < parent->Count() && !submenu; ++k) {
        TMenuItem* item = parent->Items(k);
        if (item->Tag() == TagGroupItem && SameText(item->Caption(), group)) submenu = item;
      }
      if (!submenu) submenu = addItem(parent, std::string(group), TagGroupItem, false);
      parent = submenu;
      name = name.substr(sep + 2);
    }
    addItem(parent, std::string(name), i, true);
  }
  UpdateMenuChecks();
}

void TSyntaxManager::UpdateMenuChecks() {
  if (!FLexersMenu) return;
  const intptr_t current = FCurrentLexer ? IndexOf(FCurrentLexer) : -1;
  auto check = [&](auto& self, TMenuItem* menu) -> void {
    for (int i = 0; i < menu->Count(); ++i) {
      TMenuItem* item = menu->Items(i);
      if (IsLexerMenuItem(item)) item->SetChecked(item->Tag() == current);
      self(self, item);
    }
  };
  check(check, FLexersMenu);
}

void TSyntaxManager::LexerItemClick(TObject* sender) {
  auto* item = dynamic_cast<TComponent*>(sender);
  if (!item) return;
  const intptr_t tag = item->Tag();
  if (tag == TagPlainText) {
    SetCurrentLexer(nullptr);
  } else if (tag >= 0 && tag < AnalyzerCount()) {
    SetCurrentLexer(FList[static_cast<size_t>(tag)]);
  } else {
    return;
  }
  if (OnLexerChanged) OnLexerChanged(this);
}

void TSyntaxManager::GetChildren(const TGetChildProc& proc, TComponent*) {
  if (ComponentState().Contains(csDestroying)) return;
  for (TLibSyntAnalyzer* lexer : FList) proc(lexer);
}

void TSyntaxManager::Notification(TComponent* component, TOperation operation) {
  TLoadableComponent::Notification(component, operation);
  if (operation == opRemove && component == FLexersMenu) FLexersMenu = nullptr;
}

}  // namespace qv
