#include "barometra/fit/eos_fit.hpp"

#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "barometra/checks.hpp"
#include "barometra/fit/covariance.hpp"
#include "counts.hpp"
#include "matrix.hpp"

namespace barometra::detail {

namespace {

// Latent coordinates stay strictly positive: volumes and temperatures are.
constexpr double kLatentLowerBound = std::numeric_limits<double>::min();  // 2.2250738585072014e-308

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
  const std::size_t n = o.pressure.size();
  if (n == 0 || o.volume.size() != n || o.pressure_sigma.size() != n) {
    return invalid("EOS observation arrays must have the same non-zero length");
  }
  const std::pair<std::string_view, std::optional<std::size_t>> failures[] = {
      {"pressure", first_invalid(o.pressure, is_finite)},
      {"volume", first_not_positive_finite(o.volume)},
      {"pressure_sigma", first_not_positive_finite(o.pressure_sigma)},
  };
  for (const auto& [field, row] : failures) {
    if (row) {
      return invalid_at("EOS observations and uncertainties must be finite and valid", field, row);
    }
  }
  return {};
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

// Which coordinates are latent, and where they sit in x.
struct Latents {
  std::size_t k = 0;  // model parameters
  std::size_t n = 0;  // observations
  bool volumes = false;
  bool temperatures = false;

  std::size_t groups() const noexcept { return std::size_t{volumes} + std::size_t{temperatures}; }
  std::size_t parameter_count() const noexcept { return k + n * groups(); }
  std::size_t residual_count() const noexcept { return n * (1 + groups()); }
  std::size_t volume_offset() const noexcept { return k; }
  std::size_t temperature_offset() const noexcept { return k + (volumes ? n : 0); }
};

struct OptimizerVectors {
  std::vector<double> x0, lower, upper;
};

// (initial, latent volumes, latent temperatures), the latents starting at
// their measured values and bounded to (0, inf].
std::expected<OptimizerVectors, FitError> optimizer_vectors(const EosObservations& o,
                                                            const Latents& latents,
                                                            std::span<const double> initial,
                                                            std::span<const double> lower,
                                                            std::span<const double> upper) {
  if (initial.empty() || lower.size() != initial.size() || upper.size() != initial.size()) {
    return invalid("EOS initial parameters and bounds must have the same non-zero length");
  }
  OptimizerVectors v;
  v.x0.assign(initial.begin(), initial.end());
  v.lower.assign(lower.begin(), lower.end());
  v.upper.assign(upper.begin(), upper.end());
  auto append = [&](std::span<const double> measured) {
    v.x0.insert(v.x0.end(), measured.begin(), measured.end());
    v.lower.insert(v.lower.end(), measured.size(), kLatentLowerBound);
    v.upper.insert(v.upper.end(), measured.size(), HUGE_VAL);
  };
  if (latents.volumes) append(o.volume);
  if (latents.temperatures) append(o.temperature);
  return v;
}

// The volumes (or temperatures) a prediction uses: the latents in x, or the
// measured values.
std::span<const double> latent_slice(std::span<const double> x, bool latent, std::size_t offset,
                                     std::span<const double> measured) noexcept {
  return latent ? x.subspan(offset, measured.size()) : measured;
}

// Solves C w = r by forward substitution for one observation's d x d factor.
void whiten_correlated(const double* factor, std::size_t d, double* r) noexcept {
  for (std::size_t c = 0; c < d; ++c) {
    double sum = r[c];
    for (std::size_t l = 0; l < c; ++l) sum -= factor[c * d + l] * r[l];
    r[c] = sum / factor[c * d + c];
  }
}

// The residual function the engine sees. Pressures are predicted straight
// into the first block and turned into residuals in place, so an evaluation
// allocates nothing beyond what the model builder does.
class EosResidual {
 public:
  EosResidual(const EosObservations& o, const Latents& latents, PressurePrediction predict)
      : o_(o), latents_(latents), predict_(predict) {}

  ResidualStatus operator()(std::span<const double> x, std::vector<double>& f) {
    const std::size_t n = latents_.n;
    f.resize(latents_.residual_count());
    const auto volumes = this->volumes(x);
    const auto temperatures = this->temperatures(x);
    if (auto s = predict_(x.first(latents_.k), volumes, temperatures, {f.data(), n}); !s) {
      return s;
    }
    if (o_.cholesky) {
      whiten(volumes, temperatures, f);
    } else {
      scale(volumes, temperatures, f);
    }
    return {};
  }

  std::span<const double> volumes(std::span<const double> x) const noexcept {
    return latent_slice(x, latents_.volumes, latents_.volume_offset(), o_.volume);
  }
  std::span<const double> temperatures(std::span<const double> x) const noexcept {
    return latent_slice(x, latents_.temperatures, latents_.temperature_offset(), o_.temperature);
  }

 private:
  void scale(std::span<const double> volumes, std::span<const double> temperatures,
             std::vector<double>& f) const noexcept {
    const std::size_t n = latents_.n;
    for (std::size_t i = 0; i < n; ++i) f[i] = (f[i] - o_.pressure[i]) / o_.pressure_sigma[i];
    std::size_t block = n;
    if (latents_.volumes) {
      for (std::size_t i = 0; i < n; ++i) {
        f[block + i] = (volumes[i] - o_.volume[i]) / (*o_.volume_sigma)[i];
      }
      block += n;
    }
    if (latents_.temperatures) {
      for (std::size_t i = 0; i < n; ++i) {
        f[block + i] = (temperatures[i] - o_.temperature[i]) / (*o_.temperature_sigma)[i];
      }
    }
  }

  // Factors require every coordinate latent, so r_i has all d entries.
  void whiten(std::span<const double> volumes, std::span<const double> temperatures,
              std::vector<double>& f) const noexcept {
    const std::size_t n = latents_.n;
    const std::size_t d = o_.thermal ? 3 : 2;
    for (std::size_t i = 0; i < n; ++i) {
      double r[3] = {f[i] - o_.pressure[i], volumes[i] - o_.volume[i], 0.0};
      if (d == 3) r[2] = temperatures[i] - o_.temperature[i];
      whiten_correlated(o_.cholesky->data() + i * d * d, d, r);
      for (std::size_t c = 0; c < d; ++c) f[c * n + i] = r[c];
    }
  }

  const EosObservations& o_;
  Latents latents_;
  PressurePrediction predict_;
};

// The engine names a coordinate of x; past the model parameters that is a
// latent volume or temperature, which the caller knows by its row.
FitError located_in_observations(FitError error, const Latents& latents) {
  const auto index = error.index();
  if (error.field() != "initial" || !index || *index < latents.k) return error;
  std::size_t row = *index - latents.k;
  const bool volume = latents.volumes && row < latents.n;
  if (!volume && latents.volumes) row -= latents.n;
  return FitError::invalid_input(std::string(error.message()), volume ? "volume" : "temperature",
                                 row);
}

std::expected<SolverResult, FitError> solve_native(const OptimizerVectors& v,
                                                   const Latents& latents,
                                                   const SolverOptions& options,
                                                   EosResidual& residual) {
  if (latents.k == 0 || v.x0.size() != latents.parameter_count()) {
    return invalid("EOS parameter and latent-coordinate dimensions are inconsistent");
  }
  std::optional<StructuredLayout> layout;
  if (latents.groups() > 0) layout = StructuredLayout{latents.k, latents.n, latents.groups()};
  auto solved = least_squares_internal(v.x0, v.lower, v.upper, options, layout, residual);
  if (!solved) return std::unexpected(located_in_observations(std::move(solved.error()), latents));
  return solved;
}

void fill_uncertainties(EosFitResult& result, std::size_t k) {
  result.standard_errors.resize(k);
  for (std::size_t i = 0; i < k; ++i) {
    result.standard_errors[i] = std::sqrt(std::max(result.covariance[i * k + i], 0.0));
  }
  for (const std::size_t i : result.undetermined) result.standard_errors[i] = NAN;
  result.correlation.assign(k * k, 0.0);
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < k; ++j) {
      const double scale = result.standard_errors[i] * result.standard_errors[j];
      if (scale > 0.0) result.correlation[i * k + j] = result.covariance[i * k + j] / scale;
      if (std::isnan(scale)) result.correlation[i * k + j] = scale;
    }
  }
}

Status fill_statistics(EosFitResult& result, std::size_t m, std::size_t n) {
  // Beyond the limit the counts in the formulas below would saturate.
  if (m > kCountLimit) return invalid("residual count exceeds the statistics limit");
  if (n > kCountLimit) return invalid("variable count exceeds the statistics limit");
  double chi_square = 0.0;
  for (double f : result.solver.fun) chi_square += f * f;
  const double md = count_as_double(m), nd = count_as_double(n);
  result.chi_square = chi_square;
  result.degrees_of_freedom = static_cast<std::int64_t>(m) - static_cast<std::int64_t>(n);
  if (m > n) result.reduced_chi_square = chi_square / (md - nd);
  const double log_likelihood_term =
      md * std::log(std::max(chi_square / md, std::numeric_limits<double>::min()));
  result.aic = 2.0 * nd + log_likelihood_term;
  result.bic = nd * std::log(md) + log_likelihood_term;
  return {};
}

std::expected<EosFitResult, FitError> interpret_result(SolverResult solved,
                                                       const Latents& latents,
                                                       const EosObservations& o,
                                                       EosResidual& residual,
                                                       PressurePrediction predict) {
  const std::size_t k = latents.k;
  EosFitResult result;
  const std::span<const double> x = solved.x;
  const auto volumes = residual.volumes(x);
  const auto temperatures = residual.temperatures(x);
  result.predicted_pressure.resize(latents.n);
  if (auto s = predict(x.first(k), volumes, temperatures, result.predicted_pressure); !s) {
    return std::unexpected(std::move(s.error()));
  }
  result.volumes.assign(volumes.begin(), volumes.end());
  if (o.thermal) result.temperatures.emplace(temperatures.begin(), temperatures.end());
  result.parameters.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k));

  const std::size_t m = solved.fun.size(), n = solved.x.size();
  auto covariance = latents.groups() == 0
                        ? estimate_parameter_covariance(solved.jac.to_dense(), m, n, k)
                        : estimate_parameter_covariance_structured(solved.jac);
  if (!covariance) return std::unexpected(std::move(covariance.error()));
  result.covariance = std::move(covariance->covariance);
  result.undetermined = std::move(covariance->undetermined);
  fill_uncertainties(result, k);
  result.solver = std::move(solved);
  if (auto s = fill_statistics(result, m, n); !s) return std::unexpected(std::move(s.error()));
  return result;
}

}  // namespace

std::expected<EosFitResult, FitError> fit_eos(const EosObservations& observations,
                                              std::span<const double> initial,
                                              std::span<const double> lower,
                                              std::span<const double> upper,
                                              const SolverOptions& options,
                                              PressurePrediction predict) {
  if (auto s = validate_observations(observations); !s) return std::unexpected(s.error());
  const Latents latents{initial.size(), observations.pressure.size(),
                        observations.volume_sigma.has_value(),
                        observations.thermal && observations.temperature_sigma.has_value()};
  auto vectors = optimizer_vectors(observations, latents, initial, lower, upper);
  if (!vectors) return std::unexpected(std::move(vectors.error()));
  EosResidual residual(observations, latents, predict);
  auto solved = solve_native(*vectors, latents, options, residual);
  if (!solved) return std::unexpected(std::move(solved.error()));
  return interpret_result(std::move(*solved), latents, observations, residual, predict);
}

}  // namespace barometra::detail
