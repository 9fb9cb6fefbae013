// The XML reader against the reader it replaced (fuzz/legacy): the same input must give the same
// outcome (loaded, or the same message), the same tree (also what a failed load leaves behind), the
// same decoded texts, and a save either gives the same bytes or is refused only where the bytes the
// old writer made would not read back as the tree they came from.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <typeinfo>

#include "fuzz/legacy/SimpleXmlLegacy.h"
#include "xml/SimpleXml.h"

namespace {

namespace now = zorvex;
namespace old = zorvex::legacy;

[[noreturn]] void Differ(const char* what, const std::string& a, const std::string& b) {
  std::fprintf(stderr, "%s differs\n--- current\n%s\n--- legacy\n%s\n", what, a.c_str(), b.c_str());
  std::abort();
}

// The kind of an element by its class, the same word in both models.
template <class M, class E>
const char* KindOf(const E& e) {
  if (dynamic_cast<const typename M::Classic*>(&e)) return "elem";
  if (dynamic_cast<const typename M::Text*>(&e)) return "text";
  if (dynamic_cast<const typename M::Comment*>(&e)) return "comment";
  if (dynamic_cast<const typename M::CData*>(&e)) return "cdata";
  if (dynamic_cast<const typename M::Header*>(&e)) return "header";
  if (dynamic_cast<const typename M::DocType*>(&e)) return "doctype";
  if (dynamic_cast<const typename M::Sheet*>(&e)) return "sheet";
  return "?";
}

struct Now {
  using Doc = now::TSimpleXml;
  using Elem = now::TSimpleXmlElem;
  using Classic = now::TSimpleXmlElemClassic;
  using Text = now::TSimpleXmlElemText;
  using Comment = now::TSimpleXmlElemComment;
  using CData = now::TSimpleXmlElemCData;
  using Header = now::TSimpleXmlElemHeader;
  using DocType = now::TSimpleXmlElemDocType;
  using Sheet = now::TSimpleXmlElemSheet;
  using Invalid = now::TSimpleXmlInvalid;
};
struct Old {
  using Doc = old::TSimpleXml;
  using Elem = old::TSimpleXmlElem;
  using Classic = old::TSimpleXmlElemClassic;
  using Text = old::TSimpleXmlElemText;
  using Comment = old::TSimpleXmlElemComment;
  using CData = old::TSimpleXmlElemCData;
  using Header = old::TSimpleXmlElemHeader;
  using DocType = old::TSimpleXmlElemDocType;
  using Sheet = old::TSimpleXmlElemSheet;
  using Invalid = old::TSimpleXmlInvalid;
};

// Lengths before every text, so that no byte in a value can pass for structure.
void Put(std::string& out, const std::string& s) { out += std::to_string(s.size()) + ":" + s; }

// The whole tree; with values false only its shape: no values and no text children, which the
// format's blank rules may change or drop on a round trip.
template <class M>
void Dump(typename M::Elem& e, std::string& out, bool values = true) {
  if (!values && dynamic_cast<typename M::Text*>(&e)) return;
  out += KindOf<M>(e);
  out += '{';
  Put(out, e.Name());
  Put(out, e.Prefix);
  if (values) Put(out, e.Value);
  if (auto* h = dynamic_cast<typename M::Header*>(&e)) {
    Put(out, h->Version);
    Put(out, h->Encoding);
    out += h->Standalone ? "sa" : "-";
  }
  for (std::size_t i = 0; i < e.Props().Count(); ++i) {
    auto& p = e.Props().Item(i);
    out += '@';
    Put(out, p.Prefix);
    Put(out, p.Name());
    Put(out, p.Value);
  }
  for (std::size_t i = 0; i < e.Elems().Count(); ++i) Dump<M>(*e.Elems().Item(i), out, values);
  out += '}';
}

template <class M>
std::string Dump(typename M::Doc& doc, bool values = true) {
  std::string out;
  for (std::size_t i = 0; i < doc.Prolog().Count(); ++i) Dump<M>(*doc.Prolog().Item(i), out, values);
  out += "root";
  Dump<M>(doc.Root(), out, values);
  return out;
}

// "" when the text loads, else the message.
template <class M>
std::string Load(typename M::Doc& doc, const std::string& text) {
  std::istringstream in(text);
  try {
    doc.LoadFromStream(in);
  } catch (const typename M::Invalid& e) {
    return std::string("failed: ") + e.what();
  }
  return "";
}

template <class M>
bool Save(typename M::Doc& doc, std::string& out) {
  std::ostringstream stream;
  try {
    doc.SaveToStream(stream);
  } catch (const typename M::Invalid&) {
    return false;
  }
  out = stream.str();
  return true;
}

const std::string kBefore = "<Old k='v'>value<c/></Old>";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (bool collapse : {false, true}) {
    const std::string a = now::XmlUnescape(text, collapse), b = old::XmlUnescape(text, collapse);
    if (a != b) Differ("XmlUnescape", a, b);
  }
  if (now::XmlEscape(text) != old::XmlEscape(text)) Differ("XmlEscape", now::XmlEscape(text), old::XmlEscape(text));

  // Into a document that already holds a tree, as the engine's rule document does.
  now::TSimpleXml mine;
  old::TSimpleXml theirs;
  Load<Now>(mine, kBefore);
  Load<Old>(theirs, kBefore);
  const std::string outcome = Load<Now>(mine, text), expected = Load<Old>(theirs, text);
  if (outcome != expected) Differ("outcome", outcome, expected);
  const std::string tree = Dump<Now>(mine), expectedTree = Dump<Old>(theirs);
  if (tree != expectedTree) Differ("tree", tree, expectedTree);
  if (!outcome.empty()) return 0;

  std::string written, oldWritten;
  Save<Old>(theirs, oldWritten);  // the old writer never refuses
  if (Save<Now>(mine, written)) {
    if (written != oldWritten) Differ("saved bytes", written, oldWritten);
  } else {
    // Refused: the old bytes must indeed fail to load or load as a tree of another shape.
    old::TSimpleXml back;
    if (Load<Old>(back, oldWritten).empty() && Dump<Old>(back, false) == Dump<Old>(theirs, false))
      Differ("refused save of a tree that reads back", oldWritten, expectedTree);
  }
  return 0;
}
