#include "popups/Masks.h"

#include <algorithm>
#include <cstring>

#include "base/CaseFold.h"
#include "base/Utf8.h"

namespace zorvex {

namespace {

constexpr int kMaxSkips = 30;
// A run at least this long is searched for with a linear string search rather than tried at
// every start: trying a long run at every place of a title that nearly holds it costs their product.
constexpr std::size_t kAnchorBytes = 16;
// A stretch of several pieces over at least this many characters is searched bit-parallel.
constexpr std::uint32_t kPlanChars = 32;

constexpr unsigned char Upper(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

struct Tables {
  unsigned char upper[256];
  bool plain[256];          // a byte that continues a run of plain characters
  unsigned char width[256];  // bytes of the character that a byte starts, in valid UTF-8
};

constexpr Tables MakeTables() {
  Tables t{};
  for (int c = 0; c < 256; ++c) {
    t.upper[c] = Upper(static_cast<unsigned char>(c));
    t.plain[c] = c != 0 && c != '*' && c != '?' && c != '[';
    t.width[c] = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
  }
  return t;
}

constexpr Tables kTables = MakeTables();

bool Continues(unsigned char c) { return (c & 0xC0) == 0x80; }

// The code point at s[p] of valid UTF-8, and its width in bytes.
char32_t DecodeValid(const unsigned char* s, std::size_t p, std::size_t& width) {
  const unsigned char c = s[p];
  width = kTables.width[c];
  switch (width) {
    case 1: return c;
    case 2: return (char32_t{c & 0x1Fu} << 6) | (s[p + 1] & 0x3Fu);
    case 3: return (char32_t{c & 0x0Fu} << 12) | (char32_t{s[p + 1] & 0x3Fu} << 6) | (s[p + 2] & 0x3Fu);
    default:
      return (char32_t{c & 0x07u} << 18) | (char32_t{s[p + 1] & 0x3Fu} << 12) | (char32_t{s[p + 2] & 0x3Fu} << 6) |
             (s[p + 3] & 0x3Fu);
  }
}

// Writes the text's code points folded, invalid sequences as U+FFFD, with a-z made A-Z when upper; returns
// the end. out has room for three bytes per byte of text (an invalid byte grows the most, to U+FFFD).
unsigned char* WriteFolded(unsigned char* out, std::string_view text, bool upper) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  for (std::size_t at = 0; at < size;) {
    const unsigned char b = s[at];
    char32_t c;
    if (b < 0x80) {
      *out++ = upper ? Upper(b) : (b >= 'A' && b <= 'Z' ? b + 32 : b);
      ++at;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF && at + 1 < size && Continues(s[at + 1])) {
      c = (char32_t{b & 0x1Fu} << 6) | (s[at + 1] & 0x3Fu);  // the most common case, decoded in line
      at += 2;
    } else {
      c = DecodeUtf8(text, at);
    }
    c = FoldCase(c);
    if (c < 0x80) {
      *out++ = static_cast<unsigned char>(upper ? Upper(static_cast<unsigned char>(c)) : c);
    } else if (c < 0x800) {
      *out++ = static_cast<unsigned char>(0xC0 | (c >> 6));
      *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out++ = static_cast<unsigned char>(0xE0 | (c >> 12));
      *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    } else {
      *out++ = static_cast<unsigned char>(0xF0 | (c >> 18));
      *out++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
      *out++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
      *out++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void AddBits(std::array<std::uint64_t, 2>& set, unsigned from, unsigned to) {
  for (unsigned word = from >> 6; from <= to && word <= to >> 6; ++word) {
    const unsigned low = word == from >> 6 ? from & 63 : 0;
    const unsigned high = word == to >> 6 ? to & 63 : 63;
    set[word] |= (~std::uint64_t{0} >> (63 - high)) & (~std::uint64_t{0} << low);
  }
}

constexpr std::uint64_t kOnes = 0x0101010101010101;
constexpr std::uint64_t kHigh = kOnes * 0x80;

// The first byte is the lowest, as FirstByte expects, on any machine.
std::uint64_t Load8(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return word;
}

// Upper-cases the ASCII letters among eight bytes at once; no byte carries into its neighbour.
std::uint64_t Upper8(std::uint64_t x) {
  const std::uint64_t seven = x & ~kHigh;
  const std::uint64_t atLeastA = seven + kOnes * (0x80 - 'a');
  const std::uint64_t aboveZ = seven + kOnes * (0x80 - 'z' - 1);
  const std::uint64_t lower = atLeastA & ~aboveZ & ~x & kHigh;
  return x - (lower >> 2);
}

// High bit set in each byte of x that is zero; exact for the lowest such byte, which is all the callers use.
std::uint64_t ZeroBytes(std::uint64_t x) { return (x - kOnes) & ~x & kHigh; }

// High bit set in the bytes that end a run of plain characters (exact for the lowest).
std::uint64_t RunStops(std::uint64_t w) {
  return ZeroBytes(w) | ZeroBytes(w ^ (kOnes * '*')) | ZeroBytes(w ^ (kOnes * '?')) | ZeroBytes(w ^ (kOnes * '['));
}

// Index of the lowest byte that has its high bit set in a non-zero `stops`.
std::size_t FirstByte(std::uint64_t stops) {
  const std::uint64_t below = ((stops & (0 - stops)) >> 7) - 1;  // one bits in every lower byte
  return static_cast<std::size_t>(((below & kOnes) * kOnes) >> 56);
}

// First position from k on, below size, of a byte that ends a run of plain characters; size when none does.
// Eight bytes a step: a branch per byte mispredicts at the end of every run.
std::size_t RunEnd(const unsigned char* m, std::size_t k, std::size_t size) {
  for (; k + 8 <= size; k += 8) {
    if (const std::uint64_t stops = RunStops(Load8(m + k))) return k + FirstByte(stops);
  }
  if (k == size) return size;
  if (size >= 8) {
    const std::size_t skip = k - (size - 8);  // 1..7 bytes already passed
    const std::uint64_t stops = RunStops(Load8(m + size - 8)) >> (8 * skip);
    return stops ? k + FirstByte(stops) : size;
  }
  while (k < size && kTables.plain[m[k]]) ++k;
  return k;
}

// Length up to the first zero byte, and whether every byte before it is ASCII; eight bytes a step.
std::size_t AsciiPrefix(const unsigned char* s, std::size_t size, bool& ascii) {
  std::size_t k = 0;
  for (; k + 8 <= size; k += 8) {
    if ((ZeroBytes(Load8(s + k)) | Load8(s + k)) & kHigh) break;
  }
  if (k == size) {
    ascii = true;
    return size;
  }
  if (k + 8 > size && size >= 8) {
    // The last bytes in one step, overlapping some already seen.
    const std::uint64_t w = Load8(s + size - 8);
    if (((ZeroBytes(w) | w) & kHigh) == 0) {
      ascii = true;
      return size;
    }
  }
  for (; k < size && s[k] != 0; ++k) {
    if (s[k] >= 0x80) {
      ascii = false;
      return k + std::strlen(reinterpret_cast<const char*>(s + k));
    }
  }
  ascii = true;
  return k;
}

}  // namespace

EMaskException::EMaskException(const std::string& mask, std::size_t position)
    : std::runtime_error("'" + mask + "' is an invalid mask at (" + std::to_string(position) + ")"),
      position_(position) {}

// `at` is a byte offset into key_; the message counts characters, and names the mask as valid UTF-8.
void TMask::Fail(const std::string& mask, std::size_t at) const {
  std::size_t position = 1;
  for (std::size_t k = 0; k < at; ++k) position += Continues(key_.Data()[k]) ? 0 : 1;
  throw EMaskException(ValidUtf8(mask.c_str()), position);
}

inline TMask::Token& TMask::Append(Kind kind, const std::string& mask, std::size_t at) {
  if (pending_) {
    if (++skips_ > kMaxSkips) Fail(mask, at);
    lastSkip_ = tokens_.Size();
  }
  // Filled in place: building it aside and copying it costs a store-forwarding stall per token.
  Token& token = tokens_.Grow();
  token.kind = kind;
  token.skip = pending_;
  pending_ = false;
  return token;
}

TMask::TMask(const std::string& mask) {
  const auto* m = reinterpret_cast<const unsigned char*>(mask.c_str());
  bool ascii = true;
  std::size_t size = AsciiPrefix(m, mask.size(), ascii);
  if (ascii) {
    unsigned char* key = key_.Resize(size + 1);
    std::size_t k = 0;
    for (; k + 8 <= size; k += 8) {
      const std::uint64_t word = Upper8(Load8(m + k));
      std::memcpy(key + k, &word, sizeof word);
    }
    for (; k < size; ++k) key[k] = Upper(m[k]);
    key[size] = 0;
  } else {
    unsigned char* key = key_.Resize(3 * size + 1);
    const unsigned char* end = WriteFolded(key, std::string_view(mask.c_str(), size), true);
    size = static_cast<std::size_t>(end - key);
    key[size] = 0;
  }
  const unsigned char* u = key_.Data();

  std::size_t k = 0;
  for (;;) {
    const unsigned char c = u[k];
    if (c == 0) {
      Append(kEnd, mask, k);
      break;
    }
    if (c == '*') {
      pending_ = true;
      ++k;
    } else if (c == '?') {
      if (!pending_) Append(kAny, mask, k);  // "*?" acts as "*"
      ++k;
    } else if (c == '[') {
      const std::size_t close = ReadSet(mask, k);
      Append(kSet, mask, close).at = static_cast<std::uint32_t>(sets_.Size() - 1);
      k = close + 1;
    } else {
      Token& token = Append(kRun, mask, k);
      const std::size_t start = k++;
      k = RunEnd(u, k, size);
      token.at = static_cast<std::uint32_t>(start);
      token.length = static_cast<std::uint32_t>(k - start);
    }
  }
  PlanStretches();
}

// Reads the set that starts at the "[" at `at` in key_; returns the position of its "]".
std::size_t TMask::ReadSet(const std::string& mask, std::size_t at) {
  const unsigned char* u = key_.Data();
  std::size_t k = at + 1;
  bool negate = false;
  if (u[k] == '!') {
    negate = true;
    ++k;
  }
  // Filled in place, like the tokens.
  Set& set = sets_.Grow();
  set = Set{};
  set.rangeAt = static_cast<std::uint32_t>(ranges_.Size());
  long last = -1;
  // A "]" first, with another one to close the set, is a member, as in "[]]": the only way to
  // name it in a set.
  const std::size_t first = k;
  const auto member = [&](std::size_t at) {
    return at == first && std::strchr(reinterpret_cast<const char*>(u) + at + 1, ']') != nullptr;
  };
  for (unsigned char c; (c = u[k]) != 0 && (c != ']' || member(k));) {
    std::size_t width = 0;
    if (c == '-') {
      if (last < 0) Fail(mask, k);
      if (u[++k] == 0) break;
      AddToSet(set, static_cast<char32_t>(last), DecodeValid(u, k, width));
    } else {
      last = static_cast<long>(DecodeValid(u, k, width));
      AddToSet(set, static_cast<char32_t>(last), static_cast<char32_t>(last));
    }
    k += width;
  }
  set.rangeCount = static_cast<std::uint32_t>(ranges_.Size() - set.rangeAt);
  if (u[k] != ']' || ((set.ascii[0] | set.ascii[1]) == 0 && set.rangeCount == 0)) Fail(mask, k);

  // Text letters a-z are compared as A-Z, so they answer as A-Z do and members a-z are unreachable.
  constexpr std::uint64_t upperBits = std::uint64_t{0x3FFFFFF} << ('A' - 64);
  constexpr std::uint64_t lowerBits = std::uint64_t{0x3FFFFFF} << ('a' - 64);
  set.ascii[1] = (set.ascii[1] & ~lowerBits) | ((set.ascii[1] & upperBits) << 32);
  if (negate) {
    for (auto& word : set.ascii) word = ~word;
  }
  set.negate = negate;
  return k;
}

// Adds first..last (nothing when last is lower); both are in key form already.
void TMask::AddToSet(Set& set, char32_t first, char32_t last) {
  if (first > last) return;
  if (first < 0x80) AddBits(set.ascii, first, last < 0x80 ? last : 0x7F);
  if (last < 0x80) return;
  if (first < 0x80) first = 0x80;
  // "[а-я]" adds "а" and then "а" to "я": one range is enough.
  if (ranges_.Size() > set.rangeAt) {
    Range& previous = ranges_.Data()[ranges_.Size() - 1];
    if (first <= previous.last + 1 && last + 1 >= previous.first) {
      previous = Range{std::min(first, previous.first), std::max(last, previous.last)};
      return;
    }
  }
  ranges_.Grow() = Range{first, last};
}

// For each stretch between two "*": where it ends, and its longest run when that is worth a search.
void TMask::PlanStretches() {
  Token* tokens = tokens_.Data();
  const std::size_t count = tokens_.Size();
  // Every skip token but the last is followed by another skip token: the end token comes last.
  for (std::size_t i = 0; lastSkip_ != kNone && i < lastSkip_; ++i) {
    if (!tokens[i].skip) continue;
    std::size_t end = i + 1;
    while (!tokens[end].skip) ++end;
    tokens[i].end = static_cast<std::uint32_t>(end);
    tokens[i].anchor = kNoAnchor;
    tokens[i].plan = kNoPlan;
    // Several pieces over many characters: tried at every start, such a stretch could cost the
    // product of its length and the title's.
    std::uint32_t chars = 0;
    for (std::size_t j = i; j < end; ++j) chars += tokens[j].kind == kRun ? RunChars(tokens[j]) : 1;
    if (end - i >= 3 && chars >= kPlanChars) {
      tokens[i].plan = static_cast<std::uint32_t>(plans_.size());
      MakePlan(i, end, chars);
      continue;
    }
    std::size_t anchor = kNone;
    for (std::size_t j = i; j < end; ++j) {
      if (tokens[j].kind == kRun && tokens[j].length >= kAnchorBytes &&
          (anchor == kNone || tokens[j].length > tokens[anchor].length)) {
        anchor = j;
      }
    }
    if (anchor == kNone) continue;
    // Border lengths of the run, for a search that never looks at a byte of the text twice.
    const unsigned char* run = key_.Data() + tokens[anchor].at;
    const std::uint32_t length = tokens[anchor].length;
    tokens[i].anchor = static_cast<std::uint32_t>(anchor);
    tokens[i].borders = static_cast<std::uint32_t>(borders_.size());
    borders_.resize(borders_.size() + length);
    std::uint32_t* border = borders_.data() + tokens[i].borders;
    border[0] = 0;
    for (std::uint32_t q = 1, b = 0; q < length; ++q) {
      while (b > 0 && run[q] != run[b]) b = border[b - 1];
      if (run[q] == run[b]) ++b;
      border[q] = b;
    }
  }
  if (lastSkip_ != kNone) {
    for (std::size_t i = lastSkip_; i < count; ++i) {
      const Token& token = tokens[i];
      if (token.kind == kRun) {
        tailChars_ += RunChars(token);
      } else if (token.kind != kEnd) {
        ++tailChars_;
      }
    }
  }
}

std::uint32_t TMask::RunChars(const Token& token) const {
  std::uint32_t chars = 0;
  for (std::uint32_t j = 0; j < token.length; ++j) chars += Continues(key_.Data()[token.at + j]) ? 0 : 1;
  return chars;
}

void TMask::MakePlan(std::size_t from, std::size_t to, std::uint32_t chars) {
  Plan plan{};
  plan.chars = chars;
  plan.words = (chars + 63) / 64;
  const std::size_t words = plan.words;
  plan.masks = static_cast<std::uint32_t>(masks_.size());
  masks_.resize(masks_.size() + 128 * words);
  const auto mark = [](std::uint64_t* row, std::uint32_t position) { row[position >> 6] |= std::uint64_t{1} << (position & 63); };
  const Token* tokens = tokens_.Data();
  std::vector<std::uint64_t> anyRow(words);
  std::vector<std::uint64_t> asciiRow(words);                  // positions that most ASCII bytes fit
  std::vector<std::pair<std::size_t, std::uint32_t>> unmark;  // byte, position: the exceptions to asciiRow
  std::vector<std::pair<char32_t, std::uint32_t>> beyondAscii;  // code point, position
  std::vector<std::pair<std::uint32_t, std::uint32_t>> setPositions;  // index into sets_, position
  // Beyond ASCII, the code points split into intervals over which every set and character of the stretch
  // answers alike; each interval gets one row.
  std::vector<char32_t> starts{0x80, 0x110000};
  std::uint32_t position = 0;
  for (std::size_t j = from; j < to; ++j, ++position) {
    const Token& token = tokens[j];
    std::uint64_t* rows = masks_.data() + plan.masks;
    if (token.kind == kAny) {
      mark(anyRow.data(), position);
    } else if (token.kind == kSet) {
      // Only the bytes that answer other than most do are visited, one by one.
      const Set& set = sets_.Data()[token.at];
      const std::array<std::uint64_t, 2> bits{set.ascii[0] & ~std::uint64_t{1}, set.ascii[1]};
      const bool most = __builtin_popcountll(bits[0]) + __builtin_popcountll(bits[1]) > 64;
      if (most) mark(asciiRow.data(), position);
      for (std::size_t w = 0; w < 2; ++w) {
        for (std::uint64_t rest = most ? ~bits[w] & (w == 0 ? ~std::uint64_t{1} : ~std::uint64_t{0}) : bits[w]; rest != 0;
             rest &= rest - 1) {
          const std::size_t b = w * 64 + static_cast<std::size_t>(__builtin_ctzll(rest));
          if (most) {
            unmark.emplace_back(b, position);
          } else {
            mark(rows + b * words, position);
          }
        }
      }
      for (std::uint32_t r = 0; r < set.rangeCount; ++r) {
        const Range& range = ranges_.Data()[set.rangeAt + r];
        // A set written again and again adds its bounds once, which keeps the sort below short.
        if (starts.size() >= 4 && starts[starts.size() - 2] == range.first && starts.back() == range.last + 1) continue;
        starts.push_back(range.first);
        starts.push_back(range.last + 1);
      }
      setPositions.emplace_back(token.at, position);
    } else {
      const unsigned char* run = key_.Data() + token.at;
      for (std::size_t k = 0; k < token.length; ++position) {
        std::size_t width = 0;
        const char32_t c = DecodeValid(run, k, width);
        if (c < 0x80) {
          mark(rows + c * words, position);
          if (c >= 'A' && c <= 'Z') mark(rows + (c + 32) * words, position);
        } else {
          beyondAscii.emplace_back(c, position);
          starts.push_back(c);
          starts.push_back(c + 1);
        }
        k += width;
      }
      --position;
    }
  }
  std::uint64_t* rows = masks_.data() + plan.masks;
  for (std::size_t b = 1; b < 128; ++b) {
    for (std::size_t w = 0; w < words; ++w) rows[b * words + w] |= anyRow[w] | asciiRow[w];
  }
  for (const auto& [b, at] : unmark) rows[b * words + (at >> 6)] &= ~(std::uint64_t{1} << (at & 63));

  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  starts.pop_back();  // 0x110000 ends the last interval
  plan.intervals = static_cast<std::uint32_t>(starts_.size());
  plan.intervalCount = static_cast<std::uint32_t>(starts.size());
  plan.intervalMasks = static_cast<std::uint32_t>(masks_.size());
  starts_.insert(starts_.end(), starts.begin(), starts.end());
  masks_.resize(masks_.size() + starts.size() * words);
  std::uint64_t* intervalRows = masks_.data() + plan.intervalMasks;
  for (std::size_t k = 0; k < starts.size(); ++k) {
    std::copy(anyRow.begin(), anyRow.end(), intervalRows + k * words);
  }
  const auto intervalOf = [&](char32_t c) {
    return static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), c) - starts.begin() - 1);
  };
  for (const auto& [c, at] : beyondAscii) mark(intervalRows + intervalOf(c) * words, at);
  for (const auto& [set, at] : setPositions) {
    for (std::size_t k = 0; k < starts.size(); ++k) {
      if (InSet(sets_.Data()[set], starts[k])) mark(intervalRows + k * words, at);
    }
  }
  plans_.push_back(plan);
}

bool TMask::InSet(const Set& set, char32_t c) const {
  if (c < 0x80) return (set.ascii[c >> 6] >> (c & 63)) & 1;
  const Range* range = ranges_.Data() + set.rangeAt;
  for (std::uint32_t r = 0; r < set.rangeCount; ++r) {
    if (c >= range[r].first && c <= range[r].last) return !set.negate;
  }
  return set.negate;
}

// Bytes of the text the token takes at p, or kNone when it does not fit there.
std::size_t TMask::Width(const Token& token, const Text& text, std::size_t p) const {
  const unsigned char* at = text.s + p;
  switch (token.kind) {
    case kRun: {
      if (token.length > text.size - p) return kNone;
      const unsigned char* run = key_.Data() + token.at;
      std::uint32_t j = 0;
      for (; j + 8 <= token.length; j += 8) {
        if (Upper8(Load8(at + j)) != Load8(run + j)) return kNone;
      }
      for (; j < token.length; ++j) {
        if (kTables.upper[at[j]] != run[j]) return kNone;
      }
      return token.length;
    }
    case kAny:
      return p < text.size ? kTables.width[*at] : kNone;
    case kSet: {
      if (p >= text.size) return kNone;
      std::size_t width = 0;
      const char32_t c = DecodeValid(text.s, p, width);
      return InSet(sets_.Data()[token.at], c) ? width : kNone;
    }
    case kEnd:
      break;
  }
  return p == text.size ? 0 : kNone;
}

// First position from `from` on where the token's first character fits, or kNone.
std::size_t TMask::Seek(const Token& token, const Text& text, std::size_t from, bool pairs) const {
  const unsigned char* s = text.s;
  std::size_t p = from;
  if (token.kind == kRun) {
    // Eight bytes a step while they are known to be readable. The run starts with a whole
    // character, so the byte found never continues one.
    const unsigned char first = key_.Data()[token.at];
    if (pairs && token.length >= 2) {
      // Places where the first and the last byte both fit: a title full of the first byte alone then costs
      // no tries. A place found may be wrong (the lowest byte of a match is exact only for one word), never
      // one missed: the caller tries it and seeks again from the next place.
      const std::size_t last = token.length - 1;
      const std::uint64_t lastByte = kOnes * key_.Data()[token.at + last];
      for (; p + last + 8 <= text.size; p += 8) {
        const std::uint64_t hits =
            ZeroBytes(Upper8(Load8(s + p)) ^ (kOnes * first)) & ZeroBytes(Upper8(Load8(s + p + last)) ^ lastByte);
        if (hits) return p + FirstByte(hits);
      }
    }
    for (; p + 8 <= text.size; p += 8) {
      if (const std::uint64_t hits = ZeroBytes(Upper8(Load8(s + p)) ^ (kOnes * first))) return p + FirstByte(hits);
    }
    for (; p < text.size; ++p) {
      if (kTables.upper[s[p]] == first) return p;
    }
    return kNone;
  }
  // A set: kAny never carries skip, and kEnd is always the last skip, which FitsTail handles.
  const Set& set = sets_.Data()[token.at];
  while (p < text.size) {
    std::size_t width = 0;
    if (InSet(set, DecodeValid(s, p, width))) return p;
    p += width;
  }
  return kNone;
}

// Tries tokens from..to-1 at p; on success p is past them.
bool TMask::FitsStretchAt(std::size_t from, std::size_t to, const Text& text, std::size_t& p) const {
  const Token* tokens = tokens_.Data();
  for (std::size_t j = from; j < to; ++j) {
    const std::size_t width = Width(tokens[j], text, p);
    if (width == kNone) return false;
    p += width;
  }
  return true;
}

// Every token takes one character or a fixed run, so the leftmost place where a stretch between two
// "*" fits is always the best one: the position past that place, or kNone.
std::size_t TMask::FindStretch(std::size_t i, const Text& text, std::size_t from) const {
  const Token& first = tokens_.Data()[i];
  if (first.plan != kNoPlan) return FindByPlan(plans_[first.plan], text, from);
  // Seeking by the first byte is quickest while it is rare; once it has led to several misses, by the
  // first and the last byte of a run, or by a search for the stretch's long run.
  for (std::size_t start = from, misses = 0;; ++misses) {
    if (misses == 4 && first.anchor != kNoAnchor) return FindByAnchor(i, text, start);
    start = Seek(first, text, start, misses >= 4);
    if (start == kNone) return kNone;
    std::size_t p = start;
    if (FitsStretchAt(i, first.end, text, p)) return p;
    start += kTables.width[text.s[start]];
  }
}

// Shift-And over the stretch's characters: each character of the text is read once, and costs a step
// per 64 characters of the stretch. Every piece takes one character, so the first place where the whole
// stretch ends is also the leftmost place where it starts.
std::size_t TMask::FindByPlan(const Plan& plan, const Text& text, std::size_t from) const {
  constexpr std::size_t kStackWords = 16;
  std::uint64_t stackState[kStackWords] = {};
  std::vector<std::uint64_t> heap;
  std::uint64_t* state = stackState;
  const std::size_t words = plan.words;
  if (words > kStackWords) {
    heap.assign(words, 0);
    state = heap.data();
  }
  const std::uint64_t* rows = masks_.data() + plan.masks;
  const std::uint64_t* intervalRows = masks_.data() + plan.intervalMasks;
  const char32_t* starts = starts_.data() + plan.intervals;
  const char32_t* startsEnd = starts + plan.intervalCount;
  const std::uint32_t lastWord = (plan.chars - 1) >> 6;
  const std::uint64_t lastBit = std::uint64_t{1} << ((plan.chars - 1) & 63);
  for (std::size_t q = from; q < text.size;) {
    const unsigned char b = text.s[q];
    const std::uint64_t* accepts;
    std::size_t width = 1;
    if (b < 0x80) {
      accepts = rows + b * words;
    } else {
      const char32_t c = DecodeValid(text.s, q, width);
      accepts = intervalRows + static_cast<std::size_t>(std::upper_bound(starts, startsEnd, c) - starts - 1) * words;
    }
    std::uint64_t carry = 1;
    for (std::size_t w = 0; w < words; ++w) {
      const std::uint64_t next = state[w] >> 63;
      state[w] = ((state[w] << 1) | carry) & accepts[w];
      carry = next;
    }
    q += width;
    if (state[lastWord] & lastBit) return q;
  }
  return kNone;
}

// The stretch's long run is found with a linear string search (each text byte read once); each place
// it occurs is then tried with the tokens around it.
std::size_t TMask::FindByAnchor(std::size_t i, const Text& text, std::size_t from) const {
  const Token* tokens = tokens_.Data();
  const Token& anchor = tokens[tokens[i].anchor];
  const unsigned char* run = key_.Data() + anchor.at;
  const std::uint32_t length = anchor.length;
  const std::uint32_t* border = borders_.data() + tokens[i].borders;
  const unsigned char* s = text.s;
  std::uint32_t matched = 0;
  for (std::size_t q = from; q < text.size; ++q) {
    const unsigned char c = kTables.upper[s[q]];
    while (matched > 0 && run[matched] != c) matched = border[matched - 1];
    if (run[matched] == c) ++matched;
    if (matched < length) continue;
    matched = border[length - 1];
    // The run ends at q: step back over the tokens before it to where the stretch would start.
    const std::size_t at = q + 1 - length;
    std::size_t start = at;
    bool room = true;
    for (std::size_t j = tokens[i].anchor; room && j-- > i;) {
      if (tokens[j].kind == kRun) {
        room = start - from >= tokens[j].length;
        if (room) start -= tokens[j].length;
      } else {
        room = start > from;
        if (room) {
          --start;
          while (start > from && Continues(s[start])) --start;
        }
      }
    }
    if (!room) continue;
    std::size_t p = start;
    if (!FitsStretchAt(i, tokens[i].anchor, text, p) || p != at) continue;
    p = at + length;
    if (FitsStretchAt(tokens[i].anchor + 1, tokens[i].end, text, p)) return p;
  }
  return kNone;
}

// After the last "*" the tokens take a fixed number of characters and must end with the text, so
// only one start can fit.
bool TMask::FitsTail(const Text& text, std::size_t from) const {
  std::size_t p = text.size;
  if (text.ascii) {
    if (text.size - from < tailChars_) return false;
    p -= tailChars_;
  } else {
    for (std::size_t n = 0; n < tailChars_; ++n) {
      if (p == from) return false;
      --p;
      while (p > from && Continues(text.s[p])) --p;
    }
  }
  return FitsStretchAt(lastSkip_, tokens_.Size(), text, p);
}

TMaskText::TMaskText(const std::string& text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.c_str());
  const std::size_t size = AsciiPrefix(s, text.size(), ascii_);
  if (ascii_) {
    text_.assign(text, 0, size);
  } else {
    text_.resize(3 * size);
    auto* out = reinterpret_cast<unsigned char*>(&text_[0]);
    text_.resize(static_cast<std::size_t>(WriteFolded(out, std::string_view(text.c_str(), size), false) - out));
  }
}

bool TMask::Fits(const TMaskText& text) const {
  return FitsText(Text{reinterpret_cast<const unsigned char*>(text.text_.c_str()), text.text_.size(), text.ascii_});
}

bool TMask::Fits(const std::string& text) const {
  Text t{reinterpret_cast<const unsigned char*>(text.c_str()), 0, true};
  t.size = AsciiPrefix(t.s, text.size(), t.ascii);
  if (t.ascii) return FitsText(t);
  // Folded once per test (not per compare) into a buffer that each thread keeps, so a title beyond
  // ASCII costs no allocation after the first.
  thread_local std::vector<unsigned char> folded;
  if (folded.size() < 3 * t.size + 1) folded.resize(3 * t.size + 1);
  unsigned char* end = WriteFolded(folded.data(), std::string_view(text.c_str(), t.size), false);
  *end = 0;
  t.s = folded.data();
  t.size = static_cast<std::size_t>(end - folded.data());
  return FitsText(t);
}

bool TMask::FitsText(const Text& t) const {
  if (tokens_.Size() == 0) return false;  // moved from
  const Token* tokens = tokens_.Data();
  std::size_t i = 0;
  std::size_t p = 0;
  // Up to the first "*" the mask must fit at the start of the text.
  for (; !tokens[i].skip; ++i) {
    const std::size_t width = Width(tokens[i], t, p);
    if (width == kNone) return false;
    if (tokens[i].kind == kEnd) return true;
    p += width;
  }
  while (i != lastSkip_) {
    p = FindStretch(i, t, p);
    if (p == kNone) return false;
    i = tokens[i].end;
  }
  return FitsTail(t, p);
}

bool FitsMask(const std::string& text, const std::string& mask) { return TMask(mask).Fits(text); }

}  // namespace zorvex
