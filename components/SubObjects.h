// The sub-objects that properties hold: string lists, tree nodes, list view items, collections and
// fonts. Each base is recognised by its class name; the Win32 controls derive their own versions
// that work on the window, the plain ones here keep everything in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Text.h"
#include "components/Persistent.h"

namespace zorvex::widgets {

// A list of text lines with indexed access (class "TStrings").
class TStrings : public TPersistent {
 public:
  // A list of class "TStrings".
  TStrings() { DeclareClass("TStrings"); }
  // Number of lines.
  virtual std::size_t Count() const = 0;
  // Line index; throws std::out_of_range outside the list.
  virtual std::string Get(std::size_t index) const = 0;
  // Replaces line index; throws std::out_of_range outside the list.
  virtual void Put(std::size_t index, const std::string& text) = 0;
  // Appends a line.
  virtual void Add(const std::string& text) = 0;
  // Removes every line.
  virtual void Clear() = 0;
  // Replaces all lines by the lines of text (SplitLines).
  virtual void SetText(std::string_view text);
  // Every line followed by CR LF.
  std::string Text() const;
};

// A string list in memory.
class TStringList : public TStrings {
 public:
  // An empty list of class "TStringList".
  TStringList() { DeclareClass("TStringList"); }
  // A list holding lines, in order.
  explicit TStringList(std::vector<std::string> lines) : TStringList() { lines_ = std::move(lines); }
  // The TStrings operations over the lines in memory.
  std::size_t Count() const override { return lines_.size(); }
  std::string Get(std::size_t index) const override { return lines_.at(index); }
  void Put(std::size_t index, const std::string& text) override { lines_.at(index) = text; }
  void Add(const std::string& text) override { lines_.push_back(text); }
  void Clear() override { lines_.clear(); }
  // The lines themselves.
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

// The nodes of a tree view, addressed by their position over the whole tree, each node before its
// children (class "TTreeNodes").
class TTreeNodes : public TPersistent {
 public:
  // Nodes of class "TTreeNodes".
  TTreeNodes() { DeclareClass("TTreeNodes"); }
  // Number of nodes in the whole tree.
  virtual std::size_t Count() const = 0;
  // The text of the node at index; throws std::out_of_range outside the tree.
  virtual std::string Text(std::size_t index) const = 0;
  // Sets the text of the node at index; throws std::out_of_range outside the tree.
  virtual void SetText(std::size_t index, const std::string& text) = 0;
};

// A tree of text nodes in memory.
class TPlainTreeNodes : public TTreeNodes {
 public:
  // One node and the nodes under it, in order.
  struct TNode {
    std::string Text;                              // the node's caption
    std::vector<std::unique_ptr<TNode>> Children;  // the nodes under it
  };

  // An empty tree of class "TPlainTreeNodes".
  TPlainTreeNodes() { DeclareClass("TPlainTreeNodes"); }
  // Appends a node under parent (at the top level when parent is null); returns it.
  TNode& Add(TNode* parent, std::string text);
  // The top-level nodes.
  const std::vector<std::unique_ptr<TNode>>& Roots() const { return roots_; }
  // The TTreeNodes operations; a look-up walks the tree from its first node.
  std::size_t Count() const override { return count_; }
  std::string Text(std::size_t index) const override { return At(index).Text; }
  void SetText(std::size_t index, const std::string& text) override { At(index).Text = text; }

 private:
  TNode& At(std::size_t index) const;

  std::vector<std::unique_ptr<TNode>> roots_;
  std::size_t count_ = 0;
};

// The items of a list view, each with a caption and sub-item texts (class "TListItems").
class TListItems : public TPersistent {
 public:
  // Items of class "TListItems".
  TListItems() { DeclareClass("TListItems"); }
  // Number of items.
  virtual std::size_t Count() const = 0;
  // The caption of item index; throws std::out_of_range outside the list.
  virtual std::string Caption(std::size_t index) const = 0;
  // Sets the caption of item index; throws std::out_of_range outside the list.
  virtual void SetCaption(std::size_t index, const std::string& text) = 0;
  // Number of sub-item texts of item index; throws std::out_of_range outside the list.
  virtual std::size_t SubItemCount(std::size_t index) const = 0;
  // Sub-item text sub of item index; throws std::out_of_range outside either list.
  virtual std::string SubItem(std::size_t index, std::size_t sub) const = 0;
  // Sets sub-item text sub of item index; throws std::out_of_range outside either list.
  virtual void SetSubItem(std::size_t index, std::size_t sub, const std::string& text) = 0;
};

// List view items in memory.
class TPlainListItems : public TListItems {
 public:
  // An empty list of class "TPlainListItems".
  TPlainListItems() { DeclareClass("TPlainListItems"); }
  // Appends an item.
  void Add(std::string caption, std::vector<std::string> subItems = {});
  // The TListItems operations over the items in memory.
  std::size_t Count() const override { return items_.size(); }
  std::string Caption(std::size_t index) const override { return items_.at(index).caption; }
  void SetCaption(std::size_t index, const std::string& text) override { items_.at(index).caption = text; }
  std::size_t SubItemCount(std::size_t index) const override { return items_.at(index).subItems.size(); }
  std::string SubItem(std::size_t index, std::size_t sub) const override { return items_.at(index).subItems.at(sub); }
  void SetSubItem(std::size_t index, std::size_t sub, const std::string& text) override {
    items_.at(index).subItems.at(sub) = text;
  }

 private:
  struct Item {
    std::string caption;
    std::vector<std::string> subItems;
  };
  std::vector<Item> items_;
};

class TCollection;

// An item of a collection: an object with properties (class "TCollectionItem").
class TCollectionItem : public TPersistent {
 public:
  // An item of class "TCollectionItem" that belongs to no collection yet.
  TCollectionItem() { DeclareClass("TCollectionItem"); }
  // The collection that holds the item; null before it joins one.
  TCollection* Collection() const { return collection_; }

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
};

// An ordered list of items that it owns (class "TCollection").
class TCollection : public TPersistent {
 public:
  // An empty collection of class "TCollection".
  TCollection() { DeclareClass("TCollection"); }
  // Makes a T from args and appends it; returns it.
  template <class T, class... Args>
  T& Add(Args&&... args) {
    auto item = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *item;
    static_cast<TCollectionItem&>(ref).collection_ = this;
    items_.push_back(std::move(item));
    return ref;
  }
  // Number of items.
  std::size_t Count() const { return items_.size(); }
  // The item at a 0-based position; throws std::out_of_range outside the list.
  TCollectionItem& Item(std::size_t index) const { return *items_.at(index); }
  // Destroys every item.
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TCollectionItem>> items_;
};

// A collection item with a Caption and a Width, like a list view column.
class TPlainCollectionItem : public TCollectionItem {
 public:
  // An item of class "TPlainCollectionItem".
  explicit TPlainCollectionItem(std::string caption = {}, std::int32_t width = 0);

  std::string Caption;     // published as a long string
  std::int32_t Width = 0;  // published as an integer
};

// fsBold, fsItalic, fsUnderline, fsStrikeOut.
const TEnumType& FontStyleType();
// fpDefault, fpVariable, fpFixed.
const TEnumType& FontPitchType();

// A font description (class "TFont"): Name, Size, Height, Style, Pitch, Color, Charset.
class TFont : public TPersistent {
 public:
  // Style bits by FontStyleType ordinal.
  static constexpr TSetValue kBold = 1u << 0, kItalic = 1u << 1, kUnderline = 1u << 2, kStrikeOut = 1u << 3;
  // Points are converted to pixels at this density.
  static constexpr int kPixelsPerInch = 96;

  // Arial, 8 points (character height 11 pixels), plain, black, default character set.
  TFont();

  std::string Name = "Arial";  // face name
  std::int32_t Height = -11;   // negative: character height in pixels; positive: cell height
  TSetValue Style = 0;         // kBold | kItalic | kUnderline | kStrikeOut
  int Pitch = 0;               // FontPitchType ordinal
  std::int32_t Color = 0;      // 0x00BBGGRR
  std::int32_t Charset = 1;    // 0..255; 1 is the system's default character set
  // Runs after a property has been set, so that a control can rebuild its font.
  std::function<void()> OnChange;

  // The size in points that Height stands for, rounded.
  std::int32_t Size() const;
  // Sets Height from a size in points.
  void SetSize(std::int32_t points);

 private:
  void Changed() const;
};

}  // namespace zorvex::widgets
