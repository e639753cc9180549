// Unit start order, the start counter, finalisation in reverse, and the runtime's report of
// an exception escaping a start. The list of started units is process-wide, so each case
// runs in a child process (death-test style) where finalising everything is harmless.
#include "framework/Units.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace qv {
namespace {

std::string GLog;

void Log(const char* s) { GLog += s; }

void InitA() { Log("+A"); }
void FiniA() { Log("-A"); }
void InitB() { Log("+B"); }
void FiniB() { Log("-B"); }
void InitC() { Log("+C"); }
void FiniC() { Log("-C"); }
void InitBroken() {
  Log("+X");
  throw std::runtime_error("start failed");
}

[[noreturn]] void ExitWithLog(int code) {
  std::fprintf(stderr, "log=%s\n", GLog.c_str());
  std::fflush(stderr);
  std::_Exit(code);
}

TEST(TUnitDeathTest, StartsUsedUnitsFirstOnceAndFinalisesInReverse) {
  EXPECT_EXIT(
      {
        TUnit b("B", {}, InitB, FiniB);
        TUnit a("A", {&b}, InitA, FiniA);
        TUnit c("C", {&a, &b}, InitC, FiniC);
        InitializeUnits({&c, &a, &b});
        c.Initialize();  // a second start does nothing
        bool counters = a.Counter() == 0 && b.Counter() == 0 && c.Counter() == 0;
        FinalizeUnits();
        bool back = a.Counter() == -1 && !c.Initialized();
        ExitWithLog(counters && back ? 0 : 1);
      },
      testing::ExitedWithCode(0), "log=\\+B\\+A\\+C-C-A-B\n");
}

TEST(TUnitDeathTest, FinalisationRunsOnlyWhenTheCounterIsBackAtItsStart) {
  EXPECT_EXIT(
      {
        TUnit a("A", {}, InitA, FiniA);
        a.Finalize();  // never started: nothing to undo
        a.Initialize();
        a.Finalize();
        a.Finalize();  // already back at the start: nothing more
        ExitWithLog(0);
      },
      testing::ExitedWithCode(0), "log=\\+A-A\n");
}

TEST(RunProgramDeathTest, ExceptionInAStartIsARuntimeErrorAndStartedUnitsFinalise) {
  EXPECT_EXIT(
      {
        TUnit b("B", {}, InitB, FiniB);
        TUnit broken("X", {&b}, InitBroken, FiniA);
        TUnit c("C", {}, InitC, FiniC);
        int code = RunProgram({&broken, &c}, [] {
          Log("body");
          return 0;
        });
        // The broken unit and the later one never count as started.
        ExitWithLog(code == reUnhandledException && !broken.Initialized() && !c.Initialized()
                        ? code
                        : 1);
      },
      testing::ExitedWithCode(217),
      "^Error\nRuntime error 217 at [0-9A-F]{8}\nlog=\\+B\\+X-B\n$");
}

TEST(RunProgramDeathTest, ExceptionInTheBodyIsARuntimeError) {
  EXPECT_EXIT(
      {
        TUnit a("A", {}, InitA, FiniA);
        int code = RunProgram({&a}, []() -> int { throw std::logic_error("body failed"); });
        ExitWithLog(code);
      },
      testing::ExitedWithCode(217), "^Error\nRuntime error 217 at [0-9A-F]{8}\nlog=\\+A-A\n$");
}

TEST(RunProgramDeathTest, ReturnsTheBodysExitCodeAfterFinalising) {
  EXPECT_EXIT(
      {
        TUnit a("A", {}, InitA, FiniA);
        int code = RunProgram({&a}, [] {
          Log("body");
          return 3;
        });
        ExitWithLog(code);
      },
      testing::ExitedWithCode(3), "^log=\\+Abody-A\n$");
}

}  // namespace
}  // namespace qv
