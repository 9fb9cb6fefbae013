#include <gtest/gtest.h>

#include <string>

#include "base/CaseFold.h"
#include "base/Utf8.h"

using namespace zorvex;

TEST(Utf8, DecodesAndReplacesInvalidSequences) {
  struct Case {
    std::string bytes;
    std::u32string chars;
  } cases[] = {
      {"", U""},
      {"a\u00E9\u20AC\U0001F600", U"a\u00E9\u20AC\U0001F600"},
      {"\xFF", U"\uFFFD"},
      {"\x80\xBF", U"\uFFFD\uFFFD"},               // stray continuation bytes, one each
      {"\xC0\xAF", U"\uFFFD\uFFFD"},               // overlong "/": C0 never starts a sequence
      {"\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},     // overlong three-byte form
      {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},     // a surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xE2\x82", U"\uFFFD"},                     // cut short: its valid beginning is one U+FFFD
      {"\xE2\x82x", U"\uFFFDx"},
      {"\xF0\x9F\x98", U"\uFFFD"},
      {"a\xC3", U"a\uFFFD"},
      {"\xEF\xBF\xBD", U"\uFFFD"},                 // U+FFFD itself is valid
      {std::string("a\0b", 3), std::u32string(U"a\0b", 3)},
  };
  for (const auto& c : cases) {
    std::u32string chars;
    for (std::size_t at = 0; at < c.bytes.size();) chars += DecodeUtf8(c.bytes, at);
    EXPECT_EQ(chars, c.chars) << c.bytes;
    std::string encoded;
    for (char32_t ch : c.chars) AppendUtf8(encoded, ch);
    EXPECT_EQ(ValidUtf8(c.bytes), encoded) << c.bytes;
    EXPECT_EQ(IsValidUtf8(c.bytes), encoded == c.bytes) << c.bytes;
    EXPECT_EQ(CodePointCount(c.bytes), c.chars.size()) << c.bytes;
  }
  std::string out;
  AppendUtf8(out, 0xD800);
  AppendUtf8(out, 0x110000);
  AppendUtf8(out, 0x10FFFF);
  EXPECT_EQ(out, "\uFFFD\uFFFD\U0010FFFF");
}

TEST(CaseFold, SimpleFoldingOfUnicode) {
  struct Case {
    char32_t from, to;
  } cases[] = {
      {'A', 'a'},          {'z', 'z'},          {'@', '@'},          {'[', '['},
      {0x00C9, 0x00E9},    {0x00E9, 0x00E9},    {0x00DF, 0x00DF},    {0x1E9E, 0x00DF},  // capital sharp s
      {0x212A, 'k'},       {0x212B, 0x00E5},    {0x017F, 's'},       {0x00B5, 0x03BC},  // Kelvin, Angstrom, long s, micro
      {0x03A3, 0x03C3},    {0x03C2, 0x03C3},    {0x0410, 0x0430},    {0x042F, 0x044F},  // Greek and Cyrillic
      {0x0401, 0x0451},    {0x0100, 0x0101},    {0x0101, 0x0101},    {0x012E, 0x012F},  // runs of pairs
      {0x01C4, 0x01C6},    {0x01C5, 0x01C6},    {0x023A, 0x2C65},    {0x10400, 0x10428},
      {0x1E900, 0x1E922},  {0xFF21, 0xFF41},    {0x0130, 0x0130},    {0x0049, 0x0069},  // no Turkic rules
      {0x4E2D, 0x4E2D},    {0x1F600, 0x1F600},  {0x10FFFF, 0x10FFFF},
  };
  for (const auto& c : cases) EXPECT_EQ(static_cast<unsigned>(FoldCase(c.from)), static_cast<unsigned>(c.to)) << std::hex << c.from;
  EXPECT_EQ(FoldCase("Stra\u1E9EE \u041F\u0420\u0418\u0412\u0415\u0422 \u039F\u03A3 4\u212A"),
            "stra\u00DFe \u043F\u0440\u0438\u0432\u0435\u0442 \u03BF\u03C3 4k");
  EXPECT_EQ(FoldCase("\u023A"), "\u2C65");  // two bytes become three
  EXPECT_EQ(FoldCase("A\xFF" "B\xE2\x82"), "a\uFFFDb\uFFFD");
  EXPECT_EQ(FoldCase(std::string("A\0B", 3)), std::string("a\0b", 3));
  // Folding twice changes nothing, over every code point.
  for (char32_t c = 0; c <= 0x10FFFF; ++c) ASSERT_EQ(FoldCase(FoldCase(c)), FoldCase(c)) << std::hex << c;
}
