#include "barometra/fit/eos_fit.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "barometra/checks.hpp"
#include "barometra/fit/covariance.hpp"
#include "joint_core.hpp"

namespace barometra::detail {

namespace {

using Status = std::expected<void, FitError>;

std::unexpected<FitError> invalid(std::string message) {
  return std::unexpected(FitError::invalid_input(std::move(message)));
}

// Names the input and the row that break the rule, so that a caller can say
// which measurement to look at.
std::unexpected<FitError> invalid_at(std::string message, std::string_view field,
                                     std::optional<std::size_t> row) {
  return std::unexpected(FitError::invalid_input(std::move(message), field, row));
}

template <class Valid>
std::optional<std::size_t> first_invalid(std::span<const double> values, Valid valid) noexcept {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!valid(values[i])) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> first_not_positive_finite(std::span<const double> values) noexcept {
  return first_invalid(values, is_positive_finite);
}

Status validate_common(const EosObservations& o) {
  return check_common_rows(o.pressure, o.volume, o.pressure_sigma);
}

// A wrong length names the array without a row.
Status validate_per_observation(std::span<const double> values, std::size_t n,
                                std::string_view name) {
  const bool sized = values.size() == n;
  const auto row = sized ? first_not_positive_finite(values) : std::nullopt;
  if (sized && !row) return {};
  return invalid_at(std::string(name) + " must contain one positive finite value per observation",
                    name, row);
}

// Each factor d x d, row-major; within a row the diagonal is checked before
// the entries to its right.
Status validate_cholesky(std::span<const double> factors, std::size_t n, std::size_t d) {
  constexpr std::string_view kField = "observation_cholesky";
  if (factors.size() != n * d * d) {
    return invalid_at("observation Cholesky factors have invalid dimensions or values", kField,
                      std::nullopt);
  }
  if (const auto entry = first_invalid(factors, is_finite)) {
    return invalid_at("observation Cholesky factors have invalid dimensions or values", kField,
                      *entry / (d * d));
  }
  for (std::size_t i = 0; i < n; ++i) {
    const double* factor = factors.data() + i * d * d;
    for (std::size_t r = 0; r < d; ++r) {
      if (!(factor[r * d + r] > 0.0)) {
        return invalid_at("observation Cholesky factors must have positive diagonals", kField, i);
      }
      for (std::size_t c = r + 1; c < d; ++c) {
        if (factor[r * d + c] != 0.0) {
          return invalid_at("observation Cholesky factors must be lower triangular", kField, i);
        }
      }
    }
  }
  return {};
}

Status validate_observations(const EosObservations& o) {
  if (auto s = validate_common(o); !s) return s;
  const std::size_t n = o.pressure.size();
  if (o.thermal) {
    if (auto s = validate_per_observation(o.temperature, n, "temperature"); !s) return s;
  }
  if (o.volume_sigma) {
    if (auto s = validate_per_observation(*o.volume_sigma, n, "volume_sigma"); !s) return s;
  }
  if (o.thermal && o.temperature_sigma) {
    if (auto s = validate_per_observation(*o.temperature_sigma, n, "temperature_sigma"); !s) {
      return s;
    }
  }
  if (!o.cholesky) return {};
  if (auto s = validate_cholesky(*o.cholesky, n, o.thermal ? 3 : 2); !s) return s;
  if (!o.thermal && !o.volume_sigma) {
    return invalid("correlated pressure-volume errors require latent volumes");
  }
  if (o.thermal && !(o.volume_sigma && o.temperature_sigma)) {
    return invalid("correlated pressure-volume-temperature errors require latent coordinates");
  }
  return {};
}

}  // namespace

std::expected<EosFitResult, FitError> fit_eos(const EosObservations& observations,
                                              std::span<const double> initial,
                                              std::span<const double> lower,
                                              std::span<const double> upper,
                                              const SolverOptions& options,
                                              PressurePrediction predict) {
  if (auto s = validate_observations(observations); !s) return std::unexpected(s.error());
  const auto optional = [](const std::optional<std::span<const double>>& values) {
    return values.value_or(std::span<const double>{});
  };
  const JointRows rows{.pressure = observations.pressure,
                       .volume = observations.volume,
                       .temperature = observations.temperature,
                       .pressure_sigma = observations.pressure_sigma,
                       .volume_sigma = optional(observations.volume_sigma),
                       .temperature_sigma = observations.thermal
                                                ? optional(observations.temperature_sigma)
                                                : std::span<const double>{},
                       .cholesky = observations.cholesky};
  const JointPredictions predictions{.sample = predict};
  return solve_joint(rows, JointSetup{}, initial, lower, upper, options, predictions);
}

}  // namespace barometra::detail
