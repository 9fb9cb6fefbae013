// Edits with a helper beside them: an integer spin edit with arrows, and a file-name edit with a
// browse button that opens the common open-file dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "components/EditValues.h"
#include "ui/widgets/win32/Basic.h"

namespace zorvex::widgets {

// An integer edit with up and down arrows inside its bounds (class "TSpinEdit"): Value, MinValue, MaxValue.
class TSpinEdit : public TEdit {
 public:
  // A spin edit for min..max showing min.
  TSpinEdit(TWinControl& parent, std::string name, TBounds bounds, int min, int max);
  // The shown number clamped to the range; min when the text is no number.
  int Value() const;
  // Shows value clamped to the range.
  void SetValue(int value);
  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  // Sets the range (max below min becomes min) and clamps the value to it.
  void SetRange(int min, int max);
  // The box of edit and arrows together; the arrows move with the edit and take its state.
  TBounds Bounds() const override;
  void SetBounds(const TBounds& bounds) override;
  void SetEnabled(bool on) override;
  void SetVisible(bool on) override;

 private:
  HWND arrows_ = nullptr;
  int min_;
  int max_;
};

// Asks the user for a file with the common open or save dialog, starting from current; none when
// cancelled. filter holds description|pattern pairs; defaultExt is added to a name typed without one.
std::optional<std::string> ChooseFileName(HWND owner, bool save, const std::string& filter,
                                          const std::string& defaultExt = {}, const std::string& current = {});

// A file-name edit with a flat browse button inside its right end (class "TFileNameEdit"), with
// the value rules of components/EditValues.h over the real file system.
class TFileNameEdit : public TEdit {
 public:
  TFileNameEdit(TWinControl& parent, std::string name, TBounds bounds);
  // The file dialog's filter: pairs of description and pattern separated by "|".
  std::string Filter;
  // Asks the user for a file, starting from the current value; nothing when cancelled. The common
  // open-file dialog with Filter unless replaced.
  std::function<std::optional<std::string>(const std::string& current)> Chooser;
  // The value handed back: FileNameFromText of the shown text.
  std::string FileName() const;
  // Shows QuotedFileName(value); throws EInvalidFileName, leaving the text as it was, for a value
  // that CheckFileName refuses.
  void SetFileName(const std::string& value);
  // Asks Chooser and shows the chosen file, as the browse button does.
  void Browse();
  // The browse button's window.
  HWND BrowseButton() const { return button_; }
  // The button takes the edit's state.
  void SetEnabled(bool on) override;

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void FontChanged() override { PlaceButton(); }

 private:
  void PlaceButton();
  HWND button_ = nullptr;
};

}  // namespace zorvex::widgets
