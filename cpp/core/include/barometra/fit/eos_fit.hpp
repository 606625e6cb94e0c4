// Fitting an equation of state to measured P-V or P-V-T data with
// uncertainties in every variable.
//
// Parameters: the k model parameters, then N latent volumes (when volume
// sigmas are given), then N latent temperatures (when temperature sigmas
// are given). Residuals, in blocks of N rows:
//
//   block 0:  (P_model(V_i [, T_i]) - P_obs,i) / sigma_P,i
//   block 1:  (V_i - V_obs,i) / sigma_V,i        latent volumes only
//   block 2:  (T_i - T_obs,i) / sigma_T,i        latent temperatures only
//
// With a Cholesky factor C_i of observation i's error covariance the raw
// differences r_i = (dP, dV[, dT]) are whitened instead, w_i = C_i^-1 r_i,
// and w_i[c] goes to row c * N + i. An errors-in-variables fit (latents
// present) runs the engine in the structured layout (G = k, P = N, L), so
// its cost is linear in N; its covariance is profiled over the latents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/engine.hpp"
#include "barometra/fit/problem.hpp"
#include "barometra/isothermal/batch.hpp"
#include "barometra/isothermal/rt_model.hpp"

namespace barometra {

// Measured pressures and volumes. The spans are read during the fit only.
struct PvObservations {
  std::span<const double> pressure;        // N, finite
  std::span<const double> volume;          // N, positive and finite
  std::span<const double> pressure_sigma;  // N, positive and finite
  // Makes the volumes latent: N, positive and finite.
  std::optional<std::span<const double>> volume_sigma;
  // N lower-triangular 2 x 2 factors of cov(P, V), row-major; needs volume_sigma.
  std::optional<std::span<const double>> cholesky;
};

// Measured pressures, volumes and temperatures.
struct PvtObservations {
  std::span<const double> pressure;
  std::span<const double> volume;
  std::span<const double> temperature;  // N, positive and finite
  std::span<const double> pressure_sigma;
  std::optional<std::span<const double>> volume_sigma;
  std::optional<std::span<const double>> temperature_sigma;  // makes temperatures latent
  // N lower-triangular 3 x 3 factors of cov(P, V, T), row-major; needs both
  // volume_sigma and temperature_sigma.
  std::optional<std::span<const double>> cholesky;
};

struct EosFitResult {
  SolverResult solver;
  std::vector<double> parameters;          // k, the first k entries of solver.x
  std::vector<double> covariance;          // k x k, profiled over the latents
  // The parameters the data do not determine (ascending): the covariance's
  // zeros there are no variance, so their standard errors and correlations
  // are NaN.
  std::vector<std::size_t> undetermined;
  std::vector<double> standard_errors;     // k, sqrt(max(cov_ii, 0)), NaN if undetermined
  std::vector<double> correlation;         // k x k, 0 where a standard error is 0
  std::vector<double> predicted_pressure;  // N, at the fitted parameters
  std::vector<double> volumes;             // N, fitted latent or measured
  std::optional<std::vector<double>> temperatures;  // N, thermal fits only
  double chi_square = 0.0;                 // sum of fun^2
  std::int64_t degrees_of_freedom = 0;     // m - n, negative when n > m
  std::optional<double> reduced_chi_square;  // chi_square / (m - n), when m > n
  double aic = 0.0;
  double bic = 0.0;
};

// Predicted pressures of the trial model parameters (k values) at the given
// volumes and temperatures (empty for an isothermal fit), written into
// `pressures`. A non-owning reference to the caller's function, like
// ResidualFunction; may throw std::bad_alloc only.
using PredictionStatus = std::expected<void, FitError>;
using PressurePrediction = detail::FunctionRef<PredictionStatus(
    std::span<const double> parameters, std::span<const double> volumes,
    std::span<const double> temperatures, std::span<double> pressures)>;

namespace detail {

// The observations of either fit; `temperature` is empty for an isothermal one.
struct EosObservations {
  std::span<const double> pressure, volume, temperature, pressure_sigma;
  std::optional<std::span<const double>> volume_sigma, temperature_sigma, cholesky;
  bool thermal = false;
};

// The fit itself, shared by both entry points: input checks, engine, result.
std::expected<EosFitResult, FitError> fit_eos(const EosObservations& observations,
                                              std::span<const double> initial,
                                              std::span<const double> lower,
                                              std::span<const double> upper,
                                              const SolverOptions& options,
                                              PressurePrediction predict);

// The one place where a trial model meets the volumes: P(V_i) for every i,
// the first failure returned.
template <class Model>
PredictionStatus isothermal_pressures(const Model& model, std::span<const double> volumes,
                                      std::span<double> pressures) noexcept {
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const Result p = model.pressure(volumes[i]);
    if (!p) return std::unexpected(FitError(p.error()));
    pressures[i] = *p;
  }
  return {};
}

// The batch kernels: vector code where the model has it, the same values
// and the same first error as the loop above.
inline PredictionStatus isothermal_pressures(const RtModel& model,
                                             std::span<const double> volumes,
                                             std::span<double> pressures) noexcept {
  if (const BatchResult failure = pressure_batch(model, volumes, pressures)) {
    return std::unexpected(FitError(failure->error));
  }
  return {};
}

}  // namespace detail

// Fits the parameters that `build` maps to a model,
//   build(std::span<const double> parameters) -> std::expected<Model, FitError>,
// with Model::pressure(V) -> Result, to P-V data. A failure of the builder or
// of the model ends the fit with that error; running out of budget does not.
template <class BuildModel>
std::expected<EosFitResult, FitError> fit_isothermal_eos(const PvObservations& observations,
                                                         std::span<const double> initial,
                                                         std::span<const double> lower,
                                                         std::span<const double> upper,
                                                         const SolverOptions& options,
                                                         BuildModel&& build) {
  auto predict = [&build](std::span<const double> parameters, std::span<const double> volumes,
                          std::span<const double>,
                          std::span<double> pressures) -> PredictionStatus {
    auto model = build(parameters);
    if (!model) return std::unexpected(std::move(model.error()));
    return detail::isothermal_pressures(*model, volumes, pressures);
  };
  const detail::EosObservations data{observations.pressure,       observations.volume,
                                     {},
                                     observations.pressure_sigma, observations.volume_sigma,
                                     std::nullopt,                observations.cholesky,
                                     false};
  return detail::fit_eos(data, initial, lower, upper, options, predict);
}

// The same for P-V-T data, with pressure(model, V, T) -> Result as the
// model's total pressure.
template <class BuildModel, class PressureFunction>
std::expected<EosFitResult, FitError> fit_thermal_eos_by(const PvtObservations& observations,
                                                         std::span<const double> initial,
                                                         std::span<const double> lower,
                                                         std::span<const double> upper,
                                                         const SolverOptions& options,
                                                         BuildModel&& build,
                                                         PressureFunction&& pressure) {
  auto predict = [&build, &pressure](
                     std::span<const double> parameters, std::span<const double> volumes,
                     std::span<const double> temperatures,
                     std::span<double> pressures) -> PredictionStatus {
    auto model = build(parameters);
    if (!model) return std::unexpected(std::move(model.error()));
    for (std::size_t i = 0; i < volumes.size(); ++i) {
      const Result p = pressure(*model, volumes[i], temperatures[i]);
      if (!p) return std::unexpected(FitError(p.error()));
      pressures[i] = *p;
    }
    return {};
  };
  const detail::EosObservations data{observations.pressure,       observations.volume,
                                     observations.temperature,    observations.pressure_sigma,
                                     observations.volume_sigma,   observations.temperature_sigma,
                                     observations.cholesky,       true};
  return detail::fit_eos(data, initial, lower, upper, options, predict);
}

}  // namespace barometra
