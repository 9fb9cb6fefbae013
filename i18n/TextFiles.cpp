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
        AppendUtf8(out, static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00)));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, static_cast<char32_t>(u >= 0xD800 && u <= 0xDFFF ? kReplacementCharacter : u));
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacementCharacter);
  return out;
}

// The text of a file that begins with a UTF-16 byte-order mark; none without one.
std::optional<std::string> ByUtf16Mark(std::string_view bytes) {
  if (StartsWith(bytes, "\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2), false);
  if (StartsWith(bytes, "\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  return std::nullopt;
}

// A character typed into a UTF-8 file by an editor that saves in the code page arrives as a stray
// byte: it must neither be lost nor garble the UTF-8 around it. Each stretch between multi-byte sequences goes through the
// code page whole, so that a double-byte code page keeps its characters and a file with no
// multi-byte sequence reads exactly as it always did.
DecodedText BySequence(std::string_view bytes) {
  DecodedText out;
  out.text.reserve(bytes.size());
  bool utf8 = false;
  bool codePage = false;
  std::size_t start = 0;  // where the stretch not yet taken begins
  bool foreign = false;   // it holds bytes that are not UTF-8
  const auto take = [&](std::size_t end) {
    const std::string_view stretch = bytes.substr(start, end - start);
    if (foreign) {
      out.text += AnsiToUtf8(stretch);
    } else {
      out.text += stretch;
    }
    codePage = codePage || foreign;
    foreign = false;
  };
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t from = at;
    if (Byte(bytes, at) < 0x80) {
      ++at;
    } else if (!StepUtf8(bytes, at)) {
      foreign = true;
    } else {
      take(from);
      out.text += bytes.substr(from, at - from);
      utf8 = true;
      start = at;
    }
  }
  take(bytes.size());
  out.mixed = utf8 && codePage;
  return out;
}

DecodedText WithoutUtf8Mark(DecodedText decoded) {
  if (StartsWith(decoded.text, kUtf8Bom)) decoded.text.erase(0, kUtf8Bom.size());
  return decoded;
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

DecodedText DecodeSettingsFile(std::string_view bytes) {
  if (std::optional<std::string> text = ByUtf16Mark(bytes)) return {*std::move(text), false};
  if (StartsWith(bytes, kUtf8Bom) || NamesUtf8(DeclaredEncoding(bytes))) return WithoutUtf8Mark(BySequence(bytes));
  return {AnsiToUtf8(bytes), false};
}

void LoadXmlFile(TSimpleXml& doc, const std::string& path, bool* mixedEncodings) {
  LoadXmlBytes(doc, ReadWholeFile(path), mixedEncodings);
}

void LoadXmlBytes(TSimpleXml& doc, std::string_view bytes, bool* mixedEncodings) {
  DecodedText decoded = DecodeSettingsFile(bytes);
  std::istringstream in(std::move(decoded.text));
  doc.LoadFromStream(in);
  if (mixedEncodings != nullptr) *mixedEncodings = decoded.mixed;
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

DecodedText DecodeRuleListFile(std::string_view bytes) {
  if (std::optional<std::string> text = ByUtf16Mark(bytes)) return {*std::move(text), false};
  return WithoutUtf8Mark(BySequence(bytes));
}

void KeepLogInUtf8(const std::string& path) {
  if (!FileExists(path)) return;
  const std::string content = ReadWholeFile(path);
  if (IsValidUtf8(content)) return;
  ReplaceFileContents(path + ".old", content);
  ReplaceFileContents(path, std::string());
}

}  // namespace zorvex
