// Unit initialisation and finalisation sections, and the program runtime around them.
// A unit names the units it uses; starting a unit starts those first. Each unit keeps an
// initialisation counter, so a second start does nothing; finalisation runs in the reverse
// order of initialisation, once the counter is back at its starting value.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace qv {

class TUnit {
public:
  using TSection = void (*)();

  // `uses` are the units whose sections must run first. Either section may be null.
  TUnit(const char* name, std::initializer_list<TUnit*> uses, TSection initialization,
        TSection finalization);
  TUnit(const TUnit&) = delete;
  TUnit& operator=(const TUnit&) = delete;

  const std::string& Name() const { return FName; }
  // -1 before the first start; 0 once the initialisation section has run.
  int Counter() const { return FCounter; }
  bool Initialized() const { return FCounter >= 0; }

  // Runs the used units' sections, then this unit's own, once. The unit is appended to the
  // process-wide list that FinalizeUnits walks backwards. An exception leaves the counter
  // as it was, so the unit counts as not started.
  void Initialize();
  // Runs the finalisation section when the counter comes back to its starting value.
  // Units normally finalise through FinalizeUnits, in reverse start order.
  void Finalize();

private:
  std::string FName;
  std::vector<TUnit*> FUses;
  TSection FInitialization;
  TSection FFinalization;
  int FCounter = -1;
};

// Starts each unit of the list in order (its used units first). Exceptions pass through.
void InitializeUnits(const std::vector<TUnit*>& uses);
// Finalises every started unit in reverse start order.
void FinalizeUnits();

// The runtime's report of a fatal error: a message box titled "Error" with
// "Runtime error N at XXXXXXXX" (the address as eight hexadecimal digits), shown through
// the framework's message box handler (by default: both lines on stderr).
void ShowRuntimeError(int errorCode, const void* address);

// Exit code of the runtime for an exception that escapes a unit's initialisation or the
// program body.
inline constexpr int reUnhandledException = 217;

// The program frame: starts `uses` (in order), runs `body`, then finalises every started
// unit and returns the exit code. An exception escaping a start or the body is reported
// with ShowRuntimeError(217, address), the units started so far are finalised, and the
// result is 217. The address is that of the section (or body) that failed, reduced to
// 32 bits; on this platform there is no meaningful code address for an exception.
int RunProgram(const std::vector<TUnit*>& uses, const std::function<int()>& body);

}  // namespace qv
