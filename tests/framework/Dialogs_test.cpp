// The message dialog seam: installed handlers, handlers that replace themselves, and the
// non-interactive default with its default buttons.
#include "framework/Dialogs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace qv {
namespace {

using testing::ElementsAre;

// Restores the handler that was installed before the test.
class HandlerScope {
public:
  explicit HandlerScope(TMessageDlgHandler handler)
      : FPrevious(SetMessageDlgHandler(std::move(handler))) {}
  ~HandlerScope() { SetMessageDlgHandler(std::move(FPrevious)); }
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

private:
  TMessageDlgHandler FPrevious;
};

struct Shown {
  std::string Msg;
  TMsgDlgType Type;
  TMsgDlgButtons Buttons;
  bool operator==(const Shown&) const = default;
};
void PrintTo(const Shown& s, std::ostream* os) {
  *os << '"' << s.Msg << "\" type " << int(s.Type) << " buttons " << s.Buttons.Mask();
}

TEST(MessageDlg, InstalledHandlerSeesTheDialogAndItsAnswerIsReturned) {
  std::vector<Shown> shown;
  HandlerScope scope([&shown](const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
    shown.push_back({msg, type, buttons});
    return shown.size() == 1 ? mrNoToAll : mrAbort;
  });
  EXPECT_EQ(MessageDlg("Replace all?", mtConfirmation, {mbYes, mbNo, mbAll, mbNoToAll}, 17),
            mrNoToAll);
  EXPECT_EQ(MessageDlg("", mtCustom, {}), mrAbort);

  // Installing another handler hands back this one; installing it again restores it.
  TMessageDlgHandler mine = SetMessageDlgHandler([](const std::string&, TMsgDlgType,
                                                    TMsgDlgButtons) { return mrRetry; });
  ASSERT_TRUE(mine);
  EXPECT_EQ(MessageDlg("Other", mtError, {mbOK}), mrRetry);
  EXPECT_EQ(SetMessageDlgHandler(std::move(mine))("", mtError, {}), mrRetry);
  EXPECT_EQ(MessageDlg("Mine again", mtWarning, {mbHelp}), mrAbort);

  EXPECT_THAT(shown, ElementsAre(Shown{"Replace all?", mtConfirmation,
                                       {mbYes, mbNo, mbAll, mbNoToAll}},
                                 Shown{"", mtCustom, {}}, Shown{"Mine again", mtWarning, {mbHelp}}));
}

TEST(MessageDlg, HandlerMayReplaceItselfAndShowFurtherDialogs) {
  std::vector<std::string> log;
  TMessageDlgHandler recorder = [&log](const std::string& msg, TMsgDlgType, TMsgDlgButtons) {
    log.push_back(msg);
    return mrIgnore;
  };
  // Replacing itself destroys the installed copy of this handler while it runs; its captures
  // must stay usable, and the nested dialog must not wait for the handler lock.
  HandlerScope scope([&log, recorder, tag = std::string(64, 'x')](
                         const std::string& msg, TMsgDlgType, TMsgDlgButtons) {
    SetMessageDlgHandler(recorder);
    log.push_back("once:" + msg + ":" + std::to_string(tag.size()));
    return MessageDlg("nested", mtWarning, {mbIgnore});
  });
  EXPECT_EQ(MessageDlg("first", mtError, {mbAbort, mbIgnore}), mrIgnore);
  EXPECT_EQ(MessageDlg("second", mtError, {mbAbort, mbIgnore}), mrIgnore);
  EXPECT_THAT(log, ElementsAre("once:first:64", "nested", "second"));
}

TEST(MessageDlg, DefaultPrintsCaptionAndTextAndAnswersWithTheDefaultButton) {
  HandlerScope scope(nullptr);
  struct Case { TMsgDlgButtons Buttons; TMsgDlgType Type; int Result; const char* Caption; };
  const Case cases[] = {
      // mbOK wins, then mbYes, wherever they stand in the set.
      {{mbYes, mbNo, mbAll}, mtConfirmation, mrYes, "Confirm"},
      {{mbOK, mbCancel}, mtWarning, mrOk, "Warning"},
      {{mbYes, mbOK}, mtInformation, mrOk, "Information"},
      {{mbYesToAll, mbYes, mbNoToAll}, mtConfirmation, mrYes, "Confirm"},
      // Otherwise the first in declaration order.
      {{mbNo, mbAll}, mtError, mrNo, "Error"},
      {{mbAll, mbNoToAll, mbYesToAll, mbCancel}, mtConfirmation, mrCancel, "Confirm"},
      {{mbYesToAll, mbNoToAll, mbAll}, mtConfirmation, mrAll, "Confirm"},
      {{mbIgnore, mbRetry, mbAbort}, mtError, mrAbort, "Error"},
      {{mbHelp, mbNoToAll}, mtInformation, mrNoToAll, "Information"},
      // One button: each closes with its own result; help closes nothing.
      {{mbYes}, mtCustom, mrYes, ""},          {{mbNo}, mtCustom, mrNo, ""},
      {{mbOK}, mtCustom, mrOk, ""},            {{mbCancel}, mtCustom, mrCancel, ""},
      {{mbAbort}, mtCustom, mrAbort, ""},      {{mbRetry}, mtCustom, mrRetry, ""},
      {{mbIgnore}, mtCustom, mrIgnore, ""},    {{mbAll}, mtCustom, mrAll, ""},
      {{mbNoToAll}, mtCustom, mrNoToAll, ""},  {{mbYesToAll}, mtCustom, mrYesToAll, ""},
      {{mbHelp}, mtWarning, mrNone, "Warning"},
      {{}, mtCustom, mrNone, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "buttons " << c.Buttons.Mask() << ", type " << int(c.Type));
    testing::internal::CaptureStderr();
    const int result = MessageDlg("Lexer file changed.\nReload it?", c.Type, c.Buttons);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(c.Caption) + "\nLexer file changed.\nReload it?\n");
    EXPECT_EQ(result, c.Result);
    EXPECT_EQ(DefaultMessageDlgResult(c.Buttons), c.Result);
  }
}

}  // namespace
}  // namespace qv
