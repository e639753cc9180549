// The message box and message dialog seams: replaceable handlers with non-interactive
// defaults.
#include "framework/Dialogs.h"

#include <cstdio>
#include <mutex>

namespace qv {

namespace {

std::mutex GHandlerLock;  // guards both handlers
TMessageBoxHandler GHandler;  // empty: the default handler
TMessageDlgHandler GDlgHandler;  // empty: the default handler

void PrintBox(const char* caption, const std::string& text) {
  std::fprintf(stderr, "%s\n%s\n", caption, text.c_str());
  std::fflush(stderr);
}

int DefaultHandler(const std::string& text, const std::string& caption, unsigned flags) {
  PrintBox(caption.c_str(), text);
  return DefaultMessageBoxResult(flags);
}

int DefaultDlgHandler(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons) {
  PrintBox(MessageDlgCaption(type), msg);
  return DefaultMessageDlgResult(buttons);
}

// A copy of the installed handler. Handlers are called outside the lock, on the copy: a
// handler may show further boxes or replace itself.
template <class H>
H Installed(const H& slot) {
  std::lock_guard<std::mutex> guard(GHandlerLock);
  return slot;
}

template <class H>
H Install(H& slot, H handler) {
  std::lock_guard<std::mutex> guard(GHandlerLock);
  H previous = std::move(slot);
  slot = std::move(handler);
  return previous;
}

}  // namespace

int DefaultMessageBoxResult(unsigned flags) {
  bool second = (flags & 0x0F00) == MB_DEFBUTTON2;
  switch (flags & 0x000F) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_YESNO: return second ? IDNO : IDYES;
    case MB_YESNOCANCEL: return second ? IDNO : IDYES;
    default: return IDOK;
  }
}

int MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  TMessageBoxHandler handler = Installed(GHandler);
  return handler ? handler(text, caption, flags) : DefaultHandler(text, caption, flags);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  return Install(GHandler, std::move(handler));
}

const char* MessageDlgCaption(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return SMsgDlgWarning;
    case mtError: return SMsgDlgError;
    case mtInformation: return SMsgDlgInformation;
    case mtConfirmation: return SMsgDlgConfirm;
    case mtCustom: break;
  }
  return "";
}

int ModalResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: break;
  }
  return mrNone;
}

int DefaultMessageDlgResult(TMsgDlgButtons buttons) {
  if (buttons.Contains(mbOK)) return mrOk;
  if (buttons.Contains(mbYes)) return mrYes;
  for (int b = mbYes; b <= mbHelp; ++b) {
    const auto button = static_cast<TMsgDlgBtn>(b);
    if (buttons.Contains(button)) return ModalResultOf(button);
  }
  return mrNone;
}

int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons,
               int /*helpCtx*/) {
  TMessageDlgHandler handler = Installed(GDlgHandler);
  return handler ? handler(msg, type, buttons) : DefaultDlgHandler(msg, type, buttons);
}

TMessageDlgHandler SetMessageDlgHandler(TMessageDlgHandler handler) {
  return Install(GDlgHandler, std::move(handler));
}

}  // namespace qv
