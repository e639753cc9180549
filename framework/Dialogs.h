// Message boxes and message dialogs through replaceable handlers. No window system exists
// here: the default handlers are non-interactive; they print the caption and the text on
// stderr and answer with the default button. Hosts and tests install their own handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "framework/Types.h"

namespace qv {

// Button sets and results, numbered as on the original platform.
inline constexpr unsigned MB_OK = 0x0000;
inline constexpr unsigned MB_OKCANCEL = 0x0001;
inline constexpr unsigned MB_YESNOCANCEL = 0x0003;
inline constexpr unsigned MB_YESNO = 0x0004;
inline constexpr unsigned MB_ICONERROR = 0x0010;
inline constexpr unsigned MB_ICONWARNING = 0x0030;
inline constexpr unsigned MB_ICONINFORMATION = 0x0040;
inline constexpr unsigned MB_DEFBUTTON2 = 0x0100;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// text and caption are 8-bit text in the system code page; flags are the MB_ values.
using TMessageBoxHandler =
    std::function<int(const std::string& text, const std::string& caption, unsigned flags)>;

int MessageBox(const std::string& text, const std::string& caption, unsigned flags);
// Installs a handler and returns the previous one; an empty handler restores the default.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);
// The default answer of a box: its first button, or its second with MB_DEFBUTTON2.
int DefaultMessageBoxResult(unsigned flags);

// Message dialogs: a kind, which gives the caption, and any set of buttons.
enum TMsgDlgType : uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : uint8_t {
  mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp
};
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

// Modal results: what a dialog answers, one for each button that closes it.
inline constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                     mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

// Captions of the kinds; a custom dialog has an empty caption.
inline constexpr const char* SMsgDlgWarning = "Warning";
inline constexpr const char* SMsgDlgError = "Error";
inline constexpr const char* SMsgDlgInformation = "Information";
inline constexpr const char* SMsgDlgConfirm = "Confirm";

// msg is 8-bit text in the system code page.
using TMessageDlgHandler =
    std::function<int(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons)>;

// Shows a dialog through the installed handler and returns its modal result. There is no
// help system: helpCtx is accepted and ignored.
int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);
// Installs a handler and returns the previous one; an empty handler restores the default.
TMessageDlgHandler SetMessageDlgHandler(TMessageDlgHandler handler);
// The result a button closes its dialog with; mbHelp closes nothing and gives mrNone.
int ModalResultOf(TMsgDlgBtn button);
// The answer of the default button: mbOK when present, else mbYes, else the first button in
// declaration order (so mbHelp alone gives mrNone); no buttons give mrNone.
int DefaultMessageDlgResult(TMsgDlgButtons buttons);
// The caption of a kind, as the default handler prints it ("" for mtCustom).
const char* MessageDlgCaption(TMsgDlgType type);

}  // namespace qv
