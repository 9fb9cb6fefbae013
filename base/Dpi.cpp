#include "base/Dpi.h"

#include <cstdint>

namespace zorvex {

int ScaleLength(int value, int fromDpi, int toDpi) {
  if (fromDpi <= 0) fromDpi = kDesignDpi;
  if (toDpi <= 0) toDpi = kDesignDpi;
  if (fromDpi == toDpi) return value;
  const std::int64_t product = static_cast<std::int64_t>(value) * toDpi;
  const std::int64_t half = fromDpi / 2;
  const std::int64_t q = product >= 0 ? (product + half) / fromDpi : (product - half) / fromDpi;
  // Densities are a few hundred at most, so the result fits whenever value does in design units.
  return static_cast<int>(q);
}

}  // namespace zorvex
