// A least-squares problem: the residual-function contract, the options, the
// checks made before the first evaluation, and the five robust losses.
//
//   cost(x) = 0.5 s^2 sum_i rho(z_i),   z_i = (f_i(x) / s)^2,   s = f_scale.
//
// Allocating functions may throw std::bad_alloc and nothing else; every other
// failure is a FitError value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/function_ref.hpp"
#include "barometra/fit/jacobian.hpp"

namespace barometra {

struct Loss {
  enum Kind : std::uint8_t { Linear, SoftL1, Huber, Cauchy, Arctan };
  Kind kind = Linear;

  // Exact, case-sensitive names: "linear", "soft_l1", "huber", "cauchy", "arctan".
  static std::expected<Loss, FitError> from_name(std::string_view name);
  std::string_view name() const noexcept;

  friend bool operator==(Loss, Loss) = default;
};

struct SolverOptions {
  std::optional<std::uint64_t> max_evaluations;  // absent: 100 * n
  double f_scale = 1.0;
  double ftol = 1e-8;
  double gtol = 1e-8;
  double xtol = 1e-8;
  Loss loss;
};

using ResidualStatus = std::expected<void, FitError>;

// A non-owning reference to the caller's residual function. The function is
// called as f(x, residuals): it reads the n parameters and replaces the
// contents of `residuals` with its m values, or returns a FitError, which
// ends the fit unchanged. It may throw std::bad_alloc only.
using ResidualFunction =
    detail::FunctionRef<ResidualStatus(std::span<const double> x, std::vector<double>& residuals)>;

// The checks run in this order, first failure wins, and never evaluate the
// residual function.
std::expected<void, FitError> validate_problem(std::span<const double> initial,
                                               std::span<const double> lower,
                                               std::span<const double> upper,
                                               const SolverOptions& options);

// Empty, of a length other than `expected_length` (when given), or holding a
// non-finite value: EvaluationFailed.
std::expected<void, FitError> validate_residuals(std::span<const double> residuals,
                                                 std::optional<std::size_t> expected_length);

double robust_cost(std::span<const double> residuals, Loss loss, double f_scale) noexcept;
// w_i = max(rho'(z_i), eps); the rows of the normal equations are weighted by it.
std::vector<double> robust_weights(std::span<const double> residuals, Loss loss,
                                   double f_scale);
namespace detail {
// robust_weights into `weights`, reusing its storage.
void robust_weights_into(std::span<const double> residuals, Loss loss, double f_scale,
                         std::vector<double>& weights);
}  // namespace detail
// Rows scaled by sqrt(max(rho'(z) + 2 z rho''(z), eps)): the Jacobian reported
// with a result. The iteration itself never uses it.
Jacobian robust_result_jacobian(Jacobian jacobian, std::span<const double> residuals, Loss loss,
                                double f_scale) noexcept;

}  // namespace barometra
