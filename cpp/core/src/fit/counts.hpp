// Counts that enter floating-point formulas (matrix orders, n, m, N - 1).
#pragma once

#include <cstddef>

namespace barometra::detail {

// The largest count a formula sees as itself: 2^32 - 1.
inline constexpr std::size_t kCountLimit = 4294967295u;

// Saturates at kCountLimit, so a count is the same double on every platform.
constexpr double count_as_double(std::size_t count) noexcept {
  return static_cast<double>(count < kCountLimit ? count : kCountLimit);
}

}  // namespace barometra::detail
