// Lexer libraries: a manager that keeps a set of lexers in order, saves and loads them as one
// file, knows the current lexer and builds a menu to pick it from. The lexers of a library
// are TLibSyntAnalyzer objects whose parent (not owner) is the manager.
#pragma once

#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Menus.h"
#include "syntax/qvLoadable.h"
#include "syntax/qvSyntAnalyzer.h"

namespace qv {

inline constexpr const char* SDefaultMenuPlainText = "Plain Text";
inline constexpr const char* SLexerLoadingErrorCaption = "Lexer loading error";
inline constexpr const char* SLexerLoadingError =
    "Error occurs during loading lexer \"%s\". Error:\r\n%s";
inline constexpr const char* SErrorInLexer = "Error in lexer: ";

class TSyntaxManager;

// A lexer that belongs to a library. Its parent is its manager; its owner is the manager's
// owner, so the lexers of a library are siblings of the manager and refer to each other (as
// sub-lexers) by plain name. It always says it has a parent, so it is streamed as a child.
class TLibSyntAnalyzer : public TSyntAnalyzer {
  QV_CLASS(TLibSyntAnalyzer, TSyntAnalyzer)

  // Given a manager as owner, takes the manager's owner instead; it does not join the
  // manager's list until its parent is set.
  explicit TLibSyntAnalyzer(TComponent* owner);
  // Leaves the manager's list before anything else goes.
  ~TLibSyntAnalyzer() override;

  TSyntaxManager* SyntManager() const { return FParent; }

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  // Leaves the old manager's list and joins the end of the new one's, if value is a manager.
  // Nothing happens when value is the current parent, or when it is null while the lexer is
  // being loaded.
  void SetParentComponent(TComponent* value) override;

  // A load that fails with a framework exception is reported in the message box "Lexer
  // loading error" and goes no further; what was read until the error stays. Anything else
  // thrown passes on.
  void LoadFromStream(TStream& stream) override;

private:
  friend class TSyntaxManager;  // keeps FParent in step with its list
  TSyntaxManager* FParent = nullptr;  // not owned; the manager keeps this lexer in its list
};

// A lexer library. The manager owns no lexer in the component sense, but frees every lexer of
// its list on Clear and when it is destroyed.
//
// Menu items it creates are owned by its owner; their click handler is the manager's lexer
// handler, which is how the manager recognises them when it rebuilds the menu.
class TSyntaxManager : public TLoadableComponent {
  QV_CLASS(TSyntaxManager, TLoadableComponent)
  // LexersMenu, MenuPlainText, OnLexerChanged and OnChange: stored in a form that holds the
  // manager, never in a library file the manager saves itself.
  static void DeclareClass(TClassDecl& c);

  explicit TSyntaxManager(TComponent* owner);
  // OnChange is detached first, then the lexers are freed.
  ~TSyntaxManager() override;

  // --- The lexers --------------------------------------------------------------------------
  int AnalyzerCount() const { return static_cast<int>(FList.size()); }
  // Raises EListError for a bad index.
  TLibSyntAnalyzer* Analyzers(int index) const;
  int IndexOf(const TSyntAnalyzer* lexer) const;
  // One of the listed lexers, or null.
  TLibSyntAnalyzer* CurrentLexer() const { return FCurrentLexer; }
  // Accepted when different and null or a listed lexer; updates the menu check marks.
  void SetCurrentLexer(TLibSyntAnalyzer* value);
  bool Modified() const { return FModified; }
  void SetModified(bool value) { FModified = value; }

  // Frees every lexer of the list, fires OnChange, and marks the library modified.
  void Clear();
  // Rebuilds the lexer menu and fires OnChange.
  void Change();

  // --- Files ---------------------------------------------------------------------------------
  // Replaces the lexers by those of the file, rebuilds the menu, fires OnChange; unmodified.
  void LoadFromFile(const std::string& fileName) override;
  // Saves, then unmodified.
  void SaveToFile(const std::string& fileName) override;
  // While lexers are in the list, the message names the last one (the one being read):
  // "Error in lexer: <Name>. <message>"; then the usual question.
  void HandleReadError(TReader& reader, const std::string& message, bool& handled) override;

  // --- The menu ------------------------------------------------------------------------------
  TMenuItem* LexersMenu() const { return FLexersMenu; }
  // Rebuilds the menu; the reference is dropped when the menu item is freed.
  void SetLexersMenu(TMenuItem* value);
  const std::string& MenuPlainText() const { return FMenuPlainText; }
  // Empty means no entry for plain text; a change rebuilds the menu.
  void SetMenuPlainText(const std::string& value);
  // Removes this manager's items from LexersMenu and builds them again from the list: plain
  // text first, then one item per lexer that is not Internal, tagged with its list index;
  // "Group::Name" lexer names go into submenus. Nothing while designing.
  void UpdateLexersMenu();
  // Checks exactly the items (at any depth) whose tag is the index of CurrentLexer.
  void UpdateMenuChecks();
  // Whether item's click handler is this manager's lexer handler.
  bool IsLexerMenuItem(const TMenuItem* item) const;

  TNotifyEvent OnLexerChanged;  // the user picked a lexer (or plain text) from the menu
  TNotifyEvent OnChange;        // the library was cleared or loaded

  // --- Stream hooks --------------------------------------------------------------------------
  // The listed lexers in order, unless the manager is being destroyed.
  void GetChildren(const TGetChildProc& proc, TComponent* root) override;
  void Notification(TComponent* component, TOperation operation) override;

private:
  friend class TLibSyntAnalyzer;
  struct TLexerClickHandler;

  void AddLexer(TLibSyntAnalyzer* lexer);
  void RemoveLexer(TLibSyntAnalyzer* lexer);
  // The click on a lexer item: tag -1 selects no lexer, a list index that lexer.
  void LexerItemClick(TObject* sender);
  void RemoveLexerItems();
  bool IsPublishedStored() const { return !IsSavingToStream(); }

  std::vector<TLibSyntAnalyzer*> FList;       // freed by Clear; each leaves it when freed
  TLibSyntAnalyzer* FCurrentLexer = nullptr;  // not owned; one of FList or null
  TMenuItem* FLexersMenu = nullptr;           // not owned; free-notification link
  std::string FMenuPlainText = SDefaultMenuPlainText;
  bool FModified = false;
};

}  // namespace qv
