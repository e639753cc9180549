// Message boxes through a replaceable handler. No window system exists here: the default
// handler is non-interactive; it prints the caption and the text on stderr and answers with
// the box's default button. Hosts and tests install their own handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

}  // namespace qv
