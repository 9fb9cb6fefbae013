// Any input either loads or raises TSimpleXmlInvalid: no crash, hang, leak or read past the end.
// What loads is saved (or refused) and loaded again, which must not crash either.
#include <cstddef>
#include <cstdint>
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

// Touches every value through the conversions the callers use.
void Walk(zorvex::TSimpleXmlElem& e) {
  (void)e.AsInt();
  (void)e.AsBool();
  for (std::size_t i = 0; i < e.Props().Count(); ++i) (void)e.Props().Item(i).AsInt();
  for (std::size_t i = 0; i < e.Elems().Count(); ++i) Walk(*e.Elems().Item(i));
  (void)e.Elems().ReadBool(e.Name(), false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)zorvex::XmlUnescape(text, true);
  (void)zorvex::XmlUnescape(text, false);
  zorvex::TSimpleXml doc;
  if (!Load(doc, text)) return 0;
  Walk(doc.Root());
  std::ostringstream out;
  try {
    doc.SaveToStream(out);
  } catch (const zorvex::TSimpleXmlInvalid&) {
    return 0;  // a tree the writer cannot write so that it reads back is refused, not written
  }
  zorvex::TSimpleXml again;
  Load(again, out.str());
  return 0;
}
