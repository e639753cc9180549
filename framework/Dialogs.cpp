// The message box seam: a replaceable handler with a non-interactive default.
#include "framework/Dialogs.h"

#include <cstdio>
#include <mutex>

namespace qv {

namespace {

std::mutex GHandlerLock;
TMessageBoxHandler GHandler;  // empty: the default handler

int DefaultHandler(const std::string& text, const std::string& caption, unsigned flags) {
  std::fprintf(stderr, "%s\n%s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  return DefaultMessageBoxResult(flags);
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
  TMessageBoxHandler handler;
  {
    std::lock_guard<std::mutex> guard(GHandlerLock);
    handler = GHandler;
  }
  // Called outside the lock: a handler may show further boxes.
  return handler ? handler(text, caption, flags) : DefaultHandler(text, caption, flags);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  std::lock_guard<std::mutex> guard(GHandlerLock);
  TMessageBoxHandler previous = std::move(GHandler);
  GHandler = std::move(handler);
  return previous;
}

}  // namespace qv
