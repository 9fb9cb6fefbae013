// The value rules of the file-name edit and the spin edit, apart from any window, so that the
// controls over real windows and the tests share them.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvex::widgets {

// Tells whether a file of that name exists; the controls pass the system's test.
using TFileExists = std::function<bool(const std::string& path)>;

// A value given to a file-name edit by code that it refuses; what() is "Invalid file name - <value>".
class EInvalidFileName : public std::runtime_error {
 public:
  explicit EInvalidFileName(const std::string& value) : std::runtime_error("Invalid file name - " + value) {}
};

// The text a file-name edit shows for value: between double quotes when it holds a blank and does
// not begin with a double quote, else value itself.
std::string QuotedFileName(std::string_view value);

// The first word of text read like a command line: a part in double quotes belongs to the word
// without its quotes, blanks and tabs separate words; empty for a text of blanks only.
std::string FirstCommandWord(std::string_view text);

// The value a file-name edit hands back for its text: the text when a file of that name exists,
// else FirstCommandWord(text).
std::string FileNameFromText(std::string_view text, const TFileExists& fileExists);

// True when value is empty or, reduced as FileNameFromText does, holds none of < > " [ ] |.
bool IsValidFileName(std::string_view value, const TFileExists& fileExists);

// Throws EInvalidFileName unless IsValidFileName(value, fileExists).
void CheckFileName(std::string_view value, const TFileExists& fileExists);

// value brought into min..max (min <= max).
std::int32_t ClampSpinValue(std::int64_t value, std::int32_t min, std::int32_t max);

}  // namespace zorvex::widgets
