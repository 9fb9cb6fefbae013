#include "fuzz/legacy/SimpleXmlLegacy.h"

#include <istream>
#include <limits>
#include <ostream>
#include <sstream>

#include "base/Text.h"
#include "platform/Files.h"

namespace zorvex::legacy {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// Blanks as the readers see them.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Blanks as collapsing sees them: TAB is never collapsed.
bool IsCollapsible(char c) { return c == ' ' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsPropNameByte(char c) { return IsLetter(c) || IsDigit(c) || c == '-' || c == '_'; }


int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads all of s as digits in base 10 or 16 without exceeding limit; false on any other byte.
bool ParseDigits(std::string_view s, int base, std::uint64_t limit, std::uint64_t& value) {
  if (s.empty()) return false;
  value = 0;
  for (char c : s) {
    const int d = base == 16 ? HexDigit(c) : (IsDigit(c) ? c - '0' : -1);
    if (d < 0) return false;
    if (value > (limit - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base)) return false;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
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

void Put(std::ostream& out, std::string_view s) { out.write(s.data(), static_cast<std::streamsize>(s.size())); }

[[noreturn]] void Fail(const std::string& message) { throw TSimpleXmlInvalid(message); }

std::string Byte(char c) { return std::string(1, c); }

const std::string kElemError = "Invalid XML Element: ";

[[noreturn]] void FailPropsByte(char c) {
  Fail(kElemError + "Unexpected character in properties declaration (" + Byte(c) + " found).");
}

bool AtEnd(const TSimpleXmlInput& in) { return in.Pos >= in.Data.size(); }

// Consumes expected byte by byte: "<kind>: Expected x Found y" on a mismatch, eodMessage at the end.
void Expect(TSimpleXmlInput& in, std::string_view expected, const char* kind, const char* eodMessage) {
  for (char e : expected) {
    if (AtEnd(in)) Fail(eodMessage);
    const char c = in.Data[in.Pos++];
    if (c != e) Fail(std::string(kind) + ": Expected " + Byte(e) + " Found " + Byte(c));
  }
}

// Reads attributes up to the "/", ">" or "?" that ends them and leaves that byte unread.
// The end of the data simply ends them; an attribute cut off there is dropped.
void ReadProps(TSimpleXmlInput& in, TSimpleXmlProps& props) {
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
    props.Add(std::string(name), XmlUnescape(d.substr(p, close - p), false)).Prefix = std::string(prefix);
    p = close + 1;
  }
  in.Pos = p;
}

enum class Kind { None, Classic, Comment, CData, Header, DocType, Sheet };

std::unique_ptr<TSimpleXmlElem> MakeElem(Kind kind) {
  switch (kind) {
    case Kind::Classic: return std::make_unique<TSimpleXmlElemClassic>();
    case Kind::Comment: return std::make_unique<TSimpleXmlElemComment>();
    case Kind::CData: return std::make_unique<TSimpleXmlElemCData>();
    case Kind::Header: return std::make_unique<TSimpleXmlElemHeader>();
    case Kind::DocType: return std::make_unique<TSimpleXmlElemDocType>();
    case Kind::Sheet: return std::make_unique<TSimpleXmlElemSheet>();
    case Kind::None: break;
  }
  return nullptr;
}

// Reads an element's content after its start tag's ">" and returns the end tag's name; the end
// of the data before an end tag returns "", which the caller's comparison then rejects.
std::string ReadContent(TSimpleXmlInput& in, TSimpleXmlElems& elems) {
  const std::string_view d = in.Data;
  const std::size_t n = d.size();
  for (;;) {
    while (in.Pos < n && IsBlank(d[in.Pos])) ++in.Pos;
    if (in.Pos >= n) return std::string();
    const std::size_t start = in.Pos;
    if (d[start] != '<') {
      auto text = std::make_unique<TSimpleXmlElemText>();
      text->LoadFromStream(in);
      elems.Add(std::move(text));
      continue;
    }
    if (start + 1 < n && d[start + 1] == '/') {
      const std::size_t close = d.find('>', start + 2);
      if (close == std::string_view::npos) {
        in.Pos = n;
        return std::string();
      }
      in.Pos = close + 1;
      return std::string(d.substr(start + 2, close - start - 2));
    }
    // Gather from "<" until the kind of the child is known; TAB, CR and LF do not end it.
    Kind kind = Kind::None;
    for (std::size_t q = start + 1; q < n && kind == Kind::None; ++q) {
      const char c = d[q];
      const std::size_t len = q - start + 1;
      if (c == ' ' || c == ':' || c == '>' || c == '/')
        kind = Kind::Classic;
      else if (len == 4 && d.substr(start, 4) == "<!--")
        kind = Kind::Comment;
      else if (len == 9 && d.substr(start, 9) == "<![CDATA[")
        kind = Kind::CData;
    }
    if (kind == Kind::None) {
      in.Pos = n;
      return std::string();
    }
    auto child = MakeElem(kind);
    child->LoadFromStream(in);  // from its "<" again
    elems.Add(std::move(child));
  }
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

// Reads the items before the root element and leaves in.Pos at the "<" the root begins with.
void ReadProlog(TSimpleXmlInput& in, TSimpleXmlElemsProlog& prolog) {
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
    auto item = MakeElem(kind);
    item->LoadFromStream(in);
    prolog.Add(std::move(item));
  }
}

}  // namespace

// ---- text functions ----

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '"': out += "&#34;"; break;
      case '&': out += "&#38;"; break;
      case '\'': out += "&#39;"; break;
      case '<': out += "&#60;"; break;
      case '>': out += "&#62;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string XmlUnescape(std::string_view text, bool collapse) {
  std::string out;
  out.reserve(text.size());
  bool open = false;   // a reference is open
  bool hash = false;   // it began with "&#"
  std::string ref;     // bytes collected after "&" (and "#")
  const auto bare = [&] { return open && !hash && ref.empty(); };
  const auto abandon = [&] {
    out += '&';
    if (hash) out += '#';
    out += ref;
    open = hash = false;
    ref.clear();
  };
  for (char c : text) {
    if (IsCollapsible(c)) {
      if (bare()) abandon();
      if (collapse) {
        char prev = 0;
        bool hasPrev = true;
        if (open)
          prev = ref.empty() ? '#' : ref.back();
        else if (!out.empty())
          prev = out.back();
        else
          hasPrev = false;
        if (hasPrev && IsCollapsible(prev)) continue;
      }
      if (open)
        ref += c;
      else
        out += c;
    } else if (c == '&') {
      if (open) abandon();
      open = true;
    } else if (c == '#') {
      if (bare()) {
        hash = true;
      } else {
        if (open) abandon();
        out += '#';
      }
    } else if (IsDigit(c)) {
      if (bare()) abandon();
      if (open)
        ref += c;
      else
        out += c;
    } else if (IsLetter(c)) {
      if (open)
        ref += c;
      else
        out += c;
    } else if (c == ';') {
      if (!open) {
        out += c;
      } else if (bare()) {
        abandon();
        out += c;
      } else {
        std::uint32_t code = 0;
        if (ParseReference(ref, code)) {
          if (code <= 100 || code == 232 || code == 233) out += static_cast<char>(code);
          open = hash = false;
          ref.clear();
        } else if (SameTextAscii(ref, "lt") || SameTextAscii(ref, "gt") || SameTextAscii(ref, "amp")) {
          out += SameTextAscii(ref, "lt") ? '<' : SameTextAscii(ref, "gt") ? '>' : '&';
          open = hash = false;
          ref.clear();
        } else {
          abandon();
          out += c;
        }
      }
    } else {
      if (open) abandon();
      out += c;
    }
  }
  if (open) abandon();
  return out;
}

// ---- element base ----

TSimpleXmlElem::TSimpleXmlElem() = default;
TSimpleXmlElem::~TSimpleXmlElem() = default;

void TSimpleXmlElem::SetName(const std::string& name) {
  if (name.empty() || name == name_) return;
  name_ = name;
  if (parent_ && parent_->elems_) parent_->elems_->NamesChanged();
}

TSimpleXmlElems& TSimpleXmlElem::Elems() {
  if (!elems_) elems_ = std::make_unique<TSimpleXmlElems>(this);
  return *elems_;
}

TSimpleXmlProps& TSimpleXmlElem::Props() {
  if (!props_) props_ = std::make_unique<TSimpleXmlProps>();
  return *props_;
}

void TSimpleXmlElem::Clear() {
  if (elems_) elems_->Clear();
  if (props_) props_->Clear();
}

std::int64_t TSimpleXmlElem::AsInt() const { return StrToIntRule(Value); }

bool TSimpleXmlElem::AsBool() const {
  std::int64_t number = 0;
  if (TryAsInt(Value, number)) return number != 0;
  bool nonzero = false;
  if (ParseDecimal(Value, nonzero)) return nonzero;
  return SameTextAscii(Value, "True");
}

void TSimpleXmlElem::SaveProps(std::ostream& out) const {
  if (!props_) return;
  for (std::size_t i = 0; i < props_->Count(); ++i) {
    const TSimpleXmlProp& prop = props_->Item(i);
    Put(out, " ");
    if (!prop.Prefix.empty()) {
      Put(out, prop.Prefix);
      Put(out, ":");
    }
    Put(out, prop.Name());
    Put(out, "=\"");
    Put(out, XmlEscape(prop.Value));
    Put(out, "\"");
  }
}

// ---- ordinary element ----

void TSimpleXmlElemClassic::LoadFromStream(TSimpleXmlInput& in) {
  DepthScope depth(in);
  Value.clear();
  if (AtEnd(in)) return;  // nothing to read: an empty document keeps its root's name
  const std::string_view d = in.Data;
  char c = d[in.Pos++];
  if (c != '<') Fail(kElemError + "Expected beginning of tag but " + Byte(c) + " found.");
  std::string written;  // the start tag's name as written, prefix and colon included
  std::string prefix;
  std::size_t nameStart = 0;
  const std::size_t tagStart = in.Pos;
  for (;;) {
    if (AtEnd(in)) Fail(kElemError + "Unexpected end of data");
    c = d[in.Pos++];
    if (IsBlank(c)) {
      if (in.Pos - 1 == tagStart) Fail(kElemError + "Malformed tag found (no valid name)");
      ReadProps(in, Props());
    } else if (c == ':') {
      prefix = written.substr(nameStart);
      written += c;
      nameStart = written.size();
    } else if (c == '/') {
      if (AtEnd(in)) Fail(kElemError + "Unexpected end of data");
      c = d[in.Pos++];
      if (c != '>') Fail(kElemError + "Expected end of tag but " + Byte(c) + " found.");
      break;
    } else if (c == '>') {
      const std::string endName = ReadContent(in, Elems());
      if (endName != written)
        Fail(kElemError + "Erroneous end of tag, expecting </" + written + "> but </" + endName + "> found.");
      TSimpleXmlElems& elems = Elems();
      if (elems.Count() == 1) {
        if (auto* text = dynamic_cast<TSimpleXmlElemText*>(elems.Item(0))) {
          Value = std::move(text->Value);
          elems.Clear();
        }
      }
      break;
    } else {
      written += c;
    }
  }
  SetName(written.substr(nameStart));
  Prefix = std::move(prefix);
}

void TSimpleXmlElemClassic::SaveToStream(std::ostream& out, const std::string& indent) const {
  Put(out, indent);
  Put(out, "<");
  Put(out, Name());
  SaveProps(out);
  const TSimpleXmlElems* elems = ExistingElems();
  if (elems && elems->Count() > 0) {
    Put(out, ">\r\n");
    const std::string inner = indent + ' ';
    for (std::size_t i = 0; i < elems->Count(); ++i) elems->Item(i)->SaveToStream(out, inner);
    Put(out, indent);
    Put(out, "</");
    Put(out, Name());
    Put(out, ">\r\n");
  } else if (!Value.empty()) {
    Put(out, ">");
    Put(out, XmlEscape(Value));
    Put(out, "</");
    Put(out, Name());
    Put(out, ">\r\n");
  } else {
    Put(out, "/>\r\n");
  }
}

// ---- text ----

void TSimpleXmlElemText::LoadFromStream(TSimpleXmlInput& in) {
  const std::string_view d = in.Data;
  std::string raw;
  while (in.Pos < d.size() && d[in.Pos] != '<') {
    const char c = d[in.Pos++];
    if (c == ' ' && !raw.empty() && raw.back() == ' ') continue;
    raw += c;
  }
  Value = XmlUnescape(raw, true);
}

void TSimpleXmlElemText::SaveToStream(std::ostream& out, const std::string& indent) const {
  if (Value.empty()) return;
  Put(out, indent);
  Put(out, XmlEscape(Value));
  Put(out, kCrLf);
}

// ---- comment and CDATA ----

namespace {

// Reads open, then the raw bytes up to the first close.
std::string ReadDelimited(TSimpleXmlInput& in, std::string_view open, std::string_view close, const char* kind,
                          const char* eodMessage) {
  Expect(in, open, kind, eodMessage);
  const std::size_t end = in.Data.find(close, in.Pos);
  if (end == std::string_view::npos) {
    in.Pos = in.Data.size();
    Fail(eodMessage);
  }
  std::string value(in.Data.substr(in.Pos, end - in.Pos));
  in.Pos = end + close.size();
  return value;
}

}  // namespace

void TSimpleXmlElemComment::LoadFromStream(TSimpleXmlInput& in) {
  Value = ReadDelimited(in, "<!--", "-->", "Invalid Comment", "Invalid Comment: Unexpected end of data");
}

void TSimpleXmlElemComment::SaveToStream(std::ostream& out, const std::string& indent) const {
  Put(out, indent);
  Put(out, "<!--");
  Put(out, Value);
  Put(out, "-->\r\n");
}

void TSimpleXmlElemCData::LoadFromStream(TSimpleXmlInput& in) {
  Value = ReadDelimited(in, "<![CDATA[", "]]>", "Invalid CDATA", "Invalid CDATA: Unexpected end of data");
}

void TSimpleXmlElemCData::SaveToStream(std::ostream& out, const std::string& indent) const {
  Put(out, indent);
  Put(out, "<![CDATA[");
  Put(out, Value);
  Put(out, "]]>\r\n");
}

// ---- header ----

void TSimpleXmlElemHeader::LoadFromStream(TSimpleXmlInput& in) {
  static const char* const kEod = "Invalid Header: Unexpected end of data";
  Expect(in, "<?xml", "Invalid Header", kEod);
  TSimpleXmlProps props;  // read only to fill the fields, then discarded
  ReadProps(in, props);
  Expect(in, "?>", "Invalid Header", kEod);
  Version = props.ReadText("version", "");
  Encoding = props.ReadText("encoding", "");
  Standalone = props.ReadText("standalone", "") == "yes";
}

void TSimpleXmlElemHeader::SaveToStream(std::ostream& out, const std::string& indent) const {
  Put(out, indent);
  // Escaped like any attribute value: the reader decodes both, and a raw quote would end the value
  // early and make the whole file unreadable.
  Put(out, "<?xml version=\"");
  Put(out, XmlEscape(Version));
  Put(out, "\"");
  if (Standalone) Put(out, " standalone=\"yes\"");
  if (!Encoding.empty()) {
    Put(out, " encoding=\"");
    Put(out, XmlEscape(Encoding));
    Put(out, "\"");
  }
  Put(out, "?>\r\n");
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
  Value = std::string(value);
}

void TSimpleXmlElemDocType::SaveToStream(std::ostream& out, const std::string& /*indent*/) const {
  Put(out, "<!DOCTYPE ");
  Put(out, Value);
  Put(out, ">\r\n");
}

// ---- stylesheet ----

void TSimpleXmlElemSheet::LoadFromStream(TSimpleXmlInput& in) {
  static const char* const kEod = "Invalid Stylesheet: Unexpected end of data";
  Expect(in, "<?xml-stylesheet", "Invalid Stylesheet", kEod);
  ReadProps(in, Props());
  Expect(in, "?>", "Invalid Stylesheet", kEod);
}

void TSimpleXmlElemSheet::SaveToStream(std::ostream& out, const std::string& indent) const {
  Put(out, indent);
  Put(out, "<?xml-stylesheet");
  SaveProps(out);
  Put(out, "?>\r\n");
}

// ---- name look-up shared by the two lists ----

namespace {

// Position of the last item whose name equals name without regard to ASCII case, or npos.
// Short lists are scanned; longer ones go through the index, rebuilt after a change.
template <class Items>
std::size_t FindLast(const Items& items, TSimpleXmlNameIndex& index, const std::string& name) {
  constexpr std::size_t kScanLimit = 8;
  if (items.size() < kScanLimit) {
    for (std::size_t i = items.size(); i-- > 0;)
      if (SameTextAscii(items[i]->Name(), name)) return i;
    return std::string::npos;
  }
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
TSimpleXmlElems::~TSimpleXmlElems() = default;

TSimpleXmlElem& TSimpleXmlElems::Add(std::unique_ptr<TSimpleXmlElem> elem) {
  if (!elem) throw std::invalid_argument("TSimpleXmlElems::Add: no element");
  elem->parent_ = owner_;
  items_.push_back(std::move(elem));
  NamesChanged();
  return *items_.back();
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

TSimpleXmlElem* TSimpleXmlElems::Item(std::size_t index) const {
  return index < items_.size() ? items_[index].get() : nullptr;
}

TSimpleXmlElem* TSimpleXmlElems::Find(const std::string& name) const {
  const std::size_t i = FindLast(items_, index_, name);
  return i == std::string::npos ? nullptr : items_[i].get();
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

void TSimpleXmlElems::Clear() {
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
TSimpleXmlProps::~TSimpleXmlProps() = default;

TSimpleXmlProp& TSimpleXmlProps::Add(const std::string& name, const std::string& value) {
  items_.push_back(std::make_unique<TSimpleXmlProp>(this, name, value));
  NamesChanged();
  return *items_.back();
}

TSimpleXmlProp& TSimpleXmlProps::Item(std::size_t index) const { return *items_.at(index); }

TSimpleXmlProp* TSimpleXmlProps::Find(const std::string& name) const {
  const std::size_t i = FindLast(items_, index_, name);
  return i == std::string::npos ? nullptr : items_[i].get();
}

std::string TSimpleXmlProps::ReadText(const std::string& name, const std::string& def) const {
  const TSimpleXmlProp* prop = Find(name);
  return prop ? prop->Value : def;
}

std::int64_t TSimpleXmlProps::ReadInt(const std::string& name, std::int64_t def) const {
  const TSimpleXmlProp* prop = Find(name);
  return prop ? prop->AsInt() : def;
}

void TSimpleXmlProps::Clear() {
  items_.clear();
  NamesChanged();
}

// ---- prolog ----

TSimpleXmlElemsProlog::TSimpleXmlElemsProlog() = default;
TSimpleXmlElemsProlog::~TSimpleXmlElemsProlog() = default;

TSimpleXmlElem& TSimpleXmlElemsProlog::Add(std::unique_ptr<TSimpleXmlElem> item) {
  if (!item) throw std::invalid_argument("TSimpleXmlElemsProlog::Add: no item");
  items_.push_back(std::move(item));
  return *items_.back();
}

TSimpleXmlElem* TSimpleXmlElemsProlog::Item(std::size_t index) const {
  return index < items_.size() ? items_[index].get() : nullptr;
}

void TSimpleXmlElemsProlog::Clear() { items_.clear(); }

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
  TSimpleXmlInput in{data};
  ReadProlog(in, prolog_);
  root_.LoadFromStream(in);
}

void TSimpleXml::SaveToStream(std::ostream& out) {
  if (prolog_.Count() == 0) prolog_.Add(std::make_unique<TSimpleXmlElemHeader>());
  for (std::size_t i = 0; i < prolog_.Count(); ++i) prolog_.Item(i)->SaveToStream(out, "");
  root_.SaveToStream(out, "");
}

void TSimpleXml::SaveToFile(const std::string& fileName) {
  std::ostringstream out;
  SaveToStream(out);
  ReplaceFileContents(fileName, out.str());
}

}  // namespace zorvex::legacy
