// UTF-8, the form of all text inside the program. Invalid bytes are never passed on: each invalid
// sequence reads as one U+FFFD, as Windows' own conversions and today's browsers read it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorvex {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Reads the code point that starts at text[at] and moves at past it. A sequence that is invalid
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short) gives U+FFFD and
// moves past its longest valid beginning, at least one byte. at must be below text.size().
char32_t DecodeUtf8(std::string_view text, std::size_t& at);
// Moves at past what starts at text[at], as DecodeUtf8 does; true when that was a valid sequence
// (a U+FFFD written in UTF-8 is one).
bool StepUtf8(std::string_view text, std::size_t& at);
// Appends the UTF-8 form of c; a surrogate or a value beyond U+10FFFF appends U+FFFD.
void AppendUtf8(std::string& out, char32_t c);
// The text with every invalid sequence replaced by U+FFFD; valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);
// Code points in text, an invalid sequence counting as one (the U+FFFD it reads as).
std::size_t CodePointCount(std::string_view text);

}  // namespace zorvex
