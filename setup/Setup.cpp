// The start-up program: brings the units up, titles the application and ends.
#include "setup/Setup.h"

#include <cstdio>
#include <cstring>

#include "framework/Forms.h"
#include "framework/SysUtils.h"
#include "syntax/qvEmbObj.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntAnal.h"
#include "syntax/qvUnicode.h"

namespace qv {

namespace {

constexpr const char* SUsage =
    "usage: setup [--print-title]\n"
    "  --print-title  print the application title and end\n";

}  // namespace

std::string EditionLabel() { return "Open Edition"; }

std::vector<TUnit*> SetupUnits() {
  return {&FormsUnit(), &qvStrUtilsUnit(), &qvUnicodeUnit(), &qvSyntAnalUnit(),
          &qvEmbObjUnit()};
}

int SetupBody(int argc, char** argv) {
  bool printTitle = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--print-title") == 0) {
      printTitle = true;
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(SUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "setup: unknown option '%s'\n%s", argv[i], SUsage);
      return 2;
    }
  }
  Application->Initialize();
  // The pattern goes in first and is read back as the format, so a host that renames the
  // pattern through the application keeps the product and edition in the title.
  Application->SetTitle(STitlePattern);
  Application->SetTitle(
      Format(Application->Title(), std::string(ProductName) + " " + EditionLabel()));
  if (printTitle) std::printf("%s\n", Application->Title().c_str());
  Application->Terminate();
  return 0;
}

int RunSetup(int argc, char** argv) {
  return RunProgram(SetupUnits(), [&] { return SetupBody(argc, argv); });
}

}  // namespace qv
