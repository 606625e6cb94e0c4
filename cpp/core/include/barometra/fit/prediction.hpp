// The uncertainty of what a fitted model predicts, from the covariance Sigma
// of its k parameters theta. The quantity is the caller's: q values of the
// model built from one parameter vector.
//
// Delta method, by central differences of h_j = 1e-3 standard errors:
//   J_ij = (f_i(theta + h_j e_j) - f_i(theta - h_j e_j)) / (2 h_j),
//   se_i = sqrt((J Sigma J^T)_ii);
// a parameter with Sigma_jj = 0 moves nothing, so its column is zero and
// never evaluated. Monte Carlo: f at each of N drawn parameter vectors; a draw
// whose model or quantity fails is left out, counted, and the rest summarised.
//
// A parameter the data do not determine has no variance to propagate: a
// value that changes when it moves (by 1e-6 of itself, or 1e-6 at zero) gets
// a NaN standard error, and a NaN interval, from either method.
#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/covariance.hpp"
#include "barometra/fit/function_ref.hpp"

namespace barometra {

inline constexpr double kDeltaMethodStep = 1e-3;  // in standard errors
inline constexpr double kUndeterminedStep = 1e-6;  // relative

// Evaluates the quantity at the parameter vectors in `parameters` (rows of
// k): row r of `values` (q wide) gets the values of row r, and failures[r]
// the error of a row that fails (its values are then unspecified). Rows are
// independent, so they may be evaluated in any order or at once.
using QuantityRows = detail::FunctionRef<void(std::span<const double> parameters,
                                              std::span<double> values,
                                              std::span<std::optional<FitError>> failures)>;

// Standard errors of the q values by the delta method, or the first failing
// row's error (rows in the order theta + h_0, theta - h_0, theta + h_1, ...,
// then the undetermined parameters' rows likewise), or the propagation's.
// `undetermined` lists parameter indices.
std::expected<std::vector<double>, FitError> delta_method_standard_errors(
    std::span<const double> parameters, std::span<const double> covariance, std::size_t q,
    QuantityRows evaluate, std::span<const std::size_t> undetermined = {});

struct MonteCarloPrediction {
  MonteCarloSummary summary;  // over the accepted draws
  std::size_t rejected = 0;   // draws whose model or quantity failed
};

// The summary of the q values over the draws (N rows of k), at the central
// interval of probability `confidence`. Fewer than two accepted draws is
// InvalidInput. The values that move with an undetermined parameter, moved
// from the fitted `parameters`, are NaN.
std::expected<MonteCarloPrediction, FitError> monte_carlo_prediction(
    std::span<const double> draws, std::size_t k, std::size_t q, double confidence,
    QuantityRows evaluate, std::span<const double> parameters = {},
    std::span<const std::size_t> undetermined = {});

}  // namespace barometra
