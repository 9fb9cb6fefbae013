#include "popups/Masks.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cctype>
#include <random>
#include <string>
#include <utility>
#include <vector>

using zorvex::EMaskException;
using zorvex::FitsMask;
using zorvex::TMask;

namespace {

// Straightforward model of the mask language: every element kept as written, and the retry-stack search
// that tries every start of every element after a "*". Slow, but obviously complete.
struct RefElement {
  bool skip = false;
  enum { kLiteral, kAny, kSet, kDouble } kind = kLiteral;
  unsigned char literal = 0;  // 0: the end element
  bool negate = false;
  std::bitset<256> set;
  unsigned char lead = 0, trail = 0;
};

unsigned char Up(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

std::string RefError(const std::string& mask, size_t position) {
  return "'" + mask + "' is an invalid mask at (" + std::to_string(position) + ")";
}

// Returns the elements, or the error message in `error`.
std::vector<RefElement> RefCompile(const std::string& mask, bool (*isLead)(unsigned char), std::string& error) {
  std::vector<RefElement> out;
  RefElement next;
  int skips = 0;
  const size_t n = mask.size();
  auto at = [&](size_t k) -> unsigned char { return k < n ? mask[k] : 0; };
  auto append = [&](size_t position) {
    if (next.skip && ++skips > 30) error = RefError(mask, position);
    out.push_back(next);
    next = RefElement();
  };
  for (size_t k = 0; error.empty(); ++k) {
    const unsigned char c = at(k);
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
      int last = -1;
      while (k < n && at(k) != ']') {
        if (isLead && isLead(at(k))) {
          k += 2;
        } else if (at(k) == '-') {
          if (last < 0) {
            error = RefError(mask, k + 1);
            return out;
          }
          ++k;
          if (k == n) break;
          for (int v = last; v <= Up(at(k)); ++v) next.set.set(v);
          ++k;
        } else {
          last = Up(at(k++));
          next.set.set(last);
        }
      }
      k = std::min(k, n);
      if (k == n || next.set.none()) {
        error = RefError(mask, k + 1);
        return out;
      }
      next.kind = RefElement::kSet;
      append(k + 1);
    } else if (isLead && isLead(c) && k + 1 < n) {
      next.kind = RefElement::kDouble;
      next.lead = c;
      next.trail = at(++k);
      append(k + 1);
    } else {
      next.literal = Up(c);
      append(k + 1);
    }
  }
  return out;
}

bool RefAccepts(const RefElement& e, const std::string& text, size_t p) {
  if (p == text.size()) return e.kind == RefElement::kLiteral && e.literal == 0;  // nothing reads past the end
  const unsigned char c = text[p];
  switch (e.kind) {
    case RefElement::kLiteral: return e.literal != 0 && Up(c) == e.literal;
    case RefElement::kAny: return true;
    case RefElement::kSet: return e.set.test(Up(c)) != e.negate;
    case RefElement::kDouble: return p + 1 < text.size() && c == e.lead && (unsigned char)text[p + 1] == e.trail;
  }
  return false;
}

bool RefFits(const std::vector<RefElement>& elements, const std::string& text) {
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
      if (ok) p += e.kind == RefElement::kDouble ? 2 : 1;
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

std::string RefOutcome(const std::string& mask, const std::string& text, bool (*isLead)(unsigned char)) {
  std::string error;
  auto elements = RefCompile(mask, isLead, error);
  if (!error.empty()) return error;
  return RefFits(elements, text) ? "fits" : "no";
}

// Random masks built from the pieces; half the texts random, half made from the mask (so that many fit).
void Differential(bool (*isLead)(unsigned char), const std::vector<std::string>& maskPieces,
                  const std::string& textBytes, size_t maxPieces) {
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
  auto randomByte = [&] { return textBytes[pick(textBytes.size())]; };
  for (int round = 0; round < 60000; ++round) {
    std::string mask, text;
    for (size_t n = pick(maxPieces + 1); n > 0; --n) mask += maskPieces[pick(maskPieces.size())];
    if (round % 2 == 0) {
      for (size_t n = pick(13); n > 0; --n) text += randomByte();
    } else {
      for (char c : mask) {
        if (c == '*') {
          for (size_t n = pick(4); n > 0; --n) text += randomByte();
        } else if (std::string("?[]-!").find(c) != std::string::npos) {
          text += randomByte();
        } else {
          text += pick(2) && std::isalpha(static_cast<unsigned char>(c)) ? c ^ 0x20 : c;
        }
      }
      if (!text.empty() && pick(3) == 0) text[pick(text.size())] = randomByte();
    }
    const std::string expected = RefOutcome(mask, text, isLead);
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
      {"*z*", "xZ", true},       {"*Z*", "xz", true},         {"[0-\xC0][0-\xC0]", "\x7F\xBF", true},
      {"\xC9t\xC9", "\xC9T\xC9", true}, {"\xC9t\xC9", "\xE9t\xE9", false}, {"[\xC9]", "\xE9", false},
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
  Differential(nullptr, {"a", "B", "c", "\xC9", "?", "*", "**", "*?", "[ab]", "[!a]", "[a-c]", "[!B-c]", "[c-a]", "[",
                         "]", "-", "!", "[-", "[]", "[_-~]"},
               "aAbBcC\xC9\xE9-]!_", 8);
  // Long runs of plain characters, compared and scanned eight bytes at a time: letters next to the bytes
  // just outside a-z and A-Z, and bytes with the high bit set.
  Differential(nullptr, {"abcdefghi", "XYZ@`{z", "\xC1\xE1\x80\xFF", "q", "*", "?", "[!a]", "[@-`]"},
               "aAzZ@`{[\xC1\xE1\x80", 6);
}

TEST(Masks, DoubleByteCharacters) {
  const auto fakeLead = [](unsigned char c) { return c == 0x81 || c == 0x82; };
  zorvex::SetLeadByteTest(fakeLead);
  struct Restore {
    ~Restore() { zorvex::SetLeadByteTest(nullptr); }
  } restore;
  struct Case {
    const char* mask;
    const char* text;
    const char* outcome;
  } cases[] = {
      {"\x81" "a", "\x81" "a", "fits"}, {"\x81" "a", "\x81" "A", "no"},      {"*\x81" "b", "b\x81" "b", "fits"},
      {"*\x81" "b", "\x81", "no"},      {"x\x81", "X\x81", "fits"},           {"[\x81]a]", "a", "fits"},
      {"[\x81]", "a", "'[\x81]' is an invalid mask at (4)"},
      {"[a\x81", "a", "'[a\x81' is an invalid mask at (4)"},
      {"*1*2*3*4*5*6*7*8*9*0*1*2*3*4*5*6*7*8*9*0*1*2*3*4*5*6*7*8*9*0*\x81" "b", "",
       "'*1*2*3*4*5*6*7*8*9*0*1*2*3*4*5*6*7*8*9*0*1*2*3*4*5*6*7*8*9*0*\x81" "b' is an invalid mask at (63)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Outcome(c.mask, c.text), c.outcome) << c.mask;
    EXPECT_EQ(RefOutcome(c.mask, c.text, fakeLead), c.outcome) << c.mask;
  }
  Differential(fakeLead, {"a", "B", "\x81", "\x82" "a", "\x81" "b", "?", "*", "*?", "[a\x81]", "[!\x82]", "[a-b]", "]"},
               "aAbB\x81\x82", 8);
  zorvex::SetLeadByteTest(nullptr);
  EXPECT_TRUE(FitsMask("\x81" "A", "\x81" "a"));  // single-byte again: "a" is a letter of its own
}
