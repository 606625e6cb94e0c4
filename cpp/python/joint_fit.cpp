// fit_joint_eos_native: one EOS fit over rows of several datasets and kinds
// (measured pressures, or a calibrant's volumes read through a pressure
// scale whose uncertain parameters may join the fit), in the core's joint
// layout. Every input is copied first; the fit runs detached.
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/fit/eos_fit.hpp"
#include "barometra/fit/joint_fit.hpp"
#include "eos_fit_result.hpp"
#include "errors.hpp"
#include "module.hpp"
#include "rt_eos.hpp"
#include "solver_arguments.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

namespace {

constexpr const char* kFunction = "fit_joint_eos_native";
constexpr std::array<const char*, 25> kNames{
    "model", "parameter_names", "initial", "lower", "upper", "pressure", "volume",
    "pressure_sigma", "temperature", "volume_sigma", "temperature_sigma", "dataset", "kind",
    "dataset_count", "pressure_offsets", "scale", "scale_names", "calibrant_volume",
    "calibrant_volume_sigma", "prior_values", "prior_factor", "hugoniot_t0", "loss", "f_scale",
    "max_nfev"};
constexpr std::size_t kRequired = 8;
enum Slot : std::size_t {
  kModel, kParameterNames, kInitial, kLower, kUpper, kPressure, kVolume, kPressureSigma,
  kTemperature, kVolumeSigma, kTemperatureSigma, kDataset, kKind, kDatasetCount,
  kPressureOffsets, kScale, kScaleNames, kCalibrantVolume, kCalibrantVolumeSigma,
  kPriorValues, kPriorFactor, kHugoniotT0, kLoss
};

using Model = std::variant<RtModel, ThermalModel>;

std::optional<Model> model_from(PyObject* object) noexcept {
  if (const RtModel* rt = rt_model_of(object)) return Model{*rt};
  if (const ThermalModel* thermal = thermal_model_of(object)) return Model{*thermal};
  return std::nullopt;
}

// The model with the named parameters replaced, evaluated at the states.
PredictionStatus predict_with(const Model& start, std::span<const std::string_view> names,
                              std::span<const double> values, std::span<const double> volumes,
                              std::span<const double> temperatures, std::span<double> out) {
  if (const auto* rt = std::get_if<RtModel>(&start)) {
    auto model = rt->with_parameters(names, values);
    if (!model) return std::unexpected(std::move(model.error()));
    return barometra::detail::isothermal_pressures(*model, volumes, out);
  }
  auto model = std::get<ThermalModel>(start).with_parameters(names, values);
  if (!model) return std::unexpected(std::move(model.error()));
  if (temperatures.size() != volumes.size()) {
    return std::unexpected(
        FitError::invalid_input("a thermal model's rows need temperatures", "temperature", std::nullopt));
  }
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const Result p = model->pressure(volumes[i], temperatures[i]);
    if (!p) return std::unexpected(FitError(p.error()));
    out[i] = *p;
  }
  return {};
}

// The principal Hugoniot's pressures from T0 (NaN: the model's reference
// temperature), one origin for all the volumes.
PredictionStatus hugoniot_pressures(const ThermalModel& model, double t0,
                                    std::span<const double> volumes, std::span<double> out) {
  const auto origin = model.hugoniot_origin(std::isnan(t0) ? model.tr() : t0);
  if (!origin) return std::unexpected(FitError(origin.error()));
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const auto state = model.hugoniot_state(*origin, volumes[i]);
    if (!state) return std::unexpected(FitError(state.error()));
    out[i] = state->pressure;
  }
  return {};
}

PredictionStatus predict_hugoniot(const Model& start, std::span<const std::string_view> names,
                                  std::span<const double> values, double t0,
                                  std::span<const double> volumes, std::span<double> out) {
  const auto* thermal = std::get_if<ThermalModel>(&start);
  if (thermal == nullptr) {
    return std::unexpected(FitError::invalid_input(
        "Hugoniot rows need a thermal model: an isothermal one has no Hugoniot", "kind",
        std::nullopt));
  }
  auto model = thermal->with_parameters(names, values);
  if (!model) return std::unexpected(std::move(model.error()));
  return hugoniot_pressures(*model, t0, volumes, out);
}

// Integral labels come as float64: a value that is not a small non-negative
// integer becomes one past the valid range, so the core refuses its row.
template <class T>
std::vector<T> labels(const std::vector<double>& values, T invalid) {
  std::vector<T> out(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    const double v = values[i];
    const bool valid = v >= 0.0 && v < static_cast<double>(invalid) && v == std::floor(v);
    out[i] = valid ? static_cast<T>(v) : invalid;
  }
  return out;
}

std::vector<double> copy_or_empty(PyArrayObject* array) {
  return array == nullptr ? std::vector<double>{} : flat_copy(array);
}

std::vector<std::string_view> views(const std::vector<std::string>& names) {
  return {names.begin(), names.end()};
}

// Everything the fit reads, owned.
struct JointInput {
  Model model;
  std::optional<Model> scale;
  std::vector<std::string> names, scale_names;
  std::vector<double> initial, lower, upper, pressure, volume, pressure_sigma, temperature,
      volume_sigma, temperature_sigma, calibrant_volume, calibrant_volume_sigma, prior_values,
      prior_factor;
  std::vector<std::uint32_t> dataset;
  std::vector<std::uint8_t> kind;
  std::size_t dataset_count = 1;
  bool pressure_offsets = false;
  double hugoniot_t0 = NAN;
  SolverOptions options;
};

bool parse_input(PyObject* const* objects, JointInput& in, SolverArguments& solver) {
  const std::array<std::pair<Slot, std::vector<double>*>, 5> required{
      {{kInitial, &in.initial}, {kLower, &in.lower}, {kUpper, &in.upper},
       {kPressure, &in.pressure}, {kVolume, &in.volume}}};
  std::array<PyArrayObject*, 5> arrays{};
  PyArrayObject* sigma = nullptr;
  for (std::size_t i = 0; i < required.size(); ++i) {
    if (!parse_float64_array(objects[required[i].first], kFunction, kNames[required[i].first],
                             &arrays[i])) {
      return false;
    }
  }
  if (!parse_float64_array(objects[kPressureSigma], kFunction, "pressure_sigma", &sigma)) {
    return false;
  }
  constexpr Slot kOptional[] = {kTemperature, kVolumeSigma, kTemperatureSigma, kDataset, kKind,
                                kCalibrantVolume, kCalibrantVolumeSigma, kPriorValues,
                                kPriorFactor};
  std::array<PyArrayObject*, std::size(kOptional)> optional{};
  for (std::size_t j = 0; j < optional.size(); ++j) {
    PyObject* object = objects[kOptional[j]];
    if (object != nullptr &&
        !parse_optional_float64_array(object, kFunction, kNames[kOptional[j]], &optional[j])) {
      return false;
    }
  }
  std::optional<std::uint64_t> count;
  if (objects[kDatasetCount] != nullptr &&
      !parse_optional_count(objects[kDatasetCount], kFunction, "dataset_count", &count)) {
    return false;
  }
  if (objects[kPressureOffsets] != nullptr &&
      !parse_bool(objects[kPressureOffsets], kFunction, "pressure_offsets",
                  &in.pressure_offsets)) {
    return false;
  }
  if (objects[kHugoniotT0] != nullptr && objects[kHugoniotT0] != Py_None &&
      !parse_double(objects[kHugoniotT0], kFunction, "hugoniot_t0", &in.hugoniot_t0)) {
    return false;
  }
  if (objects[kScaleNames] != nullptr &&
      !parse_str_sequence(objects[kScaleNames], kFunction, "scale_names", &in.scale_names)) {
    return false;
  }
  if (objects[kScale] != nullptr && objects[kScale] != Py_None) {
    in.scale = model_from(objects[kScale]);
    if (!in.scale) {
      PyErr_Format(PyExc_TypeError,
                   "%s() argument 'scale' must be RtEos, ThermalEos or None, not %.200s",
                   kFunction, Py_TYPE(objects[kScale])->tp_name);
      return false;
    }
  }
  if (!solver.parse(objects + kLoss, kFunction)) return false;
  // Copies last: nothing above can fail after them.
  for (std::size_t i = 0; i < required.size(); ++i) *required[i].second = flat_copy(arrays[i]);
  in.pressure_sigma = flat_copy(sigma);
  std::vector<double>* targets[] = {&in.temperature, &in.volume_sigma, &in.temperature_sigma,
                                    nullptr, nullptr, &in.calibrant_volume,
                                    &in.calibrant_volume_sigma, &in.prior_values,
                                    &in.prior_factor};
  for (std::size_t j = 0; j < optional.size(); ++j) {
    if (targets[j] != nullptr) *targets[j] = copy_or_empty(optional[j]);
  }
  in.dataset = labels<std::uint32_t>(copy_or_empty(optional[3]), UINT32_MAX);
  in.kind = labels<std::uint8_t>(copy_or_empty(optional[4]), UINT8_MAX);
  in.dataset_count = count ? static_cast<std::size_t>(*count) : 1;
  return true;
}

std::expected<EosFitResult, FitError> run(JointInput& in) {
  const auto names = views(in.names), scale_names = views(in.scale_names);
  if (in.prior_values.size() != in.scale_names.size()) {
    return std::unexpected(FitError::invalid_input(
        "prior_values must hold one value per scale parameter", "prior_values", std::nullopt));
  }
  auto sample = [&](std::span<const double> p, std::span<const double> v,
                    std::span<const double> t, std::span<double> out) {
    return predict_with(in.model, names, p, v, t, out);
  };
  auto calibrant = [&](std::span<const double> p, std::span<const double> v,
                       std::span<const double> t, std::span<double> out) {
    return predict_with(*in.scale, scale_names, p, v, t, out);
  };
  auto hugoniot = [&](std::span<const double> p, std::span<const double> v,
                      std::span<const double>, std::span<double> out) {
    return predict_hugoniot(in.model, names, p, in.hugoniot_t0, v, out);
  };
  JointPredictions predictions{.sample = sample, .hugoniot = hugoniot};
  if (in.scale) predictions.calibrant = calibrant;
  const JointRows rows{.pressure = in.pressure,
                       .volume = in.volume,
                       .temperature = in.temperature,
                       .pressure_sigma = in.pressure_sigma,
                       .volume_sigma = in.volume_sigma,
                       .temperature_sigma = in.temperature_sigma,
                       .dataset = in.dataset,
                       .kind = in.kind,
                       .calibrant_volume = in.calibrant_volume,
                       .calibrant_volume_sigma = in.calibrant_volume_sigma,
                       .cholesky = std::nullopt};
  const JointSetup setup{.dataset_count = in.dataset_count,
                         .pressure_offsets = in.pressure_offsets,
                         .prior = {in.prior_values, in.prior_factor}};
  return fit_joint_eos(rows, setup, in.initial, in.lower, in.upper, in.options, predictions);
}

PyObject* fit_joint_eos_native(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept {
  PyObject* objects[kNames.size()];
  if (!parse_arguments(kFunction, kNames, kRequired, args, nargs, kwnames, objects)) {
    return nullptr;
  }
  auto model = model_from(objects[kModel]);
  if (!model) {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument 'model' must be barometra._engine.RtEos or ThermalEos, not %.200s",
                 kFunction, Py_TYPE(objects[kModel])->tp_name);
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    JointInput in{.model = std::move(*model)};
    if (!parse_str_sequence(objects[kParameterNames], kFunction, "parameter_names", &in.names)) {
      return nullptr;
    }
    SolverArguments solver;
    if (!parse_input(objects, in, solver)) return nullptr;
    const auto options = solver.options();
    if (!options) {
      return raise_fit_error(
          FitError::invalid_input(std::string(options.error().message()), "loss", std::nullopt));
    }
    in.options = *options;
    const std::size_t globals = in.initial.size() +
                                (in.pressure_offsets && in.dataset_count > 1
                                     ? in.dataset_count - 1 : 0) +
                                in.scale_names.size();
    auto fitted = [&] {
      Detached detached;
      return run(in);
    }();
    return wrap_eos_fit(std::move(fitted), globals);
  });
}

}  // namespace

PyMethodDef fit_joint_eos_native_def = {
    kFunction, fastcall<&fit_joint_eos_native>(), METH_FASTCALL | METH_KEYWORDS,
    "fit_joint_eos_native(model, parameter_names, initial, lower, upper, pressure, volume, "
    "pressure_sigma, temperature=None, volume_sigma=None, temperature_sigma=None, "
    "dataset=None, kind=None, dataset_count=1, pressure_offsets=False, scale=None, "
    "scale_names=(), calibrant_volume=None, calibrant_volume_sigma=None, prior_values=None, "
    "prior_factor=None, hugoniot_t0=None, "
    "loss=\"linear\", f_scale=1.0, max_nfev=None)\n--\n\n"
    "Private building block of barometra: a native EOS fit over several datasets.\n\n"
    "Rows carry a dataset index (0 ..< dataset_count) and a kind: 0 a measured\n"
    "pressure, 1 a state on the model's principal Hugoniot from hugoniot_t0 (None:\n"
    "the model's reference temperature), 2 a calibrant volume whose pressure is\n"
    "the scale model's (an RtEos or ThermalEos) at it and the row's temperature.\n"
    "A sigma of 0 leaves that coordinate of its row exact. With pressure_offsets,\n"
    "every dataset after the first has a fitted offset added to its predicted\n"
    "pressures. scale_names are\n"
    "the scale's parameters fitted as nuisance parameters with a Gaussian prior\n"
    "at prior_values, prior_factor the lower-triangular Cholesky factor of its\n"
    "covariance. Globals: the named model parameters, the offsets, the scale's.\n"
    "Runs without the interpreter lock; returns a LeastSquaresResult whose\n"
    "eos_fit holds the statistics."};

}  // namespace barometra::python
