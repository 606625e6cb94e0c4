// The one linear solver of the fitting code: symmetric diagonal scaling,
// Gaussian elimination with partial pivoting and a relative singularity test.
//
//   A~ = S^-1 A S^-1,  b~ = S^-1 b,  s_i = sqrt|A_ii| (1 if A_ii is 0 or NaN),
//   solve A~ y = b~,  x = S^-1 y.
#pragma once

#include <cstddef>
#include <expected>
#include <span>
#include <vector>

#include "barometra/error.hpp"

namespace barometra {

// x with A x = b for the n x n row-major A. InvalidInput on inconsistent sizes,
// SingularSystem when a pivot is negligible.
std::expected<std::vector<double>, FitError> solve_scaled_linear_system(
    std::span<const double> a, std::span<const double> b, std::size_t n);

namespace detail {

// The same solve without allocation, for the many small systems of a
// structured step: `a` (n x n) is destroyed, `b` is replaced by x, `scale`
// holds n doubles of scratch. False when the system is singular.
bool solve_scaled_in_place(std::span<double> a, std::span<double> b, std::span<double> scale,
                           std::size_t n) noexcept;

// Marquardt damping of a symmetric block: a_ii += lambda * d_i with
// d_i = |a_ii|, or 1 where a_ii is 0 or NaN.
void add_marquardt_damping(std::span<double> a, std::size_t n, double lambda) noexcept;

}  // namespace detail

}  // namespace barometra
