#include "platform/win32/WideText.h"

#include <windows.h>

namespace zorvex::win32 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHigh(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void PutWide(std::wstring& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<wchar_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
  }
}

void PutUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t size = utf8.size();
  for (std::size_t i = 0; i < size;) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t c = 0;
    // The range the second byte must lie in excludes overlong forms, surrogates and values
    // beyond U+10FFFF at the first byte that shows them.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    std::size_t taken = 1;
    bool whole = true;
    for (; taken < length; ++taken) {
      if (i + taken >= size) {
        whole = false;
        break;
      }
      const unsigned char next = bytes[i + taken];
      const bool fits = taken == 1 ? (next >= low && next <= high) : IsContinuation(next);
      if (!fits) {
        whole = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    // A bad sequence counts as one character up to the byte that broke it, which starts anew.
    PutWide(out, whole ? c : kReplacement);
    i += taken;
  }
  return out;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const wchar_t unit = text[i];
    if (IsHigh(unit) && i + 1 < length && IsLow(text[i + 1])) {
      PutUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00));
      ++i;
    } else if (IsHigh(unit) || IsLow(unit)) {
      PutUtf8(out, kReplacement);
    } else {
      PutUtf8(out, static_cast<char32_t>(unit));
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
