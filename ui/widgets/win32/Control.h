// The base of the Win32 controls: a component that publishes the usual control properties over its
// real window. Controls are owned by their form (component ownership, which the translator walks)
// and sit in a visual parent (a form, group box, panel or page), which is the first argument of
// every control's constructor. Places, sizes and font heights are written in 96-DPI units; the form
// takes them to its display's density once it is loaded, and again when it moves to a monitor of
// another density (see TForm::ScaleTo). Bounds and SetBounds speak in the window's own pixels.
//
//   auto& ok = form.Create<TButton>(form, "OkButton", TBounds{191, 187, 75, 25}, "&Ok");
//   auto& box = form.Create<TCheckBox>(groupBox, "ExplorerBox", TBounds{8, 23, 150, 17}, "Support Explorer");
//
// Lifecycle: a control's window is made by its constructor and subclassed with the control as
// reference data; the window procedure reaches the control only while both exist (the subclass is
// removed on WM_NCDESTROY and in the destructor). Notifications that a parent window receives from a
// child (WM_COMMAND, WM_NOTIFY, WM_CTLCOLOR*, WM_DRAWITEM, scrolling) are handed to the child's
// control, so every control handles its own.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32/Handles.h"
#include "components/Bounds.h"
#include "components/Component.h"
#include "components/SubObjects.h"

namespace zorvex::widgets {

using win32::UniqueBrush;
using win32::UniqueFont;

// A window's device context from GetDC, released with it.
class TWindowDC {
 public:
  // The client-area context of window.
  explicit TWindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~TWindowDC() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  TWindowDC(const TWindowDC&) = delete;
  TWindowDC& operator=(const TWindowDC&) = delete;
  // The context; null when GetDC failed.
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// The painting context of WM_PAINT, from BeginPaint, ended with EndPaint.
class TPaintDC {
 public:
  explicit TPaintDC(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
  ~TPaintDC() { ::EndPaint(window_, &paint_); }
  TPaintDC(const TPaintDC&) = delete;
  TPaintDC& operator=(const TPaintDC&) = delete;
  // The context.
  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// Registers the common control classes once per process; every control's constructor calls it.
void EnsureCommonControls();

// The frame drawn around a control's window.
enum class TEdge { None, Sunken, Soft };

// How a control's window is made.
struct TWindowParams {
  std::string ClassName;  // a registered window class
  DWORD Style = 0;        // WS_CHILD, WS_VISIBLE and WS_CLIPSIBLINGS are added for controls
  DWORD ExStyle = 0;      // WS_EX_NOPARENTNOTIFY is added for controls
  TBounds Bounds;         // for a form: the client size in Width and Height
  std::string Text;       // the window text
  HWND Parent = nullptr;  // a form's owner (controls take their parent control's window)
};

class TForm;

// A control with a window of its own (class "TWinControl").
class TWinControl : public TComponent {
 public:
  // Removes the control from its parent and destroys its windows.
  ~TWinControl() override;

  // The control's window; null after the window has been destroyed.
  HWND Handle() const { return window_.get(); }
  // The visual parent; null for a form.
  TWinControl* Parent() const { return parent_; }
  // The form the control lives on (the form itself for a form).
  TForm& Form() const { return *form_; }
  // The visual children in tab order, which is also their z-order.
  const std::vector<TWinControl*>& Controls() const { return children_; }
  // The control whose window (or inner window, such as a spin edit's arrows) window is; null for others.
  static TWinControl* FromHandle(HWND window);

  // The window text.
  std::string Caption() const;
  // Sets the window text.
  void SetCaption(const std::string& text);
  // Place and size in the parent's client area (a form: on the screen).
  virtual TBounds Bounds() const;
  // Moves and sizes the window.
  virtual void SetBounds(const TBounds& bounds);
  // True when the window takes input.
  bool Enabled() const;
  // Enables or disables the window.
  virtual void SetEnabled(bool on);
  // True when the window's own visible flag is set, whether or not its parent shows.
  bool Visible() const;
  // Shows or hides the window.
  virtual void SetVisible(bool on);
  // The tooltip text; empty: no tooltip.
  const std::string& Hint() const { return hint_; }
  // Sets the tooltip text.
  void SetHint(const std::string& text);
  // Position in the parent's tab order (0 first).
  int TabOrder() const;
  // Moves the control to a tab position, clamped to the parent's controls.
  void SetTabOrder(int position);
  // The font description; setting one of its properties gives the control a font of its own.
  TFont& Font() { return *font_; }
  // Gives the window the font that Font's fields describe after plain assignments to them.
  void ApplyFontFields();
  // True while the control follows its parent's font.
  bool ParentFont() const { return parentFont_; }
  // Follows the parent's font again (true) or keeps the current one (false).
  void SetParentFont(bool on);
  // Draws no frame, a sunken one or a thin soft one around the window.
  void SetEdge(TEdge edge);
  // Gives the window the keyboard focus.
  void SetFocus();
  // True when the window has the keyboard focus.
  bool Focused() const;
  // The density the control is laid out for: its form's.
  int Dpi() const;
  // A length written in 96-DPI units, in the control's pixels.
  int FromDesign(int length) const;

 protected:
  // A form: no parent; the form makes its window itself.
  explicit TWinControl(std::string name);
  // A control inside parent, on parent's form; the derived constructor makes the window.
  TWinControl(TWinControl& parent, std::string name);

  // Makes and subclasses the control's window (top-level for a form) and gives it the parent's font.
  void CreateHandle(const TWindowParams& params);
  // Makes a further window that belongs to this control (child of parentWindow), destroyed with it.
  HWND CreateInnerWindow(const TWindowParams& params, HWND parentWindow);
  // Makes the window again with another style, keeping place, text, font, state, z-order and hint;
  // for controls without child windows.
  void RecreateHandle(DWORD addStyle, DWORD removeStyle);
  // Publishes the window text under name.
  void PublishText(std::string name);
  // Sets or clears bits of the window's style or extended style.
  void SetStyleBits(DWORD bits, bool on);
  void SetExStyleBits(DWORD bits, bool on);
  // The control id the window was made with.
  int ControlId() const { return id_; }

  // A message the parent window received from one of this control's windows; true when handled.
  virtual bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // Messages to this control's windows; the default passes them on.
  virtual LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The brush the control's area and its transparent children are painted with.
  virtual HBRUSH BackgroundBrush() const;
  // Runs after the window text was set through SetCaption.
  virtual void TextChanged() {}
  // Runs after a new font was given to the window.
  virtual void FontChanged() {}
  // Runs after the form went from oldDpi to newDpi, once places and fonts are scaled: for lengths
  // of the control's own (list columns, item heights, pictures).
  virtual void DpiChanged(int /*oldDpi*/, int /*newDpi*/) {}
  // The width and height text takes in the control's font, "&" marks drawn as the control draws
  // them; with wrapWidth, broken into lines of at most that width.
  SIZE MeasureText(const std::string& text, int wrapWidth = 0) const;
  // Colours a static-like child: transparent text in the font's colour over the parent's background.
  LRESULT TransparentColors(HDC dc) const;
  // The font handle in use.
  HFONT FontHandle() const { return fontHandle_.get(); }

 private:
  friend LRESULT CALLBACK ControlProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
  friend class TForm;

  LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The window is gone: drop its handle without destroying it again.
  void Forget(HWND window);
  void Subclass(HWND window);
  void ApplyFont();
  void InheritFont(const TFont& font);
  void Restack();
  // Scales the descendants' places (the deepest first), then their fonts, then their own lengths.
  void ScaleChildren(int oldDpi, int newDpi);
  void ReapplyFonts();
  void TellDpiChanged(int oldDpi, int newDpi);

  TWinControl* parent_ = nullptr;
  TForm* form_ = nullptr;
  std::vector<TWinControl*> children_;
  std::string className_;
  int id_ = 0;
  win32::UniqueWindow window_;
  std::vector<win32::UniqueWindow> inner_;
  std::string hint_;
  TFont* font_ = nullptr;
  bool parentFont_ = true;
  UniqueFont fontHandle_;
};

}  // namespace zorvex::widgets
