// The application object, clipboard format registration and the message box seam.
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/Clipbrd.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"

namespace qv {
namespace {

TEST(ClipboardFormats, SameNameSameIdentifierFromC000) {
  uint16_t first = RegisterClipboardFormat("Vornish Test Format One");
  uint16_t second = RegisterClipboardFormat("Vornish Test Format Two");
  EXPECT_GE(first, 0xC000);
  EXPECT_NE(first, second);
  EXPECT_EQ(RegisterClipboardFormat("VORNISH TEST FORMAT ONE"), first);
  EXPECT_EQ(ClipboardFormatName(second), "Vornish Test Format Two");
  EXPECT_EQ(ClipboardFormatName(1), "");
  EXPECT_EQ(RegisterClipboardFormat(""), 0);
}

// Installs a recording handler for the test's lifetime and restores the previous one.
class MessageBoxes : public testing::Test {
protected:
  void SetUp() override {
    FPrevious = SetMessageBoxHandler([this](const std::string& text, const std::string& caption,
                                            unsigned flags) {
      Shown.push_back(caption + "|" + text);
      return DefaultMessageBoxResult(flags);
    });
  }
  void TearDown() override { SetMessageBoxHandler(FPrevious); }
  std::vector<std::string> Shown;

private:
  TMessageBoxHandler FPrevious;
};

TEST_F(MessageBoxes, HandlerSeesEveryBoxAndDefaultsFollowTheButtons) {
  EXPECT_EQ(MessageBox("Continue?", "Question", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBox("Continue?", "Question", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBox("Save?", "Question", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(MessageBox("Done", "Info", MB_OK | MB_ICONINFORMATION), IDOK);
  EXPECT_THAT(Shown, testing::ElementsAre("Question|Continue?", "Question|Continue?",
                                          "Question|Save?", "Info|Done"));
}

TEST_F(MessageBoxes, ApplicationReportsExceptionsThroughItsHookOrABox) {
  ASSERT_NE(Application, nullptr);  // created when the Forms unit started
  std::string saved = Application->Title();
  Application->SetTitle("Probe");
  Application->HandleException(nullptr, std::runtime_error("went wrong"));
  std::string seen;
  Application->OnException = [&](TObject*, const std::exception& e) { seen = e.what(); };
  Application->HandleException(nullptr, std::runtime_error("hooked"));
  Application->OnException = nullptr;
  Application->SetTitle(saved);
  EXPECT_THAT(Shown, testing::ElementsAre("Probe|went wrong"));
  EXPECT_EQ(seen, "hooked");
}

TEST(MessageBoxDeathTest, DefaultHandlerPrintsCaptionAndTextOnStderr) {
  EXPECT_EXIT(
      {
        SetMessageBoxHandler(nullptr);
        int answer = MessageBox("Lexer file is broken", "Caption", MB_YESNO);
        std::_Exit(answer == IDYES ? 0 : 1);
      },
      testing::ExitedWithCode(0), "^Caption\nLexer file is broken\n$");
}

}  // namespace
}  // namespace qv
