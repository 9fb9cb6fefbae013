// Small XML document model through which every XML file of the program is read and written.
// Texts are single-byte strings; nothing is transcoded. Every container owns what it holds;
// Parent and owner links are plain back pointers, so elements and documents do not move or copy.
// A document reads in one pass over the bytes in memory and takes the elements and attributes it
// reads from blocks of its own (TSimpleXmlArena); elements made through the API live on the heap.
// It writes into one buffer, and refuses (TSimpleXmlInvalid, nothing written) a tree that would
// not read back as itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace zorvex {

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

// Memory handed out in blocks and given back only all at once: what a document's reader builds
// lives here, so that reading costs no allocation per node. Objects placed here are destroyed by
// their owners like any other, but their memory returns only with Reset or the arena's end.
class TSimpleXmlArena {
 public:
  TSimpleXmlArena() = default;
  TSimpleXmlArena(const TSimpleXmlArena&) = delete;
  TSimpleXmlArena& operator=(const TSimpleXmlArena&) = delete;

  // Uninitialised memory of size bytes at the given alignment (at most that of max_align_t).
  void* Allocate(std::size_t size, std::size_t align);
  // Takes back everything handed out; the caller has destroyed every object placed here.
  void Reset();

 private:
  struct Block {
    std::unique_ptr<std::byte[]> Data;
    std::size_t Size = 0;
  };
  std::vector<Block> blocks_;
  std::size_t used_ = 0;  // bytes used in the last block
};

// A read position in a byte buffer; each kind's reader advances Pos just past what it consumed.
struct TSimpleXmlInput {
  std::string_view Data;             // the whole input; must outlive the reading
  std::size_t Pos = 0;               // next byte to read
  int Depth = 0;                     // element nesting of the reader in progress
  TSimpleXmlArena* Arena = nullptr;  // where read elements go; the heap when null
};

class TSimpleXmlElem;
class TSimpleXmlElems;
class TSimpleXmlProps;
// The writer's state: the output buffer, the indent and where in a document it writes.
class TSimpleXmlWriter;
// The reader and writer, friend of every class of the model.
class TSimpleXmlCore;

// Lazily built index from upper-cased names to the position of the last holder of that name.
struct TSimpleXmlNameIndex {
  std::unordered_map<std::string, std::size_t> Map;
  bool Valid = false;
};

// An array of pointers whose storage comes from an arena when it has one (memory that returns
// only with the arena), else from the heap. What the pointers point to is its owner's business.
template <class T>
class TSimpleXmlPtrArray {
 public:
  TSimpleXmlPtrArray() = default;
  ~TSimpleXmlPtrArray() {
    if (!arena_) delete[] data_;
  }
  TSimpleXmlPtrArray(const TSimpleXmlPtrArray&) = delete;
  TSimpleXmlPtrArray& operator=(const TSimpleXmlPtrArray&) = delete;

  std::size_t size() const { return size_; }
  T* operator[](std::size_t i) const { return data_[i]; }
  T* const* begin() const { return data_; }
  T* const* end() const { return data_ + size_; }
  void push_back(T* item) {
    if (size_ == capacity_) Grow();
    data_[size_++] = item;
  }
  void clear() { size_ = 0; }
  void swap(std::size_t i, std::size_t j) { std::swap(data_[i], data_[j]); }
  void set(std::size_t i, T* item) { data_[i] = item; }
  // Removes the pointer at i; the later ones move up.
  void erase(std::size_t i) {
    if (i + 1 < size_) std::memmove(data_ + i, data_ + i + 1, (size_ - i - 1) * sizeof(T*));
    --size_;
  }
  // Where the storage comes from; set while the array has none yet.
  TSimpleXmlArena* Arena() const { return arena_; }
  void SetArena(TSimpleXmlArena* arena) {
    if (!data_) arena_ = arena;
  }

 private:
  void Grow() {
    if (capacity_ >= 0x40000000u || std::size_t{capacity_} * 2 > static_cast<std::size_t>(-1) / sizeof(T*))
      throw std::length_error("TSimpleXmlPtrArray: too many items");
    const std::uint32_t capacity = capacity_ ? capacity_ * 2 : 4;
    T** data = arena_ ? static_cast<T**>(arena_->Allocate(capacity * sizeof(T*), alignof(T*))) : new T*[capacity];
    if (size_) std::memcpy(data, data_, size_ * sizeof(T*));
    if (!arena_) delete[] data_;
    data_ = data;
    capacity_ = capacity;
  }

  T** data_ = nullptr;
  std::uint32_t size_ = 0, capacity_ = 0;
  TSimpleXmlArena* arena_ = nullptr;
};

class TSimpleXmlElemClassic;

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
  TSimpleXmlElem* Item(std::size_t index) const { return index < items_.size() ? items_[index] : nullptr; }
  // The last child whose name equals name without regard to ASCII case; null when none.
  TSimpleXmlElem* Find(const std::string& name) const;
  // The found child's value (also when empty), else def.
  std::string ReadText(const std::string& name, const std::string& def) const;
  // The found child's AsInt (-1 when unreadable), else def.
  std::int64_t ReadInt(const std::string& name, std::int64_t def) const;
  // The found child's AsBool when its value is non-empty, else def.
  bool ReadBool(const std::string& name, bool def) const;
  // Destroys the child at a 0-based position; the later ones move up. Nothing outside the list.
  void Delete(std::size_t index);
  // Exchanges the children at two 0-based positions in the list.
  void Swap(std::size_t first, std::size_t second);
  // Puts the children in a new order: the child at order[i] becomes the i-th. Throws
  // std::invalid_argument, changing nothing, unless order names each position exactly once.
  void Reorder(const std::vector<std::size_t>& order);
  // Destroys every child.
  void Clear();
  // The element that owns this list.
  TSimpleXmlElem* Owner() const { return owner_; }

 private:
  friend class TSimpleXmlElem;
  friend class TSimpleXmlCore;
  TSimpleXmlElemClassic& AddInt(const std::string& name, std::int64_t value);
  void NamesChanged() {
    if (index_) index_->Valid = false;
  }

  TSimpleXmlElem* owner_;
  TSimpleXmlPtrArray<TSimpleXmlElem> items_;  // owned
  mutable std::unique_ptr<TSimpleXmlNameIndex> index_;  // made on the first look-up that needs it
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
  friend class TSimpleXmlCore;
  std::string name_;
  TSimpleXmlProps* owner_;
  bool inArena_ = false;  // placed in a document's arena by the reader
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
  // Destroys the attribute at a 0-based position; the later ones move up. Nothing outside the list.
  void Delete(std::size_t index);
  // Destroys every attribute.
  void Clear();

 private:
  friend class TSimpleXmlProp;
  friend class TSimpleXmlElem;
  friend class TSimpleXmlCore;
  void NamesChanged() {
    if (index_) index_->Valid = false;
  }

  TSimpleXmlPtrArray<TSimpleXmlProp> items_;  // owned
  mutable std::unique_ptr<TSimpleXmlNameIndex> index_;  // made on the first look-up that needs it
};

// Base of all element kinds: name, parent, children, attributes, value and prefix.
class TSimpleXmlElem {
 public:
  // An element with empty texts, no parent and empty lists.
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
  TSimpleXmlElems& Elems() { return elems_; }
  // The attribute list, created empty on first access.
  TSimpleXmlProps& Props() { return props_; }

  std::string Value;   // the element's text, decoded
  std::string Prefix;  // the part of the start tag's name before its colon, as read

  // Empties the child and attribute lists; name, value and prefix stay.
  virtual void Clear();
  // This kind's reader, from in.Pos on; throws TSimpleXmlInvalid on malformed input.
  virtual void LoadFromStream(TSimpleXmlInput& in) = 0;
  // This kind's writer; indent goes in front of each of its lines. Throws TSimpleXmlInvalid, and
  // writes nothing, when the element would not read back as itself.
  void SaveToStream(std::ostream& out, const std::string& indent) const;

  // Value as a 64-bit integer (decimal, or hex after $, 0x, 0X); -1 when it is none.
  std::int64_t AsInt() const;
  // Value as a number (nonzero is true) or as "True"/"False" in any case; false otherwise.
  bool AsBool() const;

 protected:
  // The child list; the same as Elems() for a const element.
  const TSimpleXmlElems* ExistingElems() const { return &elems_; }
  // The attribute list; the same as Props() for a const element.
  const TSimpleXmlProps* ExistingProps() const { return &props_; }
  // Appends this kind's text to the writer's buffer; throws TSimpleXmlInvalid when what it would
  // write does not read back as this element where the writer stands.
  virtual void Write(TSimpleXmlWriter& w) const = 0;

 private:
  friend class TSimpleXmlElems;
  friend class TSimpleXmlCore;
  void AssignName(std::string_view name);

  // Placed in an arena by a reader: the lists' storage comes from there too.
  bool InArena() const { return elems_.items_.Arena() != nullptr; }

  std::string name_;
  TSimpleXmlElem* parent_ = nullptr;
  // The lists live inside the element: "created on first access" costs nothing this way.
  TSimpleXmlElems elems_;
  TSimpleXmlProps props_;
};

// Ordinary element: tag, attributes, and either children or a value.
class TSimpleXmlElemClassic : public TSimpleXmlElem {
 public:
  // Reads a start tag, its content and end tag (or an empty-element tag).
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes a self-closing tag, a one-line value, or the children one level deeper.
  void Write(TSimpleXmlWriter& w) const override;
};

// Character data between tags (mixed content).
class TSimpleXmlElemText : public TSimpleXmlElem {
 public:
  // Reads up to the next "<", decoding references and collapsing blanks.
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes the escaped value on its own line; nothing when it is empty.
  void Write(TSimpleXmlWriter& w) const override;
};

// Comment; its value is kept undecoded.
class TSimpleXmlElemComment : public TSimpleXmlElem {
 public:
  // Reads "<!--" up to the first "-->".
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes "<!--value-->".
  void Write(TSimpleXmlWriter& w) const override;
};

// CDATA section; its value is kept undecoded.
class TSimpleXmlElemCData : public TSimpleXmlElem {
 public:
  // Reads "<![CDATA[" up to the first "]]>".
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes "<![CDATA[value]]>".
  void Write(TSimpleXmlWriter& w) const override;
};

// The XML declaration line.
class TSimpleXmlElemHeader : public TSimpleXmlElem {
 public:
  bool Standalone = false;
  std::string Encoding = "iso-8859-1";
  std::string Version = "1.0";

  // Reads "<?xml" attributes "?>" into Version, Encoding and Standalone.
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes the declaration; standalone before encoding, encoding only when set.
  void Write(TSimpleXmlWriter& w) const override;
};

// Document type declaration; Value holds everything between "<!DOCTYPE" and ">", trimmed.
class TSimpleXmlElemDocType : public TSimpleXmlElem {
 public:
  // Reads up to the closing ">", skipping one bracketed internal subset.
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes "<!DOCTYPE value>", never indented.
  void Write(TSimpleXmlWriter& w) const override;
};

// xml-stylesheet declaration; its attributes stay in Props.
class TSimpleXmlElemSheet : public TSimpleXmlElem {
 public:
  // Reads "<?xml-stylesheet" attributes "?>".
  void LoadFromStream(TSimpleXmlInput& in) override;

 protected:
  // Writes "<?xml-stylesheet" attributes "?>".
  void Write(TSimpleXmlWriter& w) const override;
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
  std::vector<TSimpleXmlElem*> items_;  // owned
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
  // Parses a whole document held in memory, as LoadFromStream does.
  void LoadFromBuffer(std::string_view data);
  // Writes the document to a temporary file beside fileName and replaces it; throws EFileError,
  // or TSimpleXmlInvalid (before the file is touched) for a tree that would not read back.
  void SaveToFile(const std::string& fileName);
  // Writes the prolog (a default header when it is empty, which then stays) and the root; throws
  // TSimpleXmlInvalid, writing nothing, for a tree that would not read back as itself.
  void SaveToStream(std::ostream& out);
  // The bytes SaveToStream writes.
  std::string SaveToBuffer();

 private:
  TSimpleXmlArena arena_;  // first member: what it holds goes before it does
  TSimpleXmlElemsProlog prolog_;
  TSimpleXmlElemClassic root_;
  std::size_t sizeHint_ = 0;  // bytes last read or written: the next save's buffer starts there
};

}  // namespace zorvex
