#include "popups/Masks.h"

#include "base/CaseFold.h"
#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

using zorvex::EMaskException;
using zorvex::FitsMask;
using zorvex::TMask;

namespace {

// Straightforward model of the mask language over code points: every element kept as written, and the
// retry-stack search that tries every start of every element after a "*". Slow, but obviously complete.
struct RefElement {
  bool skip = false;
  enum { kLiteral, kAny, kSet } kind = kLiteral;
  char32_t literal = 0;  // 0: the end element
  bool negate = false;
  std::vector<std::pair<char32_t, char32_t>> set;  // inclusive ranges of keys
};

// The code points up to the first zero byte, each invalid sequence as one U+FFFD.
std::u32string Chars(const std::string& text) {
  const std::string cut = text.substr(0, text.find('\0'));
  std::u32string out;
  for (size_t at = 0; at < cut.size();) out += zorvex::DecodeUtf8(cut, at);
  return out;
}

// What a character is compared as: folded, and a-z as A-Z (so that ASCII ranges read as they always did).
char32_t Key(char32_t c) {
  c = zorvex::FoldCase(c);
  return c >= 'a' && c <= 'z' ? c - 32 : c;
}

std::string RefError(const std::string& mask, size_t position) {
  std::string text;
  for (char32_t c : Chars(mask)) zorvex::AppendUtf8(text, c);
  return "'" + text + "' is an invalid mask at (" + std::to_string(position) + ")";
}

// Returns the elements, or the error message in `error`.
std::vector<RefElement> RefCompile(const std::string& maskText, std::string& error) {
  const std::u32string mask = Chars(maskText);
  std::vector<RefElement> out;
  RefElement next;
  int skips = 0;
  const size_t n = mask.size();
  auto at = [&](size_t k) -> char32_t { return k < n ? mask[k] : 0; };
  auto append = [&](size_t position) {
    if (next.skip && ++skips > 30) error = RefError(maskText, position);
    out.push_back(next);
    next = RefElement();
  };
  for (size_t k = 0; error.empty(); ++k) {
    const char32_t c = at(k);
    if (k == n) {
      append(n + 1);
      break;
    } else if (c == '*') {
      next.skip = true;
    } else if (c == '?') {
      if (!next.skip) {
        next.kind = RefElement::kAny;
        append(k + 1);
      }
    } else if (c == '[') {
      ++k;
      if (at(k) == '!') {
        next.negate = true;
        ++k;
      }
      long last = -1;
      const size_t first = k;
      const auto closes = [&](size_t from) {
        for (size_t j = from; j < n; ++j) {
          if (at(j) == ']') return true;
        }
        return false;
      };
      while (k < n && (at(k) != ']' || (k == first && closes(k + 1)))) {
        if (at(k) == '-') {
          if (last < 0) {
            error = RefError(maskText, k + 1);
            return out;
          }
          ++k;
          if (k == n) break;
          if (static_cast<char32_t>(last) <= Key(at(k))) next.set.push_back({static_cast<char32_t>(last), Key(at(k))});
          ++k;
        } else {
          last = Key(at(k++));
          next.set.push_back({static_cast<char32_t>(last), static_cast<char32_t>(last)});
        }
      }
      k = std::min(k, n);
      if (k == n || next.set.empty()) {
        error = RefError(maskText, k + 1);
        return out;
      }
      next.kind = RefElement::kSet;
      append(k + 1);
    } else {
      next.literal = Key(c);
      append(k + 1);
    }
  }
  return out;
}

bool RefAccepts(const RefElement& e, const std::u32string& text, size_t p) {
  if (p == text.size()) return e.kind == RefElement::kLiteral && e.literal == 0;  // nothing reads past the end
  const char32_t c = Key(text[p]);
  switch (e.kind) {
    case RefElement::kLiteral: return e.literal != 0 && c == e.literal;
    case RefElement::kAny: return true;
    case RefElement::kSet: {
      bool in = false;
      for (auto [first, last] : e.set) in = in || (c >= first && c <= last);
      return in != e.negate;
    }
  }
  return false;
}

bool RefFits(const std::vector<RefElement>& elements, const std::string& textBytes) {
  const std::u32string text = Chars(textBytes);
  std::vector<std::pair<size_t, size_t>> retry{{0, 0}};
  while (!retry.empty()) {
    auto [p, i] = retry.back();
    retry.pop_back();
    bool ok = true;
    for (; ok && i < elements.size(); ++i) {
      const RefElement& e = elements[i];
      if (e.skip) {
        while (p < text.size() && !RefAccepts(e, text, p)) ++p;
        if (p < text.size()) retry.push_back({p + 1, i});
        EXPECT_LE(retry.size(), 30u);
      }
      ok = RefAccepts(e, text, p);
      if (ok) ++p;
    }
    if (ok) return true;
  }
  return false;
}

// TMask's answer, or the exception message.
std::string Outcome(const std::string& mask, const std::string& text) {
  try {
    return FitsMask(text, mask) ? "fits" : "no";
  } catch (const EMaskException& e) {
    return e.what();
  }
}

std::string RefOutcome(const std::string& mask, const std::string& text) {
  std::string error;
  auto elements = RefCompile(mask, error);
  if (!error.empty()) return error;
  return RefFits(elements, text) ? "fits" : "no";
}

// Characters that are one letter in other cases: a text made from a mask takes any of its group.
const std::vector<std::vector<std::string>>& CaseGroups() {
  static const std::vector<std::vector<std::string>> groups{
      {"a", "A"},      {"b", "B"},      {"c", "C"},           {"k", "K", "\u212A"}, {"s", "S", "\u017F"},
      {"\u00E9", "\u00C9"}, {"\u00DF", "\u1E9E"}, {"\u03C3", "\u03A3", "\u03C2"}, {"\u044F", "\u042F"},
      {"\u2C65", "\u023A"}, {"\U0001E922", "\U0001E900"},
  };
  return groups;
}

// Splits UTF-8 text into its characters, an invalid byte standing alone.
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = 0; at < text.size();) {
    const size_t from = at;
    zorvex::DecodeUtf8(text, at);
    out.push_back(text.substr(from, at - from));
  }
  return out;
}

// Random masks built from the pieces; half the texts random, half made from the mask (so that many fit).
void Differential(const std::vector<std::string>& maskPieces, const std::vector<std::string>& textPieces,
                  size_t maxPieces, size_t maxTextPieces = 12) {
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto randomPiece = [&] { return textPieces[pick(textPieces.size())]; };
  for (int round = 0; round < 60000; ++round) {
    std::string mask, text;
    for (size_t n = pick(maxPieces + 1); n > 0; --n) mask += maskPieces[pick(maskPieces.size())];
    if (round % 2 == 0) {
      for (size_t n = pick(maxTextPieces + 1); n > 0; --n) text += randomPiece();
    } else {
      std::vector<std::string> made;
      for (const std::string& c : Pieces(mask)) {
        if (c == "*") {
          for (size_t n = pick(4); n > 0; --n) made.push_back(randomPiece());
        } else if (c.size() == 1 && std::string("?[]-!").find(c) != std::string::npos) {
          made.push_back(randomPiece());
        } else {
          std::string same = c;
          for (const auto& group : CaseGroups()) {
            if (std::find(group.begin(), group.end(), c) != group.end()) same = group[pick(group.size())];
          }
          made.push_back(same);
        }
      }
      if (!made.empty() && pick(3) == 0) made[pick(made.size())] = randomPiece();
      for (const std::string& c : made) text += c;
    }
    const std::string expected = RefOutcome(mask, text);
    ASSERT_EQ(Outcome(mask, text), expected) << "seed " << seed << " round " << round << " mask '" << mask
                                             << "' text '" << text << "'";
  }
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

}  // namespace

TEST(Masks, FitsTable) {
  struct Case {
    const char* mask;
    const char* text;
    bool fits;
  } cases[] = {
      {"*", "", true},           {"*", "any title", true},    {"", "", true},           {"", "a", false},
      {"abc", "ABC", true},      {"abc", "abc", true},        {"abc", "abcd", false},   {"abc", "ab", false},
      {"a*c", "ac", true},       {"a*c", "abbbc", true},      {"a*c", "abd", false},    {"a*c", "acbc", true},
      {"a*?b", "ab", true},      {"a*b", "ab", true},         {"a?c", "abc", true},     {"a?c", "ac", false},
      {"ab?", "ab", false},      {"[a-c]x", "bx", true},      {"[a-c]x", "Bx", true},   {"[a-c]x", "dx", false},
      {"[!a-c]x", "dx", true},   {"[!a-c]x", "ax", false},    {"[!a-c]x", "Ax", false}, {"a[!b]", "a", false},
      {"[c-a]", "c", true},      {"[c-a]", "b", false},       {"[A-z]", "q", true},     {"[#-~]", "a", true},
      {"[_-~]", "a", false},     {"[0-9]*", "7up", true},     {"x*", "x", true},        {"*x", "yyx", true},
      {"*x", "xy", false},       {"*a*b*c", "cbacb", false},  {"*a*b*c", "cbacbc", true},
      {"*z*", "xZ", true},       {"*Z*", "xz", true},         {"[0-\u00C0][0-\u00C0]", "\x7F\u00E0", true},
      // Beyond ASCII a character is a code point and case is folded: a capital accented letter fits its small form.
      {"\u00C9t\u00C9", "\u00C9T\u00C9", true}, {"\u00C9t\u00C9", "\u00E9t\u00E9", true}, {"[\u00C9]", "\u00E9", true},
  };
  for (const auto& c : cases) EXPECT_EQ(FitsMask(c.text, c.mask), c.fits) << "'" << c.mask << "' on '" << c.text << "'";
}

TEST(Masks, InvalidMasksNameThePosition) {
  const std::string thirtyStars = Repeat("*a", 30);
  struct Case {
    std::string mask;
    int position;
  } cases[] = {
      {"[]", 2},         {"[!]", 3},        {"[abc", 5},  {"[-a]", 2},    {"[!-a]", 3},
      {"[a-", 4},        {"[a-]", 5},       {"x[", 3},    {"[ab]*[", 7},
      {thirtyStars + "*", 62},  {thirtyStars + "*b", 62}, {thirtyStars + "*[bc]", 65},
      {thirtyStars + "*?", 63},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome(c.mask, "a"), RefError(c.mask, c.position)) << c.mask;
    EXPECT_THROW(TMask{c.mask}, EMaskException) << c.mask;
  }
  EXPECT_TRUE(FitsMask(Repeat("a", 40), thirtyStars));
  EXPECT_TRUE(FitsMask(Repeat("a", 40), Repeat("*?", 31) + "*a*"));  // "*?" adds no skip of its own
  EXPECT_TRUE(FitsMask("a-]", "[a-]]-]"));  // "]" right after "-" ends a range, not the set
}

TEST(Masks, HostileAndLongInputs) {
  const std::string a1024(1024, 'a');
  EXPECT_FALSE(FitsMask(a1024, Repeat("*a", 29) + "*b"));
  EXPECT_TRUE(FitsMask(a1024, Repeat("*a", 30)));
  EXPECT_TRUE(FitsMask(a1024 + "b", Repeat("*[!b]", 29) + "*b"));
  EXPECT_FALSE(FitsMask(a1024, "*" + std::string(500, 'a') + "b*"));
  // Long runs between stars, and the tokens around them, where the title nearly holds them.
  EXPECT_TRUE(FitsMask(a1024 + "B" + a1024, "*" + std::string(500, 'a') + "b*"));
  EXPECT_TRUE(FitsMask(a1024 + "xb", "*a?" + std::string(500, 'a') + "?b"));
  EXPECT_FALSE(FitsMask(a1024 + "b", "*a?" + std::string(500, 'a') + "b*c"));
  EXPECT_TRUE(FitsMask("x" + a1024 + "\u00E9b" + a1024, "*[x]" + std::string(30, 'a') + "*?b" + std::string(20, 'a') + "*"));
  EXPECT_FALSE(FitsMask(Repeat("\u00E9", 40) + "b", "*" + Repeat("\u00C9", 20) + "b?*"));
  // Long stretches of many short pieces, over several 64-bit words of the bit-parallel search.
  EXPECT_FALSE(FitsMask(a1024, "*" + Repeat("a?", 250) + "b*"));
  EXPECT_TRUE(FitsMask(a1024 + "b", "*" + Repeat("a?", 250) + "b*"));
  EXPECT_TRUE(FitsMask(a1024 + Repeat("ax", 100) + "b", "*" + Repeat("a?", 100) + "b"));
  EXPECT_TRUE(FitsMask("x" + Repeat("a\u044F", 100) + "b", "*" + Repeat("a[\u0430-\u044F]", 100) + "b*"));
  EXPECT_FALSE(FitsMask("x" + Repeat("a\u044F", 100) + "b", "*" + Repeat("a[!\u0430-\u044F]", 100) + "b*"));
  EXPECT_TRUE(FitsMask(Repeat("\u042F", 300) + "xb", "*" + Repeat("\u044F?", 65) + "b*"));
  EXPECT_TRUE(FitsMask(Repeat("\u00E9", 40) + "b", "*" + Repeat("\u00C9", 20) + "?*"));

  // Beyond the in-place room for tokens, sets and the mask copy; copies and moves must keep working.
  const std::string longTitle = Repeat("abc-", 40);
  std::vector<TMask> masks{TMask(Repeat("[a]b?-", 40)), TMask("ab*c-[a]bc-*"), TMask(Repeat("[!x][b]c-", 40) + "*")};
  std::vector<TMask> copies = masks;
  std::vector<TMask> moved = std::move(masks);
  TMask movedFrom("*");
  TMask taker(std::move(movedFrom));
  EXPECT_TRUE(taker.Fits("x"));
  EXPECT_FALSE(movedFrom.Fits("x"));  // NOLINT(bugprone-use-after-move): a moved-from mask must stay safe
  for (const auto* list : {&copies, &moved}) {
    for (const TMask& mask : *list) {
      EXPECT_TRUE(mask.Fits(longTitle));
      EXPECT_FALSE(mask.Fits("x" + longTitle));
    }
  }
  EXPECT_FALSE(FitsMask(std::string("ab\0c", 4), "ab?"));  // the text ends at its zero byte
}

TEST(Masks, AgreesWithBacktrackingModel) {
  Differential({"a", "B", "c", "\u00C9", "?", "*", "**", "*?", "[ab]", "[!a]", "[a-c]", "[!B-c]", "[c-a]", "[", "]",
                "-", "!", "[-", "[]", "[_-~]"},
               {"a", "A", "b", "B", "c", "C", "\u00C9", "\u00E9", "-", "]", "!", "_"}, 8);
  // Long runs of plain characters, compared and scanned eight bytes at a time: letters next to the bytes
  // just outside a-z and A-Z, and characters of two, three and four bytes.
  Differential({"abcdefghi", "XYZ@`{z", "\u00C1\u00E1\u0080\u00FF", "q", "*", "?", "[!a]", "[@-`]"},
               {"a", "A", "z", "Z", "@", "`", "{", "[", "\u00C1", "\u00E1", "\u0080"}, 6);
  // Characters of every UTF-8 length, letters whose folded form has another length, invalid bytes (one
  // U+FFFD each), sets and ranges over code points.
  Differential({"\u00DF", "\u1E9E", "k", "\u212A", "\u03C3", "\u03C2", "\u042F", "\u023A", "\U0001F600", "\U0001E900",
                "?", "*", "*?", "[\u0430-\u044F]", "[!\u03C3\u00DF]", "[a-\u00E9]", "[\U0001F600-\U0001F64F]",
                "[\u212A]", "\xFF", "\xE2\x82", "\uFFFD", "s"},
               {"\u00DF", "\u1E9E", "k", "K", "\u212A", "\u03C3", "\u03A3", "\u03C2", "\u044F", "\u042F", "\u0451",
                "\u2C65", "\u023A", "\U0001F600", "\U0001F650", "\U0001E922", "\xFF", "\xC3", "\xE2\x82", "\xED\xA0\x80",
                "\xF0\x9F", "\xC0\xAF", "\u017F", "S", "s", "x"},
               8);
  // Long runs between stars, which are searched for rather than tried at every start, beside titles that
  // nearly hold them.
  Differential({"aaaaaaaaaaaaaaaa", "aaaaaaaaaaaaaaaaab", "a", "b", "?", "*", "*", "[ab]", "\u00E9", "A"},
               {"a", "a", "a", "A", "b", "\u00E9", "\u00C9"}, 7, 60);
  // Long stretches of several pieces, searched bit-parallel over one or more 64-bit words, also over
  // characters beyond ASCII and with sets.
  Differential({"aaaaaaaaaa", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "\u00E9\u00E9\u00E9\u00E9\u00E9", "?", "[a\u00E9]", "[!b]", "b",
                "*", "\u042F\u042F\u042F\u042F\u042F\u042F\u042F\u042F", "[\u0430-\u044F]"},
               {"a", "a", "A", "b", "\u00E9", "\u00C9", "\u044F", "\u042F", "x"}, 10, 90);
}

TEST(Masks, CharactersAreCodePoints) {
  struct Case {
    const char* mask;
    const char* text;
    bool fits;
  } cases[] = {
      // "?" takes one character of any length, sets hold code points.
      {"?", "\U0001F600", true},            {"??", "\U0001F600", false},        {"a?b", "a\U0001F600b", true},
      {"[\U0001F600]", "\U0001F600", true}, {"*\U0001F600*", "x\U0001F600y", true}, {"?\u00E9", "\u00E9\u00E9", true},
      {"[\u0430-\u044F]", "\u0431", true},  {"[\u0430-\u044F]", "\u0411", true},  {"[\u0410-\u042F]x", "\u044Fx", true},
      {"[\u0430-\u044F]", "b", false},      {"[!\u0430-\u044F]x", "\u0416x", false}, {"[!\u0430-\u044F]x", "\u0451x", true},
      {"[#-\u00E9]", "\u00E4", true},       {"[#-\u00E9]", "\u00F6", false},    {"[#-\u00E9]", "a", true},
      {"[!\u00E9]", "\U0001F600", true},    {"[\U0001F600-\U0001F64F]", "\U0001F601", true},
      // Simple case folding, also where the folded form has another length in UTF-8.
      {"\u00DF", "\u1E9E", true},           {"\u1E9E", "\u00DF", true},         {"stra\u00DFe", "STRA\u1E9EE", true},
      {"k", "\u212A", true},                {"\u212A", "K", true},              {"[\u212A]", "k", true},
      {"[k]", "\u212A", true},              {"[j-l]", "\u212A", true},          {"\u03C3", "\u03C2", true},
      {"\u03A3*", "\u03C2", true},          {"\u043F\u0440\u0438\u0432\u0435\u0442*", "\u041F\u0420\u0418\u0412\u0415\u0422 \u043C\u0438\u0440", true},
      {"\u023A?", "\u2C65x", true},         {"*\u2C65", "x\u023A", true},       {"\u01C5", "\u01C6", true},
      {"\U0001E900", "\U0001E922", true},   {"\u0130", "i", false},             {"ss", "\u00DF", false},
      {"*microsoft?edge*", "Microsoft\u200BEdge", true},
      // Each invalid sequence is one U+FFFD, also in the mask.
      {"?", "\xFF", true},                  {"??", "\xE2\x82", false},          {"?", "\xE2\x82", true},
      {"\xFF", "\xFE", true},               {"\uFFFD", "\xC0", true},           {"a?c", "a\xC3" "c", true},
      {"??", "\xED\xA0\x80", false},        {"???", "\xED\xA0\x80", true},      {"*\uFFFD", "ab\xF0\x9F", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FitsMask(c.text, c.mask), c.fits) << "'" << c.mask << "' on '" << c.text << "'";
    EXPECT_EQ(RefOutcome(c.mask, c.text), c.fits ? "fits" : "no") << "'" << c.mask << "' on '" << c.text << "'";
  }
  // A title is tested as it is, folded or not: the callers' own folding changes no answer.
  for (const auto& c : cases) {
    EXPECT_EQ(FitsMask(zorvex::FoldCase(c.text), zorvex::FoldCase(c.mask)), c.fits) << c.mask;
    // A title made ready once for many masks, as the scanner tests it, answers alike.
    EXPECT_EQ(TMask(c.mask).Fits(zorvex::TMaskText(c.text)), c.fits) << c.mask;
  }
}

TEST(Masks, ErrorPositionsCountCharacters) {
  struct Case {
    std::string mask;
    std::string message;
  } cases[] = {
      {"[\u0436", "'[\u0436' is an invalid mask at (3)"},
      {"\u0451[]", "'\u0451[]' is an invalid mask at (3)"},
      {"\u65E5\u672C[-a]", "'\u65E5\u672C[-a]' is an invalid mask at (4)"},
      {"[\U0001F600-", "'[\U0001F600-' is an invalid mask at (4)"},
      {"\U0001F600[!]", "'\U0001F600[!]' is an invalid mask at (4)"},
      {Repeat("*\u044F", 30) + "*", "'" + Repeat("*\u044F", 30) + "*' is an invalid mask at (62)"},
      // The folded form is shorter in bytes, but positions count in the mask as written.
      {"\u1E9E\u1E9E[", "'\u1E9E\u1E9E[' is an invalid mask at (4)"},
      // The message names the mask as valid UTF-8.
      {"[\xFF", "'[\uFFFD' is an invalid mask at (3)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome(c.mask, "a"), c.message);
    EXPECT_EQ(RefOutcome(c.mask, "a"), c.message);
    try {
      TMask{c.mask};
    } catch (const EMaskException& e) {
      EXPECT_EQ(e.Position(), static_cast<size_t>(std::stoi(c.message.substr(c.message.rfind('(') + 1))));
    }
  }
}
