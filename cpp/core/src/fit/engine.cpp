#include "barometra/fit/engine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

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

  enum class Outcome { Finished, NextIteration };

  // The attempt loop of one outer iteration.
  std::expected<Outcome, FitError> attempt_steps(SolverResult& result, std::uint64_t budget) {
    const std::size_t m = result.fun.size();
    double min_step = HUGE_VAL;
    bool tried = false;
    for (int attempts = 1;; ++attempts) {
      auto p = solve_normal_step(system_, lambda_);
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
  double lambda_ = kInitialDamping;  // never reset between outer iterations
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

  bool linearised = false;
  if (budget >= 2) {
    for (;;) {
      if (auto s = iteration.linearise(result); !s) return std::unexpected(s.error());
      linearised = true;
      if (result.optimality <= options.gtol) {
        set_status(result, 1, solver_message::kGtol);
        break;
      }
      auto outcome = iteration.attempt_steps(result, budget);
      if (!outcome) return std::unexpected(outcome.error());
      if (*outcome == Iteration::Outcome::Finished) break;
    }
  }

  // A successful run reports the Jacobian at its final point; otherwise the
  // last one computed stands (possibly that of the previous point).
  if (result.success || !linearised) {
    if (auto s = iteration.linearise(result); !s) return std::unexpected(s.error());
  }
  result.jac = robust_result_jacobian(std::move(iteration.jacobian()), result.fun, options.loss,
                                      options.f_scale);
  return result;
}

}  // namespace barometra
