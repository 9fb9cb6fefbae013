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

// The content of a settings or language file as UTF-8, ready for the XML reader: a byte-order mark
// (UTF-8, UTF-16 LE or BE) says the encoding and is dropped; else a header line whose encoding
// names UTF-8 means UTF-8 as long as the bytes are UTF-8; any other file holds the system's ANSI
// code page (older versions wrote that under an "iso-8859-1" header).
std::string DecodeSettingsFile(std::string_view bytes);
// Reads a settings or language file whatever version wrote it, as DecodeSettingsFile says. Throws
// EFileError (the document is then left as it was) or TSimpleXmlInvalid.
void LoadXmlFile(TSimpleXml& doc, const std::string& path);
// Writes the document in UTF-8 with a header line that says so: the leading header's encoding is
// set, or a header is put in front when the document has none. Throws EFileError.
void SaveXmlFile(TSimpleXml& doc, const std::string& path);

// The content of a rule list file (.zvl): a UTF-8 byte-order mark, so that editors read it
// right, then each rule followed by CR LF.
std::string RuleListFileBytes(const std::vector<std::string>& rules);
// The text of a rule list file as UTF-8: a byte-order mark says the encoding and is dropped;
// without one, well-formed UTF-8 is UTF-8 and anything else the system's ANSI code page.
std::string DecodeRuleListFile(std::string_view bytes);

// Makes the log at path ready for UTF-8 lines: a log that holds code-page text (it is not UTF-8)
// is moved to path + ".old", replacing that file, so that no file mixes two encodings. Nothing
// when the log is missing or already UTF-8. Throws EFileError; the log is then unchanged.
void KeepLogInUtf8(const std::string& path);

}  // namespace zorvex
