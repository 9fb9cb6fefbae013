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

}  // namespace

char32_t FoldCase(char32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
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
