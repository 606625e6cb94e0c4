#include "barometra/fit/problem.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <string>

#include "barometra/checks.hpp"
#include "matrix.hpp"

namespace barometra {

namespace {

constexpr std::array<std::string_view, 5> kLossNames{"linear", "soft_l1", "huber", "cauchy",
                                                     "arctan"};

std::optional<std::size_t> checked_multiply(std::size_t a, std::size_t b) noexcept {
  std::size_t product;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

std::optional<std::size_t> checked_add(std::size_t a, std::size_t b) noexcept {
  std::size_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

struct LossTerms {
  double rho, d1, d2;  // rho(z), rho'(z), rho''(z)
};

LossTerms loss_terms(Loss loss, double z) noexcept {
  switch (loss.kind) {
    case Loss::Linear: return {z, 1.0, 0.0};
    case Loss::SoftL1: {
      const double t = 1.0 + z;
      const double root = std::sqrt(t);
      // 2 (root - 1) cancels for small z, and rounds to 0 below z = eps, where
      // no step could ever lower the cost.
      const double rho = z < 1.0 ? 2.0 * z / (root + 1.0) : 2.0 * (root - 1.0);
      return {rho, 1.0 / root, -0.5 / (t * root)};
    }
    case Loss::Huber: {
      if (z <= 1.0) return {z, 1.0, 0.0};  // z = 1 is quadratic
      const double root = std::sqrt(z);
      return {2.0 * root - 1.0, 1.0 / root, -0.5 / (z * root)};
    }
    case Loss::Cauchy: {
      const double t = 1.0 + z;
      return {std::log1p(z), 1.0 / t, -1.0 / (t * t)};
    }
    case Loss::Arctan: {
      const double t = 1.0 + z * z;
      return {std::atan(z), 1.0 / t, -2.0 * z / (t * t)};
    }
  }
  return {z, 1.0, 0.0};
}

// NaN also becomes eps.
double at_least_eps(double value) noexcept {
  return value > kMachineEpsilon ? value : kMachineEpsilon;
}

double squared_ratio(double residual, double f_scale) noexcept {
  const double ratio = residual / f_scale;
  return ratio * ratio;
}

}  // namespace

std::optional<std::size_t> StructuredLayout::parameter_count() const noexcept {
  if (global_parameter_count == 0 || point_count == 0 || latent_coordinate_count == 0) {
    return std::nullopt;
  }
  const auto latents = checked_multiply(point_count, latent_coordinate_count);
  if (!latents) return std::nullopt;
  return checked_add(global_parameter_count, *latents);
}

std::optional<std::size_t> StructuredLayout::residual_count() const noexcept {
  if (!parameter_count()) return std::nullopt;
  const auto blocks = checked_add(latent_coordinate_count, 1);
  if (!blocks) return std::nullopt;
  return checked_multiply(point_count, *blocks);
}

Jacobian Jacobian::dense(std::size_t rows, std::size_t cols) {
  Jacobian j;
  const auto size = checked_multiply(rows, cols);
  if (!size) throw std::bad_alloc();
  j.rows_ = rows;
  j.cols_ = cols;
  j.width_ = cols;
  j.values_.assign(*size, 0.0);
  return j;
}

Jacobian Jacobian::structured(const StructuredLayout& layout) {
  Jacobian j;
  j.rows_ = *layout.residual_count();
  j.cols_ = *layout.parameter_count();
  j.width_ = layout.global_parameter_count + layout.latent_coordinate_count;
  j.layout_ = layout;
  const auto size = checked_multiply(j.rows_, j.width_);
  if (!size) throw std::bad_alloc();
  j.values_.assign(*size, 0.0);
  return j;
}

void Jacobian::write_dense(std::span<double> out) const noexcept {
  for (std::size_t s = 0; s < width_; ++s) {
    const auto column = entries(s);
    for (std::size_t r = 0; r < rows_; ++r) out[r * cols_ + column_of(r, s)] = column[r];
  }
}

std::vector<double> Jacobian::to_dense() const {
  const auto size = checked_multiply(rows_, cols_);
  if (!size) throw std::bad_alloc();
  std::vector<double> out(*size, 0.0);
  write_dense(out);
  return out;
}

std::expected<Loss, FitError> Loss::from_name(std::string_view name) {
  for (std::size_t i = 0; i < kLossNames.size(); ++i) {
    if (kLossNames[i] == name) return Loss{static_cast<Kind>(i)};
  }
  return std::unexpected(
      FitError::invalid_input("unsupported loss function: " + std::string(name)));
}

std::string_view Loss::name() const noexcept { return kLossNames[kind]; }

std::expected<void, FitError> validate_problem(std::span<const double> initial,
                                               std::span<const double> lower,
                                               std::span<const double> upper,
                                               const SolverOptions& options) {
  const std::size_t n = initial.size();
  if (n == 0 || lower.size() != n || upper.size() != n) {
    return std::unexpected(FitError::invalid_input(
        "initial values and bounds must have the same non-zero length"));
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double x = initial[i], lo = lower[i], hi = upper[i];
    // NaN bounds fail every comparison below as well; the explicit test
    // keeps the rule readable.
    const bool valid = is_finite(x) && !std::isnan(lo) && !std::isnan(hi) && lo <= x &&
                       x <= hi && lo < hi;
    if (!valid) {
      return std::unexpected(FitError::invalid_input(
          "invalid initial value or bounds at parameter " + std::to_string(i), "initial", i));
    }
  }
  if (!is_positive_finite(options.f_scale)) {
    return std::unexpected(FitError::invalid_input("f_scale must be positive and finite"));
  }
  if (options.max_evaluations && *options.max_evaluations == 0) {
    return std::unexpected(FitError::invalid_input("max_evaluations must be positive"));
  }
  if (!is_positive_finite(options.ftol) || !is_positive_finite(options.gtol) ||
      !is_positive_finite(options.xtol)) {
    return std::unexpected(
        FitError::invalid_input("solver tolerances must be positive and finite"));
  }
  return {};
}

std::expected<void, FitError> validate_residuals(std::span<const double> residuals,
                                                 std::optional<std::size_t> expected_length) {
  const bool valid = !residuals.empty() &&
                     (!expected_length || *expected_length == residuals.size()) &&
                     detail::all_finite(residuals);
  if (valid) return {};
  return std::unexpected(
      FitError::evaluation_failed("residual evaluation returned an invalid vector"));
}

double robust_cost(std::span<const double> residuals, Loss loss, double f_scale) noexcept {
  if (loss.kind == Loss::Linear) {
    // 0.5 * sum f^2 exactly, whatever the scale.
    double sum = 0.0;
    for (double f : residuals) sum += f * f;
    return 0.5 * sum;
  }
  double sum = 0.0;
  for (double f : residuals) sum += loss_terms(loss, squared_ratio(f, f_scale)).rho;
  return 0.5 * f_scale * f_scale * sum;
}

void detail::robust_weights_into(std::span<const double> residuals, Loss loss, double f_scale,
                                 std::vector<double>& weights) {
  weights.resize(residuals.size());
  for (std::size_t i = 0; i < residuals.size(); ++i) {
    weights[i] = at_least_eps(loss_terms(loss, squared_ratio(residuals[i], f_scale)).d1);
  }
}

std::vector<double> robust_weights(std::span<const double> residuals, Loss loss,
                                   double f_scale) {
  std::vector<double> weights;
  detail::robust_weights_into(residuals, loss, f_scale, weights);
  return weights;
}

Jacobian robust_result_jacobian(Jacobian jacobian, std::span<const double> residuals, Loss loss,
                                double f_scale) noexcept {
  if (loss.kind == Loss::Linear) return jacobian;  // every factor is exactly 1
  const std::size_t rows = std::min(jacobian.rows(), residuals.size());
  for (std::size_t r = 0; r < rows; ++r) {
    const double z = squared_ratio(residuals[r], f_scale);
    const LossTerms t = loss_terms(loss, z);
    const double factor = std::sqrt(at_least_eps(t.d1 + 2.0 * z * t.d2));
    for (std::size_t s = 0; s < jacobian.row_width(); ++s) jacobian.at(r, s) *= factor;
  }
  return jacobian;
}

}  // namespace barometra
