// Small helpers over value spans and square row-major matrices, shared by the
// fitting code.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

#include "barometra/checks.hpp"

namespace barometra::detail {

inline bool all_finite(std::span<const double> values) noexcept {
  return std::all_of(values.begin(), values.end(), [](double v) { return is_finite(v); });
}

// Largest |v| over the values, at least `floor`; NaN never compares larger.
inline double largest_magnitude(std::span<const double> values, double floor) noexcept {
  double largest = floor;
  for (double v : values) {
    if (std::fabs(v) > largest) largest = std::fabs(v);
  }
  return largest;
}

// Copies the lower triangle of the n x n `a` into its upper one.
inline void mirror_lower(std::span<double> a, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < i; ++j) a[j * n + i] = a[i * n + j];
  }
}

}  // namespace barometra::detail
