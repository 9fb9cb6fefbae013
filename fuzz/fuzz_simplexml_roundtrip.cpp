// Whatever loads saves as something that loads and saves the same. The writer refuses (with
// TSimpleXmlInvalid) a tree it cannot write so that it reads back; anything it writes must load.
// The one change a round trip may make is the format's own blank rule for element text: blanks
// at the edges of a text collapse or vanish on reading, so text beside other nodes gains a CR on
// the first save after loading (its line break reads back as a CR) and settles there, and a value
// of blanks alone (from "&#32;") reads back empty, so that its element then closes itself. The
// second save may therefore differ from the first in blanks only or be shorter, and the third must
// equal the second.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "xml/SimpleXml.h"

namespace {

bool Load(zorvex::TSimpleXml& doc, const std::string& text) {
  std::istringstream in(text);
  try {
    doc.LoadFromStream(in);
    return true;
  } catch (const zorvex::TSimpleXmlInvalid&) {
    return false;
  }
}

bool Save(zorvex::TSimpleXml& doc, std::string& out) {
  std::ostringstream stream;
  try {
    doc.SaveToStream(stream);
  } catch (const zorvex::TSimpleXmlInvalid&) {
    return false;
  }
  out = stream.str();
  return true;
}

std::string WithoutBlanks(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') out += c;
  return out;
}

[[noreturn]] void Fault(const char* what, const std::string& input, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s\n--- input\n%s\n--- first\n%s\n--- second\n%s\n", what, input.c_str(), a.c_str(),
               b.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  zorvex::TSimpleXml doc;
  if (!Load(doc, input)) return 0;
  std::string first;
  if (!Save(doc, first)) return 0;  // refused: nothing was written
  zorvex::TSimpleXml second;
  if (!Load(second, first)) Fault("saved file does not load", input, first, "");
  std::string secondText;
  if (!Save(second, secondText)) Fault("loaded saved file refuses to save", input, first, "");
  if (secondText != first && WithoutBlanks(secondText) != WithoutBlanks(first) && secondText.size() >= first.size())
    Fault("second save differs beyond blanks", input, first, secondText);
  zorvex::TSimpleXml third;
  std::string thirdText;
  if (!Load(third, secondText) || !Save(third, thirdText) || thirdText != secondText)
    Fault("third save differs", input, secondText, thirdText);
  return 0;
}
