// The simple controls: labels, a link label, push buttons, check boxes, radio buttons, single- and
// multi-line edits, bevels and pictures. Each publishes its text and state over its window.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "ui/widgets/win32/Control.h"
#include "ui/widgets/win32/Form.h"

namespace zorvex::widgets {

// The width a check box's or radio button's mark and the gap after it take at dpi, before the text.
int CheckMarkRoom(int dpi);

// Static text on the parent's background (class "TLabel"): Caption; AutoSize and WordWrap as made.
// One that does not size itself still grows to the width of a single line of text.
class TLabel : public TWinControl {
 public:
  // A label at bounds; with autoSize its size follows caption and font (wrapping ones keep their width).
  TLabel(TWinControl& parent, std::string name, TBounds bounds, std::string caption, bool autoSize = true,
         bool wordWrap = false);
  // True when the size follows the text.
  bool AutoSize() const { return autoSize_; }
  // Switches size following on (and sizes the label at once) or off.
  void SetAutoSize(bool on);
  // True when long text breaks into lines.
  bool WordWrap() const { return wordWrap_; }

 protected:
  TLabel(TWinControl& parent, std::string name, TBounds bounds, std::string caption, bool autoSize, bool wordWrap,
         DWORD extraStyle);
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void TextChanged() override { AdjustSize(); }
  void FontChanged() override { AdjustSize(); }

 private:
  void AdjustSize();

  bool autoSize_;
  bool wordWrap_;
};

// A label that opens an address when clicked (class "TLinkLabel"): blue, and red and underlined
// with a hand cursor while the mouse is over it.
class TLinkLabel : public TLabel {
 public:
  // A link showing caption; Url empty: the caption is the address.
  TLinkLabel(TWinControl& parent, std::string name, TBounds bounds, std::string caption, std::string url = {});
  // The address opened; empty: the caption.
  std::string Url;
  // Opens an address; ShellExecuteW "open", shown normally, unless replaced.
  std::function<void(const std::string& address)> Opener;
  // Opens the address, as a click does.
  void Click();
  // True while the mouse is over the link.
  bool Hot() const { return hot_; }

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void FontChanged() override;

 private:
  void SetHot(bool on);

  bool hot_ = false;
  UniqueFont hotFont_;
};

// A push button (class "TButton"): Caption, Default (Enter), Cancel (Esc), ModalResult.
class TButton : public TWinControl {
 public:
  TButton(TWinControl& parent, std::string name, TBounds bounds, std::string caption);
  // True for the button that Enter presses.
  bool Default() const { return default_; }
  // Makes the button the default one (drawn with the thick frame) or not.
  void SetDefault(bool on);
  // True for the button that Esc presses.
  bool Cancel = false;
  // Given to the form when the button is pressed; non-zero ends a modal loop.
  int ModalResult = mrNone;
  // Runs when the button is pressed, after the form has its ModalResult.
  std::function<void()> OnClick;
  // Presses the button.
  void Click();

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  bool default_ = false;
};

// What check boxes and radio buttons share: Caption, Checked, OnClick. The control grows to hold its
// mark and text: wider for one line, taller for several (BS_MULTILINE).
class TCheckControl : public TWinControl {
 public:
  // True when checked.
  bool Checked() const;
  // Checks or unchecks; a change runs OnClick, as a click by the user does.
  void SetChecked(bool on);
  // Runs when the user clicks the control or its state is changed by code.
  std::function<void()> OnClick;

 protected:
  TCheckControl(TWinControl& parent, std::string name, TBounds bounds, std::string caption, DWORD style);
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Runs after the check state changed, before OnClick.
  virtual void StateChanged() {}
  void TextChanged() override { FitText(); }
  void FontChanged() override { FitText(); }

 private:
  void FitText();
};

// A check box (class "TCheckBox").
class TCheckBox : public TCheckControl {
 public:
  // wordWrap: the text breaks into lines within the width (BS_MULTILINE).
  TCheckBox(TWinControl& parent, std::string name, TBounds bounds, std::string caption, bool wordWrap = false);
};

// A radio button (class "TRadioButton"); checking one unchecks the others in the same parent.
class TRadioButton : public TCheckControl {
 public:
  TRadioButton(TWinControl& parent, std::string name, TBounds bounds, std::string caption);

 protected:
  void StateChanged() override;
};

// A single-line edit (class "TEdit"): Text, ReadOnly, OnChange.
class TEdit : public TWinControl {
 public:
  TEdit(TWinControl& parent, std::string name, TBounds bounds, std::string text = {});
  // The text.
  std::string Text() const { return Caption(); }
  // Replaces the text; the same text again changes nothing and runs no OnChange.
  void SetText(const std::string& text);
  // True when the user cannot change the text.
  bool ReadOnly() const;
  void SetReadOnly(bool on);
  // Runs after the text changed, typed or set.
  std::function<void()> OnChange;

 protected:
  // An edit of another kind (memo, spin edit, file box): style and extended style of its window.
  TEdit(TWinControl& parent, std::string name, TBounds bounds, std::string text, DWORD style, DWORD exStyle);
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Runs on every change of the text.
  virtual void Changed();
};

class TMemo;

// The lines of a memo (class "TMemoLines"): the lines of its text, split at line breaks.
class TMemoLines : public TStrings {
 public:
  explicit TMemoLines(TMemo& memo);
  std::size_t Count() const override;
  std::string Get(std::size_t index) const override;
  void Put(std::size_t index, const std::string& text) override;
  void Add(const std::string& text) override;
  void Clear() override;
  void SetText(std::string_view text) override;

 private:
  void Store(const std::vector<std::string>& lines);
  TMemo& memo_;
};

// A multi-line edit (class "TMemo"): Lines, ReadOnly; a read-only memo shows the dialog colour.
class TMemo : public TEdit {
 public:
  // A memo; wordWrap breaks long lines at the right edge (fixed for the memo's life).
  TMemo(TWinControl& parent, std::string name, TBounds bounds, bool wordWrap = true);
  // The lines.
  TStrings& Lines() { return *lines_; }

 private:
  TMemoLines* lines_;
};

// bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer.
enum class TBevelShape { Box, Frame, TopLine, BottomLine, LeftLine, RightLine, Spacer };

// A sunken or raised frame or line (class "TBevel"): Shape, Style.
class TBevel : public TWinControl {
 public:
  TBevel(TWinControl& parent, std::string name, TBounds bounds, TBevelShape shape = TBevelShape::Box);
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape shape);
  // True: lowered (the default); false: raised.
  bool Lowered() const { return lowered_; }
  void SetLowered(bool on);

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  TBevelShape shape_;
  bool lowered_ = true;
};

// A picture (class "TImage"): an icon drawn at the control's size over the parent's background.
class TImage : public TWinControl {
 public:
  TImage(TWinControl& parent, std::string name, TBounds bounds);
  // Shows icon, which the image then owns.
  void SetIcon(win32::UniqueIcon icon);
  // Shows the icon resource id of the program at the control's size, again after each change of
  // density; false when it cannot be loaded.
  bool LoadIcon(int resourceId);
  // The icon shown; null when none.
  HICON Icon() const { return icon_.get(); }

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void DpiChanged(int oldDpi, int newDpi) override;

 private:
  win32::UniqueIcon icon_;
  int resourceId_ = 0;
};

}  // namespace zorvex::widgets
