// The analyzer unit: lexer items and collections, styles, token, block and sub-lexer rules,
// the analyzer component and lexer files, and the lexer library with its manager, each in a
// header of its own included here. Its start registers the streamable classes of the lexer
// library with the framework's class registry, so that reading a library can create its
// lexers by name.
#pragma once

#include "framework/Units.h"
#include "syntax/qvBlockRules.h"
#include "syntax/qvLoadable.h"
#include "syntax/qvParserResults.h"
#include "syntax/qvSubLexers.h"
#include "syntax/qvSyntAnalyzer.h"
#include "syntax/qvSyntItems.h"
#include "syntax/qvSyntManager.h"
#include "syntax/qvSyntStyles.h"
#include "syntax/qvTokenRules.h"

namespace qv {

TUnit& qvSyntAnalUnit();

// Registers the classes that lexer library streams name. Called by the unit's start.
void RegisterSyntaxStreamClasses();

}  // namespace qv
