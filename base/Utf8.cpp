#include "base/Utf8.h"

namespace zorvex {

namespace {

bool Continues(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

char32_t DecodeUtf8(std::string_view text, std::size_t& at) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(at++);
  if (lead < 0x80) return lead;
  int more;
  char32_t c;
  // The second byte's range also refuses overlong forms, surrogates and values beyond U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return kReplacementCharacter;
  }
  if (at >= text.size() || byte(at) < low || byte(at) > high) return kReplacementCharacter;
  for (; more > 0; --more) {
    if (at >= text.size() || !Continues(byte(at))) return kReplacementCharacter;
    c = (c << 6) | (byte(at++) & 0x3F);
  }
  return c;
}

void AppendUtf8(std::string& out, char32_t c) {
  if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementCharacter;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool StepUtf8(std::string_view text, std::size_t& at) {
  const std::size_t from = at;
  return DecodeUtf8(text, at) != kReplacementCharacter || text.substr(from, at - from) == "\xEF\xBF\xBD";
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++at;
      continue;
    }
    if (!StepUtf8(text, at)) return false;
  }
  return true;
}

std::string ValidUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t at = 0; at < text.size();) AppendUtf8(out, DecodeUtf8(text, at));
  return out;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); ++count) DecodeUtf8(text, at);
  return count;
}

}  // namespace zorvex
