#include "barometra/fit/prediction.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace barometra {

namespace {

std::unexpected<FitError> invalid(std::string message) {
  return std::unexpected(FitError::invalid_input(std::move(message)));
}

// Evaluates `count` rows and returns the first failure in row order.
std::optional<FitError> evaluate_rows(QuantityRows evaluate, std::span<const double> parameters,
                                      std::size_t count, std::size_t q,
                                      std::vector<double>& values,
                                      std::vector<std::optional<FitError>>& failures) {
  values.assign(count * q, 0.0);
  failures.assign(count, std::nullopt);
  evaluate(parameters, values, failures);
  for (auto& failure : failures) {
    if (failure) return std::move(failure);
  }
  return std::nullopt;
}

// The q values at theta + h_c e_c and at theta - h_c e_c for each moved
// parameter c in turn, or the first failing row's error.
std::expected<std::vector<double>, FitError> central_values(std::span<const double> parameters,
                                                            std::span<const std::size_t> moved,
                                                            std::span<const double> steps,
                                                            std::size_t q, QuantityRows evaluate) {
  const std::size_t k = parameters.size();
  std::vector<double> rows;
  rows.reserve(2 * moved.size() * k);
  for (std::size_t c = 0; c < moved.size(); ++c) {
    for (const double sign : {1.0, -1.0}) {
      rows.insert(rows.end(), parameters.begin(), parameters.end());
      rows[rows.size() - k + moved[c]] = parameters[moved[c]] + sign * steps[c];
    }
  }
  std::vector<double> values;
  std::vector<std::optional<FitError>> failures;
  if (auto failure = evaluate_rows(evaluate, rows, 2 * moved.size(), q, values, failures)) {
    return std::unexpected(std::move(*failure));
  }
  return values;
}

// Whether each of the q values changes when an undetermined parameter moves,
// or the first failing row's error.
std::expected<std::vector<bool>, FitError> moves_with_undetermined(
    std::span<const double> parameters, std::span<const std::size_t> undetermined,
    std::size_t q, QuantityRows evaluate) {
  std::vector<bool> moves(q, false);
  if (undetermined.empty()) return moves;
  std::vector<double> steps;
  for (const std::size_t j : undetermined) {
    if (j >= parameters.size()) return invalid("undetermined parameter index out of range");
    const double scale = parameters[j] == 0.0 ? 1.0 : std::fabs(parameters[j]);
    steps.push_back(kUndeterminedStep * scale);
  }
  const auto values = central_values(parameters, undetermined, steps, q, evaluate);
  if (!values) return std::unexpected(values.error());
  for (std::size_t c = 0; c < undetermined.size(); ++c) {
    const double* up = values->data() + 2 * c * q;
    const double* down = up + q;
    for (std::size_t i = 0; i < q; ++i) {
      if (up[i] != down[i]) moves[i] = true;
    }
  }
  return moves;
}

}  // namespace

std::expected<std::vector<double>, FitError> delta_method_standard_errors(
    std::span<const double> parameters, std::span<const double> covariance, std::size_t q,
    QuantityRows evaluate, std::span<const std::size_t> undetermined) {
  const std::size_t k = parameters.size();
  if (k == 0 || covariance.size() != k * k) {
    return invalid("invalid dimensions for linear uncertainty propagation");
  }
  std::vector<std::size_t> moved;  // the parameters with a standard error
  std::vector<double> steps;
  for (std::size_t j = 0; j < k; ++j) {
    const double standard_error = std::sqrt(std::max(covariance[j * k + j], 0.0));
    if (standard_error == 0.0 || std::ranges::find(undetermined, j) != undetermined.end()) {
      continue;
    }
    moved.push_back(j);
    steps.push_back(kDeltaMethodStep * standard_error);
  }
  const auto values = central_values(parameters, moved, steps, q, evaluate);
  if (!values) return std::unexpected(values.error());
  const auto undetermined_moves = moves_with_undetermined(parameters, undetermined, q, evaluate);
  if (!undetermined_moves) return std::unexpected(undetermined_moves.error());
  std::vector<double> jacobian(q * k, 0.0);
  for (std::size_t c = 0; c < moved.size(); ++c) {
    const double* up = values->data() + 2 * c * q;
    const double* down = up + q;
    for (std::size_t i = 0; i < q; ++i) {
      jacobian[i * k + moved[c]] = (up[i] - down[i]) / (2.0 * steps[c]);
    }
  }
  auto propagated = propagate_linear_uncertainty(jacobian, q, k, covariance,
                                                 std::vector<double>(q, 0.0), false);
  if (!propagated) return std::unexpected(std::move(propagated.error()));
  std::vector<double> standard_errors = std::move(propagated->variance);
  for (std::size_t i = 0; i < q; ++i) {
    standard_errors[i] = (*undetermined_moves)[i] ? NAN : std::sqrt(standard_errors[i]);
  }
  return standard_errors;
}

std::expected<MonteCarloPrediction, FitError> monte_carlo_prediction(
    std::span<const double> draws, std::size_t k, std::size_t q, double confidence,
    QuantityRows evaluate, std::span<const double> parameters,
    std::span<const std::size_t> undetermined) {
  if (k == 0 || draws.size() % k != 0 || (!undetermined.empty() && parameters.size() != k)) {
    return invalid("invalid Monte Carlo samples or confidence");
  }
  const std::size_t count = draws.size() / k;
  std::vector<double> values;
  std::vector<std::optional<FitError>> failures;
  evaluate_rows(evaluate, draws, count, q, values, failures);
  // The accepted rows, moved up in order over the rejected ones.
  std::size_t accepted = 0;
  for (std::size_t r = 0; r < count; ++r) {
    if (failures[r]) continue;
    std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(r * q), q,
                values.begin() + static_cast<std::ptrdiff_t>(accepted * q));
    ++accepted;
  }
  if (accepted < 2) {
    return invalid("only " + std::to_string(accepted) + " of " + std::to_string(count) +
                   " Monte Carlo draws gave a valid model: the covariance reaches far outside "
                   "the model's domain");
  }
  values.resize(accepted * q);
  auto summary = summarize_monte_carlo(values, accepted, q, confidence, false);
  if (!summary) return std::unexpected(std::move(summary.error()));
  const auto undetermined_moves = moves_with_undetermined(parameters, undetermined, q, evaluate);
  if (!undetermined_moves) return std::unexpected(undetermined_moves.error());
  for (std::size_t i = 0; i < q; ++i) {
    if (!(*undetermined_moves)[i]) continue;
    summary->standard_error[i] = summary->lower[i] = summary->upper[i] = NAN;
  }
  return MonteCarloPrediction{std::move(*summary), count - accepted};
}

}  // namespace barometra
