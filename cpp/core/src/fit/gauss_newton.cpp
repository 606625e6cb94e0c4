#include "barometra/fit/gauss_newton.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "barometra/fit/linear.hpp"
#include "matrix.hpp"

namespace barometra {

namespace {

std::unexpected<FitError> fixed_parameter(std::size_t index) {
  return std::unexpected(FitError::invalid_input("parameter " + std::to_string(index) +
                                                 " is fixed by equal bounds"));
}

using Workspace = detail::DifferenceWorkspace;

ResidualStatus evaluate(ResidualFunction residual, std::span<const double> x,
                        std::vector<double>& out, std::size_t m) {
  if (auto status = residual(x, out); !status) return status;
  return validate_residuals(out, m);
}

// The forward and backward finite-difference steps that stay within the bounds.
struct BoundedSteps {
  double forward, backward;  // hf and hb, 0 on the corresponding bound
};

BoundedSteps bounded_steps(double x, double lower, double upper) noexcept {
  const double h = std::max(std::fabs(x), 1.0) * kFiniteDifferenceStep;
  return {std::min(h, upper - x), std::min(h, x - lower)};
}

struct ColumnStep {
  double step;
  unsigned evaluations;
};

// Column j into `difference` (m values). work.x must hold x; it does again
// on success (only entry j moves), so the vector is copied once per Jacobian.
std::expected<ColumnStep, FitError> difference_column(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, std::size_t j, ResidualFunction residual, Workspace& work,
    std::span<double> difference) {
  const std::size_t m = f0.size();
  const BoundedSteps h = bounded_steps(x[j], lower[j], upper[j]);
  ColumnStep result{};
  if (h.forward > 0.0 && h.backward > 0.0) {
    work.x[j] = x[j] + h.forward;
    if (auto s = evaluate(residual, work.x, work.plus, m); !s) return std::unexpected(s.error());
    work.x[j] = x[j] - h.backward;
    if (auto s = evaluate(residual, work.x, work.minus, m); !s) return std::unexpected(s.error());
    for (std::size_t r = 0; r < m; ++r) difference[r] = work.plus[r] - work.minus[r];
    result = {h.forward + h.backward, 2};
  } else if (h.forward > 0.0) {
    work.x[j] = x[j] + h.forward;
    if (auto s = evaluate(residual, work.x, work.plus, m); !s) return std::unexpected(s.error());
    for (std::size_t r = 0; r < m; ++r) difference[r] = work.plus[r] - f0[r];
    result = {h.forward, 1};
  } else if (h.backward > 0.0) {
    work.x[j] = x[j] - h.backward;
    if (auto s = evaluate(residual, work.x, work.minus, m); !s) return std::unexpected(s.error());
    for (std::size_t r = 0; r < m; ++r) difference[r] = f0[r] - work.minus[r];
    result = {h.backward, 1};
  } else {
    return fixed_parameter(j);
  }
  work.x[j] = x[j];
  return result;
}

// The G global columns, one at a time, into entries 0..G-1 of every row.
std::expected<std::uint64_t, FitError> global_columns(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, std::size_t count, ResidualFunction residual, Workspace& work,
    Jacobian& jacobian) {
  work.x.assign(x.begin(), x.end());
  std::uint64_t evaluations = 0;
  for (std::size_t j = 0; j < count; ++j) {
    if (evaluations == std::numeric_limits<std::uint64_t>::max()) {
      return std::unexpected(FitError::evaluation_failed(
          "function evaluation budget exhausted while calculating Jacobian"));
    }
    // The difference goes straight into the Jacobian's column, then is scaled.
    const auto target = jacobian.entries(j);
    auto column = difference_column(x, lower, upper, f0, j, residual, work, target);
    if (!column) return std::unexpected(column.error());
    for (double& entry : target) entry /= column->step;
    evaluations += column->evaluations;
  }
  return evaluations;
}

// Latent coordinate c of every point at once: x+ and x- move each point's
// coordinate by its own room, and rows of point k only see point k's move.
// work.x and work.x_minus hold x on entry and again on success.
ResidualStatus latent_column(std::span<const double> x, std::span<const double> lower,
                             std::span<const double> upper, const StructuredLayout& layout,
                             std::size_t c, ResidualFunction residual, Workspace& work,
                             std::vector<double>& steps, Jacobian& jacobian) {
  const std::size_t points = layout.point_count;
  for (std::size_t k = 0; k < points; ++k) {
    const std::size_t i = layout.latent_index(k, c);
    const BoundedSteps h = bounded_steps(x[i], lower[i], upper[i]);
    steps[k] = h.forward + h.backward;
    if (!(steps[k] > 0.0)) return fixed_parameter(i);
    work.x[i] = x[i] + h.forward;
    work.x_minus[i] = x[i] - h.backward;
  }
  const std::size_t m = jacobian.rows();
  if (auto s = evaluate(residual, work.x, work.plus, m); !s) return s;
  if (auto s = evaluate(residual, work.x_minus, work.minus, m); !s) return s;
  for (std::size_t k = 0; k < points; ++k) {
    const std::size_t i = layout.latent_index(k, c);
    work.x[i] = work.x_minus[i] = x[i];
  }
  const auto target = jacobian.entries(layout.global_parameter_count + c);
  for (std::size_t block = 0, r = 0; block <= layout.latent_coordinate_count; ++block) {
    for (std::size_t k = 0; k < points; ++k, ++r) {
      target[r] = (work.plus[r] - work.minus[r]) / steps[k];
    }
  }
  return {};
}

void dense_normal_equations(const Jacobian& jacobian, std::span<const double> f,
                            std::span<const double> w, NormalSystem& system) {
  const std::size_t n = jacobian.cols();
  system.a.assign(n * n, 0.0);
  system.gradient.assign(n, 0.0);
  std::vector<double> row(n);
  for (std::size_t r = 0; r < jacobian.rows(); ++r) {
    for (std::size_t j = 0; j < n; ++j) row[j] = jacobian.at(r, j);
    for (std::size_t j = 0; j < n; ++j) {
      const double t = w[r] * row[j];
      system.gradient[j] += t * f[r];
      double* a_row = system.a.data() + j * n;
      for (std::size_t k = 0; k <= j; ++k) a_row[k] += t * row[k];
    }
  }
  detail::mirror_lower(system.a, n);
}

void structured_normal_equations(const Jacobian& jacobian, std::span<const double> f,
                                 std::span<const double> w, NormalSystem& system) {
  const StructuredLayout& layout = *jacobian.layout();
  const std::size_t g = layout.global_parameter_count, points = layout.point_count,
                    l = layout.latent_coordinate_count, width = g + l;
  system.a.assign(g * g, 0.0);
  system.coupling.assign(points * g * l, 0.0);
  system.latent.assign(points * l * l, 0.0);
  system.gradient.assign(jacobian.cols(), 0.0);
  // Rows block by block, so that row r = block * P + k needs no division.
  std::vector<double> row(width);
  for (std::size_t block = 0, r = 0; block <= l; ++block) {
    for (std::size_t k = 0; k < points; ++k, ++r) {
      for (std::size_t s = 0; s < width; ++s) row[s] = jacobian.at(r, s);
      double* coupling = system.coupling.data() + k * g * l;
      double* latent = system.latent.data() + k * l * l;
      // Entry s is column column_of(r, s), and columns grow with s, so the
      // pairs s' <= s are the dense routine's lower triangle.
      for (std::size_t s = 0; s < width; ++s) {
        const double t = w[r] * row[s];
        if (s < g) {
          system.gradient[s] += t * f[r];
          for (std::size_t q = 0; q <= s; ++q) system.a[s * g + q] += t * row[q];
        } else {
          const std::size_t c = s - g;
          system.gradient[layout.latent_index(k, c)] += t * f[r];
          for (std::size_t q = 0; q < g; ++q) coupling[q * l + c] += t * row[q];
          for (std::size_t q = 0; q <= c; ++q) latent[c * l + q] += t * row[g + q];
        }
      }
    }
  }
  detail::mirror_lower(system.a, g);
  for (std::size_t k = 0; k < points; ++k) {
    detail::mirror_lower(std::span(system.latent).subspan(k * l * l, l * l), l);
  }
}

}  // namespace

namespace detail {

std::expected<std::uint64_t, FitError> finite_difference_into(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, const std::optional<StructuredLayout>& layout,
    ResidualFunction residual, DifferenceWorkspace& work, Jacobian& jacobian) {
  const std::size_t m = f0.size(), n = x.size();
  if (jacobian.rows() != m || jacobian.cols() != n || jacobian.layout() != layout) {
    jacobian = layout ? Jacobian::structured(*layout) : Jacobian::dense(m, n);
  }
  const std::size_t globals = layout ? layout->global_parameter_count : n;
  auto evaluations = global_columns(x, lower, upper, f0, globals, residual, work, jacobian);
  if (!evaluations || !layout) return evaluations;
  work.steps.resize(layout->point_count);
  work.x_minus.assign(x.begin(), x.end());
  for (std::size_t c = 0; c < layout->latent_coordinate_count; ++c) {
    if (*evaluations > std::numeric_limits<std::uint64_t>::max() - 2) {
      return std::unexpected(FitError::evaluation_failed(
          "function evaluation budget exhausted while calculating Jacobian"));
    }
    auto status = latent_column(x, lower, upper, *layout, c, residual, work, work.steps, jacobian);
    if (!status) return std::unexpected(status.error());
    *evaluations += 2;
  }
  return evaluations;
}

void normal_equations_into(const Jacobian& jacobian, std::span<const double> residuals,
                           std::span<const double> weights, NormalSystem& system) {
  system.layout = jacobian.layout();
  if (system.layout) {
    structured_normal_equations(jacobian, residuals, weights, system);
  } else {
    dense_normal_equations(jacobian, residuals, weights, system);
  }
}

void fix_parameters(NormalSystem& system, std::span<const std::uint8_t> fixed) {
  // Row and column of a square row-major block set to those of the identity.
  auto isolate = [](double* block, std::size_t order, std::size_t i) noexcept {
    for (std::size_t j = 0; j < order; ++j) block[i * order + j] = block[j * order + i] = 0.0;
    block[i * order + i] = 1.0;
  };
  if (!system.layout) {
    const std::size_t n = system.gradient.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (fixed[i]) isolate(system.a.data(), n, i);
    }
  } else {
    const StructuredLayout& layout = *system.layout;
    const std::size_t g = layout.global_parameter_count, l = layout.latent_coordinate_count;
    for (std::size_t k = 0; k < layout.point_count; ++k) {
      double* coupling = system.coupling.data() + k * g * l;
      for (std::size_t c = 0; c < l; ++c) {
        if (!fixed[layout.latent_index(k, c)]) continue;
        isolate(system.latent.data() + k * l * l, l, c);
        for (std::size_t j = 0; j < g; ++j) coupling[j * l + c] = 0.0;
      }
      for (std::size_t j = 0; j < g; ++j) {
        if (fixed[j]) std::fill(coupling + j * l, coupling + (j + 1) * l, 0.0);
      }
    }
    for (std::size_t j = 0; j < g; ++j) {
      if (fixed[j]) isolate(system.a.data(), g, j);
    }
  }
  for (std::size_t i = 0; i < system.gradient.size(); ++i) {
    if (fixed[i]) system.gradient[i] = 0.0;
  }
}

double normal_diagonal(const NormalSystem& system, std::size_t i) noexcept {
  if (!system.layout) return system.a[i * (system.gradient.size() + 1)];
  const StructuredLayout& layout = *system.layout;
  const std::size_t g = layout.global_parameter_count, l = layout.latent_coordinate_count;
  if (i < g) return system.a[i * (g + 1)];
  const std::size_t c = (i - g) / layout.point_count, k = (i - g) % layout.point_count;
  return system.latent[k * l * l + c * (l + 1)];
}

}  // namespace detail

std::expected<FiniteDifference, FitError> finite_difference_column(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, std::size_t column, ResidualFunction residual) {
  Workspace work;
  work.x.assign(x.begin(), x.end());
  FiniteDifference result{std::vector<double>(f0.size()), 0.0, 0};
  auto step = difference_column(x, lower, upper, f0, column, residual, work, result.difference);
  if (!step) return std::unexpected(step.error());
  result.step = step->step;
  result.evaluations = step->evaluations;
  return result;
}

std::expected<JacobianEvaluation, FitError> finite_difference_for_layout(
    std::span<const double> x, std::span<const double> lower, std::span<const double> upper,
    std::span<const double> f0, const std::optional<StructuredLayout>& layout,
    ResidualFunction residual) {
  detail::DifferenceWorkspace work;
  JacobianEvaluation result{{}, 0};
  auto evaluations =
      detail::finite_difference_into(x, lower, upper, f0, layout, residual, work, result.jacobian);
  if (!evaluations) return std::unexpected(evaluations.error());
  result.evaluations = *evaluations;
  return result;
}

NormalSystem normal_equations_for_layout(const Jacobian& jacobian,
                                         std::span<const double> residuals,
                                         std::span<const double> weights) {
  NormalSystem system;
  detail::normal_equations_into(jacobian, residuals, weights, system);
  return system;
}

std::expected<std::vector<double>, FitError> solve_normal_step(const NormalSystem& system,
                                                               double lambda) {
  if (system.layout) return solve_structured_normal_step(system, lambda);
  const std::size_t n = system.gradient.size();
  std::vector<double> a = system.a;
  detail::add_marquardt_damping(a, n, lambda);
  std::vector<double> rhs(n);
  for (std::size_t i = 0; i < n; ++i) rhs[i] = -system.gradient[i];
  return solve_scaled_linear_system(a, rhs, n);
}

std::expected<std::vector<double>, FitError> solve_structured_normal_step(
    const NormalSystem& system, double lambda) {
  const StructuredLayout& layout = *system.layout;
  const std::size_t g = layout.global_parameter_count, points = layout.point_count,
                    l = layout.latent_coordinate_count;
  std::vector<double> schur = system.a;
  detail::add_marquardt_damping(schur, g, lambda);
  std::vector<double> reduced(g);
  for (std::size_t i = 0; i < g; ++i) reduced[i] = -system.gradient[i];

  // Scratch for one point's systems; every solve refactors its own copy.
  std::vector<double> damped(l * l), work(l * l), rhs(l), scale(std::max(l, g));
  auto damp_latent = [&](std::size_t k) {
    const auto block = std::span(system.latent).subspan(k * l * l, l * l);
    std::copy(block.begin(), block.end(), damped.begin());
    detail::add_marquardt_damping(damped, l, lambda);
  };
  auto solve_latent = [&]() noexcept {
    std::copy(damped.begin(), damped.end(), work.begin());
    return detail::solve_scaled_in_place(work, rhs, scale, l);
  };

  for (std::size_t k = 0; k < points; ++k) {
    const double* coupling = system.coupling.data() + k * g * l;
    damp_latent(k);
    for (std::size_t c = 0; c < l; ++c) rhs[c] = -system.gradient[layout.latent_index(k, c)];
    if (!solve_latent()) return std::unexpected(FitError::singular_system());
    for (std::size_t i = 0; i < g; ++i) {
      for (std::size_t c = 0; c < l; ++c) reduced[i] -= coupling[i * l + c] * rhs[c];
    }
    for (std::size_t j = 0; j < g; ++j) {
      std::copy(coupling + j * l, coupling + (j + 1) * l, rhs.begin());
      if (!solve_latent()) return std::unexpected(FitError::singular_system());
      for (std::size_t i = 0; i < g; ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < l; ++c) sum += coupling[i * l + c] * rhs[c];
        schur[i * g + j] -= sum;
      }
    }
  }

  std::vector<double> step(system.gradient.size());
  if (!detail::solve_scaled_in_place(schur, reduced, scale, g)) {
    return std::unexpected(FitError::singular_system());
  }
  std::copy(reduced.begin(), reduced.end(), step.begin());
  for (std::size_t k = 0; k < points; ++k) {
    const double* coupling = system.coupling.data() + k * g * l;
    damp_latent(k);
    for (std::size_t c = 0; c < l; ++c) {
      double value = -system.gradient[layout.latent_index(k, c)];
      for (std::size_t j = 0; j < g; ++j) value -= coupling[j * l + c] * reduced[j];
      rhs[c] = value;
    }
    if (!solve_latent()) return std::unexpected(FitError::singular_system());
    for (std::size_t c = 0; c < l; ++c) step[layout.latent_index(k, c)] = rhs[c];
  }
  return step;
}

}  // namespace barometra
