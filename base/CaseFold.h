// Letter case as the masks and every title and rule comparison ignore it: Unicode simple case
// folding (one code point to one), the same on every machine, whatever the user's locale.
#pragma once

#include <string>
#include <string_view>

namespace zorvex {

// The simple case folding of c (mostly its small letter); c itself when it has none.
char32_t FoldCase(char32_t c);
// Every code point folded; each invalid UTF-8 sequence becomes U+FFFD. The result is valid UTF-8
// with as many code points as the text has, though not always as many bytes ("ẞ" folds to "ß").
std::string FoldCase(std::string_view utf8);

}  // namespace zorvex
