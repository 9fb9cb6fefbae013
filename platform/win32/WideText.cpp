#include "platform/win32/WideText.h"

#include <windows.h>

#include "base/Utf8.h"

namespace zorvex::win32 {

namespace {

bool IsHigh(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void PutWide(std::wstring& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<wchar_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
  }
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  // A bad sequence counts as one character up to the byte that broke it, which starts anew.
  for (std::size_t i = 0; i < utf8.size();) PutWide(out, DecodeUtf8(utf8, i));
  return out;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const wchar_t unit = text[i];
    if (IsHigh(unit) && i + 1 < length && IsLow(text[i + 1])) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHigh(unit) || IsLow(unit)) {
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, static_cast<char32_t>(unit));
    }
  }
  return out;
}

std::string Narrow(std::wstring_view utf16) { return Narrow(utf16.data(), utf16.size()); }

std::wstring CutWide(std::wstring text, std::size_t units) {
  if (text.size() <= units) return text;
  // The high half of a pair that would lose its low half goes with it.
  if (units > 0 && IsHigh(text[units - 1]) && IsLow(text[units])) --units;
  text.resize(units);
  return text;
}

}  // namespace zorvex::win32
