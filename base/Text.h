// Small text helpers every layer shares. The letter case helpers here are ASCII only, for the
// system's own names (elements, classes, services); titles and rules fold with FoldCase
// (base/CaseFold.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorvex {

char AsciiLower(char c);
char AsciiUpper(char c);
// Every byte but A-Z (a-z) stays.
std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);
// Equal but for the letter case of A-Z.
bool SameTextAscii(std::string_view a, std::string_view b);

bool StartsWith(std::string_view text, std::string_view prefix);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool Contains(std::string_view text, std::string_view part);

// The lines of text, split at CR, LF or CR LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);
// Every line followed by CR LF: the form of rule lists on their way to the scanner and in files.
std::string LinesWithBreaks(const std::vector<std::string>& lines);
// The lines separated by CR LF, with none after the last.
std::string JoinLines(const std::vector<std::string>& lines);

// A text of a language file with numbers put in: each "%d" takes the next number while there are
// any, "%%" is a percent sign, and anything else stays as written. Never a printf format, so a
// translation cannot make the program read what is not there.
std::string WithNumbers(const std::string& format, const std::vector<long long>& numbers);

// Control characters (below 32, and 127) become blanks, so that a page title can neither forge
// log lines nor turn into several rules.
std::string WithoutControlCharacters(std::string text);

}  // namespace zorvex
