// The application object and the unit that creates it.
#include "framework/Forms.h"

#include "framework/Dialogs.h"

namespace qv {

TApplication* Application = nullptr;

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

void TApplication::Initialize() { FInitialized = true; }

void TApplication::HandleException(TObject* sender, const std::exception& e) {
  if (OnException) {
    OnException(sender, e);
    return;
  }
  MessageBox(e.what(), FTitle, MB_OK | MB_ICONERROR);
}

namespace {

void InitForms() { Application = new TApplication(nullptr); }

void FinalizeForms() {
  delete Application;
  Application = nullptr;
}

}  // namespace

TUnit& FormsUnit() {
  static TUnit unit("Forms", {}, InitForms, FinalizeForms);
  return unit;
}

}  // namespace qv
