#include "barometra/fit/covariance.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "barometra/checks.hpp"
#include "barometra/fit/linear.hpp"
#include "counts.hpp"
#include "matrix.hpp"

namespace barometra {

namespace {

using detail::all_finite;
using detail::count_as_double;
using detail::largest_magnitude;
using Matrix = std::expected<std::vector<double>, FitError>;

bool has_size(std::span<const double> values, std::size_t rows, std::size_t cols) noexcept {
  std::size_t size;
  return !__builtin_mul_overflow(rows, cols, &size) && values.size() == size;
}

std::unexpected<FitError> invalid_matrix() {
  return std::unexpected(FitError::invalid_input("invalid symmetric matrix for pseudoinverse"));
}

// Eigenvalues (the diagonal of `a`) and eigenvectors (the columns of `v`)
// of a symmetric k x k matrix, by cyclic Jacobi with largest-element pivoting.
struct Eigensystem {
  std::vector<double> a, v;
};

Eigensystem jacobi_eigensystem(std::span<const double> s, std::size_t k);

// sum over the eigenpairs with |lambda| above their tolerance of
// v v^T / lambda; a pair below -tolerance makes the matrix indefinite. The
// eigenvectors dropped are listed in `dropped` when it is given.
template <class Tolerance>
Matrix pseudoinverse_of(const Eigensystem& e, std::size_t k, Tolerance tolerance,
                        std::vector<std::size_t>* dropped = nullptr) {
  std::vector<double> inverse(k * k, 0.0);
  for (std::size_t c = 0; c < k; ++c) {
    const double lambda = e.a[c * k + c], tol = tolerance(c);
    if (lambda < -tol) {
      return std::unexpected(
          FitError::invalid_input("information matrix must be positive semidefinite"));
    }
    if (lambda <= tol) {  // a null direction: dropped, not inverted
      if (dropped != nullptr) dropped->push_back(c);
      continue;
    }
    for (std::size_t i = 0; i < k; ++i) {
      const double vi = e.v[i * k + c] / lambda;
      for (std::size_t j = 0; j < k; ++j) inverse[i * k + j] += vi * e.v[j * k + c];
    }
  }
  return inverse;
}

double largest_eigenvalue(const Eigensystem& e, std::size_t k) noexcept {
  double largest = 0.0;
  for (std::size_t i = 0; i < k; ++i) largest = std::max(largest, std::fabs(e.a[i * k + i]));
  return largest;
}

// An information matrix S formed from an information whose diagonal was
// `magnitude` before nuisance parameters were profiled out: the profiling
// cancels most of it where a parameter is nearly fixed by the nuisances, and
// the rounding of what was cancelled stays behind.
struct Information {
  std::vector<double> s;
  std::vector<double> magnitude;  // empty: nothing was cancelled
};

// The pseudoinverse of D^-1 S D^-1, d_i = sqrt(S_ii) (1 where S_ii is not
// positive and finite), mapped back by D^-1. Rank is thereby judged on
// correlations, not on the parameters' units. An eigenvalue counts as zero
// up to rank_scale eps lambda_max, or up to the rounding its eigenvector
// carries from the cancelled magnitudes, rank_scale eps (sum_i |v_i|
// sqrt(rho_i))^2 with rho_i = magnitude_i / d_i^2: a negative eigenvalue
// there is rounding, not an indefinite matrix.
// The parameters with a component above sqrt(eps) along a dropped
// eigenvector: they move along a direction the data do not see. Smaller
// components are the eigenvectors' rounding.
std::vector<std::size_t> undetermined_parameters(const Eigensystem& e, std::size_t k,
                                                 std::span<const std::size_t> dropped) {
  std::vector<std::size_t> undetermined;
  for (std::size_t i = 0; i < k; ++i) {
    double along = 0.0;
    for (const std::size_t c : dropped) along += e.v[i * k + c] * e.v[i * k + c];
    if (along > kMachineEpsilon) undetermined.push_back(i);
  }
  return undetermined;
}

std::expected<CovarianceEstimate, FitError> scaled_pseudoinverse(Information information,
                                                                 std::size_t k,
                                                                 double rank_scale) {
  std::vector<double>& s = information.s;
  // The Jacobian is finite: only an overflow makes its products non-finite.
  if (!all_finite(s) || !all_finite(information.magnitude)) {
    return std::unexpected(FitError::singular_system());
  }
  std::vector<double> d(k);
  for (std::size_t i = 0; i < k; ++i) {
    const double v = s[i * k + i];
    d[i] = is_positive_finite(v) ? std::sqrt(v) : 1.0;
  }
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < k; ++j) s[i * k + j] = s[i * k + j] / d[i] / d[j];
  }
  if (!all_finite(s)) return std::unexpected(FitError::singular_system());
  const Eigensystem e = jacobi_eigensystem(s, k);
  const double tol = rank_scale * kMachineEpsilon * largest_eigenvalue(e, k);
  auto tolerance = [&](std::size_t c) {
    if (information.magnitude.empty()) return tol;
    double carried = 0.0;
    for (std::size_t i = 0; i < k; ++i) {
      carried += std::fabs(e.v[i * k + c]) * std::sqrt(information.magnitude[i]) / d[i];
    }
    return std::max(tol, rank_scale * kMachineEpsilon * carried * carried);
  };
  std::vector<std::size_t> dropped;
  auto inverse = pseudoinverse_of(e, k, tolerance, &dropped);
  if (!inverse) return std::unexpected(std::move(inverse.error()));
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < k; ++j) (*inverse)[i * k + j] = (*inverse)[i * k + j] / d[i] / d[j];
  }
  return CovarianceEstimate{std::move(*inverse), undetermined_parameters(e, k, dropped)};
}

std::expected<std::vector<double>, FitError> covariance_of(
    std::expected<CovarianceEstimate, FitError>&& estimate) {
  if (!estimate) return std::unexpected(std::move(estimate.error()));
  return std::move(estimate->covariance);
}

// Adds rows' outer products of the entries into the lower triangle of the
// n x n `out`; mirrors at the end.
void accumulate_gram(std::span<const double> jacobian, std::size_t m, std::size_t n,
                     std::span<double> out) noexcept {
  for (std::size_t r = 0; r < m; ++r) {
    const double* row = jacobian.data() + r * n;
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t j = 0; j <= i; ++j) out[i * n + j] += row[i] * row[j];
    }
  }
  detail::mirror_lower(out, n);
}

// S = F_aa - F_ab F_bb^-1 F_ba for the leading k of the n x n information F.
std::expected<Information, FitError> profile(std::span<const double> f, std::size_t n,
                                             std::size_t k) {
  const std::size_t b = n - k;
  std::vector<double> f_bb(b * b);
  for (std::size_t i = 0; i < b; ++i) {
    for (std::size_t j = 0; j < b; ++j) f_bb[i * b + j] = f[(k + i) * n + k + j];
  }
  std::vector<double> s(k * k), magnitude(k), column(b);
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < b; ++j) column[j] = f[(k + j) * n + i];
    auto z = solve_scaled_linear_system(f_bb, column, b);
    if (!z) return std::unexpected(z.error());
    // Column i of S: F_aa[:, i] - F_ab z_i.
    for (std::size_t row = 0; row < k; ++row) {
      double sum = 0.0;
      for (std::size_t j = 0; j < b; ++j) sum += f[row * n + k + j] * (*z)[j];
      s[row * k + i] = f[row * n + i] - sum;
      if (row == i) magnitude[i] = f[i * n + i] + std::fabs(sum);
    }
  }
  return Information{std::move(s), std::move(magnitude)};
}

// IEEE total order: -0 before +0 (all values are finite here).
bool total_order_less(double a, double b) noexcept {
  auto key = [](double v) {
    const auto bits = std::bit_cast<std::int64_t>(v);
    return bits ^ static_cast<std::int64_t>(static_cast<std::uint64_t>(bits >> 63) >> 1);
  };
  return key(a) < key(b);
}

double interpolated_percentile(std::span<const double> sorted, double q) noexcept {
  const std::size_t n = sorted.size();
  const double h = q * count_as_double(n - 1);
  const auto i0 = static_cast<std::size_t>(std::floor(h));
  const std::size_t i1 = std::min(n - 1, i0 + 1);
  return sorted[i0] + (h - static_cast<double>(i0)) * (sorted[i1] - sorted[i0]);
}

}  // namespace

Matrix parameter_covariance(std::span<const double> jacobian, std::size_t m, std::size_t n,
                            std::size_t k) {
  return covariance_of(estimate_parameter_covariance(jacobian, m, n, k));
}

std::expected<CovarianceEstimate, FitError> estimate_parameter_covariance(
    std::span<const double> jacobian, std::size_t m, std::size_t n, std::size_t k) {
  if (!has_size(jacobian, m, n) || m == 0 || k == 0 || k > n) {
    return std::unexpected(FitError::invalid_input("invalid Jacobian dimensions for covariance"));
  }
  if (!all_finite(jacobian)) return invalid_matrix();
  std::vector<double> information(n * n, 0.0);
  accumulate_gram(jacobian, m, n, information);
  const double rank_scale = count_as_double(std::max(m, n));
  if (k == n) return scaled_pseudoinverse({std::move(information), {}}, k, rank_scale);
  if (!all_finite(information)) return std::unexpected(FitError::singular_system());
  auto profiled = profile(information, n, k);
  if (!profiled) return std::unexpected(profiled.error());
  return scaled_pseudoinverse(std::move(*profiled), k, rank_scale);
}

Matrix parameter_covariance_structured(std::span<const double> jacobian,
                                       const StructuredLayout& layout) {
  const auto m = layout.residual_count(), n = layout.parameter_count();
  if (!m || !n || !has_size(jacobian, *m, *n)) {
    return std::unexpected(
        FitError::invalid_input("invalid structured Jacobian dimensions for covariance"));
  }
  // Only the structurally non-zero entries count, so read just those.
  Jacobian compact = Jacobian::structured(layout);
  for (std::size_t r = 0; r < *m; ++r) {
    for (std::size_t s = 0; s < compact.row_width(); ++s) {
      compact.at(r, s) = jacobian[r * *n + compact.column_of(r, s)];
    }
  }
  return parameter_covariance_structured(compact);
}

Matrix parameter_covariance_structured(const Jacobian& jacobian) {
  return covariance_of(estimate_parameter_covariance_structured(jacobian));
}

std::expected<CovarianceEstimate, FitError> estimate_parameter_covariance_structured(
    const Jacobian& jacobian) {
  if (!jacobian.layout()) {
    return std::unexpected(
        FitError::invalid_input("invalid structured Jacobian dimensions for covariance"));
  }
  const StructuredLayout& layout = *jacobian.layout();
  const std::size_t g = layout.global_parameter_count, points = layout.point_count,
                    l = layout.latent_coordinate_count;
  for (std::size_t s = 0; s < jacobian.row_width(); ++s) {
    if (!all_finite(jacobian.entries(s))) return invalid_matrix();
  }
  std::vector<double> information(g * g, 0.0), magnitude(g, 0.0);
  std::vector<double> a(g * g), b(g * l), d(l * l), row(g + l);
  for (std::size_t k = 0; k < points; ++k) {
    std::fill(a.begin(), a.end(), 0.0);
    std::fill(b.begin(), b.end(), 0.0);
    std::fill(d.begin(), d.end(), 0.0);
    for (std::size_t block = 0; block <= l; ++block) {
      for (std::size_t s = 0; s < row.size(); ++s) row[s] = jacobian.at(block * points + k, s);
      for (std::size_t i = 0; i < g; ++i) {
        for (std::size_t j = 0; j < g; ++j) a[i * g + j] += row[i] * row[j];
        for (std::size_t c = 0; c < l; ++c) b[i * l + c] += row[i] * row[g + c];
      }
      for (std::size_t c = 0; c < l; ++c) {
        for (std::size_t e = 0; e < l; ++e) d[c * l + e] += row[g + c] * row[g + e];
      }
    }
    auto d_estimate = scaled_pseudoinverse({d, {}}, l, count_as_double(l + 1));
    if (!d_estimate) return d_estimate;
    const std::vector<double>* d_inverse = &d_estimate->covariance;
    // F_gg += A_k - B_k D_k^+ B_k^T
    for (std::size_t i = 0; i < g; ++i) {
      for (std::size_t j = 0; j < g; ++j) {
        double sum = 0.0;
        for (std::size_t c = 0; c < l; ++c) {
          for (std::size_t e = 0; e < l; ++e) {
            sum += b[i * l + c] * (*d_inverse)[c * l + e] * b[j * l + e];
          }
        }
        information[i * g + j] += a[i * g + j] - sum;
        if (i == j) magnitude[i] += a[i * g + i] + std::fabs(sum);
      }
    }
  }
  return scaled_pseudoinverse({std::move(information), std::move(magnitude)}, g,
                              count_as_double(std::max(jacobian.rows(), jacobian.cols())));
}

Matrix symmetric_pseudoinverse(std::span<const double> s, std::size_t k, double rank_scale) {
  if (k == 0 || !has_size(s, k, k) || !all_finite(s)) return invalid_matrix();
  const Eigensystem e = jacobi_eigensystem(s, k);
  const double tolerance = rank_scale * kMachineEpsilon * largest_eigenvalue(e, k);
  return pseudoinverse_of(e, k, [tolerance](std::size_t) { return tolerance; });
}

namespace {

Eigensystem jacobi_eigensystem(std::span<const double> s, std::size_t k) {
  std::vector<double> a(s.begin(), s.end()), v(k * k, 0.0);
  for (std::size_t i = 0; i < k; ++i) {
    v[i * k + i] = 1.0;
    for (std::size_t j = i + 1; j < k; ++j) {
      a[i * k + j] = a[j * k + i] = 0.5 * (a[i * k + j] + a[j * k + i]);
    }
  }
  const double off_tolerance =
      count_as_double(k) * kMachineEpsilon * largest_magnitude(a, 0.0);
  const std::size_t sweeps = std::max<std::size_t>(64 * k * k, 1);
  for (std::size_t sweep = 0; sweep < sweeps && k > 1; ++sweep) {
    std::size_t p = 0, q = 1;
    double largest = std::fabs(a[1]);
    for (std::size_t i = 0; i < k; ++i) {
      for (std::size_t j = i + 1; j < k; ++j) {
        if (std::fabs(a[i * k + j]) > largest) {
          largest = std::fabs(a[i * k + j]);
          p = i;
          q = j;
        }
      }
    }
    if (largest <= off_tolerance) break;
    const double apq = a[p * k + q];
    const double theta = (a[q * k + q] - a[p * k + p]) / (2.0 * apq);
    const double root = std::sqrt(theta * theta + 1.0);
    const double t = theta >= 0.0 ? 1.0 / (theta + root) : -1.0 / (root - theta);
    const double c = 1.0 / std::sqrt(t * t + 1.0), sn = t * c;
    for (std::size_t r = 0; r < k; ++r) {
      if (r == p || r == q) continue;
      const double arp = a[r * k + p], arq = a[r * k + q];
      a[r * k + p] = a[p * k + r] = c * arp - sn * arq;
      a[r * k + q] = a[q * k + r] = sn * arp + c * arq;
    }
    a[p * k + p] -= t * apq;
    a[q * k + q] += t * apq;
    a[p * k + q] = a[q * k + p] = 0.0;
    for (std::size_t r = 0; r < k; ++r) {
      const double vrp = v[r * k + p], vrq = v[r * k + q];
      v[r * k + p] = c * vrp - sn * vrq;
      v[r * k + q] = sn * vrp + c * vrq;
    }
  }
  return {std::move(a), std::move(v)};
}

}  // namespace

Matrix positive_semidefinite_factor(std::span<const double> sigma, std::size_t p) {
  if (!has_size(sigma, p, p)) {
    return std::unexpected(FitError::invalid_input("invalid covariance dimensions for factor"));
  }
  const double tolerance = 1e-12 * largest_magnitude(sigma, 1.0);
  std::vector<double> l(p * p, 0.0);
  for (std::size_t i = 0; i < p; ++i) {
    for (std::size_t j = 0; j <= i; ++j) {
      if (std::fabs(sigma[j * p + i] - sigma[i * p + j]) > tolerance) {
        return std::unexpected(FitError::invalid_input("parameter covariance must be symmetric"));
      }
      double v = sigma[i * p + j];
      for (std::size_t q = 0; q < j; ++q) v -= l[i * p + q] * l[j * p + q];
      if (j < i) {
        if (l[j * p + j] > tolerance) {
          l[i * p + j] = v / l[j * p + j];
        } else if (std::fabs(v) > tolerance) {
          return std::unexpected(
              FitError::invalid_input("parameter covariance must be positive semidefinite"));
        }
      } else {
        if (v < -tolerance) {
          return std::unexpected(
              FitError::invalid_input("parameter covariance must be positive semidefinite"));
        }
        l[i * p + i] = std::sqrt(std::max(v, 0.0));
      }
    }
  }
  return l;
}

std::expected<LinearPropagation, FitError> propagate_linear_uncertainty(
    std::span<const double> jacobian, std::size_t q, std::size_t p,
    std::span<const double> covariance, std::span<const double> state_variance,
    bool full_covariance) {
  if (q == 0 || !has_size(jacobian, q, p) || !has_size(covariance, p, p) ||
      state_variance.size() != q) {
    return std::unexpected(
        FitError::invalid_input("invalid dimensions for linear uncertainty propagation"));
  }
  if (!all_finite(jacobian) || !all_finite(covariance) || !all_finite(state_variance)) {
    return std::unexpected(FitError::invalid_input("linear uncertainty inputs must be finite"));
  }
  if (std::any_of(state_variance.begin(), state_variance.end(), [](double s) { return s < 0.0; })) {
    return std::unexpected(FitError::invalid_input("state variances must be nonnegative"));
  }
  if (auto factor = positive_semidefinite_factor(covariance, p); !factor) {
    return std::unexpected(factor.error());
  }
  std::vector<double> product(q * p, 0.0);  // M = J Sigma
  for (std::size_t i = 0; i < q; ++i) {
    for (std::size_t l = 0; l < p; ++l) {
      double sum = 0.0;
      for (std::size_t c = 0; c < p; ++c) sum += jacobian[i * p + c] * covariance[c * p + l];
      product[i * p + l] = sum;
    }
  }
  auto quadratic = [&](std::size_t i, std::size_t j) noexcept {
    double sum = 0.0;
    for (std::size_t l = 0; l < p; ++l) sum += product[i * p + l] * jacobian[j * p + l];
    return sum;
  };
  LinearPropagation result;
  result.variance.resize(q);
  for (std::size_t i = 0; i < q; ++i) {
    result.variance[i] = std::max(quadratic(i, i) + state_variance[i], 0.0);
  }
  if (full_covariance) {
    std::vector<double> k(q * q);
    for (std::size_t i = 0; i < q; ++i) {
      for (std::size_t j = 0; j < q; ++j) k[i * q + j] = quadratic(i, j);
      k[i * q + i] += state_variance[i];  // not clamped
    }
    result.covariance = std::move(k);
  }
  return result;
}

std::expected<MonteCarloSummary, FitError> summarize_monte_carlo(std::span<const double> samples,
                                                                 std::size_t n, std::size_t p,
                                                                 double confidence,
                                                                 bool full_covariance) {
  if (n < 2 || p == 0 || !has_size(samples, n, p) || !is_finite(confidence) ||
      confidence < 0.0 || confidence >= 1.0 || !all_finite(samples)) {
    return std::unexpected(
        FitError::invalid_input("invalid Monte Carlo samples or confidence"));
  }
  const double count = count_as_double(n), dof = count_as_double(n - 1);
  std::vector<double> mean(p, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j < p; ++j) mean[j] += samples[i * p + j];
  }
  for (double& m : mean) m /= count;

  MonteCarloSummary result;
  result.standard_error.resize(p);
  result.lower.resize(p);
  result.upper.resize(p);
  const double alpha = 1.0 - confidence;
  const double q_lo = alpha * 0.5, q_hi = 1.0 - alpha * 0.5;
  std::vector<double> column(n);
  for (std::size_t j = 0; j < p; ++j) {
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      const double d = samples[i * p + j] - mean[j];
      sum += d * d;
      column[i] = samples[i * p + j];
    }
    result.standard_error[j] = std::sqrt(sum / dof);
    std::stable_sort(column.begin(), column.end(), total_order_less);
    result.lower[j] = interpolated_percentile(column, q_lo);
    result.upper[j] = interpolated_percentile(column, q_hi);
  }
  if (full_covariance) {
    std::vector<double> cov(p * p);
    for (std::size_t j = 0; j < p; ++j) {
      for (std::size_t k = 0; k <= j; ++k) {
        double sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
          sum += (samples[i * p + j] - mean[j]) * (samples[i * p + k] - mean[k]);
        }
        cov[j * p + k] = cov[k * p + j] = sum / dof;
      }
    }
    result.covariance = std::move(cov);
  }
  return result;
}

}  // namespace barometra
