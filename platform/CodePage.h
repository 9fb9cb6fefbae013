// The system's single-byte ("ANSI") code page, which older versions wrote their files in. Text
// inside the program is UTF-8; this seam converts what arrives in the code page. Windows converts
// with its own tables (platform/win32); natively a fixed Windows-1252 stands in (platform/posix),
// so that tests see what a Western system makes of the bytes. Never includes system headers.
#pragma once

#include <string>
#include <string_view>

namespace zorvex {

// bytes read as the system's ANSI code page, as well-formed UTF-8. Every byte string converts: a
// byte the code page leaves undefined becomes what the system maps it to (Windows-1252 gives the
// C1 control of the same number), a zero byte stays a zero byte. Any thread.
std::string AnsiToUtf8(std::string_view bytes);

}  // namespace zorvex
