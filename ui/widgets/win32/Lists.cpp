#include "ui/widgets/win32/Lists.h"

#include <algorithm>
#include <stdexcept>

#include "base/Dpi.h"
#include "platform/win32/WideText.h"

namespace zorvex::widgets {

namespace {

// Window titles are at most 1024 characters; texts read back are cut at this many UTF-16 units.
constexpr int kTextMax = 4096;

// A text read into a buffer of kTextMax units that the control ended with a zero.
std::string FromBuffer(const wchar_t* text) { return win32::Narrow(std::wstring(text)); }

}  // namespace

// ---- TListBox ------------------------------------------------------------------------------------

TListBoxStrings::TListBoxStrings(TListBox& list) : list_(list) { DeclareClass("TListBoxStrings"); }

std::size_t TListBoxStrings::Count() const {
  const LRESULT count = ::SendMessageW(list_.Handle(), LB_GETCOUNT, 0, 0);
  return count > 0 ? static_cast<std::size_t>(count) : 0;
}

std::string TListBoxStrings::Get(std::size_t index) const {
  if (index >= Count()) throw std::out_of_range("list box entry index out of range");
  const LRESULT length = ::SendMessageW(list_.Handle(), LB_GETTEXTLEN, index, 0);
  std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  const LRESULT got = ::SendMessageW(list_.Handle(), LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  return win32::Narrow(text.data(), static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
}

void TListBoxStrings::Put(std::size_t index, const std::string& text) {
  if (index >= Count()) throw std::out_of_range("list box entry index out of range");
  const int at = static_cast<int>(index);
  const bool selected = list_.Selected(at);
  ::SendMessageW(list_.Handle(), LB_DELETESTRING, index, 0);
  ::SendMessageW(list_.Handle(), LB_INSERTSTRING, index, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
  if (selected) list_.SetSelected(at, true);
}

void TListBoxStrings::Add(const std::string& text) {
  ::SendMessageW(list_.Handle(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
}

void TListBoxStrings::Clear() { ::SendMessageW(list_.Handle(), LB_RESETCONTENT, 0, 0); }

TComboBoxStrings::TComboBoxStrings(TComboBox& box) : box_(box) { DeclareClass("TComboBoxStrings"); }

std::size_t TComboBoxStrings::Count() const {
  const LRESULT count = ::SendMessageW(box_.Handle(), CB_GETCOUNT, 0, 0);
  return count > 0 ? static_cast<std::size_t>(count) : 0;
}

std::string TComboBoxStrings::Get(std::size_t index) const {
  if (index >= Count()) throw std::out_of_range("combo box entry index out of range");
  const LRESULT length = ::SendMessageW(box_.Handle(), CB_GETLBTEXTLEN, index, 0);
  std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  const LRESULT got = ::SendMessageW(box_.Handle(), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
  return win32::Narrow(text.data(), static_cast<std::size_t>(std::max<LRESULT>(got, 0)));
}

void TComboBoxStrings::Put(std::size_t index, const std::string& text) {
  if (index >= Count()) throw std::out_of_range("combo box entry index out of range");
  const bool chosen = box_.ItemIndex() == static_cast<int>(index);
  ::SendMessageW(box_.Handle(), CB_DELETESTRING, index, 0);
  ::SendMessageW(box_.Handle(), CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
  if (chosen) box_.SetItemIndex(static_cast<int>(index));
}

void TComboBoxStrings::Add(const std::string& text) {
  ::SendMessageW(box_.Handle(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
}

void TComboBoxStrings::Clear() {
  // Emptying the list of an editable box keeps its text, as the user typed it.
  const std::string text = box_.Text();
  ::SendMessageW(box_.Handle(), CB_RESETCONTENT, 0, 0);
  if (box_.Editable()) box_.SetText(text);
}

namespace {
// The height of the dropped list below a combo box.
constexpr int kDroppedListHeight = 160;
}  // namespace

TComboBox::TComboBox(TWinControl& parent, std::string name, TBounds bounds, bool editable)
    : TWinControl(parent, std::move(name)) {
  DeclareClass("TComboBox");
  TBounds withList = bounds;
  withList.Height += FromDesign(kDroppedListHeight);
  const DWORD kind = editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST;
  CreateHandle(TWindowParams{"COMBOBOX", kind | WS_VSCROLL | WS_TABSTOP, 0, withList, ""});
  items_ = &PublishOwned("Items", std::make_unique<TComboBoxStrings>(*this));
  PublishString("Text", [this] { return Text(); }, [this](const std::string& v) { SetText(v); });
}

int TComboBox::ItemIndex() const { return static_cast<int>(::SendMessageW(Handle(), CB_GETCURSEL, 0, 0)); }

void TComboBox::SetItemIndex(int index) { ::SendMessageW(Handle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0); }

bool TComboBox::Editable() const { return (::GetWindowLongW(Handle(), GWL_STYLE) & 0x3) == CBS_DROPDOWN; }

std::string TComboBox::Text() const {
  const int index = ItemIndex();
  return !Editable() && index >= 0 ? items_->Get(static_cast<std::size_t>(index)) : Caption();
}

void TComboBox::SetText(const std::string& text) {
  if (Text() == text) return;
  if (Editable()) {
    SetCaption(text);
    return;
  }
  const LRESULT found = ::SendMessageW(Handle(), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(win32::Widen(text).c_str()));
  SetItemIndex(found == CB_ERR ? -1 : static_cast<int>(found));
}

bool TComboBox::Notified(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message != WM_COMMAND) return false;
  const WORD code = HIWORD(wParam);
  if (code != CBN_SELCHANGE && code != CBN_EDITCHANGE) return false;
  // The box's text is still the old one while the choice is being made: the handler reads it after.
  if (code == CBN_SELCHANGE && Editable() && ItemIndex() >= 0) SetCaption(items_->Get(static_cast<std::size_t>(ItemIndex())));
  if (OnChange) OnChange();
  result = 0;
  return true;
}

TListBox::TListBox(TWinControl& parent, std::string name, TBounds bounds, bool multiSelect)
    : TWinControl(parent, std::move(name)) {
  DeclareClass("TListBox");
  const DWORD style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | (multiSelect ? LBS_EXTENDEDSEL : 0);
  CreateHandle(TWindowParams{"LISTBOX", style, WS_EX_CLIENTEDGE, bounds, ""});
  items_ = &PublishOwned("Items", std::make_unique<TListBoxStrings>(*this));
  PublishBoolean("MultiSelect", [this] { return MultiSelect(); }, [this](bool v) { SetMultiSelect(v); });
  PublishInteger("ItemHeight", [this] { return ItemHeight(); }, [this](std::int32_t v) { SetItemHeight(v); }, 0, 255);
}

bool TListBox::MultiSelect() const {
  return (::GetWindowLongW(Handle(), GWL_STYLE) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0;
}

void TListBox::SetMultiSelect(bool on) {
  if (MultiSelect() == on) return;
  // A list box takes its selection style only when made.
  Remake(on ? LBS_EXTENDEDSEL : 0, on ? 0 : (LBS_EXTENDEDSEL | LBS_MULTIPLESEL));
}

void TListBox::Remake(DWORD addStyle, DWORD removeStyle) {
  std::vector<std::string> entries;
  std::vector<int> selected;
  for (std::size_t i = 0; i < items_->Count(); ++i) {
    entries.push_back(items_->Get(i));
    if (Selected(static_cast<int>(i))) selected.push_back(static_cast<int>(i));
  }
  const int top = TopIndex();
  RecreateHandle(addStyle, removeStyle);
  for (const std::string& entry : entries) items_->Add(entry);
  if (itemHeight_ > 0) ::SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, itemHeight_);
  if (MultiSelect()) {
    for (int index : selected) SetSelected(index, true);
  } else if (!selected.empty()) {
    SetItemIndex(selected.front());
  }
  SetTopIndex(top);
}

void TListBox::SetMarks(std::vector<bool> marks) {
  // Owner drawing is chosen only when made, and only lists with marks need it.
  if ((::GetWindowLongW(Handle(), GWL_STYLE) & LBS_OWNERDRAWFIXED) == 0) Remake(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, 0);
  if (marks == marks_) return;
  marks_ = std::move(marks);
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

bool TListBox::Marked(int index) const {
  return index >= 0 && static_cast<std::size_t>(index) < marks_.size() && marks_[static_cast<std::size_t>(index)];
}

void TListBox::DrawEntry(const DRAWITEMSTRUCT& draw) {
  HDC dc = draw.hDC;
  RECT r = draw.rcItem;
  if (draw.itemID == static_cast<UINT>(-1)) {
    // An empty list with the focus still shows where it is.
    if (draw.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &r);
    return;
  }
  const int index = static_cast<int>(draw.itemID);
  const bool selected = (draw.itemState & ODS_SELECTED) != 0;
  ::FillRect(dc, &r, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  const int height = r.bottom - r.top;
  // The mark and the margins are designed at 96 DPI.
  const auto px = [this](int length) { return FromDesign(length); };
  RECT box{r.left + px(2), r.top, r.left + px(2) + height, r.bottom};
  if (Marked(index)) {
    // Drawn, not a glyph: the symbol fonts are not on every system (Wine's prefixes lack Marlett).
    win32::UniqueHandle<HPEN, win32::DeleteObjectCloser> pen(::CreatePen(PS_SOLID, px(2), ::GetTextColor(dc)));
    HGDIOBJ old = ::SelectObject(dc, pen ? static_cast<HGDIOBJ>(pen.get()) : ::GetStockObject(BLACK_PEN));
    const int mid = (box.top + box.bottom) / 2;
    const POINT check[] = {{box.left + px(2), mid}, {box.left + px(5), mid + px(3)}, {box.left + px(10), mid - px(3)}};
    ::Polyline(dc, check, 3);
    ::SelectObject(dc, old);
    if (!boldFont_) {
      LOGFONTW font{};
      ::GetObjectW(FontHandle(), sizeof font, &font);
      font.lfWeight = FW_BOLD;
      boldFont_.reset(::CreateFontIndirectW(&font));
    }
  }
  const int length = static_cast<int>(::SendMessageW(Handle(), LB_GETTEXTLEN, draw.itemID, 0));
  std::wstring text(length > 0 ? static_cast<std::size_t>(length) : 0u, L'\0');
  if (length > 0) ::SendMessageW(Handle(), LB_GETTEXT, draw.itemID, reinterpret_cast<LPARAM>(&text[0]));
  HFONT face = Marked(index) && boldFont_ ? boldFont_.get() : FontHandle();
  HGDIOBJ old = ::SelectObject(dc, face);
  RECT textBox{box.right + px(2), r.top, r.right - px(2), r.bottom};
  ::DrawTextW(dc, text.c_str(), -1, &textBox, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  ::SelectObject(dc, old);
  if (draw.itemState & ODS_FOCUS) ::DrawFocusRect(dc, &r);
}

void TComboBox::SetBounds(const TBounds& bounds) {
  TBounds withList = bounds;
  withList.Height += FromDesign(kDroppedListHeight);
  TWinControl::SetBounds(withList);
}

int TListBox::ItemHeight() const {
  return itemHeight_ > 0 ? itemHeight_ : static_cast<int>(::SendMessageW(Handle(), LB_GETITEMHEIGHT, 0, 0));
}

void TListBox::SetItemHeight(int height) {
  itemHeight_ = height;
  if (height > 0) {
    ::SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, FromDesign(height));
  } else {
    // The font again decides the height.
    ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FontHandle()), TRUE);
  }
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

void TListBox::FontChanged() {
  // A new font resets the entry height to the font's.
  if (itemHeight_ > 0) ::SendMessageW(Handle(), LB_SETITEMHEIGHT, 0, FromDesign(itemHeight_));
  boldFont_.reset();
}

int TListBox::ItemIndex() const {
  if (!MultiSelect()) return static_cast<int>(::SendMessageW(Handle(), LB_GETCURSEL, 0, 0));
  if (items_->Count() == 0) return -1;
  return static_cast<int>(::SendMessageW(Handle(), LB_GETCARETINDEX, 0, 0));
}

void TListBox::SetItemIndex(int index) {
  if (!MultiSelect()) {
    ::SendMessageW(Handle(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    return;
  }
  ::SendMessageW(Handle(), LB_SETSEL, FALSE, -1);
  if (index >= 0) {
    ::SendMessageW(Handle(), LB_SETSEL, TRUE, index);
    ::SendMessageW(Handle(), LB_SETCARETINDEX, static_cast<WPARAM>(index), FALSE);
  }
}

bool TListBox::Selected(int index) const { return ::SendMessageW(Handle(), LB_GETSEL, static_cast<WPARAM>(index), 0) > 0; }

void TListBox::SetSelected(int index, bool on) {
  if (MultiSelect()) {
    ::SendMessageW(Handle(), LB_SETSEL, on ? TRUE : FALSE, index);
  } else if (on) {
    SetItemIndex(index);
  } else if (ItemIndex() == index) {
    SetItemIndex(-1);
  }
}

int TListBox::SelCount() const {
  if (MultiSelect()) return static_cast<int>(::SendMessageW(Handle(), LB_GETSELCOUNT, 0, 0));
  return ItemIndex() >= 0 ? 1 : 0;
}

int TListBox::TopIndex() const { return static_cast<int>(::SendMessageW(Handle(), LB_GETTOPINDEX, 0, 0)); }

void TListBox::SetTopIndex(int index) { ::SendMessageW(Handle(), LB_SETTOPINDEX, static_cast<WPARAM>(index), 0); }

bool TListBox::Notified(HWND, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_DRAWITEM) {
    DrawEntry(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    result = TRUE;
    return true;
  }
  if (message != WM_COMMAND) return false;
  if (HIWORD(wParam) == LBN_SELCHANGE) {
    if (OnClick) OnClick();
  } else if (HIWORD(wParam) == LBN_DBLCLK) {
    if (OnDblClick) OnDblClick();
  } else {
    return false;
  }
  result = 0;
  return true;
}

// ---- TTreeView -----------------------------------------------------------------------------------

TTreeViewNodes::TTreeViewNodes(TTreeView& tree) : tree_(tree) { DeclareClass("TTreeViewNodes"); }

std::size_t TTreeViewNodes::Count() const {
  return static_cast<std::size_t>(::SendMessageW(tree_.Handle(), TVM_GETCOUNT, 0, 0));
}

HTREEITEM TTreeViewNodes::Node(std::size_t index) const {
  HWND tree = tree_.Handle();
  auto next = [tree](UINT relation, HTREEITEM node) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(node)));
  };
  std::size_t position = 0;
  for (HTREEITEM node = next(TVGN_ROOT, nullptr); node != nullptr;) {
    if (position++ == index) return node;
    // Each node before its children, then its next sibling, else the next sibling of an ancestor.
    HTREEITEM following = next(TVGN_CHILD, node);
    for (HTREEITEM up = node; following == nullptr && up != nullptr; up = next(TVGN_PARENT, up)) {
      following = next(TVGN_NEXT, up);
    }
    node = following;
  }
  throw std::out_of_range("tree node index out of range");
}

std::string TTreeViewNodes::Text(std::size_t index) const { return tree_.NodeText(Node(index)); }

void TTreeViewNodes::SetText(std::size_t index, const std::string& text) {
  std::wstring wide = win32::Widen(text);
  TVITEMW item{};
  item.mask = TVIF_TEXT | TVIF_HANDLE;
  item.hItem = Node(index);
  item.pszText = &wide[0];
  ::SendMessageW(tree_.Handle(), TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

TTreeView::TTreeView(TWinControl& parent, std::string name, TBounds bounds) : TWinControl(parent, std::move(name)) {
  DeclareClass("TTreeView");
  CreateHandle(TWindowParams{"SysTreeView32", TVS_HASLINES | TVS_HASBUTTONS | TVS_LINESATROOT | TVS_SHOWSELALWAYS | WS_TABSTOP,
                             WS_EX_CLIENTEDGE, bounds, ""});
  items_ = &PublishOwned("Items", std::make_unique<TTreeViewNodes>(*this));
  PublishInteger("Indent", [this] { return static_cast<std::int32_t>(::SendMessageW(Handle(), TVM_GETINDENT, 0, 0)); },
                 [this](std::int32_t v) { ::SendMessageW(Handle(), TVM_SETINDENT, static_cast<WPARAM>(v), 0); }, 0);
  PublishStyle("HotTrack", TVS_TRACKSELECT);
  PublishStyle("ShowLines", TVS_HASLINES);
  PublishStyle("ShowButtons", TVS_HASBUTTONS);
  PublishStyle("ShowRoot", TVS_LINESATROOT);
  PublishStyle("ReadOnly", TVS_EDITLABELS, true);
}

void TTreeView::PublishStyle(std::string name, DWORD bit, bool inverted) {
  PublishBoolean(
      std::move(name), [this, bit, inverted] { return ((::GetWindowLongW(Handle(), GWL_STYLE) & bit) != 0) != inverted; },
      [this, bit, inverted](bool v) { SetStyleBits(bit, v != inverted); });
}

HTREEITEM TTreeView::AddNode(HTREEITEM parent, const std::string& text, std::uintptr_t data) {
  std::wstring wide = win32::Widen(text);
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent != nullptr ? parent : TVI_ROOT;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = &wide[0];
  insert.item.lParam = static_cast<LPARAM>(data);
  auto node = reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
  if (node == nullptr) throw std::runtime_error("cannot add a node to " + Name());
  return node;
}

void TTreeView::Clear() { ::SendMessageW(Handle(), TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)); }

std::string TTreeView::NodeText(HTREEITEM node) const {
  wchar_t text[kTextMax] = {};
  TVITEMW item{};
  item.mask = TVIF_TEXT | TVIF_HANDLE;
  item.hItem = node;
  item.pszText = text;
  item.cchTextMax = kTextMax;
  ::SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return item.pszText != nullptr ? FromBuffer(item.pszText) : std::string();
}

std::uintptr_t TTreeView::NodeData(HTREEITEM node) const {
  TVITEMW item{};
  item.mask = TVIF_PARAM | TVIF_HANDLE;
  item.hItem = node;
  ::SendMessageW(Handle(), TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  return static_cast<std::uintptr_t>(item.lParam);
}

HTREEITEM TTreeView::Selected() const {
  return reinterpret_cast<HTREEITEM>(::SendMessageW(Handle(), TVM_GETNEXTITEM, TVGN_CARET, 0));
}

void TTreeView::Select(HTREEITEM node) {
  ::SendMessageW(Handle(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
}

void TTreeView::DpiChanged(int oldDpi, int newDpi) {
  const auto indent = static_cast<int>(::SendMessageW(Handle(), TVM_GETINDENT, 0, 0));
  ::SendMessageW(Handle(), TVM_SETINDENT, static_cast<WPARAM>(ScaleLength(indent, oldDpi, newDpi)), 0);
}

bool TTreeView::Notified(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_NOTIFY) return false;
  const auto* header = reinterpret_cast<const NMHDR*>(lParam);
  // Which of the two codes arrives depends on how the parent window answers WM_NOTIFYFORMAT.
  if (header->code != TVN_SELCHANGEDA && header->code != TVN_SELCHANGEDW) return false;
  // The item handle sits at the same place in both forms of the notice.
  if (OnChange) OnChange(reinterpret_cast<const NMTREEVIEWW*>(lParam)->itemNew.hItem);
  result = 0;
  return true;
}

// ---- TListView -----------------------------------------------------------------------------------

TListColumn::TListColumn(TListView& view, int index) : view_(view), index_(index) {
  DeclareClass("TListColumn");
  PublishString("Caption", [this] { return Caption(); }, [this](const std::string& v) { SetCaption(v); });
  PublishInteger("Width", [this] { return Width(); }, [this](std::int32_t v) { SetWidth(v); }, 0);
}

std::string TListColumn::Caption() const {
  wchar_t text[kTextMax] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = text;
  column.cchTextMax = kTextMax;
  ::SendMessageW(view_.Handle(), LVM_GETCOLUMNW, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&column));
  return column.pszText != nullptr ? FromBuffer(column.pszText) : std::string();
}

void TListColumn::SetCaption(const std::string& text) {
  std::wstring wide = win32::Widen(text);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = &wide[0];
  ::SendMessageW(view_.Handle(), LVM_SETCOLUMNW, static_cast<WPARAM>(index_), reinterpret_cast<LPARAM>(&column));
}

int TListColumn::Width() const {
  return static_cast<int>(::SendMessageW(view_.Handle(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index_), 0));
}

void TListColumn::SetWidth(int pixels) {
  ::SendMessageW(view_.Handle(), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index_), MAKELPARAM(pixels, 0));
}

TListViewItems::TListViewItems(TListView& view) : view_(view) { DeclareClass("TListViewItems"); }

std::size_t TListViewItems::Count() const {
  return static_cast<std::size_t>(::SendMessageW(view_.Handle(), LVM_GETITEMCOUNT, 0, 0));
}

void TListViewItems::Check(std::size_t index) const {
  if (index >= Count()) throw std::out_of_range("list view item index out of range");
}

std::string TListViewItems::Caption(std::size_t index) const {
  Check(index);
  return Cell(index, 0);
}

void TListViewItems::SetCaption(std::size_t index, const std::string& text) {
  Check(index);
  SetCell(index, 0, text);
  if (view_.SortByCaption()) view_.Sort();
}

std::size_t TListViewItems::SubItemCount(std::size_t index) const {
  Check(index);
  const std::size_t columns = view_.Columns().Count();
  return columns > 0 ? columns - 1 : 0;
}

std::string TListViewItems::SubItem(std::size_t index, std::size_t sub) const {
  if (sub >= SubItemCount(index)) throw std::out_of_range("list view sub-item index out of range");
  return Cell(index, sub + 1);
}

void TListViewItems::SetSubItem(std::size_t index, std::size_t sub, const std::string& text) {
  if (sub >= SubItemCount(index)) throw std::out_of_range("list view sub-item index out of range");
  SetCell(index, sub + 1, text);
}

std::string TListViewItems::Cell(std::size_t index, std::size_t column) const {
  wchar_t text[kTextMax] = {};
  LVITEMW item{};
  item.iSubItem = static_cast<int>(column);
  item.pszText = text;
  item.cchTextMax = kTextMax;
  ::SendMessageW(view_.Handle(), LVM_GETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  return FromBuffer(text);
}

void TListViewItems::SetCell(std::size_t index, std::size_t column, const std::string& text) {
  std::wstring wide = win32::Widen(text);
  LVITEMW item{};
  item.iSubItem = static_cast<int>(column);
  item.pszText = &wide[0];
  ::SendMessageW(view_.Handle(), LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
}

void TListViewItems::Add(const std::string& caption) {
  std::wstring wide = win32::Widen(caption);
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(Count());
  item.pszText = &wide[0];
  if (::SendMessageW(view_.Handle(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)) < 0) {
    throw std::runtime_error("cannot add an item to " + view_.Name());
  }
  if (view_.SortByCaption()) view_.Sort();
}

void TListViewItems::Delete(std::size_t index) {
  Check(index);
  ::SendMessageW(view_.Handle(), LVM_DELETEITEM, index, 0);
}

void TListViewItems::Clear() { ::SendMessageW(view_.Handle(), LVM_DELETEALLITEMS, 0, 0); }

TListView::TListView(TWinControl& parent, std::string name, TBounds bounds) : TWinControl(parent, std::move(name)) {
  DeclareClass("TListView");
  CreateHandle(TWindowParams{"SysListView32", LVS_REPORT | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE, bounds, ""});
  columns_ = &PublishOwned("Columns", std::make_unique<TCollection>());
  items_ = &PublishOwned("Items", std::make_unique<TListViewItems>(*this));
  PublishStyle("MultiSelect", LVS_SINGLESEL, true);
  PublishStyle("ShowColumnHeaders", LVS_NOCOLUMNHEADER, true);
  PublishStyle("HideSelection", LVS_SHOWSELALWAYS, true);
  PublishStyle("ReadOnly", LVS_EDITLABELS, true);
  PublishListStyle("GridLines", LVS_EX_GRIDLINES);
  PublishListStyle("RowSelect", LVS_EX_FULLROWSELECT);
}

void TListView::PublishStyle(std::string name, DWORD bit, bool inverted) {
  PublishBoolean(
      std::move(name), [this, bit, inverted] { return ((::GetWindowLongW(Handle(), GWL_STYLE) & bit) != 0) != inverted; },
      [this, bit, inverted](bool v) { SetStyleBits(bit, v != inverted); });
}

void TListView::PublishListStyle(std::string name, DWORD bit) {
  PublishBoolean(
      std::move(name),
      [this, bit] { return (::SendMessageW(Handle(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & bit) != 0; },
      [this, bit](bool v) { ::SendMessageW(Handle(), LVM_SETEXTENDEDLISTVIEWSTYLE, bit, v ? bit : 0); });
}

TListColumn& TListView::AddColumn(const std::string& caption, int width) {
  const int index = static_cast<int>(columns_->Count());
  std::wstring wide = win32::Widen(caption);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.cx = FromDesign(width);
  column.pszText = &wide[0];
  column.iSubItem = index;
  if (::SendMessageW(Handle(), LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)) < 0) {
    throw std::runtime_error("cannot add a column to " + Name());
  }
  return columns_->Add<TListColumn>(*this, index);
}

int TListView::CaptionWidth(TListColumn& column) {
  // The header's own margins and the room a sort mark takes beside the text.
  const std::wstring caption = win32::Widen(column.Caption());
  return static_cast<int>(::SendMessageW(Handle(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(caption.c_str()))) +
         FromDesign(18);
}

void TListView::GiveBackOverflow(std::size_t index) {
  RECT client{};
  if (index >= columns_->Count() || !::GetClientRect(Handle(), &client)) return;
  int total = 0;
  for (std::size_t i = 0; i < columns_->Count(); ++i) total += static_cast<TListColumn&>(columns_->Item(i)).Width();
  auto& column = static_cast<TListColumn&>(columns_->Item(index));
  const int over = total - (client.right - client.left);
  if (over > 0) column.SetWidth(std::max(CaptionWidth(column), column.Width() - over));
}

void TListView::WidenColumnsToCaptions(bool giveFirst) {
  for (std::size_t i = 0; i < columns_->Count(); ++i) {
    auto& column = static_cast<TListColumn&>(columns_->Item(i));
    const int needed = CaptionWidth(column);
    if (column.Width() < needed) column.SetWidth(needed);
  }
  if (giveFirst) GiveBackOverflow(0);
}

void TListView::WidenColumnsToCells(int maxWidth, int yielding) {
  const int cap = FromDesign(maxWidth);
  for (std::size_t i = 0; i < columns_->Count(); ++i) {
    auto& column = static_cast<TListColumn&>(columns_->Item(i));
    const int before = column.Width();
    // The control measures its cells with their own margins, in its own font.
    ::SendMessageW(Handle(), LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), LVSCW_AUTOSIZE);
    column.SetWidth(std::max(before, std::min(column.Width(), cap)));
  }
  if (yielding >= 0) GiveBackOverflow(static_cast<std::size_t>(yielding));
}

void TListView::DpiChanged(int oldDpi, int newDpi) {
  for (std::size_t i = 0; i < columns_->Count(); ++i) {
    auto& column = static_cast<TListColumn&>(columns_->Item(i));
    column.SetWidth(ScaleLength(column.Width(), oldDpi, newDpi));
  }
}

bool TListView::Selected(std::size_t index) const {
  return (::SendMessageW(Handle(), LVM_GETITEMSTATE, index, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

void TListView::SetSelected(std::size_t index, bool on) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED;
  item.state = on ? LVIS_SELECTED : 0;
  ::SendMessageW(Handle(), LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
}

int TListView::SelCount() const { return static_cast<int>(::SendMessageW(Handle(), LVM_GETSELECTEDCOUNT, 0, 0)); }

int TListView::ItemFocused() const {
  return static_cast<int>(::SendMessageW(Handle(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

bool TListView::Notified(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_NOTIFY) return false;
  const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
  if (change->hdr.code != LVN_ITEMCHANGED || (change->uChanged & LVIF_STATE) == 0) return false;
  if (((change->uNewState ^ change->uOldState) & (LVIS_SELECTED | LVIS_FOCUSED)) == 0) return false;
  if (OnSelectItem) OnSelectItem();
  result = 0;
  return true;
}

void TListView::SetSortByCaption(bool on) {
  sorted_ = on;
  if (on) Sort();
}

void TListView::Sort() {
  // Rows are read, sorted and written back whole, texts and selection together; a stable sort
  // keeps equal captions in the order they had.
  struct Row {
    std::vector<std::string> texts;
    std::wstring key;  // the caption as the comparison takes it
    UINT state;
  };
  const std::size_t count = items_->Count();
  const std::size_t columns = std::max<std::size_t>(columns_->Count(), 1);
  std::vector<Row> rows(count);
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t c = 0; c < columns; ++c) rows[i].texts.push_back(items_->Cell(i, c));
    rows[i].key = win32::Widen(rows[i].texts[0]);
    rows[i].state = static_cast<UINT>(::SendMessageW(Handle(), LVM_GETITEMSTATE, i, LVIS_SELECTED | LVIS_FOCUSED));
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return ::lstrcmpW(a.key.c_str(), b.key.c_str()) < 0; });
  for (std::size_t i = 0; i < count; ++i) {
    for (std::size_t c = 0; c < columns; ++c) items_->SetCell(i, c, rows[i].texts[c]);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = rows[i].state;
    ::SendMessageW(Handle(), LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
  }
}

}  // namespace zorvex::widgets
