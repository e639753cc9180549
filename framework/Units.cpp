// Unit sections, their start order and the program frame with the runtime's error report.
#include "framework/Units.h"

#include <cstdint>
#include <exception>

#include "framework/Dialogs.h"
#include "framework/SysUtils.h"

namespace qv {

namespace {

// Units in the order their initialisation sections completed; finalised backwards.
std::vector<TUnit*>& StartedUnits() {
  static std::vector<TUnit*> units;
  return units;
}

// The section running when an exception escaped, for the runtime's address report.
const void* GFailedSection = nullptr;

uint32_t ReportAddress(const void* address) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
}

}  // namespace

TUnit::TUnit(const char* name, std::initializer_list<TUnit*> uses, TSection initialization,
             TSection finalization)
    : FName(name), FUses(uses), FInitialization(initialization), FFinalization(finalization) {}

void TUnit::Initialize() {
  if (FCounter >= 0) return;
  for (TUnit* used : FUses) used->Initialize();
  if (FInitialization) {
    GFailedSection = reinterpret_cast<const void*>(FInitialization);
    FInitialization();
  }
  // Counted only after a successful section: a unit whose start failed is not finalised.
  ++FCounter;
  StartedUnits().push_back(this);
}

void TUnit::Finalize() {
  if (FCounter < 0) return;
  --FCounter;
  if (FCounter == -1 && FFinalization) FFinalization();
}

void InitializeUnits(const std::vector<TUnit*>& uses) {
  for (TUnit* unit : uses) unit->Initialize();
}

void FinalizeUnits() {
  std::vector<TUnit*>& units = StartedUnits();
  while (!units.empty()) {
    TUnit* unit = units.back();
    units.pop_back();
    unit->Finalize();
  }
}

void ShowRuntimeError(int errorCode, const void* address) {
  MessageBox(Format("Runtime error %d at %s", errorCode, IntToHex(ReportAddress(address), 8)),
             "Error", MB_OK | MB_ICONERROR);
}

int RunProgram(const std::vector<TUnit*>& uses, const std::function<int()>& body) {
  int exitCode;
  try {
    GFailedSection = nullptr;
    InitializeUnits(uses);
    GFailedSection = reinterpret_cast<const void*>(&RunProgram);
    exitCode = body();
  } catch (...) {  // the runtime's last resort: report, finalise what started, exit 217
    ShowRuntimeError(reUnhandledException, GFailedSection);
    exitCode = reUnhandledException;
  }
  FinalizeUnits();
  return exitCode;
}

}  // namespace qv
