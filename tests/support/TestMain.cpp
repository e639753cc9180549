// Test entry: starts the program's units as the program does, runs the suites, finalises.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include "framework/Units.h"
#include "setup/Setup.h"

int main(int argc, char** argv) {
  testing::InitGoogleMock(&argc, argv);
  qv::InitializeUnits(qv::SetupUnits());
  int result = RUN_ALL_TESTS();
  qv::FinalizeUnits();
  return result;
}
