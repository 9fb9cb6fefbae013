#include "ui/widgets/win32/Containers.h"

#include <algorithm>

namespace zorvex::widgets {

namespace {

constexpr const char* kPanelClass = "ZorvexPanel";
constexpr const wchar_t* kPanelClassW = L"ZorvexPanel";

void RegisterPanelClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = kPanelClassW;
    return ::RegisterClassW(&wc) != 0;
  }();
  (void)registered;
}

const TEnumType& BevelType() {
  static const TEnumType type{{"bvNone", "bvLowered", "bvRaised"}};
  return type;
}

}  // namespace

TGroupBox::TGroupBox(TWinControl& parent, std::string name, TBounds bounds, std::string caption)
    : TWinControl(parent, std::move(name)) {
  DeclareClass("TGroupBox");
  // A control parent, so that the dialog keys walk into it.
  CreateHandle(TWindowParams{"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, bounds, caption});
  PublishText("Caption");
}

bool TGroupBox::Notified(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLORBTN) return false;
  result = TransparentColors(reinterpret_cast<HDC>(wParam));
  return true;
}

LRESULT TGroupBox::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT r{};
    ::GetClientRect(window, &r);
    ::FillRect(reinterpret_cast<HDC>(wParam), &r, BackgroundBrush());
    return TRUE;
  }
  return TWinControl::WndProc(window, message, wParam, lParam);
}

TPanel::TPanel(TWinControl& parent, std::string name, TBounds bounds) : TWinControl(parent, std::move(name)) {
  DeclareClass("TPanel");
  RegisterPanelClass();
  CreateHandle(TWindowParams{kPanelClass, WS_CLIPCHILDREN, WS_EX_CONTROLPARENT, bounds, ""});
  PublishInteger("Color", [this] { return color_; }, [this](std::int32_t v) { SetColor(v); });
  PublishEnum("BevelOuter", BevelType(), [this] { return static_cast<int>(bevel_); },
              [this](int v) { SetBevel(static_cast<TPanelBevel>(v)); });
}

void TPanel::SetColor(std::int32_t color) {
  color_ = color;
  brush_.reset(color == kFaceColor ? nullptr : ::CreateSolidBrush(static_cast<COLORREF>(color)));
  ::RedrawWindow(Handle(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TPanel::SetBevel(TPanelBevel bevel) {
  bevel_ = bevel;
  ::InvalidateRect(Handle(), nullptr, TRUE);
}

HBRUSH TPanel::BackgroundBrush() const { return brush_ ? brush_.get() : TWinControl::BackgroundBrush(); }

LRESULT TPanel::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      RECT r{};
      ::GetClientRect(window, &r);
      ::FillRect(reinterpret_cast<HDC>(wParam), &r, BackgroundBrush());
      return TRUE;
    }
    case WM_PAINT: {
      TPaintDC dc(window);
      if (bevel_ != TPanelBevel::None) {
        RECT r{};
        ::GetClientRect(window, &r);
        ::DrawEdge(dc.get(), &r, bevel_ == TPanelBevel::Lowered ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
      }
      return 0;
    }
    default:
      return TWinControl::WndProc(window, message, wParam, lParam);
  }
}

TPageControl::TPageControl(TWinControl& parent, std::string name, TBounds bounds)
    : TPanel(parent, std::move(name), bounds) {
  DeclareClass("TPageControl");
  PublishInteger("ActivePageIndex", [this] { return active_ != nullptr ? active_->PageIndex() : -1; },
                 [this](std::int32_t v) {
                   if (v >= 0 && static_cast<std::size_t>(v) < pages_.size()) SetActivePage(pages_[v]);
                 });
}

void TPageControl::SetActivePage(TTabSheet* page) {
  if (page == active_ || std::find(pages_.begin(), pages_.end(), page) == pages_.end()) return;
  // The new page shows before the old one hides, so the area never flashes empty.
  page->SetVisible(true);
  if (active_ != nullptr) active_->SetVisible(false);
  active_ = page;
  if (OnChange) OnChange();
}

void TPageControl::SetBounds(const TBounds& bounds) {
  TPanel::SetBounds(bounds);
  for (TTabSheet* page : pages_) page->SetBounds(TBounds{0, 0, bounds.Width, bounds.Height});
}

TTabSheet::TTabSheet(TPageControl& pages, std::string name, std::string caption)
    : TPanel(pages, std::move(name), TBounds{0, 0, pages.Bounds().Width, pages.Bounds().Height}), pages_(pages) {
  DeclareClass("TTabSheet");
  SetCaption(caption);
  PublishText("Caption");
  pages_.pages_.push_back(this);
  if (pages_.active_ == nullptr) {
    pages_.active_ = this;
  } else {
    SetVisible(false);
  }
}

TTabSheet::~TTabSheet() {
  auto& pages = pages_.pages_;
  pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
  if (pages_.active_ == this) {
    pages_.active_ = pages.empty() ? nullptr : pages.front();
    if (pages_.active_ != nullptr) pages_.active_->SetVisible(true);
  }
}

int TTabSheet::PageIndex() const {
  const auto& pages = pages_.pages_;
  return static_cast<int>(std::find(pages.begin(), pages.end(), this) - pages.begin());
}

}  // namespace zorvex::widgets
