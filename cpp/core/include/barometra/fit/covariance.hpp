// Statistics of a fit: the parameter covariance (J^T J)^+ of the reported
// Jacobian, dense or profiled over nuisance parameters, the delta method,
// and Monte Carlo summaries, with their two matrix kernels.
//
// Rank is judged on the information matrix scaled to unit diagonal,
// D^-1 S D^-1 with d_i = sqrt(S_ii): judged unscaled, parameters that differ
// in scale by 1e5 or more would lose well-determined directions. A parameter
// with a component along a direction the rank cut drops is undetermined: the
// data leave it free, and the zero the pseudoinverse puts there is no
// variance.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/jacobian.hpp"

namespace barometra {

// A covariance with the parameters the data do not determine.
struct CovarianceEstimate {
  std::vector<double> covariance;         // k x k, row-major
  std::vector<std::size_t> undetermined;  // ascending indices
};

// (J^T J)^+ of the leading k parameters, the trailing n - k profiled out
// (k x k, row-major). J is m x n row-major.
std::expected<std::vector<double>, FitError> parameter_covariance(
    std::span<const double> jacobian, std::size_t m, std::size_t n, std::size_t k);
// The same, with the undetermined parameters.
std::expected<CovarianceEstimate, FitError> estimate_parameter_covariance(
    std::span<const double> jacobian, std::size_t m, std::size_t n, std::size_t k);

// The G x G covariance of the globals, profiled over every point's latents
// one L x L block at a time. This one takes the full m x n matrix...
std::expected<std::vector<double>, FitError> parameter_covariance_structured(
    std::span<const double> jacobian, const StructuredLayout& layout);
// ...and this one the compact Jacobian of a structured fit (the same result,
// in O(P) memory).
std::expected<std::vector<double>, FitError> parameter_covariance_structured(
    const Jacobian& jacobian);
// The same, with the undetermined globals.
std::expected<CovarianceEstimate, FitError> estimate_parameter_covariance_structured(
    const Jacobian& jacobian);

// Pseudoinverse of a symmetric positive semidefinite k x k matrix by cyclic
// Jacobi with largest-element pivoting; eigenvalues up to
// rank_scale * eps * max|lambda| count as zero.
std::expected<std::vector<double>, FitError> symmetric_pseudoinverse(std::span<const double> s,
                                                                     std::size_t k,
                                                                     double rank_scale);

// Lower-triangular L with L L^T = Sigma, tolerant of semidefinite Sigma
// (tolerance 1e-12 * max(1, max|Sigma_ij|)); checks symmetry on the way.
std::expected<std::vector<double>, FitError> positive_semidefinite_factor(
    std::span<const double> sigma, std::size_t p);

struct LinearPropagation {
  std::vector<double> variance;                 // q
  std::optional<std::vector<double>> covariance;  // q x q when requested
};

// Delta method: diag(J Sigma J^T) + s, and the full matrix when requested.
std::expected<LinearPropagation, FitError> propagate_linear_uncertainty(
    std::span<const double> jacobian, std::size_t q, std::size_t p,
    std::span<const double> covariance, std::span<const double> state_variance,
    bool full_covariance);

struct MonteCarloSummary {
  std::vector<double> standard_error;             // p, sample standard deviations
  std::vector<double> lower;                      // p
  std::vector<double> upper;                      // p
  std::optional<std::vector<double>> covariance;  // p x p when requested
};

// N samples (rows) of p variables; central interval of probability
// `confidence` by linear interpolation between order statistics.
std::expected<MonteCarloSummary, FitError> summarize_monte_carlo(
    std::span<const double> samples, std::size_t n, std::size_t p, double confidence,
    bool full_covariance);

}  // namespace barometra
