#include "barometra/fit/engine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "barometra/checks.hpp"
#include "barometra/fit/gauss_newton.hpp"
#include "matrix.hpp"

namespace barometra {

namespace {

constexpr double kInitialDamping = 1e-3;
constexpr double kDampingDecrease = 0.3;
constexpr double kDampingFloor = 1e-15;
constexpr double kDampingIncrease = 10.0;
constexpr double kDampingCeiling = 1e30;  // only after an evaluated rejection
constexpr int kMaxAttempts = 24;
constexpr std::uint64_t kEvaluationsPerParameter = 100;
// The first-order condition a success must meet: every free gradient
// component small against its column and the residual, |J_i^T W f| <=
// kStationarity |J_i|_W |f|_W (a weighted cosine, so free of units), or a
// residual that is rounding noise, |f|_W <= kRoundingNoise eps |J diag(x)|_W.
constexpr double kStationarity = 1e-4;
constexpr double kRoundingNoise = 64.0;

double euclidean_norm(std::span<const double> x) noexcept {
  double sum = 0.0;
  for (double v : x) sum += v * v;
  return std::sqrt(sum);
}

std::uint64_t evaluation_budget(const SolverOptions& options, std::size_t n) noexcept {
  if (options.max_evaluations) return *options.max_evaluations;
  std::uint64_t budget;
  if (__builtin_mul_overflow(static_cast<std::uint64_t>(n), kEvaluationsPerParameter, &budget)) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return budget;
}

void set_status(SolverResult& result, std::int32_t status, std::string_view message) noexcept {
  result.status = status;
  result.message = message;
  result.success = status >= 1 && status <= 4;
}

// Descent (along -g) would leave the box through the bound x sits on.
bool blocked(double g, double x, double lower, double upper) noexcept {
  return (g > 0.0 && x <= lower) || (g < 0.0 && x >= upper);
}

// The residual at which the cost of the residuals up to it first overflows
// (the terms are not negative, so by bisection over prefixes).
std::size_t overflowing_residual(std::span<const double> f, const SolverOptions& options) noexcept {
  std::size_t finite = 0, overflowing = f.size();  // prefix lengths
  while (overflowing - finite > 1) {
    const std::size_t middle = finite + (overflowing - finite) / 2;
    const bool ok = is_finite(robust_cost(f.first(middle), options.loss, options.f_scale));
    (ok ? finite : overflowing) = middle;
  }
  return overflowing - 1;
}

// The state carried from one outer iteration to the next.
class Iteration {
 public:
  Iteration(std::span<const double> lower, std::span<const double> upper,
            const SolverOptions& options, const std::optional<StructuredLayout>& layout,
            ResidualFunction residual)
      : lower_(lower), upper_(upper), options_(options), layout_(layout), residual_(residual) {}

  ResidualStatus start(std::span<const double> initial, SolverResult& result) {
    result.x.assign(initial.begin(), initial.end());
    if (auto s = residual_(result.x, result.fun); !s) return s;
    if (auto s = validate_residuals(result.fun, std::nullopt); !s) return s;
    result.nfev = 1;
    if (layout_ && layout_->residual_count() != result.fun.size()) {
      return std::unexpected(
          FitError::invalid_input("structured layout does not match the residual vector"));
    }
    result.cost = robust_cost(result.fun, options_.loss, options_.f_scale);
    // No step could ever be accepted from an infinite cost.
    if (!is_finite(result.cost)) {
      return std::unexpected(FitError::evaluation_failed(
          "cost is not finite at the initial values (residual " +
          std::to_string(overflowing_residual(result.fun, options_)) + ")"));
    }
    set_status(result, 0, solver_message::kBudget);
    result.optimality = HUGE_VAL;
    return {};
  }

  // A Jacobian at result.x with its normal equations and optimality.
  ResidualStatus linearise(SolverResult& result) {
    auto evaluations = detail::finite_difference_into(result.x, lower_, upper_, result.fun,
                                                      layout_, residual_, work_, jacobian_);
    if (!evaluations) return std::unexpected(evaluations.error());
    detail::robust_weights_into(result.fun, options_.loss, options_.f_scale, weights_);
    detail::normal_equations_into(jacobian_, result.fun, weights_, system_);
    result.optimality = projected_gradient_norm(system_.gradient, result.x, lower_, upper_);
    ++result.njev;
    return {};
  }

  // The first-order condition at result.x, from the last linearisation there.
  bool stationary(const SolverResult& result) const noexcept {
    double residual = 0.0, scale = 0.0;
    for (std::size_t r = 0; r < result.fun.size(); ++r) {
      residual += weights_[r] * result.fun[r] * result.fun[r];
    }
    bool small_gradient = true;
    for (std::size_t i = 0; i < result.x.size(); ++i) {
      const double g = system_.gradient[i], column = detail::normal_diagonal(system_, i);
      scale += result.x[i] * result.x[i] * column;
      if (blocked(g, result.x[i], lower_[i], upper_[i])) continue;
      if (!(g * g <= kStationarity * kStationarity * column * residual)) small_gradient = false;
    }
    const double noise = kRoundingNoise * kMachineEpsilon;
    return small_gradient || residual <= noise * noise * scale;
  }

  // From now on steps are taken with the variables held by their bounds
  // fixed, so that a bound no longer cuts every step short, and with the
  // damping no larger than at the start.
  void keep_iterating() noexcept {
    fix_blocked_ = true;
    lambda_ = std::min(lambda_, kInitialDamping);
  }
  bool keeping_on() const noexcept { return fix_blocked_; }

  enum class Outcome { Finished, NextIteration };

  // Whether the last attempt loop moved x.
  bool moved() const noexcept { return moved_; }

  // The attempt loop of one outer iteration.
  std::expected<Outcome, FitError> attempt_steps(SolverResult& result, std::uint64_t budget) {
    const std::size_t m = result.fun.size();
    double min_step = HUGE_VAL;
    bool tried = false;
    moved_ = false;
    const NormalSystem& system = fix_blocked_ ? free_system(result) : system_;
    for (int attempts = 1;; ++attempts) {
      auto p = solve_normal_step(system, lambda_);
      // A step that overflowed is no more usable than a singular system.
      if (!p || !detail::all_finite(*p)) {
        lambda_ *= kDampingIncrease;
      } else {
        trial_x_.resize(result.x.size());
        for (std::size_t i = 0; i < trial_x_.size(); ++i) {
          trial_x_[i] = std::min(upper_[i], std::max(lower_[i], result.x[i] + (*p)[i]));
        }
        const double step = scaled_norm_difference(trial_x_, result.x);
        if (step < min_step) min_step = step;
        if (step == 0.0) {
          tried = true;
          lambda_ *= kDampingIncrease;
        } else if (result.nfev >= budget) {
          set_status(result, 0, solver_message::kBudget);
          return Outcome::Finished;
        } else {
          if (auto s = residual_(trial_x_, trial_f_); !s) return std::unexpected(s.error());
          if (auto s = validate_residuals(trial_f_, m); !s) return std::unexpected(s.error());
          const double trial_cost = robust_cost(trial_f_, options_.loss, options_.f_scale);
          ++result.nfev;
          if (trial_cost < result.cost) {
            lambda_ = std::max(lambda_ * kDampingDecrease, kDampingFloor);
            const double old_cost = result.cost;
            std::swap(result.x, trial_x_);
            std::swap(result.fun, trial_f_);
            result.cost = trial_cost;
            moved_ = true;
            return converged(result, step, old_cost, budget);
          }
          lambda_ = std::min(lambda_ * kDampingIncrease, kDampingCeiling);
          tried = true;
        }
      }
      if (attempts == kMaxAttempts) {
        if (result.nfev >= budget) {
          set_status(result, 0, solver_message::kBudget);
        } else if (tried && min_step <= options_.xtol * (options_.xtol + euclidean_norm(result.x))) {
          set_status(result, 3, solver_message::kXtol);
        } else {
          set_status(result, 0, solver_message::kNoStep);
        }
        return Outcome::Finished;
      }
    }
  }

  Jacobian& jacobian() noexcept { return jacobian_; }

 private:
  // The normal system with the variables that sit on a bound their
  // gradient pushes against held fixed; a bound whose gradient points
  // inward releases its variable.
  const NormalSystem& free_system(const SolverResult& result) {
    fixed_.resize(result.x.size());
    for (std::size_t i = 0; i < fixed_.size(); ++i) {
      fixed_[i] = blocked(system_.gradient[i], result.x[i], lower_[i], upper_[i]);
    }
    free_system_ = system_;
    detail::fix_parameters(free_system_, fixed_);
    return free_system_;
  }

  Outcome converged(SolverResult& result, double step, double old_cost,
                    std::uint64_t budget) noexcept {
    const double xnorm = euclidean_norm(result.x);
    const bool xtol_ok = step <= options_.xtol * (options_.xtol + xnorm);
    const bool ftol_ok =
        std::fabs(old_cost - result.cost) <= options_.ftol * std::max(old_cost, 1.0);
    if (xtol_ok && ftol_ok) {
      set_status(result, 4, solver_message::kFtolXtol);
    } else if (xtol_ok) {
      set_status(result, 3, solver_message::kXtol);
    } else if (ftol_ok) {
      set_status(result, 2, solver_message::kFtol);
    } else if (result.nfev >= budget) {
      set_status(result, 0, solver_message::kBudget);
    } else {
      return Outcome::NextIteration;
    }
    return Outcome::Finished;
  }

  std::span<const double> lower_, upper_;
  const SolverOptions& options_;
  const std::optional<StructuredLayout>& layout_;
  ResidualFunction residual_;
  double lambda_ = kInitialDamping;  // lowered only by keep_iterating()
  bool moved_ = false;
  bool fix_blocked_ = false;
  std::vector<std::uint8_t> fixed_;
  NormalSystem free_system_;
  // Reused by every outer iteration.
  detail::DifferenceWorkspace work_;
  std::vector<double> weights_;
  Jacobian jacobian_;
  NormalSystem system_;
  std::vector<double> trial_x_, trial_f_;
};

}  // namespace

double scaled_norm_difference(std::span<const double> a, std::span<const double> b) noexcept {
  const std::size_t n = std::min(a.size(), b.size());
  double sum = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = (a[i] - b[i]) / std::max(std::fabs(b[i]), 1.0);
    sum += d * d;
  }
  return std::sqrt(sum);
}

double projected_gradient_norm(std::span<const double> gradient, std::span<const double> x,
                               std::span<const double> lower,
                               std::span<const double> upper) noexcept {
  double largest = 0.0;
  const std::size_t n = std::min({gradient.size(), x.size(), lower.size(), upper.size()});
  for (std::size_t i = 0; i < n; ++i) {
    const double g = gradient[i];
    const bool blocked = (g > 0.0 && x[i] <= lower[i]) || (g < 0.0 && x[i] >= upper[i]);
    const double v = blocked ? 0.0 : std::fabs(g);
    if (v > largest) largest = v;  // NaN is ignored
  }
  return largest;
}

std::expected<SolverResult, FitError> least_squares_internal(
    std::span<const double> initial, std::span<const double> lower,
    std::span<const double> upper, const SolverOptions& options,
    const std::optional<StructuredLayout>& layout, ResidualFunction residual) {
  if (auto valid = validate_problem(initial, lower, upper, options); !valid) {
    return std::unexpected(valid.error());
  }
  // Checked before the first evaluation: latent indices outside the vector
  // would otherwise be read and written.
  if (layout && layout->parameter_count() != initial.size()) {
    return std::unexpected(
        FitError::invalid_input("structured layout does not match the parameter vector"));
  }
  const std::uint64_t budget = evaluation_budget(options, initial.size());

  SolverResult result;
  Iteration iteration(lower, upper, options, layout, residual);
  if (auto s = iteration.start(initial, result); !s) return std::unexpected(s.error());

  // A stopping test that fires where the first-order condition fails (a step
  // cut short by a bound, a cost change below ftol at a small cost) is no
  // success: the iteration goes on, with the variables on their bounds fixed.
  bool linearised = false;
  bool current = false;        // the normal system is that of result.x
  bool final_jacobian = false; // ... and computed after the last step, for the result
  if (budget >= 2) {
    for (;;) {
      if (!current) {
        if (auto s = iteration.linearise(result); !s) return std::unexpected(s.error());
      }
      linearised = true;
      current = final_jacobian = false;
      if (result.optimality <= options.gtol) {
        if (iteration.stationary(result)) {
          set_status(result, 1, solver_message::kGtol);
          break;
        }
        iteration.keep_iterating();
      }
      auto outcome = iteration.attempt_steps(result, budget);
      if (!outcome) return std::unexpected(outcome.error());
      if (*outcome == Iteration::Outcome::NextIteration) continue;
      if (!result.success) break;
      current = true;
      if (iteration.moved()) {
        if (auto s = iteration.linearise(result); !s) return std::unexpected(s.error());
        final_jacobian = true;
      } else if (iteration.keeping_on() && !iteration.stationary(result)) {
        set_status(result, 0, solver_message::kNoStep);  // no step helps any more
        break;
      }
      if (iteration.stationary(result)) break;
      iteration.keep_iterating();
      set_status(result, 0, solver_message::kBudget);
      if (result.nfev >= budget) break;
    }
  }

  // A successful run reports the Jacobian at its final point; otherwise the
  // last one computed stands (possibly that of the previous point).
  if ((result.success && !final_jacobian) || !linearised) {
    if (auto s = iteration.linearise(result); !s) return std::unexpected(s.error());
  }
  result.jac = robust_result_jacobian(std::move(iteration.jacobian()), result.fun, options.loss,
                                      options.f_scale);
  return result;
}

}  // namespace barometra
