// The analyzer unit. Its start registers the streamable classes of the lexer library with
// the framework's class registry, so that reading a library can create its lexers by name.
#pragma once

#include "framework/Units.h"

namespace qv {

TUnit& qvSyntAnalUnit();

// Registers the classes that lexer library streams name. Called by the unit's start.
// The lexer library class (TLibSyntAnalyzer) registers here once it exists.
void RegisterSyntaxStreamClasses();

}  // namespace qv
