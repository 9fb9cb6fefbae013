// The XML model's reader and writer as they were before the single-pass rewrite, kept unchanged
// (but in their own namespace) as the reference that the differential fuzz target compares the
// current reader with. Never linked into the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace zorvex::legacy {

// Malformed XML; what() is the message the reader raised.
class TSimpleXmlInvalid : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces each of " & ' < > by its decimal character reference; every other byte is kept.
std::string XmlEscape(std::string_view text);

// Reads text with the integer syntax of AsInt (leading spaces, a sign, decimal digits or hex digits
// after "$", "0x" or "0X", within 64 bits); false, leaving out alone, when it is no such integer.
bool TryAsInt(std::string_view text, std::int64_t& out);

// Decodes character references in one left-to-right pass; collapse drops a space, CR or LF
// that follows another of them (used for element text, not for attribute values).
std::string XmlUnescape(std::string_view text, bool collapse);

// Deepest element nesting the reader accepts; deeper input is refused, never overflows the stack.
constexpr int kSimpleXmlMaxDepth = 256;

// A read position in a byte buffer; each kind's reader advances Pos just past what it consumed.
struct TSimpleXmlInput {
  std::string_view Data;  // the whole input; must outlive the reading
  std::size_t Pos = 0;    // next byte to read
  int Depth = 0;          // element nesting of the reader in progress
};

class TSimpleXmlElems;
class TSimpleXmlProps;

// Lazily built index from upper-cased names to the position of the last holder of that name.
struct TSimpleXmlNameIndex {
  std::unordered_map<std::string, std::size_t> Map;
  bool Valid = false;
};

// Base of all element kinds: name, parent, children, attributes, value and prefix.
class TSimpleXmlElem {
 public:
  // An element with empty texts, no parent and no lists yet.
  TSimpleXmlElem();
  // Destroys the child and attribute lists with everything in them.
  virtual ~TSimpleXmlElem();
  TSimpleXmlElem(const TSimpleXmlElem&) = delete;
  TSimpleXmlElem& operator=(const TSimpleXmlElem&) = delete;

  // The element's name; empty for every kind but the ordinary element.
  const std::string& Name() const { return name_; }
  // Renames the element; an empty name or the current one changes nothing.
  void SetName(const std::string& name);
  // The element whose child list holds this one; null for a root or a prolog item.
  TSimpleXmlElem* Parent() const { return parent_; }
  // The child list, created empty on first access.
  TSimpleXmlElems& Elems();
  // The attribute list, created empty on first access.
  TSimpleXmlProps& Props();

  std::string Value;   // the element's text, decoded
  std::string Prefix;  // the part of the start tag's name before its colon, as read

  // Empties the child and attribute lists; name, value and prefix stay.
  virtual void Clear();
  // This kind's reader, from in.Pos on; throws TSimpleXmlInvalid on malformed input.
  virtual void LoadFromStream(TSimpleXmlInput& in) = 0;
  // This kind's writer; indent goes in front of each of its lines.
  virtual void SaveToStream(std::ostream& out, const std::string& indent) const = 0;

  // Value as a 64-bit integer (decimal, or hex after $, 0x, 0X); -1 when it is none.
  std::int64_t AsInt() const;
  // Value as a number (nonzero is true) or as "True"/"False" in any case; false otherwise.
  bool AsBool() const;

 protected:
  // The child list if it was ever created, else null; never creates it.
  TSimpleXmlElems* ExistingElems() const { return elems_.get(); }
  // Writes the attributes as " name=\"value\"" or " prefix:name=\"value\"".
  void SaveProps(std::ostream& out) const;

 private:
  friend class TSimpleXmlElems;
  std::string name_;
  TSimpleXmlElem* parent_ = nullptr;
  std::unique_ptr<TSimpleXmlElems> elems_;
  std::unique_ptr<TSimpleXmlProps> props_;
};

// Ordinary element: tag, attributes, and either children or a value.
class TSimpleXmlElemClassic : public TSimpleXmlElem {
 public:
  // Reads a start tag, its content and end tag (or an empty-element tag).
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes a self-closing tag, a one-line value, or the children one level deeper.
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// Character data between tags (mixed content).
class TSimpleXmlElemText : public TSimpleXmlElem {
 public:
  // Reads up to the next "<", decoding references and collapsing blanks.
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes the escaped value on its own line; nothing when it is empty.
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// Comment; its value is kept undecoded.
class TSimpleXmlElemComment : public TSimpleXmlElem {
 public:
  // Reads "<!--" up to the first "-->".
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes "<!--value-->".
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// CDATA section; its value is kept undecoded.
class TSimpleXmlElemCData : public TSimpleXmlElem {
 public:
  // Reads "<![CDATA[" up to the first "]]>".
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes "<![CDATA[value]]>".
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// The XML declaration line.
class TSimpleXmlElemHeader : public TSimpleXmlElem {
 public:
  bool Standalone = false;
  std::string Encoding = "iso-8859-1";
  std::string Version = "1.0";

  // Reads "<?xml" attributes "?>" into Version, Encoding and Standalone.
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes the declaration; standalone before encoding, encoding only when set.
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// Document type declaration; Value holds everything between "<!DOCTYPE" and ">", trimmed.
class TSimpleXmlElemDocType : public TSimpleXmlElem {
 public:
  // Reads up to the closing ">", skipping one bracketed internal subset.
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes "<!DOCTYPE value>", never indented.
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// xml-stylesheet declaration; its attributes stay in Props.
class TSimpleXmlElemSheet : public TSimpleXmlElem {
 public:
  // Reads "<?xml-stylesheet" attributes "?>".
  void LoadFromStream(TSimpleXmlInput& in) override;
  // Writes "<?xml-stylesheet" attributes "?>".
  void SaveToStream(std::ostream& out, const std::string& indent) const override;
};

// Ordered child list of one element; duplicates allowed, no sorting.
class TSimpleXmlElems {
 public:
  // A list whose elements get owner as their Parent.
  explicit TSimpleXmlElems(TSimpleXmlElem* owner);
  // Destroys every child.
  ~TSimpleXmlElems();
  TSimpleXmlElems(const TSimpleXmlElems&) = delete;
  TSimpleXmlElems& operator=(const TSimpleXmlElems&) = delete;

  // Appends an ordinary element with the given name and text value.
  TSimpleXmlElemClassic& Add(const std::string& name, const std::string& value);
  // Appends an ordinary element with the given name and text value.
  TSimpleXmlElemClassic& Add(const std::string& name, const char* value);
  // Appends an ordinary element whose value is "-1" for true, "0" for false.
  TSimpleXmlElemClassic& Add(const std::string& name, bool value);
  // Appends an ordinary element whose value is the integer in decimal.
  template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
  TSimpleXmlElemClassic& Add(const std::string& name, T value) {
    static_assert(std::is_signed_v<T> || sizeof(T) < sizeof(std::int64_t), "value must fit in 64 signed bits");
    return AddInt(name, static_cast<std::int64_t>(value));
  }
  // Appends an element of any kind, taking ownership; throws std::invalid_argument for null.
  TSimpleXmlElem& Add(std::unique_ptr<TSimpleXmlElem> elem);

  // Number of children.
  std::size_t Count() const { return items_.size(); }
  // The child at a 0-based position in document order; null outside the list.
  TSimpleXmlElem* Item(std::size_t index) const;
  // The last child whose name equals name without regard to ASCII case; null when none.
  TSimpleXmlElem* Find(const std::string& name) const;
  // The found child's value (also when empty), else def.
  std::string ReadText(const std::string& name, const std::string& def) const;
  // The found child's AsInt (-1 when unreadable), else def.
  std::int64_t ReadInt(const std::string& name, std::int64_t def) const;
  // The found child's AsBool when its value is non-empty, else def.
  bool ReadBool(const std::string& name, bool def) const;
  // Destroys every child.
  void Clear();
  // The element that owns this list.
  TSimpleXmlElem* Owner() const { return owner_; }

 private:
  friend class TSimpleXmlElem;
  TSimpleXmlElemClassic& AddInt(const std::string& name, std::int64_t value);
  void NamesChanged() { index_.Valid = false; }

  TSimpleXmlElem* owner_;
  std::vector<std::unique_ptr<TSimpleXmlElem>> items_;
  mutable TSimpleXmlNameIndex index_;
};

// One attribute.
class TSimpleXmlProp {
 public:
  // An attribute held by owner (which may be null while it is held by no list).
  TSimpleXmlProp(TSimpleXmlProps* owner, std::string name, std::string value);
  TSimpleXmlProp(const TSimpleXmlProp&) = delete;
  TSimpleXmlProp& operator=(const TSimpleXmlProp&) = delete;

  // The attribute's name without its prefix.
  const std::string& Name() const { return name_; }
  // Renames the attribute.
  void SetName(const std::string& name);
  // The list that holds this attribute.
  TSimpleXmlProps* Owner() const { return owner_; }
  // Value as a 64-bit integer by the element's rule; -1 when it is none.
  std::int64_t AsInt() const;

  std::string Value;   // decoded value
  std::string Prefix;  // namespace prefix, written before the name when set

 private:
  std::string name_;
  TSimpleXmlProps* owner_;
};

// Ordered attribute list of one element; duplicates allowed.
class TSimpleXmlProps {
 public:
  // An empty list.
  TSimpleXmlProps();
  // Destroys every attribute.
  ~TSimpleXmlProps();
  TSimpleXmlProps(const TSimpleXmlProps&) = delete;
  TSimpleXmlProps& operator=(const TSimpleXmlProps&) = delete;

  // Appends an attribute; an existing one of the same name stays.
  TSimpleXmlProp& Add(const std::string& name, const std::string& value);
  // Number of attributes.
  std::size_t Count() const { return items_.size(); }
  // The attribute at a 0-based position; throws std::out_of_range outside the list.
  TSimpleXmlProp& Item(std::size_t index) const;
  // The last attribute whose name equals name without regard to ASCII case; null when none.
  TSimpleXmlProp* Find(const std::string& name) const;
  // The found attribute's value, else def.
  std::string ReadText(const std::string& name, const std::string& def) const;
  // The found attribute's AsInt (-1 when unreadable), else def.
  std::int64_t ReadInt(const std::string& name, std::int64_t def) const;
  // Destroys every attribute.
  void Clear();

 private:
  friend class TSimpleXmlProp;
  void NamesChanged() { index_.Valid = false; }

  std::vector<std::unique_ptr<TSimpleXmlProp>> items_;
  mutable TSimpleXmlNameIndex index_;
};

// The items before the root element (header, comments, document type, stylesheet), in order.
class TSimpleXmlElemsProlog {
 public:
  // An empty prolog.
  TSimpleXmlElemsProlog();
  // Destroys every item.
  ~TSimpleXmlElemsProlog();
  TSimpleXmlElemsProlog(const TSimpleXmlElemsProlog&) = delete;
  TSimpleXmlElemsProlog& operator=(const TSimpleXmlElemsProlog&) = delete;

  // Appends an item, taking ownership; throws std::invalid_argument for null.
  TSimpleXmlElem& Add(std::unique_ptr<TSimpleXmlElem> item);
  // Number of items.
  std::size_t Count() const { return items_.size(); }
  // The item at a 0-based position; null outside the list.
  TSimpleXmlElem* Item(std::size_t index) const;
  // Destroys every item.
  void Clear();

 private:
  std::vector<std::unique_ptr<TSimpleXmlElem>> items_;
};

// The document: a root element and a prolog, read from and written to files and streams.
class TSimpleXml {
 public:
  // A root with an empty name and an empty prolog.
  TSimpleXml();
  // Destroys the root and the prolog with everything in them.
  ~TSimpleXml();
  TSimpleXml(const TSimpleXml&) = delete;
  TSimpleXml& operator=(const TSimpleXml&) = delete;

  // The root element: never replaced, no parent, empty name until one is read or set.
  TSimpleXmlElemClassic& Root() { return root_; }
  // The items before the root element.
  TSimpleXmlElemsProlog& Prolog() { return prolog_; }

  // Reads the whole file, then parses it; a file error (EFileError) leaves the document as it was.
  void LoadFromFile(const std::string& fileName);
  // Reads the stream to its end, clears root and prolog, then parses; throws TSimpleXmlInvalid,
  // leaving what was read up to the failure.
  void LoadFromStream(std::istream& in);
  // Writes the document to a temporary file beside fileName and replaces it; throws EFileError.
  void SaveToFile(const std::string& fileName);
  // Writes the prolog (a default header when it is empty, which then stays) and the root.
  void SaveToStream(std::ostream& out);

 private:
  // Parses a whole document held in memory.
  void LoadFromBuffer(std::string_view data);

  TSimpleXmlElemsProlog prolog_;
  TSimpleXmlElemClassic root_;
};

}  // namespace zorvex::legacy
