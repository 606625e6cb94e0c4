// Counts that enter floating-point formulas (matrix orders, n, m, N - 1).
#pragma once

#include <cstddef>

namespace barometra::detail {

// Saturates at 4294967295, so a count is the same double on every platform.
constexpr double count_as_double(std::size_t count) noexcept {
  constexpr std::size_t kLimit = 4294967295u;
  return static_cast<double>(count < kLimit ? count : kLimit);
}

}  // namespace barometra::detail
