// Bundled lexers on real files: see tests/support/BundledLexers.h.
#include "tests/support/BundledLexers.h"
