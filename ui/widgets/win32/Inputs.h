// Edits with a helper beside them: an integer spin edit with arrows, and a file-name edit with a
// browse button that opens the common open-file dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

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
  // The arrows move with the edit, and take its state.
  void SetBounds(const TBounds& bounds) override;
  void SetEnabled(bool on) override;
  void SetVisible(bool on) override;

 private:
  HWND arrows_ = nullptr;
  int min_;
  int max_;
};

// A file-name edit with a flat browse button inside its right end (class "TFileNameEdit").
//
// Its value rules: a value given by code that holds a blank and does not begin with a double quote
// is shown between double quotes; the value handed back is the shown text when a file of that name
// exists, otherwise the first word of the text read like a command line.
class TFileNameEdit : public TEdit {
 public:
  TFileNameEdit(TWinControl& parent, std::string name, TBounds bounds);
  // The file dialog's filter: pairs of description and pattern separated by "|".
  std::string Filter;
  // Asks the user for a file, starting from the current value; nothing when cancelled. The common
  // open-file dialog with Filter unless replaced.
  std::function<std::optional<std::string>(const std::string& current)> Chooser;
  // The value handed back (see the rules above).
  std::string FileName() const;
  // Shows value by the rules above. Throws std::invalid_argument "Invalid file name - <value>" when
  // the value's first word holds one of < > " [ ] |; the text then stays as it was.
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

// The first word of text read like a command line: a part in double quotes is one word without its
// quotes, blanks separate words; empty for an empty text.
std::string FirstCommandLineWord(const std::string& text);

}  // namespace zorvex::widgets
