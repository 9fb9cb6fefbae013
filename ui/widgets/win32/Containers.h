// Controls that hold other controls: group boxes, panels, and a page control whose pages are
// switched by code (it shows no tabs).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/widgets/win32/Control.h"

namespace zorvex::widgets {

// A frame with a caption around other controls (class "TGroupBox").
class TGroupBox : public TWinControl {
 public:
  TGroupBox(TWinControl& parent, std::string name, TBounds bounds, std::string caption);

 protected:
  bool Notified(HWND from, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Erases its inside, so that a page shown in its place leaves nothing of the old one behind.
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
};

// bvNone, bvLowered, bvRaised.
enum class TPanelBevel { None, Lowered, Raised };

// A plain area with an optional colour and a one-pixel bevel (class "TPanel").
class TPanel : public TWinControl {
 public:
  TPanel(TWinControl& parent, std::string name, TBounds bounds);
  // The background colour 0x00BBGGRR; kFaceColor: the dialog colour.
  static constexpr std::int32_t kFaceColor = -1;
  std::int32_t Color() const { return color_; }
  void SetColor(std::int32_t color);
  TPanelBevel Bevel() const { return bevel_; }
  void SetBevel(TPanelBevel bevel);

 protected:
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  HBRUSH BackgroundBrush() const override;

 private:
  std::int32_t color_ = kFaceColor;
  UniqueBrush brush_;
  TPanelBevel bevel_ = TPanelBevel::None;
};

class TTabSheet;

// Pages of which one shows at a time (class "TPageControl"); no tabs: code chooses the page.
class TPageControl : public TPanel {
 public:
  TPageControl(TWinControl& parent, std::string name, TBounds bounds);
  // The pages in the order they were made.
  const std::vector<TTabSheet*>& Pages() const { return pages_; }
  // The page shown; null when there is none.
  TTabSheet* ActivePage() const { return active_; }
  // Shows page (one of Pages) and hides the others; runs OnChange when the page changed.
  void SetActivePage(TTabSheet* page);
  // Runs after the active page changed.
  std::function<void()> OnChange;
  // Sizes the pages with the control.
  void SetBounds(const TBounds& bounds) override;

 private:
  friend class TTabSheet;
  std::vector<TTabSheet*> pages_;
  TTabSheet* active_ = nullptr;
};

// One page of a page control, filling it (class "TTabSheet"); the first page made is shown.
class TTabSheet : public TPanel {
 public:
  TTabSheet(TPageControl& pages, std::string name, std::string caption = {});
  ~TTabSheet() override;
  // The page control it belongs to.
  TPageControl& PageControl() const { return pages_; }
  // Position among the pages.
  int PageIndex() const;

 private:
  TPageControl& pages_;
};

}  // namespace zorvex::widgets
