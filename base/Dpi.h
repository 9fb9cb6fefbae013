// Lengths across display densities. Layouts and size limits are written for 96 DPI (100 percent)
// and taken to a display's density where they are used.
#pragma once

namespace zorvex {

// The density that layouts and size limits are written for.
constexpr int kDesignDpi = 96;

// A length measured at fromDpi, at toDpi; rounded half away from zero. A density of 0 or below
// (one the system could not tell) counts as the design density.
int ScaleLength(int value, int fromDpi, int toDpi);

}  // namespace zorvex
