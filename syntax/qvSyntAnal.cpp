// The analyzer unit's start-up: registration of the classes lexer library streams name.
#include "syntax/qvSyntAnal.h"

#include "framework/Classes.h"
#include "syntax/qvStrUtils.h"
#include "syntax/qvSyntManager.h"
#include "syntax/qvUnicode.h"

namespace qv {

void RegisterSyntaxStreamClasses() {
  // Library files create their lexers by class name; no other class of the engine is
  // created by name.
  RegisterClass(TLibSyntAnalyzer::StaticClassName(), CreateComponentOf<TLibSyntAnalyzer>);
}

TUnit& qvSyntAnalUnit() {
  static TUnit unit("qvSyntAnal", {&qvStrUtilsUnit(), &qvUnicodeUnit()},
                    RegisterSyntaxStreamClasses, nullptr);
  return unit;
}

}  // namespace qv
