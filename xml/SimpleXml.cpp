#include "xml/SimpleXml.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <istream>
#include <limits>
#include <new>
#include <ostream>
#include <utility>

#include "base/Text.h"
#include "platform/Files.h"

namespace zorvex {

namespace {

// Byte classes of the scanners, one table look-up per byte.
enum : std::uint8_t {
  kBlank = 1,        // TAB, LF, CR, space: what the readers skip and what ends a name
  kCollapsible = 2,  // LF, CR, space: what collapses in element text (TAB never does)
  kTagStop = 4,      // ends a run of name bytes in a start tag: a blank, "/", ":" or ">"
  kGatherStop = 8,   // marks an ordinary child while gathering: space, ":", ">" or "/"
  kPropName = 16,    // letters, digits, "-" and "_"
  kEscaped = 32,     // the five bytes the writer escapes
};

constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> t{};
  for (unsigned char c : {'\t', '\n', '\r', ' '}) t[c] |= kBlank | kTagStop;
  for (unsigned char c : {'\n', '\r', ' '}) t[c] |= kCollapsible;
  for (unsigned char c : {'/', ':', '>'}) t[c] |= kTagStop;
  for (unsigned char c : {' ', ':', '>', '/'}) t[c] |= kGatherStop;
  for (int c = 0; c < 256; ++c)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
      t[static_cast<std::size_t>(c)] |= kPropName;
  for (unsigned char c : {'"', '&', '\'', '<', '>'}) t[c] |= kEscaped;
  return t;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

bool Is(char c, std::uint8_t classes) { return (kClasses[static_cast<unsigned char>(c)] & classes) != 0; }

// Blanks as the readers see them.
bool IsBlank(char c) { return Is(c, kBlank); }
// Blanks as collapsing sees them: TAB is never collapsed.
bool IsCollapsible(char c) { return Is(c, kCollapsible); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsPropNameByte(char c) { return Is(c, kPropName); }

// Position of the first byte of d from `from` on in one of the classes, or d.size().
std::size_t FindClass(std::string_view d, std::size_t from, std::uint8_t classes) {
  while (from < d.size() && !Is(d[from], classes)) ++from;
  return from;
}

// Position of the first non-blank byte of d from pos on, or d.size(). Indentation goes eight
// spaces at a time.
std::size_t SkipBlanks(std::string_view d, std::size_t pos) {
  constexpr std::uint64_t kSpaces = 0x2020202020202020ull;
  const std::size_t n = d.size();
  while (pos < n) {
    if (n - pos >= 8) {
      std::uint64_t word;
      std::memcpy(&word, d.data() + pos, 8);
      if (word == kSpaces) {
        pos += 8;
        continue;
      }
    }
    if (!IsBlank(d[pos])) break;
    ++pos;
  }
  return pos;
}

int HexDigit(char c) {

  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads all of s as digits in base 10 or 16 without exceeding limit; false on any other byte.
bool ParseDigits(std::string_view s, int base, std::uint64_t limit, std::uint64_t& value) {
  if (s.empty()) return false;
  const auto b = static_cast<std::uint64_t>(base);
  // The largest value that may take one more digit; divided by constants, as a division by a
  // variable costs as much as reading the digits.
  const std::uint64_t most = base == 16 ? limit / 16 : limit / 10;
  value = 0;
  for (char c : s) {
    const int d = base == 16 ? HexDigit(c) : (IsDigit(c) ? c - '0' : -1);
    if (d < 0 || value > most) return false;
    value *= b;
    if (value > limit - static_cast<std::uint64_t>(d)) return false;
    value += static_cast<std::uint64_t>(d);
  }
  return true;
}

std::string_view SkipSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

}  // namespace

bool TryAsInt(std::string_view s, std::int64_t& out) {
  s = SkipSpaces(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && s.front() == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  const std::uint64_t maxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t magnitude = 0;
  if (!ParseDigits(s, base, negative ? maxPositive + 1 : maxPositive, magnitude)) return false;
  // Negating in unsigned arithmetic keeps INT64_MIN representable.
  out = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return true;
}

namespace {

// A decimal number such as "-1.5" or ".5"; nonzero tells whether any digit is not 0.
bool ParseDecimal(std::string_view s, bool& nonzero) {
  s = SkipSpaces(s);
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  bool digits = false, dot = false;
  nonzero = false;
  for (char c : s) {
    if (IsDigit(c)) {
      digits = true;
      nonzero = nonzero || c != '0';
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  return digits;
}

std::int64_t StrToIntRule(std::string_view s) {
  std::int64_t v = 0;
  return TryAsInt(s, v) ? v : -1;
}

// The number inside a character reference: leading spaces, then decimal, or hex after
// "x", "X", "0x" or "0X"; it must fit in 32 bits.
bool ParseReference(std::string_view s, std::uint32_t& out) {
  s = SkipSpaces(s);
  int base = 10;
  if (!s.empty() && (s.front() == 'x' || s.front() == 'X')) {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  std::uint64_t v = 0;
  if (!ParseDigits(s, base, std::numeric_limits<std::uint32_t>::max(), v)) return false;
  out = static_cast<std::uint32_t>(v);
  return true;
}


[[noreturn]] void Fail(const std::string& message) { throw TSimpleXmlInvalid(message); }

std::string Byte(char c) { return std::string(1, c); }

const std::string kElemError = "Invalid XML Element: ";

[[noreturn]] void FailPropsByte(char c) {
  Fail(kElemError + "Unexpected character in properties declaration (" + Byte(c) + " found).");
}

bool AtEnd(const TSimpleXmlInput& in) { return in.Pos >= in.Data.size(); }

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// ---- decoding ----

// Writes the byte a reference's number stands for at p; most numbers stand for nothing.
char* PutCode(std::uint32_t code, char* p) {
  if (code <= 100 || code == 232 || code == 233) *p++ = static_cast<char>(code);
  return p;
}

// Writes what the reference ref (the bytes after "&", or after "&#" when hash) stands for at p,
// or the reference unchanged with its ";" when it stands for nothing known; returns the new end.
char* Resolve(std::string_view ref, bool hash, char* p) {
  std::uint32_t code = 0;
  // Nine decimal digits, the usual "&#NN;", always fit in 32 bits: read them without the checks.
  if (!ref.empty() && ref.size() <= 9 && std::all_of(ref.begin(), ref.end(), IsDigit)) {
    for (char c : ref) code = code * 10 + static_cast<std::uint32_t>(c - '0');
    return PutCode(code, p);
  }
  if (ParseReference(ref, code)) {
    p = PutCode(code, p);
  } else if (SameTextAscii(ref, "lt")) {
    *p++ = '<';
  } else if (SameTextAscii(ref, "gt")) {
    *p++ = '>';
  } else if (SameTextAscii(ref, "amp")) {
    *p++ = '&';
  } else {
    *p++ = '&';
    if (hash) *p++ = '#';
    std::memcpy(p, ref.data(), ref.size());
    p += ref.size();
    *p++ = ';';
  }
  return p;
}

// The bytes of w (eight input bytes, the first in the lowest bits) equal to c, as 0x80 in each.
std::uint64_t BytesEqual(std::uint64_t w, unsigned char c) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full, kHigh = 0x8080808080808080ull;
  const std::uint64_t x = w ^ (0x0101010101010101ull * c);
  return ~(((x & kLow7) + kLow7) | x) & kHigh;  // exact: no carry crosses a byte
}

// The position in its word of the first byte marked in a mask of BytesEqual.
std::size_t FirstByte(std::uint64_t marks) { return static_cast<std::size_t>(__builtin_ctzll(marks)) / 8; }

// The bytes of w that a plain copy must stop at: "&", and when collapsing a blank after a blank
// or first in w (whose predecessor in the output is the caller's to judge).
template <bool kCollapse>
std::uint64_t PlainStops(std::uint64_t w) {
  std::uint64_t stops = BytesEqual(w, '&');
  if (kCollapse) {
    const std::uint64_t blanks = BytesEqual(w, ' ') | BytesEqual(w, '\n') | BytesEqual(w, '\r');
    stops |= blanks & ((blanks << 8) | 0x80);
  }
  return stops;
}

// Decodes text from i on, outside any reference, up to the next "&" (returned) or the end (n): when
// collapsing, a blank after a blank written is dropped, and with spaceRuns a space after a space
// read. Eight bytes go at a time while none needs a decision; p never passes begin + i, so the
// output, sized as text, has room for them.
template <bool kCollapse>
std::size_t CopyPlain(std::string_view text, std::size_t i, bool spaceRuns, const char* begin, char*& p) {
  const std::size_t n = text.size();
  const char* const s = text.data();
  for (;;) {
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, s + i, 8);
      std::memcpy(p, &w, 8);
      const std::uint64_t stops = PlainStops<kCollapse>(w);
      if (!stops) {
        p += 8;
        i += 8;
        continue;
      }
      const std::size_t k = FirstByte(stops);
      p += k;
      i += k;
      break;
    }
    if (i >= n) return n;
    const char c = s[i];
    if (c == '&') return i;
    const bool drop = kCollapse && IsCollapsible(c) &&
                      ((p != begin && IsCollapsible(p[-1])) || (spaceRuns && c == ' ' && i > 0 && s[i - 1] == ' '));
    if (!drop) *p++ = c;
    ++i;
  }
}

// out = XmlUnescape(text, collapse) in one pass from left to right. spaceRuns first drops a space
// that follows a space in the input, as the text reader stores a run of spaces as one (only
// together with collapse, where it changes nothing unless a reference is open). The result is
// never longer than text: it is written in place into out, sized once.
void Decode(std::string_view text, bool collapse, bool spaceRuns, std::string& out) {
  const std::size_t n = text.size();
  out.resize(n);
  char* const begin = &out[0];
  char* p = begin;
  std::size_t i = 0;
  bool open = false;  // a reference is open
  bool hash = false;  // it began with "&#"
  std::string ref;    // bytes collected after "&" (and "#"), on the byte-by-byte path
  const auto bare = [&] { return open && !hash && ref.empty(); };
  const auto abandon = [&] {
    *p++ = '&';
    if (hash) *p++ = '#';
    std::memcpy(p, ref.data(), ref.size());
    p += ref.size();
    open = hash = false;
    ref.clear();
  };
  for (; i < n; ++i) {
    if (!open) {
      i = collapse ? CopyPlain<true>(text, i, spaceRuns, begin, p) : CopyPlain<false>(text, i, spaceRuns, begin, p);
      if (i == n) break;
      // The usual reference, "&#" or "&" and a letter, then letters and digits up to ";", resolves
      // at once: byte by byte it would be collected whole and resolved at its ";" the same way.
      if (i + 1 < n && (text[i + 1] == '#' || IsLetter(text[i + 1]))) {
        const bool withHash = text[i + 1] == '#';
        const std::size_t refStart = withHash ? i + 2 : i + 1;
        std::size_t j = refStart;
        // Up to nine decimal digits, the writer's own references, are read here as Resolve would.
        std::uint32_t code = 0;
        while (j < n && j - refStart < 9 && IsDigit(text[j]))
          code = code * 10 + static_cast<std::uint32_t>(text[j++] - '0');
        if (j > refStart && j < n && text[j] == ';') {
          p = PutCode(code, p);
          i = j;
          continue;
        }
        while (j < n && (IsLetter(text[j]) || IsDigit(text[j]))) ++j;
        if (j < n && text[j] == ';') {
          p = Resolve(text.substr(refStart, j - refStart), withHash, p);
          i = j;
          continue;
        }
      }
    }
    const char c = text[i];
    if (spaceRuns && c == ' ' && i > 0 && text[i - 1] == ' ') continue;
    if (IsCollapsible(c)) {
      if (bare()) abandon();
      if (collapse) {
        char prev = 0;
        bool hasPrev = true;
        if (open)
          prev = ref.empty() ? '#' : ref.back();
        else if (p != begin)
          prev = p[-1];
        else
          hasPrev = false;
        if (hasPrev && IsCollapsible(prev)) continue;
      }
      if (open)
        ref += c;
      else
        *p++ = c;
    } else if (c == '&') {
      if (open) abandon();
      open = true;
    } else if (c == '#') {
      if (bare()) {
        hash = true;
      } else {
        if (open) abandon();
        *p++ = '#';
      }
    } else if (IsDigit(c)) {
      if (bare()) abandon();
      if (open)
        ref += c;
      else
        *p++ = c;
    } else if (IsLetter(c)) {
      if (open)
        ref += c;
      else
        *p++ = c;
    } else if (c == ';') {
      if (!open) {
        *p++ = c;
      } else if (bare()) {
        abandon();
        *p++ = c;
      } else {
        p = Resolve(ref, hash, p);
        open = hash = false;
        ref.clear();
      }
    } else {
      if (open) abandon();
      *p++ = c;
    }
  }
  if (open) abandon();
  out.resize(static_cast<std::size_t>(p - begin));
}

// ---- writing ----

void AppendEscaped(std::string& out, std::string_view s) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (!Is(c, kEscaped)) continue;
    out.append(s.data() + run, i - run);
    switch (c) {
      case '"': out.append("&#34;", 5); break;
      case '&': out.append("&#38;", 5); break;
      case '\'': out.append("&#39;", 5); break;
      case '<': out.append("&#60;", 5); break;
      default: out.append("&#62;", 5); break;
    }
    run = i + 1;
  }
  out.append(s.data() + run, s.size() - run);
}

}  // namespace

// ---- text functions ----

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text);
  return out;
}

std::string XmlUnescape(std::string_view text, bool collapse) {
  std::string out;
  Decode(text, collapse, false, out);
  return out;
}

// ---- arena ----

void* TSimpleXmlArena::Allocate(std::size_t size, std::size_t align) {
  // Blocks double up to a size that the heap hands out and takes back without mapping pages.
  constexpr std::size_t kFirstBlock = 4096, kLargestBlock = 64 * 1024;
  if (!blocks_.empty()) {
    Block& last = blocks_.back();
    const std::size_t start = (used_ + align - 1) & ~(align - 1);
    if (start + size <= last.Size) {
      used_ = start + size;
      return last.Data.get() + start;
    }
  }
  // Blocks double up to a limit, so that a small file costs one block and a large one few.
  std::size_t blockSize = blocks_.empty() ? kFirstBlock : std::min(blocks_.back().Size * 2, kLargestBlock);
  blockSize = std::max(blockSize, size);
  blocks_.push_back(Block{std::unique_ptr<std::byte[]>(new std::byte[blockSize]), blockSize});
  used_ = size;
  return blocks_.back().Data.get();
}

void TSimpleXmlArena::Reset() {
  // The largest block stays for the next reading; the others go.
  if (blocks_.size() > 1) {
    Block largest = std::move(blocks_.back());
    blocks_.clear();
    blocks_.push_back(std::move(largest));
  }
  used_ = 0;
}

// ---- the writer's state ----

class TSimpleXmlWriter {
 public:
  // Where the writer stands decides what reads back there: the items before the root, the root,
  // an element's content, or a lone element written by itself.
  enum class Place { Fragment, Prolog, Root, Child };

  TSimpleXmlWriter(std::string& out, std::string indent, Place where)
      : Indent(std::move(indent)), Where(where), out_(out), used_(out.size()) {}
  TSimpleXmlWriter(const TSimpleXmlWriter&) = delete;
  TSimpleXmlWriter& operator=(const TSimpleXmlWriter&) = delete;

  void Put(std::string_view s) {
    std::memcpy(Room(s.size()), s.data(), s.size());
    used_ += s.size();
  }
  void Put(char c) {
    *Room(1) = c;
    ++used_;
  }
  // The bytes with the five markup bytes replaced by their references.
  // Eight bytes at a time while none of them is escaped: the room for five bytes per input byte
  // leaves space for the word written whole.
  void PutEscaped(std::string_view s) {
    char* to = Room(s.size() * 5);
    char* const start = to;
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
      if (i + 8 <= n) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        std::memcpy(to, &w, 8);
        const std::uint64_t escaped = BytesEqual(w, '"') | BytesEqual(w, '&') | BytesEqual(w, '\'') |
                                      BytesEqual(w, '<') | BytesEqual(w, '>');
        if (!escaped) {
          to += 8;
          i += 8;
          continue;
        }
        const std::size_t k = FirstByte(escaped);
        to += k;
        i += k;
      }
      const char c = s[i++];
      if (!Is(c, kEscaped)) {
        *to++ = c;
        continue;
      }
      const char* ref = c == '"' ? "&#34;" : c == '&' ? "&#38;" : c == '\'' ? "&#39;" : c == '<' ? "&#60;" : "&#62;";
      std::memcpy(to, ref, 5);
      to += 5;
    }
    used_ += static_cast<std::size_t>(to - start);
  }
  // Cuts the output to what was written; the writer is done.
  void Finish() { out_.resize(used_); }

  std::string Indent;
  Place Where;
  int Depth = 0;  // ordinary elements open around the one being written

 private:
  // At least n bytes to write into at the end of what was written.
  char* Room(std::size_t n) {
    if (out_.size() - used_ < n) out_.resize(std::max({out_.capacity(), out_.size() * 2, used_ + n + 4096}));
    return &out_[used_];
  }

  std::string& out_;
  std::size_t used_;  // the output grows ahead of the bytes written into it
};

using Place = TSimpleXmlWriter::Place;

// ---- the core: allocation, reading and writing with access to every class ----

class TSimpleXmlCore {
 public:
  template <class T>
  static T* NewElem(TSimpleXmlArena* arena) {
    if (!arena) return new T();
    T* e = new (arena->Allocate(sizeof(T), alignof(T))) T();
    e->elems_.items_.SetArena(arena);
    e->props_.items_.SetArena(arena);
    return e;
  }

  static void Delete(TSimpleXmlElem* e) noexcept {
    if (e->InArena())
      e->~TSimpleXmlElem();
    else
      delete e;
  }

  static void Delete(TSimpleXmlProp* p) noexcept {
    if (p->inArena_)
      p->~TSimpleXmlProp();
    else
      delete p;
  }

  // Appends a child that the caller hands over; the list owns it from here on.
  static void Append(TSimpleXmlElems& elems, TSimpleXmlElem* child) {
    child->parent_ = elems.owner_;
    try {
      elems.items_.push_back(child);
    } catch (...) {
      Delete(child);
      throw;
    }
    elems.NamesChanged();
  }

  static void AddReadProp(TSimpleXmlProps& props, TSimpleXmlArena* arena, std::string_view prefix,
                          std::string_view name, std::string_view rawValue) {
    TSimpleXmlProp* p = arena ? new (arena->Allocate(sizeof(TSimpleXmlProp), alignof(TSimpleXmlProp)))
                                    TSimpleXmlProp(&props, std::string(), std::string())
                              : new TSimpleXmlProp(&props, std::string(), std::string());
    p->inArena_ = arena != nullptr;
    try {
      p->name_.assign(name.data(), name.size());
      Decode(rawValue, false, false, p->Value);
      p->Prefix.assign(prefix.data(), prefix.size());
      props.items_.push_back(p);
    } catch (...) {
      Delete(p);
      throw;
    }
    props.NamesChanged();
  }

  static void ReadClassic(TSimpleXmlInput& in, TSimpleXmlElem& e, std::size_t firstStop);
  static void ReadContent(TSimpleXmlInput& in, TSimpleXmlElem& e, std::string_view written);
  static void ReadProps(TSimpleXmlInput& in, TSimpleXmlProps& props);
  static void ReadProlog(TSimpleXmlInput& in, TSimpleXmlElemsProlog& prolog);

  static void WriteProps(TSimpleXmlWriter& w, const TSimpleXmlProps* props);
  static void Write(const TSimpleXmlElem& e, TSimpleXmlWriter& w) { e.Write(w); }
};

namespace {

// Owns an element until it is handed to a list.
class ElemHolder {
 public:
  explicit ElemHolder(TSimpleXmlElem* e) : e_(e) {}
  ~ElemHolder() {
    if (e_) TSimpleXmlCore::Delete(e_);
  }
  ElemHolder(const ElemHolder&) = delete;
  ElemHolder& operator=(const ElemHolder&) = delete;
  TSimpleXmlElem* get() const { return e_; }
  TSimpleXmlElem* release() { return std::exchange(e_, nullptr); }

 private:
  TSimpleXmlElem* e_;
};

// Consumes expected byte by byte: "<kind>: Expected x Found y" on a mismatch, eodMessage at the end.
void Expect(TSimpleXmlInput& in, std::string_view expected, const char* kind, const char* eodMessage) {
  for (char e : expected) {
    if (AtEnd(in)) Fail(eodMessage);
    const char c = in.Data[in.Pos++];
    if (c != e) Fail(std::string(kind) + ": Expected " + Byte(e) + " Found " + Byte(c));
  }
}

enum class Kind { None, Classic, Comment, CData, Header, DocType, Sheet };

TSimpleXmlElem* MakeElem(Kind kind, TSimpleXmlArena* arena) {
  switch (kind) {
    case Kind::Classic: return TSimpleXmlCore::NewElem<TSimpleXmlElemClassic>(arena);
    case Kind::Comment: return TSimpleXmlCore::NewElem<TSimpleXmlElemComment>(arena);
    case Kind::CData: return TSimpleXmlCore::NewElem<TSimpleXmlElemCData>(arena);
    case Kind::Header: return TSimpleXmlCore::NewElem<TSimpleXmlElemHeader>(arena);
    case Kind::DocType: return TSimpleXmlCore::NewElem<TSimpleXmlElemDocType>(arena);
    case Kind::Sheet: return TSimpleXmlCore::NewElem<TSimpleXmlElemSheet>(arena);
    case Kind::None: break;
  }
  return nullptr;
}

// Keeps the nesting count right on every exit path.
class DepthScope {
 public:
  explicit DepthScope(TSimpleXmlInput& in) : in_(in) {
    if (in_.Depth >= kSimpleXmlMaxDepth)
      Fail(kElemError + "Nesting deeper than " + std::to_string(kSimpleXmlMaxDepth) + " levels");
    ++in_.Depth;
  }
  ~DepthScope() { --in_.Depth; }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;

 private:
  TSimpleXmlInput& in_;
};

// The start tag's name as written, prefix and colons included. It is a view of the input while
// its bytes lie together, which they do unless name bytes follow attributes (a "?" after them).
class TagName {
 public:
  TagName(std::string_view data, std::size_t start) : data_(data), start_(start), end_(start) {}

  // Appends the input bytes [from, to).
  void Append(std::size_t from, std::size_t to) {
    if (from == to) return;
    if (!own_ && from == end_) {
      end_ = to;
      return;
    }
    if (!own_) {
      buffer_.assign(data_.substr(start_, end_ - start_));
      own_ = true;
    }
    buffer_.append(data_.substr(from, to - from));
  }
  // The ":" at input position at: the name so far becomes the prefix, and the name starts afresh.
  void Colon(std::size_t at) {
    prefixStart_ = segment_;
    prefixSize_ = Size() - segment_;
    Append(at, at + 1);
    segment_ = Size();
  }
  std::string_view Written() const { return own_ ? std::string_view(buffer_) : data_.substr(start_, end_ - start_); }
  std::string_view Name() const { return Written().substr(segment_); }
  std::string_view Prefix() const { return Written().substr(prefixStart_, prefixSize_); }

 private:
  std::size_t Size() const { return own_ ? buffer_.size() : end_ - start_; }

  std::string_view data_;
  std::size_t start_, end_;
  std::string buffer_;
  bool own_ = false;
  std::size_t segment_ = 0;  // where the name after the last colon begins
  std::size_t prefixStart_ = 0, prefixSize_ = 0;
};

// Reads open, then the raw bytes up to the first close into value.
void ReadDelimited(TSimpleXmlInput& in, std::string_view open, std::string_view close, const char* kind,
                   const char* eodMessage, std::string& value) {
  Expect(in, open, kind, eodMessage);
  const std::size_t end = in.Data.find(close, in.Pos);
  if (end == std::string_view::npos) {
    in.Pos = in.Data.size();
    Fail(eodMessage);
  }
  value.assign(in.Data.data() + in.Pos, end - in.Pos);
  in.Pos = end + close.size();
}

// Text up to the next "<" (left unread), decoded with blanks collapsed.
void ReadText(TSimpleXmlInput& in, std::string& value) {
  const std::string_view d = in.Data;
  const void* lt = std::memchr(d.data() + in.Pos, '<', d.size() - in.Pos);
  const std::size_t end = lt ? static_cast<std::size_t>(static_cast<const char*>(lt) - d.data()) : d.size();
  Decode(d.substr(in.Pos, end - in.Pos), true, true, value);
  in.Pos = end;
}

void ReadComment(TSimpleXmlInput& in, std::string& value) {
  ReadDelimited(in, "<!--", "-->", "Invalid Comment", "Invalid Comment: Unexpected end of data", value);
}

void ReadCData(TSimpleXmlInput& in, std::string& value) {
  ReadDelimited(in, "<![CDATA[", "]]>", "Invalid CDATA", "Invalid CDATA: Unexpected end of data", value);
}

}  // namespace

// Reads attributes up to the "/", ">" or "?" that ends them and leaves that byte unread.
// The end of the data simply ends them; an attribute cut off there is dropped.
void TSimpleXmlCore::ReadProps(TSimpleXmlInput& in, TSimpleXmlProps& props) {
  const std::string_view d = in.Data;
  const std::size_t n = d.size();
  std::size_t p = in.Pos;
  while (p < n) {
    char c = d[p];
    if (IsBlank(c)) {
      ++p;
      continue;
    }
    if (c == '/' || c == '>' || c == '?') break;
    if (!IsPropNameByte(c)) FailPropsByte(c);
    std::string_view prefix;
    std::size_t nameStart = p;
    for (;;) {
      if (p >= n) {
        in.Pos = n;
        return;
      }
      c = d[p];
      if (c == '=') break;
      if (c == ':') {
        prefix = d.substr(nameStart, p - nameStart);
        nameStart = p + 1;
      } else if (!IsPropNameByte(c)) {
        FailPropsByte(c);
      }
      ++p;
    }
    const std::string_view name = d.substr(nameStart, p - nameStart);
    if (++p >= n) {
      in.Pos = n;
      return;
    }
    const char quote = d[p];
    if (quote != '"' && quote != '\'')
      Fail(kElemError + "Unexpected character in property declaration. Expecting \" or ' but " + Byte(quote) +
           " found.");
    const std::size_t close = d.find(quote, ++p);
    if (close == std::string_view::npos) {
      in.Pos = n;
      return;
    }
    AddReadProp(props, in.Arena, prefix, name, d.substr(p, close - p));
    p = close + 1;
  }
  in.Pos = p;
}

// An ordinary element from its "<". firstStop, when known, is where the first run of name bytes
// ends (the content reader has found it already while telling the child's kind).
void TSimpleXmlCore::ReadClassic(TSimpleXmlInput& in, TSimpleXmlElem& e, std::size_t firstStop) {
  DepthScope depth(in);
  e.Value.clear();
  if (AtEnd(in)) return;  // nothing to read: an empty document keeps its root's name
  const std::string_view d = in.Data;
  const std::size_t n = d.size();
  char c = d[in.Pos++];
  if (c != '<') Fail(kElemError + "Expected beginning of tag but " + Byte(c) + " found.");
  const std::size_t tagStart = in.Pos;
  TagName name(d, tagStart);
  for (;;) {
    const std::size_t stop =
        firstStop != std::string_view::npos ? firstStop : FindClass(d, in.Pos, kTagStop);
    firstStop = std::string_view::npos;
    name.Append(in.Pos, stop);
    if (stop >= n) {
      in.Pos = n;
      Fail(kElemError + "Unexpected end of data");
    }
    c = d[stop];
    in.Pos = stop + 1;
    if (IsBlank(c)) {
      if (stop == tagStart) Fail(kElemError + "Malformed tag found (no valid name)");
      ReadProps(in, e.Props());
    } else if (c == ':') {
      name.Colon(stop);
    } else if (c == '/') {
      if (AtEnd(in)) Fail(kElemError + "Unexpected end of data");
      c = d[in.Pos++];
      if (c != '>') Fail(kElemError + "Expected end of tag but " + Byte(c) + " found.");
      break;
    } else {  // ">"
      ReadContent(in, e, name.Written());
      break;
    }
  }
  e.AssignName(name.Name());
  const std::string_view prefix = name.Prefix();
  if (!prefix.empty() || !e.Prefix.empty()) e.Prefix.assign(prefix.data(), prefix.size());
}

// An element's content after its start tag's ">", up to and including the end tag, which must
// match written. The first text of the content goes straight into the element's value; it becomes
// a text child only when anything else joins it, so that the usual element costs no child.
void TSimpleXmlCore::ReadContent(TSimpleXmlInput& in, TSimpleXmlElem& e, std::string_view written) {
  const std::string_view d = in.Data;
  const std::size_t n = d.size();
  const bool hadChildren = e.elems_.Count() > 0;
  bool pending = false;  // e.Value holds the first child, a text
  const auto materialize = [&] {
    if (!pending) return;
    pending = false;
    ElemHolder text(NewElem<TSimpleXmlElemText>(in.Arena));
    text.get()->Value = std::move(e.Value);
    e.Value.clear();
    Append(e.Elems(), text.release());
  };
  std::size_t read = 0;  // children read here
  std::string_view endName;
  for (;;) {
    in.Pos = SkipBlanks(d, in.Pos);
    if (in.Pos >= n) break;
    const std::size_t start = in.Pos;
    if (d[start] != '<') {
      if (read++ == 0 && !hadChildren) {
        ReadText(in, e.Value);
        pending = true;
      } else {
        materialize();
        ElemHolder text(NewElem<TSimpleXmlElemText>(in.Arena));
        ReadText(in, text.get()->Value);
        Append(e.Elems(), text.release());
      }
      continue;
    }
    if (start + 1 < n && d[start + 1] == '/') {
      const void* gt = std::memchr(d.data() + start + 2, '>', n - start - 2);
      if (!gt) {
        in.Pos = n;
        break;
      }
      const std::size_t close = static_cast<std::size_t>(static_cast<const char*>(gt) - d.data());
      endName = d.substr(start + 2, close - start - 2);
      in.Pos = close + 1;
      break;
    }
    // The child's kind, as gathering byte by byte from "<" would tell it: a comment or CDATA by
    // their openings, else an ordinary element once a space, ":", ">" or "/" comes (TAB, CR and
    // LF do not count), else nothing more can be read.
    Kind kind = Kind::None;
    std::size_t firstStop = std::string_view::npos;
    if (start + 1 < n && d[start + 1] == '!' && d.compare(start, 4, "<!--") == 0) {
      kind = Kind::Comment;
    } else if (start + 1 < n && d[start + 1] == '!' && d.compare(start, 9, "<![CDATA[") == 0) {
      kind = Kind::CData;
    } else {
      firstStop = FindClass(d, start + 1, kTagStop);
      if (firstStop < n && (Is(d[firstStop], kGatherStop) || FindClass(d, firstStop, kGatherStop) < n))
        kind = Kind::Classic;
    }
    if (kind == Kind::None) {
      in.Pos = n;
      break;
    }
    materialize();
    ++read;
    ElemHolder child(MakeElem(kind, in.Arena));
    if (kind == Kind::Classic) {
      ReadClassic(in, *child.get(), firstStop);
    } else if (kind == Kind::Comment) {
      ReadComment(in, child.get()->Value);
    } else {
      ReadCData(in, child.get()->Value);
    }
    Append(e.Elems(), child.release());
  }
  if (endName != written) {
    materialize();
    Fail(kElemError + "Erroneous end of tag, expecting </" + std::string(written) + "> but </" + std::string(endName) +
         "> found.");
  }
  if (pending) return;  // exactly one child, a text: it is the value
  if (e.elems_.Count() == 1) {
    if (auto* text = dynamic_cast<TSimpleXmlElemText*>(e.elems_.Item(0))) {
      e.Value = std::move(text->Value);
      e.elems_.Clear();
    }
  }
}

// Reads the items before the root element and leaves in.Pos at the "<" the root begins with.
void TSimpleXmlCore::ReadProlog(TSimpleXmlInput& in, TSimpleXmlElemsProlog& prolog) {
  const std::string_view d = in.Data;
  const std::size_t n = d.size();
  constexpr std::size_t kLongestItemStart = 16;  // "<?xml-stylesheet"
  for (;;) {
    while (in.Pos < n && IsBlank(d[in.Pos])) ++in.Pos;
    if (in.Pos >= n) return;
    const std::size_t start = in.Pos;
    if (d[start] != '<') Fail("Invalid Document: Unexpected text in file prolog.");
    Kind kind = Kind::None;
    for (std::size_t len = 2; start + len <= n && kind == Kind::None; ++len) {
      const std::string_view g = d.substr(start, len);
      if (g == "<![CDATA[") return;
      if (g == "<!--")
        kind = Kind::Comment;
      else if (g == "<?xml-stylesheet")
        kind = Kind::Sheet;
      else if (g == "<?xml ")
        kind = Kind::Header;
      else if (g == "<!DOCTYPE")
        kind = Kind::DocType;
      else if (len == 2 && g[1] != '!' && g[1] != '?')
        return;
      else if (len > kLongestItemStart)
        break;  // nothing can match any more: the construct gathers to the end of the data
    }
    if (kind == Kind::None) {
      in.Pos = n;
      return;
    }
    std::unique_ptr<TSimpleXmlElem> item(MakeElem(kind, nullptr));  // a few, on the heap
    item->LoadFromStream(in);
    prolog.Add(std::move(item));
  }
}

// ---- writer checks: the writer never writes what its reader would refuse or read otherwise ----

namespace {

[[noreturn]] void FailWrite(const std::string& message) { Fail(message); }

// Whether an ordinary element's name reads back where the writer stands.
bool NameReadsBack(std::string_view name, Place where, bool hasProps, bool hasContent) {
  for (char c : name)
    if (Is(c, kTagStop)) return false;  // would end the name, or (":") split it into a prefix
  if (name.empty() && hasProps) return false;  // "< a=..." has no valid name
  switch (where) {
    case Place::Root:
      // The prolog reader takes "<!" and "<?" for its own items; only "<![CDATA[" hands over.
      return name.empty() || (name[0] != '!' && name[0] != '?') || StartsWith(name, "![CDATA[");
    case Place::Child:
      // "</>" would end the parent; the openings of a comment or CDATA make one.
      if (name.empty() && !hasContent) return false;
      return !StartsWith(name, "!--") && !StartsWith(name, "![CDATA[");
    case Place::Prolog:
      return false;  // the first ordinary element of a prolog would read as the root
    case Place::Fragment:
      break;
  }
  return true;
}

// An attribute reads back when its name is a name the attribute reader takes: letters, digits,
// "-" and "_", not empty unless a prefix stands before it.
bool PropReadsBack(const std::string& prefix, const std::string& name) {
  const auto plain = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return IsPropNameByte(c); });
  };
  return plain(prefix) && plain(name) && (!name.empty() || !prefix.empty());
}

// Whether the bytes "<!DOCTYPE " value ">" end where the writer ends them.
bool DocTypeReadsBack(std::string_view value) {
  bool inSubset = false;
  for (char c : value) {
    if (inSubset)
      inSubset = c != ']';
    else if (c == '[')
      inSubset = true;
    else if (c == '>')
      return false;
  }
  return !inSubset;
}

bool HasNonBlank(std::string_view s) {
  return std::any_of(s.begin(), s.end(), [](char c) { return !IsBlank(c); });
}

// Whether an element's content, as written, reads back as content: blanks alone vanish on reading,
// and an element without a name and without content would then be written as "</>".
bool ContentReadsBack(const TSimpleXmlElems& elems, const std::string& value) {
  if (elems.Count() == 0) return HasNonBlank(value);
  for (std::size_t i = 0; i < elems.Count(); ++i) {
    const TSimpleXmlElem* child = elems.Item(i);
    if (!dynamic_cast<const TSimpleXmlElemText*>(child) || HasNonBlank(child->Value)) return true;
  }
  return false;
}

const char* PlaceName(Place where) { return where == Place::Prolog ? "before the root" : "inside an element"; }

void RequirePlace(bool allowed, const char* kind, Place where) {
  if (!allowed) FailWrite(std::string("Invalid Document: Cannot write ") + kind + " " + PlaceName(where));
}

}  // namespace

void TSimpleXmlCore::WriteProps(TSimpleXmlWriter& w, const TSimpleXmlProps* props) {
  if (!props) return;
  for (const TSimpleXmlProp* prop : props->items_) {
    if (!PropReadsBack(prop->Prefix, prop->name_))
      FailWrite(kElemError + "Cannot write the property name \"" + prop->Prefix + ":" + prop->name_ + "\"");
    w.Put(' ');
    if (!prop->Prefix.empty()) {
      w.Put(prop->Prefix);
      w.Put(':');
    }
    w.Put(prop->name_);
    w.Put("=\"");
    w.PutEscaped(prop->Value);
    w.Put('"');
  }
}

// ---- element base ----

TSimpleXmlElem::TSimpleXmlElem() : elems_(this) {}

TSimpleXmlElem::~TSimpleXmlElem() = default;

void TSimpleXmlElem::SetName(const std::string& name) { AssignName(name); }

void TSimpleXmlElem::AssignName(std::string_view name) {
  if (name.empty() || name == name_) return;
  name_.assign(name.data(), name.size());
  if (parent_) parent_->elems_.NamesChanged();
}

void TSimpleXmlElem::Clear() {
  elems_.Clear();
  props_.Clear();
}

std::int64_t TSimpleXmlElem::AsInt() const { return StrToIntRule(Value); }

bool TSimpleXmlElem::AsBool() const {
  std::int64_t number = 0;
  if (TryAsInt(Value, number)) return number != 0;
  bool nonzero = false;
  if (ParseDecimal(Value, nonzero)) return nonzero;
  return SameTextAscii(Value, "True");
}

void TSimpleXmlElem::SaveToStream(std::ostream& out, const std::string& indent) const {
  std::string buffer;
  TSimpleXmlWriter w(buffer, indent, Place::Fragment);
  Write(w);
  w.Finish();
  out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

// ---- ordinary element ----

void TSimpleXmlElemClassic::LoadFromStream(TSimpleXmlInput& in) {
  TSimpleXmlCore::ReadClassic(in, *this, std::string_view::npos);
}

void TSimpleXmlElemClassic::Write(TSimpleXmlWriter& w) const {
  const TSimpleXmlElems* elems = ExistingElems();
  const TSimpleXmlProps* props = ExistingProps();
  const bool hasChildren = elems->Count() > 0;
  if (!NameReadsBack(Name(), w.Where, props->Count() > 0, !Name().empty() || ContentReadsBack(*elems, Value))) {
    if (w.Where == Place::Prolog) RequirePlace(false, "an element", w.Where);
    FailWrite(kElemError + "Cannot write the name \"" + Name() + "\"");
  }
  if (w.Depth >= kSimpleXmlMaxDepth)
    FailWrite(kElemError + "Nesting deeper than " + std::to_string(kSimpleXmlMaxDepth) + " levels");
  w.Put(w.Indent);
  w.Put('<');
  w.Put(Name());
  TSimpleXmlCore::WriteProps(w, props);
  if (hasChildren) {
    w.Put(">\r\n");
    const Place where = w.Where;
    w.Where = Place::Child;
    w.Indent += ' ';
    ++w.Depth;
    for (std::size_t i = 0; i < elems->Count(); ++i) TSimpleXmlCore::Write(*elems->Item(i), w);
    --w.Depth;
    w.Indent.pop_back();
    w.Where = where;
    w.Put(w.Indent);
    w.Put("</");
    w.Put(Name());
    w.Put(">\r\n");
  } else if (!Value.empty()) {
    w.Put('>');
    w.PutEscaped(Value);
    w.Put("</");
    w.Put(Name());
    w.Put(">\r\n");
  } else {
    w.Put("/>\r\n");
  }
}

// ---- text ----

void TSimpleXmlElemText::LoadFromStream(TSimpleXmlInput& in) { ReadText(in, Value); }

void TSimpleXmlElemText::Write(TSimpleXmlWriter& w) const {
  if (Value.empty()) return;
  RequirePlace(w.Where != Place::Prolog, "text", w.Where);
  w.Put(w.Indent);
  w.PutEscaped(Value);
  w.Put("\r\n");
}

// ---- comment and CDATA ----

void TSimpleXmlElemComment::LoadFromStream(TSimpleXmlInput& in) { ReadComment(in, Value); }

void TSimpleXmlElemComment::Write(TSimpleXmlWriter& w) const {
  if (Value.find("-->") != std::string::npos) FailWrite("Invalid Comment: Cannot write a value that holds -->");
  w.Put(w.Indent);
  w.Put("<!--");
  w.Put(Value);
  w.Put("-->\r\n");
}

void TSimpleXmlElemCData::LoadFromStream(TSimpleXmlInput& in) { ReadCData(in, Value); }

void TSimpleXmlElemCData::Write(TSimpleXmlWriter& w) const {
  RequirePlace(w.Where != Place::Prolog, "CDATA", w.Where);
  if (Value.find("]]>") != std::string::npos) FailWrite("Invalid CDATA: Cannot write a value that holds ]]>");
  w.Put(w.Indent);
  w.Put("<![CDATA[");
  w.Put(Value);
  w.Put("]]>\r\n");
}

// ---- header ----

void TSimpleXmlElemHeader::LoadFromStream(TSimpleXmlInput& in) {
  static const char* const kEod = "Invalid Header: Unexpected end of data";
  Expect(in, "<?xml", "Invalid Header", kEod);
  TSimpleXmlProps props;  // read only to fill the fields, then discarded
  TSimpleXmlCore::ReadProps(in, props);
  Expect(in, "?>", "Invalid Header", kEod);
  Version = props.ReadText("version", "");
  Encoding = props.ReadText("encoding", "");
  Standalone = props.ReadText("standalone", "") == "yes";
}

void TSimpleXmlElemHeader::Write(TSimpleXmlWriter& w) const {
  RequirePlace(w.Where != Place::Child, "a header", w.Where);
  w.Put(w.Indent);
  // Escaped like any attribute value: the reader decodes both, and a raw quote would end the value
  // early and make the whole file unreadable.
  w.Put("<?xml version=\"");
  w.PutEscaped(Version);
  w.Put('"');
  if (Standalone) w.Put(" standalone=\"yes\"");
  if (!Encoding.empty()) {
    w.Put(" encoding=\"");
    w.PutEscaped(Encoding);
    w.Put('"');
  }
  w.Put("?>\r\n");
}

// ---- document type ----

void TSimpleXmlElemDocType::LoadFromStream(TSimpleXmlInput& in) {
  static const char* const kEod = "Invalid DocType: Unexpected end of data";
  Expect(in, "<!DOCTYPE", "Invalid Header", kEod);
  const std::string_view d = in.Data;
  const std::size_t start = in.Pos;
  bool inSubset = false;  // one level only: the first "]" ends it
  for (;; ++in.Pos) {
    if (in.Pos >= d.size()) Fail(kEod);
    const char c = d[in.Pos];
    if (inSubset) {
      inSubset = c != ']';
    } else if (c == '[') {
      inSubset = true;
    } else if (c == '>') {
      break;
    }
  }
  std::string_view value = d.substr(start, in.Pos - start);
  ++in.Pos;
  while (!value.empty() && static_cast<unsigned char>(value.front()) <= 32) value.remove_prefix(1);
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= 32) value.remove_suffix(1);
  Value.assign(value.data(), value.size());
}

void TSimpleXmlElemDocType::Write(TSimpleXmlWriter& w) const {
  RequirePlace(w.Where != Place::Child, "a document type", w.Where);
  if (!DocTypeReadsBack(Value)) FailWrite("Invalid DocType: Cannot write a value whose \">\" would end it early");
  w.Put("<!DOCTYPE ");
  w.Put(Value);
  w.Put(">\r\n");
}

// ---- stylesheet ----

void TSimpleXmlElemSheet::LoadFromStream(TSimpleXmlInput& in) {
  static const char* const kEod = "Invalid Stylesheet: Unexpected end of data";
  Expect(in, "<?xml-stylesheet", "Invalid Stylesheet", kEod);
  TSimpleXmlCore::ReadProps(in, Props());
  Expect(in, "?>", "Invalid Stylesheet", kEod);
}

void TSimpleXmlElemSheet::Write(TSimpleXmlWriter& w) const {
  RequirePlace(w.Where != Place::Child, "a stylesheet", w.Where);
  w.Put(w.Indent);
  w.Put("<?xml-stylesheet");
  TSimpleXmlCore::WriteProps(w, ExistingProps());
  w.Put("?>\r\n");
}

// ---- name look-up shared by the two lists ----

namespace {

// Position of the last item whose name equals name without regard to ASCII case, or npos.
// Short lists are scanned; longer ones go through the index, rebuilt after a change.
template <class Items>
std::size_t FindLast(const Items& items, std::unique_ptr<TSimpleXmlNameIndex>& indexHolder, const std::string& name) {
  constexpr std::size_t kScanLimit = 8;
  if (items.size() < kScanLimit) {
    for (std::size_t i = items.size(); i-- > 0;)
      if (SameTextAscii(items[i]->Name(), name)) return i;
    return std::string::npos;
  }
  if (!indexHolder) indexHolder = std::make_unique<TSimpleXmlNameIndex>();
  TSimpleXmlNameIndex& index = *indexHolder;
  if (!index.Valid) {
    index.Map.clear();
    for (std::size_t i = 0; i < items.size(); ++i) index.Map[AsciiUpper(items[i]->Name())] = i;
    index.Valid = true;
  }
  const auto it = index.Map.find(AsciiUpper(std::string(name)));
  return it == index.Map.end() ? std::string::npos : it->second;
}

}  // namespace

// ---- child list ----

TSimpleXmlElems::TSimpleXmlElems(TSimpleXmlElem* owner) : owner_(owner) {}
TSimpleXmlElems::~TSimpleXmlElems() { Clear(); }

TSimpleXmlElem& TSimpleXmlElems::Add(std::unique_ptr<TSimpleXmlElem> elem) {
  if (!elem) throw std::invalid_argument("TSimpleXmlElems::Add: no element");
  TSimpleXmlElem& added = *elem;
  TSimpleXmlCore::Append(*this, elem.release());
  return added;
}

TSimpleXmlElemClassic& TSimpleXmlElems::Add(const std::string& name, const std::string& value) {
  auto elem = std::make_unique<TSimpleXmlElemClassic>();
  elem->SetName(name);
  elem->Value = value;
  return static_cast<TSimpleXmlElemClassic&>(Add(std::move(elem)));
}

TSimpleXmlElemClassic& TSimpleXmlElems::Add(const std::string& name, const char* value) {
  return Add(name, std::string(value ? value : ""));
}

TSimpleXmlElemClassic& TSimpleXmlElems::Add(const std::string& name, bool value) {
  return Add(name, std::string(value ? "-1" : "0"));
}

TSimpleXmlElemClassic& TSimpleXmlElems::AddInt(const std::string& name, std::int64_t value) {
  return Add(name, std::to_string(value));
}

TSimpleXmlElem* TSimpleXmlElems::Find(const std::string& name) const {
  const std::size_t i = FindLast(items_, index_, name);
  return i == std::string::npos ? nullptr : items_[i];
}

std::string TSimpleXmlElems::ReadText(const std::string& name, const std::string& def) const {
  const TSimpleXmlElem* elem = Find(name);
  return elem ? elem->Value : def;
}

std::int64_t TSimpleXmlElems::ReadInt(const std::string& name, std::int64_t def) const {
  const TSimpleXmlElem* elem = Find(name);
  return elem ? elem->AsInt() : def;
}

bool TSimpleXmlElems::ReadBool(const std::string& name, bool def) const {
  const TSimpleXmlElem* elem = Find(name);
  return elem && !elem->Value.empty() ? elem->AsBool() : def;
}

void TSimpleXmlElems::Delete(std::size_t index) {
  if (index >= items_.size()) return;
  TSimpleXmlCore::Delete(items_[index]);
  items_.erase(index);
  NamesChanged();
}

void TSimpleXmlElems::Swap(std::size_t first, std::size_t second) {
  if (first >= items_.size() || second >= items_.size()) return;
  items_.swap(first, second);
  NamesChanged();
}

void TSimpleXmlElems::Reorder(const std::vector<std::size_t>& order) {
  if (order.size() != items_.size()) throw std::invalid_argument("TSimpleXmlElems::Reorder: not every child");
  std::vector<bool> named(order.size(), false);
  std::vector<TSimpleXmlElem*> old(items_.begin(), items_.end());
  for (const std::size_t from : order) {
    if (from >= old.size() || named[from]) throw std::invalid_argument("TSimpleXmlElems::Reorder: not a permutation");
    named[from] = true;
  }
  for (std::size_t i = 0; i < order.size(); ++i) items_.set(i, old[order[i]]);
  NamesChanged();
}

void TSimpleXmlElems::Clear() {
  for (TSimpleXmlElem* e : items_) TSimpleXmlCore::Delete(e);
  items_.clear();
  NamesChanged();
}

// ---- attributes ----

TSimpleXmlProp::TSimpleXmlProp(TSimpleXmlProps* owner, std::string name, std::string value)
    : Value(std::move(value)), name_(std::move(name)), owner_(owner) {}

void TSimpleXmlProp::SetName(const std::string& name) {
  name_ = name;
  if (owner_) owner_->NamesChanged();
}

std::int64_t TSimpleXmlProp::AsInt() const { return StrToIntRule(Value); }

TSimpleXmlProps::TSimpleXmlProps() = default;
TSimpleXmlProps::~TSimpleXmlProps() { Clear(); }

TSimpleXmlProp& TSimpleXmlProps::Add(const std::string& name, const std::string& value) {
  auto prop = std::make_unique<TSimpleXmlProp>(this, name, value);
  items_.push_back(prop.get());
  NamesChanged();
  return *prop.release();
}

TSimpleXmlProp& TSimpleXmlProps::Item(std::size_t index) const {
  if (index >= items_.size()) throw std::out_of_range("TSimpleXmlProps::Item: no such attribute");
  return *items_[index];
}

TSimpleXmlProp* TSimpleXmlProps::Find(const std::string& name) const {
  const std::size_t i = FindLast(items_, index_, name);
  return i == std::string::npos ? nullptr : items_[i];
}

std::string TSimpleXmlProps::ReadText(const std::string& name, const std::string& def) const {
  const TSimpleXmlProp* prop = Find(name);
  return prop ? prop->Value : def;
}

std::int64_t TSimpleXmlProps::ReadInt(const std::string& name, std::int64_t def) const {
  const TSimpleXmlProp* prop = Find(name);
  return prop ? prop->AsInt() : def;
}

void TSimpleXmlProps::Delete(std::size_t index) {
  if (index >= items_.size()) return;
  TSimpleXmlCore::Delete(items_[index]);
  items_.erase(index);
  NamesChanged();
}

void TSimpleXmlProps::Clear() {
  for (TSimpleXmlProp* p : items_) TSimpleXmlCore::Delete(p);
  items_.clear();
  NamesChanged();
}

// ---- prolog ----

TSimpleXmlElemsProlog::TSimpleXmlElemsProlog() = default;
TSimpleXmlElemsProlog::~TSimpleXmlElemsProlog() { Clear(); }

TSimpleXmlElem& TSimpleXmlElemsProlog::Add(std::unique_ptr<TSimpleXmlElem> item) {
  if (!item) throw std::invalid_argument("TSimpleXmlElemsProlog::Add: no item");
  items_.push_back(item.get());
  return *item.release();
}

TSimpleXmlElem* TSimpleXmlElemsProlog::Item(std::size_t index) const {
  return index < items_.size() ? items_[index] : nullptr;
}

void TSimpleXmlElemsProlog::Clear() {
  for (TSimpleXmlElem* e : items_) TSimpleXmlCore::Delete(e);
  items_.clear();
}

// ---- document ----

TSimpleXml::TSimpleXml() = default;
TSimpleXml::~TSimpleXml() = default;

void TSimpleXml::LoadFromFile(const std::string& fileName) { LoadFromBuffer(ReadWholeFile(fileName)); }

void TSimpleXml::LoadFromStream(std::istream& in) {
  std::string data;
  char block[8192];
  while (in.read(block, sizeof block) || in.gcount() > 0) data.append(block, static_cast<std::size_t>(in.gcount()));
  LoadFromBuffer(data);
}

void TSimpleXml::LoadFromBuffer(std::string_view data) {
  root_.Clear();
  prolog_.Clear();
  arena_.Reset();  // nothing placed there is left: it all hung below the root or in the prolog
  sizeHint_ = data.size();
  TSimpleXmlInput in{data, 0, 0, &arena_};
  TSimpleXmlCore::ReadProlog(in, prolog_);
  TSimpleXmlCore::ReadClassic(in, root_, std::string_view::npos);
}

std::string TSimpleXml::SaveToBuffer() {
  if (prolog_.Count() == 0) prolog_.Add(std::make_unique<TSimpleXmlElemHeader>());
  std::string out;
  out.reserve(sizeHint_ + sizeHint_ / 8);
  TSimpleXmlWriter w(out, std::string(), Place::Prolog);
  for (std::size_t i = 0; i < prolog_.Count(); ++i) TSimpleXmlCore::Write(*prolog_.Item(i), w);
  w.Where = Place::Root;
  TSimpleXmlCore::Write(root_, w);
  w.Finish();
  sizeHint_ = out.size();
  return out;
}

void TSimpleXml::SaveToStream(std::ostream& out) {
  const std::string bytes = SaveToBuffer();
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void TSimpleXml::SaveToFile(const std::string& fileName) {
  // The whole text exists before the file is touched: a refused tree leaves the file as it was.
  ReplaceFileContents(fileName, SaveToBuffer());
}

}  // namespace zorvex
