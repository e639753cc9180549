// The start-up program: its title, its units, and its command line.
#include "setup/Setup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Forms.h"

namespace qv {
namespace {

TEST(Setup, TitleIsProductBlankEditionBlankSetup) {
  char name[] = "setup";
  char* argv[] = {name, nullptr};
  ASSERT_EQ(SetupBody(1, argv), 0);
  const std::string& title = Application->Title();
  EXPECT_EQ(title, std::string("Vornish ") + EditionLabel() + " Setup");
  EXPECT_THAT(title, testing::EndsWith(" Setup"));
  EXPECT_LT(title.find("Vornish"), title.find(EditionLabel()));
  EXPECT_FALSE(EditionLabel().empty());
  EXPECT_TRUE(Application->Initialized());
  EXPECT_TRUE(Application->Terminated());
}

TEST(Setup, EveryUnitOfTheProgramHasStartedOnce) {
  for (TUnit* unit : SetupUnits()) {
    SCOPED_TRACE(unit->Name());
    EXPECT_EQ(unit->Counter(), 0);
  }
}

TEST(SetupDeathTest, PrintsTheTitleOnlyWhenAskedAndRejectsUnknownOptions) {
  char name[] = "setup", print[] = "--print-title", bad[] = "--bogus";
  char* withPrint[] = {name, print, nullptr};
  char* withBad[] = {name, bad, nullptr};
  EXPECT_EXIT(std::_Exit(SetupBody(2, withPrint)), testing::ExitedWithCode(0), "");
  EXPECT_EXIT(std::_Exit(SetupBody(2, withBad)), testing::ExitedWithCode(2),
              "setup: unknown option '--bogus'");
}

}  // namespace
}  // namespace qv
