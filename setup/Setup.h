// The start-up program's identity and its run: the units it uses, the application title
// built from the product name and the edition label, and the command line.
#pragma once

#include <string>
#include <vector>

#include "framework/Units.h"

namespace qv {

inline constexpr const char* ProductName = "Vornish";
inline constexpr const char* STitlePattern = "%s Setup";

// The edition of this build.
std::string EditionLabel();

// Every unit the program uses, in the order it names them.
std::vector<TUnit*> SetupUnits();

// The program after its units have started: initialises the application, sets its title
// ("%s Setup" formatted with product name, blank, edition label), prints it when asked with
// --print-title, and tells the application to terminate. Returns the exit code.
int SetupBody(int argc, char** argv);

// The whole program: units, body, finalisation; the exit code of the process.
int RunSetup(int argc, char** argv);

}  // namespace qv
