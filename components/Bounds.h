// A control's place and size, and how a layout goes from one display density to another.
#pragma once

namespace zorvex::widgets {

// A control's place: left and top in the parent's client area, width and height, in pixels.
struct TBounds {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TBounds& o) const {
    return Left == o.Left && Top == o.Top && Width == o.Width && Height == o.Height;
  }
  bool operator!=(const TBounds& o) const { return !(*this == o); }
};

// bounds laid out at fromDpi, at toDpi. The edges are scaled, not the size, so that controls that
// touch, leave a gap or nest at one density still do at every other.
TBounds ScaleBounds(const TBounds& bounds, int fromDpi, int toDpi);

}  // namespace zorvex::widgets
