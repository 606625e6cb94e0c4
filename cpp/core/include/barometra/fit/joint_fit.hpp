// One fit over rows of several kinds and datasets: the core of every native
// EOS fit (the single P-V(-T) fit is its one-dataset, all-static case).
//
// Globals: the k model parameters, then one pressure offset per dataset
// after the first, then the S nuisance parameters of a calibrant's pressure
// scale. Points: the N rows, then one point per nuisance parameter (its
// Gaussian prior). Residuals, in blocks of P = N + S rows:
//
//   block 0, row i:    (P_model,i + offset_d(i) - P_ref,i) / sigma_P,i
//                      P_ref = P_obs (static, Hugoniot) or P_scale(Vc_i, T_i)
//   block 0, N + j:    (C^-1 (theta - theta_published))_j     C C^T = cov
//   block 1..L:        (u - u_obs) / sigma_u                  latent u of the row
//
// The latent slots are those any row uses, in the order sample volume,
// temperature, calibrant volume. A point that does not use a slot (an exact
// coordinate, a row of another kind, a prior) still has that latent: it is
// pinned at its start by a residual (u - u0) with unit weight, its column
// zero in every other row, so its Schur block is 1 and it never moves. The
// statistics leave these pinned pairs out.
//
// Static and calibrant rows predict the sample's P(V[, T]); Hugoniot rows its
// principal Hugoniot pressure P_H(V). Without latents the engine runs dense.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "barometra/error.hpp"
#include "barometra/fit/engine.hpp"
#include "barometra/fit/function_ref.hpp"
#include "barometra/fit/problem.hpp"

namespace barometra {

enum class RowKind : std::uint8_t { Static = 0, Hugoniot = 1, Calibrant = 2 };

// Predicted pressures of trial parameters at the given volumes and
// temperatures (empty for an isothermal model or a Hugoniot), written into
// `pressures`. A non-owning reference; may throw std::bad_alloc only.
using PredictionStatus = std::expected<void, FitError>;
using PressurePrediction = detail::FunctionRef<PredictionStatus(
    std::span<const double> parameters, std::span<const double> volumes,
    std::span<const double> temperatures, std::span<double> pressures)>;

// The rows of a joint fit. Every span of row values has N entries; a sigma
// of 0 makes that coordinate exact for its row (no latent).
struct JointRows {
  std::span<const double> pressure = {};        // finite; unused by calibrant rows
  std::span<const double> volume = {};          // positive and finite
  std::span<const double> temperature = {};     // empty: an isothermal model
  std::span<const double> pressure_sigma = {};  // positive and finite
  std::span<const double> volume_sigma = {};    // empty: no latent volumes
  std::span<const double> temperature_sigma = {};
  std::span<const std::uint32_t> dataset = {};  // empty: all rows in dataset 0
  std::span<const std::uint8_t> kind = {};      // RowKind values; empty: all static
  std::span<const double> calibrant_volume = {};        // used by calibrant rows only
  std::span<const double> calibrant_volume_sigma = {};  // empty: exact calibrant volumes
  // N lower-triangular (1 + L) x (1 + L) factors of each row's error
  // covariance; only when every row is static and uses every slot.
  std::optional<std::span<const double>> cholesky = std::nullopt;
};

// The nuisance parameters of a pressure scale: their published values and a
// lower-triangular factor C of their covariance (S x S, row-major).
struct ScalePrior {
  std::span<const double> values;
  std::span<const double> factor;
};

struct JointSetup {
  std::size_t dataset_count = 1;
  bool pressure_offsets = false;  // one per dataset after the first
  ScalePrior prior;               // S = prior.values.size(), may be 0
};

struct JointPredictions {
  PressurePrediction sample;                      // P(V[, T]) of the model parameters
  std::optional<PressurePrediction> hugoniot = std::nullopt;   // P_H(V) of the model parameters
  std::optional<PressurePrediction> calibrant = std::nullopt;  // P_scale(Vc[, T]) of the scale's
};

struct EosFitResult {
  SolverResult solver;
  // The G globals: model parameters, offsets, nuisance parameters.
  std::vector<double> parameters;          // G, the first G entries of solver.x
  std::vector<double> covariance;          // G x G, profiled over the latents
  // The parameters the data do not determine (ascending): the covariance's
  // zeros there are no variance, so their standard errors and correlations
  // are NaN.
  std::vector<std::size_t> undetermined;
  std::vector<double> standard_errors;     // G, sqrt(max(cov_ii, 0)), NaN if undetermined
  std::vector<double> correlation;         // G x G, 0 where a standard error is 0
  // With nuisance parameters: the covariance of the first G - S globals with
  // the nuisance held at their fitted values, C_ss - C_sn C_nn^+ C_ns.
  std::vector<double> covariance_without_nuisance;
  std::vector<double> predicted_pressure;  // N, at the fitted parameters, offsets excluded
  std::vector<double> volumes;             // N, fitted latent or measured
  std::optional<std::vector<double>> temperatures;  // N, thermal fits only
  std::vector<double> calibrant_pressure;  // N: the scale's pressure (calibrant rows), else 0
  std::vector<double> dataset_chi_square;  // per dataset: its rows' residuals squared
  std::vector<std::size_t> dataset_residuals;  // per dataset: its residual count
  double chi_square = 0.0;                 // sum of fun^2
  std::int64_t degrees_of_freedom = 0;     // m - n, negative when n > m
  std::optional<double> reduced_chi_square;  // chi_square / (m - n), when m > n
  double aic = 0.0;
  double bic = 0.0;
  std::size_t residual_count = 0;          // m, pinned latents left out
  std::size_t variable_count = 0;          // n, likewise
};

// The fit: checks the rows, runs the engine and builds the result. `initial`,
// `lower` and `upper` hold the k model parameters; offsets start at 0 and
// the nuisance parameters at their published values, both unbounded.
std::expected<EosFitResult, FitError> fit_joint_eos(const JointRows& rows,
                                                    const JointSetup& setup,
                                                    std::span<const double> initial,
                                                    std::span<const double> lower,
                                                    std::span<const double> upper,
                                                    const SolverOptions& options,
                                                    const JointPredictions& predict);

}  // namespace barometra
