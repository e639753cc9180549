// Program entry of the start-up program.
#include "setup/Setup.h"

int main(int argc, char** argv) { return qv::RunSetup(argc, argv); }
