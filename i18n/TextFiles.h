// How the program's text files are read and written. Text inside the program is UTF-8, and so are
// the files it writes; older versions wrote the system's ANSI code page, and such files are
// converted as they are read, so that they keep working.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/Utf8.h"
#include "xml/SimpleXml.h"

namespace zorvex {

// The byte-order mark of UTF-8, as the rule list files begin.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The encoding name the files' header line carries.
inline constexpr const char* kUtf8EncodingName = "UTF-8";

// A text file's content as UTF-8.
struct DecodedText {
  std::string text;
  // The file held multi-byte UTF-8 (a UTF-8 byte-order mark counts) and also bytes that are not
  // UTF-8, which were read in the system's code page.
  bool mixed = false;
};

// The content of a settings or language file, ready for the XML reader. A UTF-16 byte-order mark
// (LE or BE) says the encoding. A UTF-8 byte-order mark, or a header line whose encoding names
// UTF-8, means UTF-8 sequence by sequence: what is not UTF-8 there is read in the code page, each
// stretch of it between UTF-8 characters whole; so a file with no multi-byte UTF-8 at all reads
// wholly in the code page. Marks are dropped. Any other file holds the system's ANSI code page
// (older versions wrote that under an "iso-8859-1" header).
DecodedText DecodeSettingsFile(std::string_view bytes);
// Reads a settings or language file whatever version wrote it, as DecodeSettingsFile says, and
// tells mixedEncodings, when given, whether the file mixed encodings. Throws EFileError (the
// document is then left as it was) or TSimpleXmlInvalid.
void LoadXmlFile(TSimpleXml& doc, const std::string& path, bool* mixedEncodings = nullptr);
// The same over a file's bytes already read. Throws TSimpleXmlInvalid.
void LoadXmlBytes(TSimpleXml& doc, std::string_view bytes, bool* mixedEncodings = nullptr);
// Writes the document in UTF-8 with a header line that says so: the leading header's encoding is
// set, or a header is put in front when the document has none. Throws EFileError.
void SaveXmlFile(TSimpleXml& doc, const std::string& path);

// The content of a rule list file (.zvl): a UTF-8 byte-order mark, so that editors read it
// right, then each rule followed by CR LF.
std::string RuleListFileBytes(const std::vector<std::string>& rules);
// The text of a rule list file: a UTF-16 byte-order mark says the encoding; any other file is
// UTF-8 sequence by sequence, what is not UTF-8 read in the code page, as DecodeSettingsFile reads
// a UTF-8 file. Marks are dropped.
DecodedText DecodeRuleListFile(std::string_view bytes);

// Makes the log at path ready for UTF-8 lines: a log that holds code-page text (it is not UTF-8)
// is moved to path + ".old", replacing that file, so that no file mixes two encodings. Nothing
// when the log is missing or already UTF-8. Throws EFileError; the log is then unchanged.
void KeepLogInUtf8(const std::string& path);

}  // namespace zorvex
