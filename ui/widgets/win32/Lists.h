// The list controls: a list box of text lines, a tree view and a report-style list view, each
// with its entries published as a sub-object over the real control (Items, Columns).
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/widgets/win32/Control.h"

namespace zorvex::widgets {

class TListBox;

// The entries of a list box as a string list (class "TListBoxStrings").
class TListBoxStrings : public TStrings {
 public:
  explicit TListBoxStrings(TListBox& list);
  std::size_t Count() const override;
  std::string Get(std::size_t index) const override;
  // Replaces an entry, keeping its selection.
  void Put(std::size_t index, const std::string& text) override;
  void Add(const std::string& text) override;
  void Clear() override;

 private:
  TListBox& list_;
};

// A list of text entries (class "TListBox"): Items, MultiSelect (Shift and Ctrl extend), ItemHeight.
class TListBox : public TWinControl {
 public:
  TListBox(TWinControl& parent, std::string name, TBounds bounds, bool multiSelect = false);
  // The entries.
  TStrings& Items() { return *items_; }
  // True when several entries can be selected.
  bool MultiSelect() const;
  // Switches multi-select on or off; the entries stay, a single selection keeps the first selected.
  void SetMultiSelect(bool on);
  // Height of every entry in 96-DPI units (taken to the form's density); 0: the font's line height,
  // which ItemHeight then tells in pixels.
  int ItemHeight() const;
  void SetItemHeight(int height);
  // The current entry: the selected one, or with MultiSelect the one with the focus rectangle; -1 when none.
  int ItemIndex() const;
  // Makes index the current entry (-1: none); with MultiSelect it also becomes the only selected one.
  void SetItemIndex(int index);
  // True when entry index is selected.
  bool Selected(int index) const;
  // Selects or unselects entry index (without MultiSelect: makes it the current one, or none).
  void SetSelected(int index, bool on);
  // Number of selected entries.
  int SelCount() const;
  // The first entry shown at the top.
  int TopIndex() const;
  void SetTopIndex(int index);
  // Runs when the user changes the selection (mouse or keys); not when code does.
  std::function<void()> OnClick;
  // Runs on a double click on an entry.
  std::function<void()> OnDblClick;
  // Marks entries with a check mark and a bold face: entry i is marked when marks[i] is true; the
  // first call makes the list draw its entries itself. Marks belong to positions, not to texts.
  void SetMarks(std::vector<bool> marks);
  // True when entry index is marked.
  bool Marked(int index) const;

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void FontChanged() override;

 private:
  // Makes the window again with other style bits, keeping entries, selection and scroll place.
  void Remake(DWORD addStyle, DWORD removeStyle);
  void DrawEntry(const DRAWITEMSTRUCT& draw);

  TListBoxStrings* items_;
  int itemHeight_ = 0;
  std::vector<bool> marks_;
  win32::UniqueFont boldFont_;
};

class TComboBox;

// The entries of a combo box's list (class "TComboBoxStrings").
class TComboBoxStrings : public TStrings {
 public:
  explicit TComboBoxStrings(TComboBox& box);
  std::size_t Count() const override;
  std::string Get(std::size_t index) const override;
  void Put(std::size_t index, const std::string& text) override;
  void Add(const std::string& text) override;
  void Clear() override;

 private:
  TComboBox& box_;
};

// A drop-down list (class "TComboBox"): Items, Text; editable ones take typed text too. Its bounds'
// height is that of the closed box; the list drops below it.
class TComboBox : public TWinControl {
 public:
  TComboBox(TWinControl& parent, std::string name, TBounds bounds, bool editable);
  TStrings& Items() { return *items_; }
  // The entry chosen; -1 when none (or, editable, when the text was typed).
  int ItemIndex() const;
  // Chooses entry index (-1: none), as code: OnChange does not run.
  void SetItemIndex(int index);
  // The text shown: the chosen entry's, or what was typed.
  std::string Text() const;
  void SetText(const std::string& text);
  // Typed text is taken, not only the entries.
  bool Editable() const;
  // Runs when the user chooses an entry or types.
  std::function<void()> OnChange;
  // bounds.Height is the closed box's; the dropped list comes below it.
  void SetBounds(const TBounds& bounds) override;

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  TComboBoxStrings* items_;
};

class TTreeView;

// The nodes of a tree view, each node before its children (class "TTreeViewNodes").
class TTreeViewNodes : public TTreeNodes {
 public:
  explicit TTreeViewNodes(TTreeView& tree);
  std::size_t Count() const override;
  std::string Text(std::size_t index) const override;
  void SetText(std::size_t index, const std::string& text) override;
  // The node at a position over the whole tree; throws std::out_of_range outside it.
  HTREEITEM Node(std::size_t index) const;

 private:
  TTreeView& tree_;
};

// A tree of text nodes (class "TTreeView"): Items, Indent, HotTrack, ShowLines, ShowButtons, ShowRoot, ReadOnly.
class TTreeView : public TWinControl {
 public:
  TTreeView(TWinControl& parent, std::string name, TBounds bounds);
  // The nodes.
  TTreeViewNodes& Items() { return *items_; }
  // Appends a node under parent (null: at the top level) carrying data; returns it.
  HTREEITEM AddNode(HTREEITEM parent, const std::string& text, std::uintptr_t data = 0);
  // Removes every node.
  void Clear();
  // The text and the data of a node.
  std::string NodeText(HTREEITEM node) const;
  std::uintptr_t NodeData(HTREEITEM node) const;
  // The selected node; null when none.
  HTREEITEM Selected() const;
  // Selects node (null: none), as a click does: OnChange runs when the selection changes.
  void Select(HTREEITEM node);
  // Runs after the selection changed, with the newly selected node (possibly null).
  std::function<void(HTREEITEM node)> OnChange;

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void DpiChanged(int oldDpi, int newDpi) override;

 private:
  void PublishStyle(std::string name, DWORD bit, bool inverted = false);
  TTreeViewNodes* items_;
};

class TListView;

// One column of a list view (class "TListColumn"): Caption, Width.
class TListColumn : public TCollectionItem {
 public:
  TListColumn(TListView& view, int index);
  std::string Caption() const;
  void SetCaption(const std::string& text);
  int Width() const;
  void SetWidth(int pixels);

 private:
  TListView& view_;
  int index_;
};

// The items of a list view: caption and one sub-item text per further column (class "TListViewItems").
class TListViewItems : public TListItems {
 public:
  explicit TListViewItems(TListView& view);
  std::size_t Count() const override;
  std::string Caption(std::size_t index) const override;
  // Sets a caption; a sorted view sorts again.
  void SetCaption(std::size_t index, const std::string& text) override;
  std::size_t SubItemCount(std::size_t index) const override;
  std::string SubItem(std::size_t index, std::size_t sub) const override;
  void SetSubItem(std::size_t index, std::size_t sub, const std::string& text) override;
  // Appends an item; a sorted view sorts again.
  void Add(const std::string& caption);
  // Removes item index; throws std::out_of_range outside the list.
  void Delete(std::size_t index);
  // Removes every item.
  void Clear();

 private:
  friend class TListView;
  void Check(std::size_t index) const;
  // Column 0 is the caption, column n sub-item n - 1; no range checks.
  std::string Cell(std::size_t index, std::size_t column) const;
  void SetCell(std::size_t index, std::size_t column, const std::string& text);
  TListView& view_;
};

// A report-style list (class "TListView"): Columns, Items, MultiSelect, GridLines, RowSelect,
// ShowColumnHeaders, HideSelection, ReadOnly, and sorting of the captions with lstrcmpW.
class TListView : public TWinControl {
 public:
  TListView(TWinControl& parent, std::string name, TBounds bounds);
  // The columns.
  TCollection& Columns() { return *columns_; }
  // Appends a column width wide in 96-DPI units; returns it. Column widths follow the density.
  TListColumn& AddColumn(const std::string& caption, int width);
  // Widens each column whose header caption, in the list's font, is wider than the column: a
  // translated header is never cut (the list scrolls sideways instead). With giveFirst, the first
  // column then gives up what the others took, as far as its own caption allows.
  void WidenColumnsToCaptions(bool giveFirst = false);
  // Widens each column to its widest cell, up to maxWidth (96-DPI units); never narrows one. The
  // column yielding (-1: none) then gives up what the list would scroll sideways for, as far as
  // its own caption allows.
  void WidenColumnsToCells(int maxWidth, int yielding = -1);
  // The items.
  TListViewItems& Items() { return *items_; }
  // True when entry index is selected.
  bool Selected(std::size_t index) const;
  void SetSelected(std::size_t index, bool on);
  // Number of selected items.
  int SelCount() const;
  // True while the captions are kept sorted with lstrcmpW (locale-aware, letter case counts).
  bool SortByCaption() const { return sorted_; }
  void SetSortByCaption(bool on);
  // Sorts the items by caption now.
  void Sort();
  // The item with the focus rectangle; -1 when none.
  int ItemFocused() const;
  // Runs when an item is selected or unselected or takes the focus, by the user or by code.
  std::function<void()> OnSelectItem;

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void DpiChanged(int oldDpi, int newDpi) override;

 private:
  void PublishStyle(std::string name, DWORD bit, bool inverted = false);
  void PublishListStyle(std::string name, DWORD bit);
  // The width a column needs to show its caption whole.
  int CaptionWidth(TListColumn& column);
  // Narrows the column by what all of them take beyond the list's width, as far as its caption allows.
  void GiveBackOverflow(std::size_t index);
  TCollection* columns_;
  TListViewItems* items_;
  bool sorted_ = false;
};

}  // namespace zorvex::widgets
