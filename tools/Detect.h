// Choosing a lexer for a file the user did not choose one for.
//
// The order, first answer wins:
//  1. the file's extension, against each lexer's Extentions in the set's order (the bundled
//     lexers in their load order: C before C++, so a ".h" header is C);
//  2. well-known file names: Makefile, GNUmakefile, makefile and *.mk are Makefile; .bashrc,
//     .profile, .bash_profile, .bash_logout, .zshrc and configure are Shell; .editorconfig,
//     .gitconfig and setup.cfg are INI;
//  3. the first line: an Emacs mode line ("-*- C++ -*-", "-*- mode: python -*-") or a Vim one
//     ("vim: set ft=cpp:", "vi: filetype=sh"); a "#!" line naming an interpreter (python*,
//     sh, bash, dash, zsh, ksh, node, make); "<?xml"; "<!DOCTYPE html" or "<html"; a line
//     starting a diff ("diff ", "--- ", "Index: ").
// Names in mode lines are matched to LexerName or component name ignoring case, with a few
// common aliases (c++/cpp, sh/bash, js/javascript, ts/typescript, py/python, md/markdown,
// yml/yaml, patch/diff, make/makefile, delphi/pascal, cs/csharp).
#pragma once

#include <string>
#include <string_view>

#include "syntax/qvSyntAnalyzer.h"
#include "tools/LexerSet.h"

namespace qv {

// The lexer for a file named path whose first line is firstLine; null when nothing fits.
TSyntAnalyzer* DetectLexer(TLexerSet& lexers, const std::string& path, std::u16string_view firstLine);

// The lexer a name from a mode line or a shebang stands for, through the aliases; null if none.
TSyntAnalyzer* LexerForAlias(TLexerSet& lexers, std::string_view name);

}  // namespace qv
