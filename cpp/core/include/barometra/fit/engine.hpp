// The least-squares iteration: Levenberg-Marquardt with Marquardt (diagonal)
// damping, a finite-difference Jacobian, projection of every trial point onto
// the box lower <= x <= upper, and acceptance on strict decrease of the
// robust cost. No trust radius, no line search.
//
// Damping: lambda starts at 1e-3, falls by 0.3 (floor 1e-15) on acceptance,
// rises by 10 on a rejected evaluation (capped at 1e30) and by 10 without cap
// on a failed solve or a zero step; 24 attempts per outer iteration at most.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/jacobian.hpp"
#include "barometra/fit/problem.hpp"

namespace barometra {

namespace solver_message {
inline constexpr std::string_view kBudget =
    "The maximum number of function evaluations is exceeded.";
inline constexpr std::string_view kNoStep = "No acceptable optimization step could be computed.";
inline constexpr std::string_view kGtol = "`gtol` termination condition is satisfied.";
inline constexpr std::string_view kFtol = "`ftol` termination condition is satisfied.";
inline constexpr std::string_view kXtol = "`xtol` termination condition is satisfied.";
inline constexpr std::string_view kFtolXtol =
    "Both `ftol` and `xtol` termination conditions are satisfied.";
}  // namespace solver_message

struct SolverResult {
  std::vector<double> x;    // n
  std::vector<double> fun;  // m
  // Rows scaled by robust_result_jacobian; structured (compact) when the fit
  // ran with a layout. jac.rows() is m.
  Jacobian jac;
  std::string_view message;  // one of solver_message, static
  double cost = 0.0;
  double optimality = 0.0;   // projected gradient norm of the last Jacobian
  std::uint64_t nfev = 0;    // evaluations of the iteration; differences not counted
  std::uint64_t njev = 0;
  std::int32_t status = 0;   // 0 failure, 1 gtol, 2 ftol, 3 xtol, 4 ftol and xtol
  bool success = false;      // status 1 to 4

  std::size_t row_count() const noexcept { return jac.rows(); }
};

// Minimises the robust cost of `residual` from `initial` within the box. A
// failure of the residual function, of a residual check or of a Jacobian ends
// the run and is returned unchanged; running out of budget or of acceptable
// steps is a result with status 0.
std::expected<SolverResult, FitError> least_squares_internal(
    std::span<const double> initial, std::span<const double> lower,
    std::span<const double> upper, const SolverOptions& options,
    const std::optional<StructuredLayout>& layout, ResidualFunction residual);

// sqrt(sum ((a_i - b_i) / max(|b_i|, 1))^2) over the common length.
double scaled_norm_difference(std::span<const double> a, std::span<const double> b) noexcept;
// max_i |g_i|, except components blocked by the bound x sits on (descent is -g).
double projected_gradient_norm(std::span<const double> gradient, std::span<const double> x,
                               std::span<const double> lower,
                               std::span<const double> upper) noexcept;

}  // namespace barometra
