// What Windows makes of each byte of code page 1252 (its MultiByteToWideChar mapping), as UTF-8:
// the native tests hold the stand-in code page to it, and the Wine tests the real conversion.
#pragma once

#include <string>

namespace zorvex::testing_1252 {

// 0x80 to 0x9F; the bytes the code page leaves undefined give the C1 control of the same number.
inline const char* const kHigh[32] = {
    "€", "\xC2\x81", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", "\xC2\x8D", "Ž", "\xC2\x8F",
    "\xC2\x90", "‘", "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", "\xC2\x9D", "ž", "Ÿ",
};

// The UTF-8 of one byte: ASCII as it is, 0x80 to 0x9F from the table, the rest Latin-1.
inline std::string Expected(unsigned char byte) {
  if (byte < 0x80) return std::string(1, static_cast<char>(byte));
  if (byte < 0xA0) return kHigh[byte - 0x80];
  return {static_cast<char>(0xC0 | (byte >> 6)), static_cast<char>(0x80 | (byte & 0x3F))};
}

}  // namespace zorvex::testing_1252
