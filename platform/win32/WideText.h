// The one place where the program's text (UTF-8 in std::string) meets the system's (UTF-16 in
// the W functions). Every conversion is total: what cannot be read becomes U+FFFD, so a broken
// title or file name never stops the work, and nothing but valid UTF-8 comes out of Narrow.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvex::win32 {

// UTF-8 to UTF-16 for a W call. Each invalid sequence (a stray or missing continuation byte, an
// overlong form, an encoded surrogate, a value beyond U+10FFFF) becomes one U+FFFD per maximal
// bad part, as Unicode recommends; zero bytes pass through (filter lists hold them).
std::wstring Widen(std::string_view utf8);

// UTF-16 from a W call to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);
// The text in the first length units of text.
std::string Narrow(const wchar_t* text, std::size_t length);

// The wide text cut to at most units UTF-16 units, never between the two halves of a pair.
std::wstring CutWide(std::wstring text, std::size_t units);

}  // namespace zorvex::win32
