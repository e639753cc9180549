// The application object: its title, start and end, and the hook for exceptions that reach
// the top of an event. The message loop and timers join it when idle analysis needs them.
#pragma once

#include <functional>
#include <string>

#include "framework/Classes.h"
#include "framework/Units.h"

namespace qv {

using TExceptionEvent = std::function<void(TObject* sender, const std::exception& e)>;

class TApplication : public TComponent {
public:
  explicit TApplication(TComponent* owner);
  const char* ClassName() const override { return "TApplication"; }

  // Prepares the application for running; called once by the program before its body.
  void Initialize();
  bool Initialized() const { return FInitialized; }

  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& value) { FTitle = value; }

  // Asks the application to end; the program's loop leaves at its next turn.
  void Terminate() { FTerminated = true; }
  bool Terminated() const { return FTerminated; }

  // Reports an exception that reached the top of an event: through OnException when set,
  // else a message box with the exception's message (caption: the title).
  void HandleException(TObject* sender, const std::exception& e);
  TExceptionEvent OnException;

private:
  std::string FTitle;
  bool FInitialized = false;
  bool FTerminated = false;
};

// The application object, created when the Forms unit starts and freed when it finalises.
extern TApplication* Application;
TUnit& FormsUnit();

}  // namespace qv
