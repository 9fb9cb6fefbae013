#include "base/CaseFold.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "base/Utf8.h"

namespace zorvex {

namespace {

// Every stride-th code point from first to last folds to itself plus delta.
struct FoldRun {
  char32_t first, last;
  std::int32_t delta;
  std::uint32_t stride;
};

constexpr FoldRun kFoldRuns[] = {
#include "base/CaseFoldTable.inc"
};

// Code points below U+0800 (one and two bytes in UTF-8: Latin, Greek, Cyrillic, Armenian, Hebrew, Arabic)
// answer from a direct table of deltas; every delta there fits in 16 bits.
struct SmallTable {
  std::int16_t delta[0x800];
};

constexpr SmallTable MakeSmallTable() {
  SmallTable t{};
  for (const FoldRun& run : kFoldRuns) {
    for (char32_t c = run.first; c <= run.last && c < 0x800; c += run.stride) {
      t.delta[c] = static_cast<std::int16_t>(run.delta);
    }
  }
  return t;
}

constexpr SmallTable kSmall = MakeSmallTable();

constexpr bool TableKeepsItsShortcuts() {
  for (const FoldRun& run : kFoldRuns) {
    if (run.first < 0x800 && (run.delta < -32768 || run.delta > 32767)) return false;
    if (run.last >= 0x2D00 && run.first < 0xA640) return false;
  }
  return true;
}
static_assert(TableKeepsItsShortcuts(), "a new table needs the shortcuts in FoldCase checked again");

}  // namespace

char32_t FoldCase(char32_t c) {
  if (c < 0x800) return static_cast<char32_t>(static_cast<std::int32_t>(c) + kSmall.delta[c]);
  // No letter with case between the Coptic block and Cyrillic Extended-B: the CJK characters.
  if (c >= 0x2D00 && c < 0xA640) return c;
  // The last run that starts at or before c is the only one that can hold it.
  const auto* run = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), c,
                                     [](char32_t value, const FoldRun& r) { return value < r.first; });
  if (run == std::begin(kFoldRuns)) return c;
  --run;
  if (c > run->last || (c - run->first) % run->stride != 0) return c;
  return static_cast<char32_t>(static_cast<std::int32_t>(c) + run->delta);
}

std::string FoldCase(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    const unsigned char b = static_cast<unsigned char>(utf8[at]);
    if (b < 0x80) {
      out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
      ++at;
    } else {
      AppendUtf8(out, FoldCase(DecodeUtf8(utf8, at)));
    }
  }
  return out;
}

}  // namespace zorvex
