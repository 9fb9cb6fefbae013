#include "components/Bounds.h"

#include "base/Dpi.h"

namespace zorvex::widgets {

TBounds ScaleBounds(const TBounds& b, int fromDpi, int toDpi) {
  const int left = ScaleLength(b.Left, fromDpi, toDpi);
  const int top = ScaleLength(b.Top, fromDpi, toDpi);
  return TBounds{left, top, ScaleLength(b.Left + b.Width, fromDpi, toDpi) - left,
                 ScaleLength(b.Top + b.Height, fromDpi, toDpi) - top};
}

}  // namespace zorvex::widgets
