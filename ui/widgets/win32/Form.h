// Forms (top-level dialog windows built in code) and timers.
//
//   class TfoExample : public TForm {
//    public:
//     TfoExample() : TForm("foExample", TFormParams{351, 218}) { SetCaption("Example"); }
//     TButton& OkButton = Create<TButton>(*this, "OkButton", TBounds{191, 187, 75, 25}, "&Ok");
//   };
//   auto& form = Application().Create<TfoExample>();   // Loaded runs Translate, then FormCreate
//   form.OkButton.SetDefault(true); form.OkButton.ModalResult = mrOk;
//   if (form.ShowModal() == mrOk) ...;
//
// ShowModal runs a message loop of its own until a button with a modal result is pressed, the form
// is closed, Esc presses the cancel button or Enter the default button (IsDialogMessage), or WM_QUIT
// arrives (it is posted again for the outer loop). The thread's other visible windows are disabled
// meanwhile.
//
// Density: a form and its controls are made in 96-DPI units; once loaded (before Translate) the
// form lays itself out for its window's density, and again on WM_DPICHANGED, where it also takes the
// rectangle the system suggests.
//
// Lifecycle: the form's window lives from the constructor to the destructor, which destroys the
// window tree while every control still exists and then the controls. Timers die with their form.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/Dpi.h"
#include "ui/widgets/win32/Control.h"

namespace zorvex::widgets {

// What closed a modal form; the values of the system's dialog results.
enum TModalResult : int { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

// The frame of a form: none, a thin fixed one, a sizeable one, or a fixed dialog frame without
// minimise and maximise boxes.
enum class TBorderStyle { None, Single, Sizeable, Dialog };

// Where a form appears when shown.
enum class TPosition { Designed, ScreenCenter };

// How a form's window is made.
struct TFormParams {
  int ClientWidth = 320;
  int ClientHeight = 240;
  // The owner: the form stays above it and has no task-bar button of its own. Null or the desktop
  // window: an unowned top-level window.
  HWND Parent = nullptr;
  TBorderStyle BorderStyle = TBorderStyle::Dialog;
  // Above every window that is not topmost itself.
  bool StayOnTop = false;
  // A task-bar button even when owned.
  bool TaskBarButton = false;
};

class TButton;
class TTimer;

// A top-level form (class "TForm").
class TForm : public TWinControl {
 public:
  // Makes the hidden window: Arial 8 points, the given client size, caption empty.
  TForm(std::string name, const TFormParams& params);
  ~TForm() override;

  // Shows the form and runs its message loop until ModalResult is set; returns it. Throws
  // std::logic_error when the form is already shown modally.
  int ShowModal();
  // Shows the form without a loop of its own (tests, screenshots).
  void Show();
  // Hides the form.
  void Hide();
  // Show or Hide.
  void SetVisible(bool on) override;
  // Asks the form to close: a modal one ends with mrCancel, another is hidden.
  void Close();
  // True while ShowModal runs.
  bool Modal() const { return modal_; }
  // The result the modal loop ends with; mrNone while it runs.
  int ModalResult() const { return modalResult_; }
  // Sets the result; a non-zero one ends the modal loop.
  void SetModalResult(int result) { modalResult_ = result; }

  // Lays the form out for dpi: its client size, its controls' places and fonts, and whatever each
  // control scales of its own, from the density it is laid out for now.
  void ScaleTo(int dpi);

  // The client area's size.
  int ClientWidth() const;
  int ClientHeight() const;
  // Sizes the window so that its client area has this size.
  void SetClientSize(int width, int height);
  // The frame; changing it keeps the client size.
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle style);
  // Topmost or not.
  bool StayOnTop() const;
  void SetStayOnTop(bool on);
  // Where the form appears when shown.
  TPosition Position = TPosition::Designed;
  // The program's icon resource id in the title bar and on the task-bar button, each drawn at the
  // size the form's density asks for (again after a change of density).
  void SetIcon(int resourceId);

  // The button pressed by Enter: the first enabled default button; null when none.
  TButton* DefaultButton() const;
  // The button pressed by Esc: the first enabled cancel button; null when none.
  TButton* CancelButton() const;
  // Runs each time the form is about to be shown, after BeforeShow.
  std::function<void()> OnShow;
  // The tooltip window that shows the controls' hints.
  HWND ToolTips() const { return tooltip_.get(); }

  // Passes msg to the dialog keys handling of the form it is for (Tab, Enter, Esc, mnemonics);
  // true when it was used. Message loops call it before dispatching.
  static bool IsFormMessage(MSG& msg);

 protected:
  // Runs once the form has joined its owner with every component in place: Translate, then FormCreate.
  void Loaded() final;
  // The step that translates a new form; nothing here.
  virtual void Translate() {}
  // The form's creation handler; runs after Translate.
  virtual void FormCreate() {}
  // Runs each time the form is about to be shown.
  virtual void BeforeShow() {}
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  friend class TWinControl;
  friend class TTimer;

  // A new control id, unique on this form; ids stay above IDOK and IDCANCEL.
  int NextControlId() { return nextId_++; }
  void SetTool(HWND window, const std::string& text);
  UINT_PTR AddTimer(TTimer& timer);
  void RemoveTimer(TTimer& timer);
  void PrepareShow();
  void FocusFirst();
  // Every control on the form (owned components that are controls), in creation order.
  std::vector<TWinControl*> AllControls() const;

  TBorderStyle borderStyle_;
  int dpi_ = kDesignDpi;
  int iconId_ = 0;
  win32::UniqueIcon smallIcon_;
  win32::UniqueIcon bigIcon_;
  int modalResult_ = mrNone;
  bool modal_ = false;
  int nextId_ = 100;
  win32::UniqueWindow tooltip_;
  std::vector<TTimer*> timers_;
  UINT_PTR nextTimerId_ = 1;
  HWND lastFocus_ = nullptr;
};

// A timer that ticks on its form's window (class "TTimer").
class TTimer : public TComponent {
 public:
  // A timer of interval milliseconds on form, running when enabled.
  TTimer(TForm& form, std::string name, unsigned interval = 1000, bool enabled = true);
  ~TTimer() override;

  // Milliseconds between ticks; 0 stops the timer.
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned milliseconds);
  // True while it ticks.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Runs at every tick.
  std::function<void()> OnTimer;

 private:
  friend class TForm;
  void Update();

  TForm& form_;
  UINT_PTR id_;
  unsigned interval_;
  bool enabled_;
};

}  // namespace zorvex::widgets
