// The analyzer unit's start-up: registration of the classes lexer library streams name.
#include "syntax/qvSyntAnal.h"

#include "framework/Classes.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvUnicode.h"

namespace qv {

void RegisterSyntaxStreamClasses() {
  // The lexer library class TLibSyntAnalyzer is registered here, under its class name, by
  // the unit that defines it; no other class of the engine is created by name.
}

TUnit& qvSyntAnalUnit() {
  static TUnit unit("qvSyntAnal", {&qvStrUtilsUnit(), &qvUnicodeUnit()},
                    RegisterSyntaxStreamClasses, nullptr);
  return unit;
}

}  // namespace qv
