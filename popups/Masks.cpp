#include "popups/Masks.h"

#include <atomic>
#include <cstring>

namespace zorvex {

namespace {

// The main thread may set it while the scanner compiles masks.
std::atomic<LeadByteTest> leadByteTest{nullptr};

constexpr int kMaxSkips = 30;

constexpr unsigned char Upper(unsigned char c) {
  return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c;
}

struct Tables {
  unsigned char upper[256];
  bool plain[256];  // a byte that continues a run of plain characters
};

constexpr Tables MakeTables() {
  Tables t{};
  for (int c = 0; c < 256; ++c) {
    t.upper[c] = Upper(static_cast<unsigned char>(c));
    t.plain[c] = c != 0 && c != '*' && c != '?' && c != '[';
  }
  return t;
}

constexpr Tables kTables = MakeTables();

void AddRange(std::array<std::uint64_t, 4>& set, unsigned from, unsigned to) {
  for (unsigned word = from >> 6; from <= to && word <= to >> 6; ++word) {
    const unsigned low = word == from >> 6 ? from & 63 : 0;
    const unsigned high = word == to >> 6 ? to & 63 : 63;
    set[word] |= (~std::uint64_t{0} >> (63 - high)) & (~std::uint64_t{0} << low);
  }
}

constexpr std::uint64_t kOnes = 0x0101010101010101;

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
  const std::uint64_t high = kOnes * 0x80;
  const std::uint64_t seven = x & ~high;
  const std::uint64_t atLeastA = seven + kOnes * (0x80 - 'a');
  const std::uint64_t aboveZ = seven + kOnes * (0x80 - 'z' - 1);
  const std::uint64_t lower = atLeastA & ~aboveZ & ~x & high;
  return x - (lower >> 2);
}

// High bit set in each byte of x that is zero; exact for the lowest such byte, which is all the callers use.
std::uint64_t ZeroBytes(std::uint64_t x) { return (x - kOnes) & ~x & (kOnes * 0x80); }

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

bool Has(const std::array<std::uint64_t, 4>& set, unsigned char c) { return (set[c >> 6] >> (c & 63)) & 1; }

// Out of line, so that the compile loop stays small.
[[noreturn]] void Fail(const std::string& mask, std::size_t position) { throw EMaskException(mask.c_str(), position); }

}  // namespace

void SetLeadByteTest(LeadByteTest test) { leadByteTest.store(test, std::memory_order_release); }

EMaskException::EMaskException(const std::string& mask, std::size_t position)
    : std::runtime_error("'" + mask + "' is an invalid mask at (" + std::to_string(position) + ")"),
      position_(position) {}

inline TMask::Token& TMask::Append(Kind kind, const std::string& mask, std::size_t position) {
  if (pending_) {
    if (++skips_ > kMaxSkips) Fail(mask, position);
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
  const LeadByteTest isLead = leadByteTest.load(std::memory_order_acquire);
  const std::size_t size = mask.size();
  unsigned char* upper = upper_.Resize(size);
  std::size_t k = 0;
  for (; k + 8 <= size; k += 8) {
    const std::uint64_t word = Upper8(Load8(m + k));
    std::memcpy(upper + k, &word, sizeof word);
  }
  for (; k < size; ++k) upper[k] = Upper(m[k]);

  k = 0;
  for (;;) {
    const unsigned char c = m[k];
    if (c == 0) {
      Append(kEnd, mask, k + 1);
      break;
    }
    if (c == '*') {
      pending_ = true;
      ++k;
    } else if (c == '?') {
      if (!pending_) Append(kAny, mask, k + 1);  // "*?" acts as "*"
      ++k;
    } else if (c == '[') {
      k = ReadSet(mask, k, isLead);
      Append(kSet, mask, k + 1).at = static_cast<std::uint32_t>(sets_.Size() - 1);
      ++k;
    } else if (isLead && m[k + 1] != 0 && isLead(c)) {
      Token& token = Append(kDouble, mask, k + 2);
      token.lead = c;
      token.trail = m[k + 1];
      k += 2;
    } else {
      Token& token = Append(kRun, mask, k + 1);
      const std::size_t start = k++;
      if (isLead) {
        // A lead byte as the last byte of the mask has no partner and stays a plain byte.
        while (kTables.plain[m[k]] && !(m[k + 1] != 0 && isLead(m[k]))) ++k;
      } else {
        k = RunEnd(m, k, size);
      }
      token.at = static_cast<std::uint32_t>(start);
      token.length = static_cast<std::uint32_t>(k - start);
    }
  }

  if (lastSkip_ != kNone) {
    for (std::size_t i = lastSkip_; i < tokens_.Size(); ++i) {
      const Token& token = tokens_.Data()[i];
      tail_ += token.kind == kRun ? token.length : token.kind == kDouble ? 2 : token.kind == kEnd ? 0 : 1;
    }
  }
}

// Reads the set that starts at the "[" at `at`; returns the position of its "]".
std::size_t TMask::ReadSet(const std::string& mask, std::size_t at, LeadByteTest isLead) {
  const auto* m = reinterpret_cast<const unsigned char*>(mask.c_str());
  std::size_t k = at + 1;
  bool negate = false;
  if (m[k] == '!') {
    negate = true;
    ++k;
  }
  // Filled in place, like the tokens.
  Set& set = sets_.Grow();
  set = Set{};
  int last = -1;
  for (unsigned char c; (c = m[k]) != 0 && c != ']';) {
    if (isLead && isLead(c)) {
      k += m[k + 1] != 0 ? 2 : 1;  // a double-byte character adds nothing
    } else if (c == '-') {
      if (last < 0) Fail(mask, k + 1);
      c = m[++k];
      if (c == 0) break;
      AddRange(set, static_cast<unsigned>(last), Upper(c));
      ++k;
    } else {
      last = Upper(c);
      AddRange(set, static_cast<unsigned>(last), static_cast<unsigned>(last));
      ++k;
    }
  }
  if (m[k] != ']' || (set[0] | set[1] | set[2] | set[3]) == 0) Fail(mask, k + 1);

  // Text bytes are upper-cased before the set test, so a-z answer as A-Z do and members a-z are unreachable.
  constexpr std::uint64_t upperBits = std::uint64_t{0x3FFFFFF} << ('A' - 64);
  constexpr std::uint64_t lowerBits = std::uint64_t{0x3FFFFFF} << ('a' - 64);
  set[1] = (set[1] & ~lowerBits) | ((set[1] & upperBits) << 32);
  if (negate) {
    for (auto& word : set) word = ~word;
  }
  set[0] &= ~std::uint64_t{1};  // the end of the text is never a member
  return k;
}

bool TMask::Accepts(const Token& token, const unsigned char* at, std::size_t readable) const {
  switch (token.kind) {
    case kRun: {
      if (token.length > readable) return false;
      const unsigned char* run = upper_.Data() + token.at;
      std::uint32_t j = 0;
      for (; j + 8 <= token.length; j += 8) {
        if (Upper8(Load8(at + j)) != Load8(run + j)) return false;
      }
      for (; j < token.length; ++j) {
        if (kTables.upper[at[j]] != run[j]) return false;
      }
      return true;
    }
    case kAny:
      return *at != 0;
    case kSet:
      return Has(sets_.Data()[token.at], *at);
    case kDouble:
      return at[0] == token.lead && at[1] == token.trail;  // at[1] exists: at[0] is not the terminator
    case kEnd:
      break;
  }
  return *at == 0;
}

// First position from `from` on where the token's first byte fits, or nullptr at the end of the text.
const unsigned char* TMask::Seek(const Token& token, const unsigned char* from, std::size_t readable) const {
  const unsigned char* p = from;
  switch (token.kind) {
    case kRun: {
      // Eight bytes a step while they are known to be readable.
      const unsigned char first = upper_.Data()[token.at];
      const unsigned char* const end = from + readable;
      for (; end - p >= 8; p += 8) {
        if (const std::uint64_t hits = ZeroBytes(Upper8(Load8(p)) ^ (kOnes * first))) return p + FirstByte(hits);
      }
      for (; *p != 0; ++p) {
        if (kTables.upper[*p] == first) return p;
      }
      return nullptr;
    }
    case kSet: {
      const Set& set = sets_.Data()[token.at];
      for (; *p != 0; ++p) {
        if (Has(set, *p)) return p;
      }
      return nullptr;
    }
    case kDouble:
      for (; *p != 0; ++p) {
        if (p[0] == token.lead && p[1] == token.trail) return p;
      }
      return nullptr;
    case kAny:  // never carries skip
    case kEnd:  // always the last skip, handled by FitsTail
      break;
  }
  return nullptr;
}

// After the last "*" the tokens have a fixed width and must end with the text, so only one start can fit.
bool TMask::FitsTail(const unsigned char* text, std::size_t from) const {
  if (tail_ == 0) return true;  // the mask ends with "*"
  const std::size_t length = from + std::strlen(reinterpret_cast<const char*>(text + from));
  if (length - from < tail_) return false;
  std::size_t p = length - tail_;
  for (const Token* token = tokens_.Data() + lastSkip_; token->kind != kEnd; ++token) {
    if (!Accepts(*token, text + p, length - p)) return false;
    p += token->kind == kRun ? token->length : token->kind == kDouble ? 2 : 1;
  }
  return true;
}

// Every token has a fixed width, so between two "*" the leftmost fit is always the best one: only the last
// "*" ever needs another try, and each start of each stretch between stars is tried once.
bool TMask::Fits(const std::string& text) const {
  const auto* s = reinterpret_cast<const unsigned char*>(text.c_str());
  // Bounds the reads only: a run never matches the zero byte that ends the text, wherever it is.
  const std::size_t size = text.size();
  if (tokens_.Size() == 0) return false;  // moved from
  const Token* tokens = tokens_.Data();
  std::size_t i = 0;
  std::size_t p = 0;
  std::size_t retryToken = kNone;
  std::size_t retryAt = 0;
  for (;;) {
    const Token& token = tokens[i];
    if (token.skip) {
      if (i == lastSkip_) return FitsTail(s, p);
      const unsigned char* hit = Seek(token, s + p, size - p);
      if (hit == nullptr) return false;
      p = static_cast<std::size_t>(hit - s);
      retryToken = i;
      retryAt = p + 1;
    }
    if (!Accepts(token, s + p, size - p)) {
      if (retryToken == kNone) return false;
      i = retryToken;
      p = retryAt;
      continue;
    }
    if (token.kind == kEnd) return true;
    p += token.kind == kRun ? token.length : token.kind == kDouble ? 2 : 1;
    ++i;
  }
}

bool FitsMask(const std::string& text, const std::string& mask) { return TMask(mask).Fits(text); }

}  // namespace zorvex
