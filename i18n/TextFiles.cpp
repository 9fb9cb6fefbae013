#include "i18n/TextFiles.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>

#include "base/Text.h"
#include "platform/CodePage.h"
#include "platform/Files.h"

namespace zorvex {

namespace {

std::uint8_t Byte(std::string_view text, std::size_t i) { return static_cast<std::uint8_t>(text[i]); }

// Length of the well-formed UTF-8 sequence at text[i], or 0 when there is none; then bad is the
// length of the ill-formed part there (at least 1), which one U+FFFD replaces.
std::size_t SequenceAt(std::string_view text, std::size_t i, std::size_t& bad) {
  const std::uint8_t lead = Byte(text, i);
  if (lead < 0x80) return 1;
  std::size_t trail = 0;
  std::uint8_t low = 0x80;   // range of the second byte; later ones are always 80-BF
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    if (lead == 0xE0) low = 0xA0;   // overlong below
    if (lead == 0xED) high = 0x9F;  // surrogates above
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    if (lead == 0xF0) low = 0x90;   // overlong below
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF above
  } else {
    bad = 1;
    return 0;
  }
  for (std::size_t k = 1; k <= trail; ++k) {
    const bool second = k == 1;
    if (i + k >= text.size() || Byte(text, i + k) < (second ? low : 0x80) || Byte(text, i + k) > (second ? high : 0xBF)) {
      bad = k;
      return 0;
    }
  }
  return trail + 1;
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

// UTF-16 text after its byte-order mark; an unpaired surrogate or a lone last byte becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](std::size_t i) -> std::uint32_t {
    return bigEndian ? (Byte(bytes, i) << 8 | Byte(bytes, i + 1)) : (Byte(bytes, i + 1) << 8 | Byte(bytes, i));
  };
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const std::uint32_t next = unit(i + 2);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, u >= 0xD800 && u <= 0xDFFF ? kReplacement : u);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);
  return out;
}

// The text of a file that begins with a byte-order mark, as UTF-8; none without one.
std::optional<std::string> ByByteOrderMark(std::string_view bytes) {
  if (StartsWith(bytes, kUtf8Bom)) return ValidUtf8(bytes.substr(kUtf8Bom.size()));
  if (StartsWith(bytes, "\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
  if (StartsWith(bytes, "\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  return std::nullopt;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The encoding the XML declaration at the start of bytes names; empty when there is none.
std::string DeclaredEncoding(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size() && IsXmlSpace(bytes[i])) ++i;
  if (bytes.compare(i, 5, "<?xml") != 0 || i + 5 >= bytes.size() || !IsXmlSpace(bytes[i + 5])) return {};
  i += 5;
  // name = "value" pairs up to "?>"; anything else ends the search.
  for (;;) {
    while (i < bytes.size() && IsXmlSpace(bytes[i])) ++i;
    const std::size_t nameStart = i;
    while (i < bytes.size() && !IsXmlSpace(bytes[i]) && bytes[i] != '=' && bytes[i] != '?') ++i;
    const std::string_view name = bytes.substr(nameStart, i - nameStart);
    if (name.empty()) return {};
    while (i < bytes.size() && IsXmlSpace(bytes[i])) ++i;
    if (i >= bytes.size() || bytes[i] != '=') return {};
    ++i;
    while (i < bytes.size() && IsXmlSpace(bytes[i])) ++i;
    if (i >= bytes.size() || (bytes[i] != '"' && bytes[i] != '\'')) return {};
    const std::size_t end = bytes.find(bytes[i], i + 1);
    if (end == std::string_view::npos) return {};
    if (SameTextAscii(name, "encoding")) return std::string(bytes.substr(i + 1, end - i - 1));
    i = end + 1;
  }
}

bool NamesUtf8(const std::string& encoding) { return SameTextAscii(encoding, "UTF-8") || SameTextAscii(encoding, "UTF8"); }

}  // namespace

bool IsValidUtf8(std::string_view text) {
  std::size_t bad = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (Byte(text, i) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = SequenceAt(text, i, bad);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string ValidUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  for (std::size_t i = 0; i < text.size();) {
    std::size_t bad = 0;
    const std::size_t length = SequenceAt(text, i, bad);
    if (length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      AppendUtf8(out, kReplacement);
      i += bad;
    }
  }
  return out;
}

std::string DecodeSettingsFile(std::string_view bytes) {
  if (std::optional<std::string> text = ByByteOrderMark(bytes)) return *std::move(text);
  // Bytes that are not UTF-8 under a UTF-8 header were saved by an editor in the code page; read
  // as UTF-8 they would lose every such character at the next save.
  if (NamesUtf8(DeclaredEncoding(bytes)) && IsValidUtf8(bytes)) return std::string(bytes);
  return AnsiToUtf8(bytes);
}

void LoadXmlFile(TSimpleXml& doc, const std::string& path) {
  std::istringstream in(DecodeSettingsFile(ReadWholeFile(path)));
  doc.LoadFromStream(in);
}

void SaveXmlFile(TSimpleXml& doc, const std::string& path) {
  TSimpleXmlElemsProlog& prolog = doc.Prolog();
  // An empty prolog gets the model's own default header, which stays, as saving would add it.
  if (prolog.Count() == 0) prolog.Add(std::make_unique<TSimpleXmlElemHeader>());
  for (std::size_t i = 0; i < prolog.Count(); ++i) {
    if (auto* header = dynamic_cast<TSimpleXmlElemHeader*>(prolog.Item(i))) header->Encoding = kUtf8EncodingName;
  }
  if (dynamic_cast<TSimpleXmlElemHeader*>(prolog.Item(0)) != nullptr) {
    doc.SaveToFile(path);
    return;
  }
  // Only a header at the very start is read as one; without it the file would count as code page.
  std::ostringstream out;
  TSimpleXmlElemHeader header;
  header.Encoding = kUtf8EncodingName;
  header.SaveToStream(out, "");
  doc.SaveToStream(out);
  ReplaceFileContents(path, out.str());
}

std::string RuleListFileBytes(const std::vector<std::string>& rules) {
  return std::string(kUtf8Bom) + LinesWithBreaks(rules);
}

std::string DecodeRuleListFile(std::string_view bytes) {
  if (std::optional<std::string> text = ByByteOrderMark(bytes)) return *std::move(text);
  return IsValidUtf8(bytes) ? std::string(bytes) : AnsiToUtf8(bytes);
}

void KeepLogInUtf8(const std::string& path) {
  if (!FileExists(path)) return;
  const std::string content = ReadWholeFile(path);
  if (IsValidUtf8(content)) return;
  ReplaceFileContents(path + ".old", content);
  ReplaceFileContents(path, std::string());
}

}  // namespace zorvex
