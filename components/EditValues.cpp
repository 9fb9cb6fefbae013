#include "components/EditValues.h"

#include <algorithm>

namespace zorvex::widgets {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string QuotedFileName(std::string_view value) {
  const bool hasBlank = value.find(' ') != std::string_view::npos;
  if (!hasBlank || value.front() == '"') return std::string(value);
  return "\"" + std::string(value) + "\"";
}

std::string FirstCommandWord(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::string word;
  bool quoted = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (!quoted && IsBlank(c)) break;
    word += c;
  }
  return word;
}

std::string FileNameFromText(std::string_view text, const TFileExists& fileExists) {
  const std::string whole(text);
  // An existing name wins even when it holds blanks or quotes: the user typed exactly that file.
  if (!whole.empty() && fileExists && fileExists(whole)) return whole;
  return FirstCommandWord(text);
}

bool IsValidFileName(std::string_view value, const TFileExists& fileExists) {
  if (value.empty()) return true;
  const std::string reduced = FileNameFromText(value, fileExists);
  return reduced.find_first_of("<>\"[]|") == std::string::npos;
}

void CheckFileName(std::string_view value, const TFileExists& fileExists) {
  if (!IsValidFileName(value, fileExists)) throw EInvalidFileName(std::string(value));
}

std::int32_t ClampSpinValue(std::int64_t value, std::int32_t min, std::int32_t max) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, min, max));
}

}  // namespace zorvex::widgets
