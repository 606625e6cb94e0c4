#include "barometra/fit/joint_fit.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/fit/covariance.hpp"
#include "counts.hpp"
#include "joint_core.hpp"

namespace barometra {

namespace detail {

namespace {

// Latent coordinates stay strictly positive: volumes and temperatures are.
constexpr double kLatentLowerBound = std::numeric_limits<double>::min();  // 2.2250738585072014e-308
// Where a pinned latent of a prior point sits: any positive value would do.
constexpr double kPinnedStart = 1.0;

using Status = std::expected<void, FitError>;

std::unexpected<FitError> invalid(std::string message) {
  return std::unexpected(FitError::invalid_input(std::move(message)));
}

// The row states a prediction reads: the latent where the row has one, else
// the measured value (so that a pinned latent's column stays zero).
void row_states(std::span<const double> x, const JointShape& shape, std::size_t slot,
                std::span<const double> measured, std::span<const double> sigma,
                std::vector<double>& out) {
  out.resize(shape.rows);
  const std::size_t offset = shape.slot_offset(slot);
  for (std::size_t i = 0; i < shape.rows; ++i) {
    out[i] = sigma[i] > 0.0 ? x[offset + i] : measured[i];
  }
}

// Bitwise, so that a cached prediction is the one a fresh call would give,
// signed zeros included.
bool same_bits(std::span<const double> a, std::span<const double> b) noexcept {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

// Forward substitution C w = r for one lower-triangular d x d factor.
void whiten(const double* factor, std::size_t d, double* r) noexcept {
  for (std::size_t c = 0; c < d; ++c) {
    double sum = r[c];
    for (std::size_t l = 0; l < c; ++l) sum -= factor[c * d + l] * r[l];
    r[c] = sum / factor[c * d + c];
  }
}

}  // namespace

JointShape::JointShape(const JointRows& r, const JointSetup& setup, std::size_t k)
    : model_parameters(k),
      offsets(setup.pressure_offsets ? setup.dataset_count - 1 : 0),
      nuisance(setup.prior.values.size()),
      rows(r.pressure.size()) {
  const bool any_calibrant = std::any_of(r.kind.begin(), r.kind.end(), [](std::uint8_t kind) {
    return kind == static_cast<std::uint8_t>(RowKind::Calibrant);
  });
  present[kVolumeSlot] = !r.volume_sigma.empty();
  present[kTemperatureSlot] = !r.temperature_sigma.empty();
  present[kCalibrantSlot] = any_calibrant && !r.calibrant_volume_sigma.empty();
  std::size_t next = 0;
  for (std::size_t s = 0; s < kSlots; ++s) position[s] = present[s] ? next++ : kSlots;
  latent_count = next;
}

JointResidual::JointResidual(const JointRows& rows, const JointSetup& setup,
                             const JointShape& shape, const JointPredictions& predict)
    : rows_(rows), setup_(setup), shape_(shape), predict_(predict) {
  const std::size_t n = shape.rows;
  for (std::size_t i = 0; i < n; ++i) {
    const auto kind = rows.kind.empty() ? RowKind::Static : static_cast<RowKind>(rows.kind[i]);
    (kind == RowKind::Hugoniot ? hugoniot_rows_ : sample_rows_).push_back(i);
    if (kind == RowKind::Calibrant) calibrant_rows_.push_back(i);
  }
  const std::span<const double> sigmas[kSlots] = {rows.volume_sigma, rows.temperature_sigma,
                                                  rows.calibrant_volume_sigma};
  const std::span<const double> measured[kSlots] = {rows.volume, rows.temperature,
                                                    rows.calibrant_volume};
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (!shape.present[s]) continue;
    Slot& slot = slots_[s];
    slot.anchor.assign(shape.points(), kPinnedStart);
    slot.scale.assign(shape.points(), 0.0);
    for (std::size_t i = 0; i < n; ++i) {
      const bool calibrant_row =
          !rows.kind.empty() && rows.kind[i] == static_cast<std::uint8_t>(RowKind::Calibrant);
      if (s == kCalibrantSlot && !calibrant_row) continue;  // pinned at kPinnedStart
      slot.anchor[i] = measured[s][i];
      slot.scale[i] = sigmas[s][i];
    }
  }
}

void JointResidual::states(std::span<const double> x) {
  const std::size_t n = shape_.rows;
  auto state = [&](std::size_t slot, std::span<const double> measured,
                   std::span<const double> sigma, std::vector<double>& out) {
    if (shape_.present[slot]) {
      row_states(x, shape_, slot, measured, sigma, out);
    } else {
      out.assign(measured.begin(), measured.end());
    }
  };
  state(kVolumeSlot, rows_.volume, rows_.volume_sigma, volume_);
  if (!rows_.temperature.empty()) state(kTemperatureSlot, rows_.temperature,
                                        rows_.temperature_sigma, temperature_);
  if (!calibrant_rows_.empty()) {
    state(kCalibrantSlot, rows_.calibrant_volume, rows_.calibrant_volume_sigma,
          calibrant_volume_);
  }
  model_pressure_.resize(n);
  reference_.assign(rows_.pressure.begin(), rows_.pressure.end());
}

// Gathers the states of `which` rows (all of them when `which` covers every
// row) and predicts their pressures, skipping the evaluation when its inputs
// are those of the last one: a difference column of another group of globals
// then costs nothing here.
PredictionStatus JointResidual::predict_group(Group& group, PressurePrediction predict,
                                              std::span<const double> parameters,
                                              std::span<const std::size_t> which,
                                              std::span<const double> volumes,
                                              std::span<const double> temperatures,
                                              std::span<double> out) {
  const bool all = which.size() == shape_.rows;
  group.volumes.resize(which.size());
  group.temperatures.resize(temperatures.empty() ? 0 : which.size());
  for (std::size_t j = 0; j < which.size(); ++j) {
    group.volumes[j] = volumes[which[j]];
    if (!temperatures.empty()) group.temperatures[j] = temperatures[which[j]];
  }
  group.key.assign(parameters.begin(), parameters.end());
  group.key.insert(group.key.end(), group.volumes.begin(), group.volumes.end());
  group.key.insert(group.key.end(), group.temperatures.begin(), group.temperatures.end());
  if (!group.valid || !same_bits(group.key, group.last_key)) {
    group.valid = false;
    group.pressures.resize(which.size());
    if (auto s = predict(parameters, group.volumes, group.temperatures, group.pressures); !s) {
      return s;
    }
    group.last_key.swap(group.key);
    group.valid = true;
  }
  if (all) {
    std::copy(group.pressures.begin(), group.pressures.end(), out.begin());
  } else {
    for (std::size_t j = 0; j < which.size(); ++j) out[which[j]] = group.pressures[j];
  }
  return {};
}

PredictionStatus JointResidual::predict(std::span<const double> x) {
  states(x);
  const auto model = x.first(shape_.model_parameters);
  if (!sample_rows_.empty()) {
    if (auto s = predict_group(sample_, predict_.sample, model, sample_rows_, volume_,
                               temperature_, model_pressure_);
        !s) {
      return s;
    }
  }
  if (!hugoniot_rows_.empty()) {
    if (auto s = predict_group(hugoniot_, *predict_.hugoniot, model, hugoniot_rows_, volume_, {},
                               model_pressure_);
        !s) {
      return s;
    }
  }
  if (!calibrant_rows_.empty()) {
    const auto scale = x.subspan(shape_.nuisance_offset(), shape_.nuisance);
    const auto parameters = shape_.nuisance == 0 ? setup_.prior.values : scale;
    if (auto s = predict_group(calibrant_, *predict_.calibrant, parameters, calibrant_rows_,
                               calibrant_volume_, temperature_, reference_);
        !s) {
      return s;
    }
  }
  return {};
}

ResidualStatus JointResidual::operator()(std::span<const double> x, std::vector<double>& f) {
  if (auto s = predict(x); !s) return s;
  const std::size_t n = shape_.rows, p = shape_.points();
  f.resize(shape_.residual_count());
  for (std::size_t i = 0; i < n; ++i) {
    double predicted = model_pressure_[i];
    const std::size_t d = rows_.dataset.empty() ? 0 : rows_.dataset[i];
    if (shape_.offsets > 0 && d > 0) predicted += x[shape_.model_parameters + d - 1];
    f[i] = (predicted - reference_[i]) / rows_.pressure_sigma[i];
  }
  if (shape_.nuisance > 0) {
    double* w = f.data() + n;
    for (std::size_t j = 0; j < shape_.nuisance; ++j) {
      w[j] = x[shape_.nuisance_offset() + j] - setup_.prior.values[j];
    }
    whiten(setup_.prior.factor.data(), shape_.nuisance, w);
  }
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (!shape_.present[s]) continue;
    const Slot& slot = slots_[s];
    const std::size_t block = (shape_.position[s] + 1) * p, offset = shape_.slot_offset(s);
    for (std::size_t i = 0; i < p; ++i) {
      const double scale = slot.scale[i];
      const double difference = x[offset + i] - slot.anchor[i];
      f[block + i] = scale > 0.0 ? difference / scale : difference;
    }
  }
  if (rows_.cholesky) whiten_rows(x, f);
  return {};
}

// The factors replace the sigmas. They come only with static rows that use
// every slot, so r_i = (dP, dV[, dT]) has all d entries, in slot order.
void JointResidual::whiten_rows(std::span<const double> x, std::vector<double>& f) const noexcept {
  const std::size_t n = shape_.rows, d = 1 + shape_.latent_count;
  for (std::size_t i = 0; i < n; ++i) {
    double r[1 + kSlots] = {model_pressure_[i] - reference_[i]};
    for (std::size_t s = 0; s < kSlots; ++s) {
      if (!shape_.present[s]) continue;
      r[shape_.position[s] + 1] = x[shape_.slot_offset(s) + i] - slots_[s].anchor[i];
    }
    whiten(rows_.cholesky->data() + i * d * d, d, r);
    for (std::size_t c = 0; c < d; ++c) f[c * n + i] = r[c];
  }
}

std::size_t JointResidual::pinned_count() const noexcept {
  std::size_t count = 0;
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (!shape_.present[s]) continue;
    count += static_cast<std::size_t>(std::count(slots_[s].scale.begin(),
                                                 slots_[s].scale.end(), 0.0));
  }
  return count;
}

bool JointResidual::pinned(std::size_t slot, std::size_t point) const noexcept {
  return slots_[slot].scale[point] == 0.0;
}

namespace {

struct OptimizerVectors {
  std::vector<double> x0, lower, upper;
};

OptimizerVectors optimizer_vectors(const JointShape& shape, const JointResidual& residual,
                                   const ScalePrior& prior, std::span<const double> initial,
                                   std::span<const double> lower,
                                   std::span<const double> upper) {
  OptimizerVectors v;
  v.x0.assign(initial.begin(), initial.end());
  v.lower.assign(lower.begin(), lower.end());
  v.upper.assign(upper.begin(), upper.end());
  v.x0.insert(v.x0.end(), shape.offsets, 0.0);
  v.x0.insert(v.x0.end(), prior.values.begin(), prior.values.end());
  const std::size_t free = shape.offsets + shape.nuisance;
  v.lower.insert(v.lower.end(), free, -HUGE_VAL);
  v.upper.insert(v.upper.end(), free, HUGE_VAL);
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (!shape.present[s]) continue;
    const auto anchor = residual.anchor(s);
    v.x0.insert(v.x0.end(), anchor.begin(), anchor.end());
    v.lower.insert(v.lower.end(), anchor.size(), kLatentLowerBound);
    v.upper.insert(v.upper.end(), anchor.size(), HUGE_VAL);
  }
  return v;
}

// The engine names a coordinate of x; past the globals that is a latent of
// one row, which the caller knows by its row.
FitError located_in_rows(FitError error, const JointShape& shape) {
  constexpr std::string_view kFields[kSlots] = {"volume", "temperature", "calibrant_volume"};
  const auto index = error.index();
  const std::size_t g = shape.globals();
  if (error.field() != "initial" || !index || *index < g) return error;
  const std::size_t position = (*index - g) / shape.points(), row = (*index - g) % shape.points();
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (shape.position[s] == position) {
      return FitError::invalid_input(std::string(error.message()), kFields[s], row);
    }
  }
  return error;
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
  result.residual_count = m;
  result.variable_count = n;
  result.degrees_of_freedom = static_cast<std::int64_t>(m) - static_cast<std::int64_t>(n);
  if (m > n) result.reduced_chi_square = chi_square / (md - nd);
  const double log_likelihood_term =
      md * std::log(std::max(chi_square / md, std::numeric_limits<double>::min()));
  result.aic = 2.0 * nd + log_likelihood_term;
  result.bic = nd * std::log(md) + log_likelihood_term;
  return {};
}

// The covariance of the leading s globals with the trailing ones held fixed:
// the Schur complement C_ss - C_sn C_nn^+ C_ns of the full covariance, which
// is the inverse of the leading block of the information matrix.
std::expected<std::vector<double>, FitError> conditional_covariance(
    std::span<const double> c, std::size_t g, std::size_t s) {
  const std::size_t t = g - s;
  std::vector<double> nn(t * t);
  for (std::size_t i = 0; i < t; ++i) {
    for (std::size_t j = 0; j < t; ++j) nn[i * t + j] = c[(s + i) * g + s + j];
  }
  auto inverse = symmetric_pseudoinverse(nn, t, static_cast<double>(t + 1));
  if (!inverse) return std::unexpected(std::move(inverse.error()));
  std::vector<double> out(s * s);
  for (std::size_t i = 0; i < s; ++i) {
    for (std::size_t j = 0; j < s; ++j) {
      double sum = c[i * g + j];
      for (std::size_t a = 0; a < t; ++a) {
        for (std::size_t b = 0; b < t; ++b) {
          sum -= c[i * g + s + a] * (*inverse)[a * t + b] * c[(s + b) * g + j];
        }
      }
      out[i * s + j] = sum;
    }
  }
  return out;
}

void fill_datasets(EosFitResult& result, const JointRows& rows, const JointSetup& setup,
                   const JointShape& shape, const JointResidual& residual) {
  result.dataset_chi_square.assign(setup.dataset_count, 0.0);
  result.dataset_residuals.assign(setup.dataset_count, 0);
  const std::size_t p = shape.points();
  const auto& f = result.solver.fun;
  for (std::size_t i = 0; i < shape.rows; ++i) {
    const std::size_t d = rows.dataset.empty() ? 0 : rows.dataset[i];
    result.dataset_chi_square[d] += f[i] * f[i];
    result.dataset_residuals[d] += 1;
    for (std::size_t s = 0; s < kSlots; ++s) {
      if (!shape.present[s] || residual.pinned(s, i)) continue;
      const double r = f[(shape.position[s] + 1) * p + i];
      result.dataset_chi_square[d] += r * r;
      result.dataset_residuals[d] += 1;
    }
  }
}

std::expected<EosFitResult, FitError> interpret_result(SolverResult solved,
                                                       const JointRows& rows,
                                                       const JointSetup& setup,
                                                       const JointShape& shape,
                                                       JointResidual& residual) {
  const std::size_t g = shape.globals();
  EosFitResult result;
  const std::span<const double> x = solved.x;
  if (auto s = residual.predict(x); !s) return std::unexpected(std::move(s.error()));
  result.predicted_pressure = residual.model_pressures();
  result.volumes = residual.volumes();
  if (!rows.temperature.empty()) result.temperatures = residual.temperatures();
  if (!rows.calibrant_volume.empty()) {
    result.calibrant_pressure.assign(shape.rows, 0.0);
    for (std::size_t i : residual.calibrant_rows()) {
      result.calibrant_pressure[i] = residual.references()[i];
    }
  }
  result.parameters.assign(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(g));

  const std::size_t m = solved.fun.size(), n = solved.x.size();
  auto covariance = shape.latent_count == 0
                        ? estimate_parameter_covariance(solved.jac.to_dense(), m, n, g)
                        : estimate_parameter_covariance_structured(solved.jac);
  if (!covariance) return std::unexpected(std::move(covariance.error()));
  result.covariance = std::move(covariance->covariance);
  result.undetermined = std::move(covariance->undetermined);
  fill_uncertainties(result, g);
  if (shape.nuisance > 0) {
    auto without = conditional_covariance(result.covariance, g, g - shape.nuisance);
    if (!without) return std::unexpected(std::move(without.error()));
    result.covariance_without_nuisance = std::move(*without);
  }
  result.solver = std::move(solved);
  fill_datasets(result, rows, setup, shape, residual);
  const std::size_t pinned = residual.pinned_count();
  if (auto s = fill_statistics(result, m - pinned, n - pinned); !s) {
    return std::unexpected(std::move(s.error()));
  }
  return result;
}

}  // namespace

std::expected<EosFitResult, FitError> solve_joint(const JointRows& rows, const JointSetup& setup,
                                                  std::span<const double> initial,
                                                  std::span<const double> lower,
                                                  std::span<const double> upper,
                                                  const SolverOptions& options,
                                                  const JointPredictions& predict) {
  if (initial.empty() || lower.size() != initial.size() || upper.size() != initial.size()) {
    return invalid("EOS initial parameters and bounds must have the same non-zero length");
  }
  const JointShape shape(rows, setup, initial.size());
  JointResidual residual(rows, setup, shape, predict);
  const auto v = optimizer_vectors(shape, residual, setup.prior, initial, lower, upper);
  if (v.x0.size() != shape.parameter_count()) {
    return invalid("EOS parameter and latent-coordinate dimensions are inconsistent");
  }
  std::optional<StructuredLayout> layout;
  if (shape.latent_count > 0) {
    layout = StructuredLayout{shape.globals(), shape.points(), shape.latent_count};
  }
  auto solved = least_squares_internal(v.x0, v.lower, v.upper, options, layout, residual);
  if (!solved) return std::unexpected(located_in_rows(std::move(solved.error()), shape));
  return interpret_result(std::move(*solved), rows, setup, shape, residual);
}

}  // namespace detail

}  // namespace barometra

namespace barometra {

namespace {

using Status = std::expected<void, FitError>;

std::unexpected<FitError> refused(std::string message, std::string_view field = {},
                                  std::optional<std::size_t> row = std::nullopt) {
  return std::unexpected(FitError::invalid_input(std::move(message), field, row));
}

template <class T, class Valid>
std::optional<std::size_t> first_invalid(std::span<const T> values, Valid valid) noexcept {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!valid(values[i])) return i;
  }
  return std::nullopt;
}

bool non_negative_finite(double x) noexcept { return x >= 0.0 && is_finite(x); }

// An optional per-row array: empty, or N values that pass `valid`.
template <class Valid>
Status check_optional(std::span<const double> values, std::size_t n, std::string_view name,
                      std::string_view rule, Valid valid) {
  if (values.empty()) return {};
  const bool sized = values.size() == n;
  const auto row = sized ? first_invalid(values, valid) : std::nullopt;
  if (sized && !row) return {};
  return refused(std::string(name) + " must contain one " + std::string(rule) +
                     " value per observation",
                 name, row);
}

}  // namespace

namespace detail {

std::expected<void, FitError> check_common_rows(std::span<const double> pressure,
                                                std::span<const double> volume,
                                                std::span<const double> pressure_sigma) {
  const std::size_t n = pressure.size();
  if (n == 0 || volume.size() != n || pressure_sigma.size() != n) {
    return refused("EOS observation arrays must have the same non-zero length");
  }
  const std::pair<std::string_view, std::optional<std::size_t>> failures[] = {
      {"pressure", first_invalid(pressure, is_finite)},
      {"volume", first_invalid(volume, is_positive_finite)},
      {"pressure_sigma", first_invalid(pressure_sigma, is_positive_finite)},
  };
  for (const auto& [field, row] : failures) {
    if (row) return refused("EOS observations and uncertainties must be finite and valid", field, row);
  }
  return {};
}

}  // namespace detail

namespace {

Status check_measurements(const JointRows& r) {
  const std::size_t n = r.pressure.size();
  if (auto s = detail::check_common_rows(r.pressure, r.volume, r.pressure_sigma); !s) return s;
  if (auto s = check_optional(r.temperature, n, "temperature", "positive finite",
                              is_positive_finite);
      !s) {
    return s;
  }
  for (const auto& [values, name] : {std::pair{r.volume_sigma, "volume_sigma"},
                                     std::pair{r.temperature_sigma, "temperature_sigma"}}) {
    if (auto s = check_optional(values, n, name, "non-negative finite", non_negative_finite); !s) {
      return s;
    }
  }
  if (!r.temperature_sigma.empty() && r.temperature.empty()) {
    return refused("temperature_sigma needs temperatures", "temperature_sigma");
  }
  if (r.cholesky) return refused("observation Cholesky factors need a single static dataset");
  return {};
}

Status check_kinds(const JointRows& r, const JointSetup& setup, const JointPredictions& p) {
  const std::size_t n = r.pressure.size();
  if (!r.dataset.empty()) {
    const auto row = first_invalid(r.dataset, [&](std::uint32_t d) {
      return d < setup.dataset_count;
    });
    if (r.dataset.size() != n || row) {
      return refused("dataset indices must be one per row and below the dataset count",
                     "dataset", row);
    }
  }
  if (r.kind.empty()) return {};
  const auto bad_kind = first_invalid(r.kind, [](std::uint8_t k) { return k <= 2; });
  if (r.kind.size() != n || bad_kind) {
    return refused("row kinds must be one per row: static, Hugoniot or calibrant", "kind",
                   bad_kind);
  }
  const auto of_kind = [&](RowKind kind) {
    return first_invalid(r.kind, [kind](std::uint8_t k) { return k != static_cast<std::uint8_t>(kind); });
  };
  if (const auto row = of_kind(RowKind::Hugoniot); row && !p.hugoniot) {
    return refused("Hugoniot rows need the model's Hugoniot pressure", "kind", row);
  }
  const auto calibrant = of_kind(RowKind::Calibrant);
  if (!calibrant) return {};
  if (!p.calibrant) return refused("calibrant rows need a pressure scale", "kind", calibrant);
  if (r.calibrant_volume.size() != n) {
    return refused("calibrant_volume must contain one value per observation", "calibrant_volume");
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (r.kind[i] == static_cast<std::uint8_t>(RowKind::Calibrant) &&
        !is_positive_finite(r.calibrant_volume[i])) {
      return refused("calibrant volumes must be positive and finite", "calibrant_volume", i);
    }
  }
  return check_optional(r.calibrant_volume_sigma, n, "calibrant_volume_sigma",
                        "non-negative finite", non_negative_finite);
}

Status check_setup(const JointRows& r, const JointSetup& setup, const JointPredictions& p) {
  if (setup.pressure_offsets && setup.dataset_count < 2) {
    return refused("pressure offsets need at least two datasets", "pressure_offsets");
  }
  const std::size_t s = setup.prior.values.size();
  if (s == 0) return {};
  if (!p.calibrant || r.kind.empty()) {
    return refused("scale parameters need calibrant rows", "scale_prior");
  }
  bool valid = setup.prior.factor.size() == s * s;
  for (std::size_t i = 0; valid && i < s; ++i) {
    valid = is_finite(setup.prior.values[i]) && setup.prior.factor[i * s + i] > 0.0;
    for (std::size_t j = 0; valid && j < s; ++j) {
      const double c = setup.prior.factor[i * s + j];
      valid = is_finite(c) && (j <= i || c == 0.0);
    }
  }
  if (!valid) {
    return refused("the scale prior needs finite values and a lower-triangular factor with a "
                   "positive diagonal",
                   "scale_prior");
  }
  return {};
}

}  // namespace

std::expected<EosFitResult, FitError> fit_joint_eos(const JointRows& rows,
                                                    const JointSetup& setup,
                                                    std::span<const double> initial,
                                                    std::span<const double> lower,
                                                    std::span<const double> upper,
                                                    const SolverOptions& options,
                                                    const JointPredictions& predict) {
  if (auto s = check_measurements(rows); !s) return std::unexpected(s.error());
  if (auto s = check_kinds(rows, setup, predict); !s) return std::unexpected(s.error());
  if (auto s = check_setup(rows, setup, predict); !s) return std::unexpected(s.error());
  return detail::solve_joint(rows, setup, initial, lower, upper, options, predict);
}

}  // namespace barometra
