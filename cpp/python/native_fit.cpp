// fit_rt_eos_native and fit_thermal_eos_native: whole EOS fits in native
// code. Every input is copied first, so the fit runs detached from the
// interpreter from start to end and several Python threads can fit at once.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/fit/eos_fit.hpp"
#include "eos_fit_result.hpp"
#include "errors.hpp"
#include "module.hpp"
#include "results.hpp"
#include "rt_eos.hpp"
#include "solver_arguments.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

namespace {

// The argument list of one function: the model, parameter_names, the
// required arrays, the optional arrays, then loss, f_scale and max_nfev.
template <std::size_t N>
struct Signature {
  const char* function;
  std::array<const char*, N> names;
  std::size_t required;  // model, parameter_names and the required arrays
  bool thermal;          // temperature and temperature_sigma among the arrays
  static constexpr std::size_t kTrailing = 3;
  constexpr std::size_t optional_arrays() const noexcept { return N - kTrailing - required; }
};

constexpr Signature<13> kRtSignature{
    "fit_rt_eos_native",
    {"model", "parameter_names", "initial", "lower", "upper", "pressure", "volume",
     "pressure_sigma", "volume_sigma", "observation_cholesky", "loss", "f_scale", "max_nfev"},
    8,
    false};

constexpr Signature<15> kThermalSignature{
    "fit_thermal_eos_native",
    {"model", "parameter_names", "initial", "lower", "upper", "pressure", "volume", "temperature",
     "pressure_sigma", "volume_sigma", "temperature_sigma", "observation_cholesky", "loss",
     "f_scale", "max_nfev"},
    9,
    true};

// The arguments after the model, as parsed while attached. The array slots
// are as many as the thermal fit has, the most.
struct ParsedArguments {
  std::vector<std::string> names;
  // The required arrays, in signature order.
  std::array<PyArrayObject*, kThermalSignature.required - 2> arrays{};
  // The optional arrays, null where None or omitted.
  std::array<PyArrayObject*, kThermalSignature.optional_arrays()> optional{};
  SolverArguments solver;
};
static_assert(kRtSignature.required <= kThermalSignature.required &&
              kRtSignature.optional_arrays() <= kThermalSignature.optional_arrays());

template <std::size_t N>
bool parse_fit_arguments(const Signature<N>& signature, PyObject* const* objects,
                         ParsedArguments& out) noexcept {
  const char* function = signature.function;
  if (!parse_str_sequence(objects[1], function, signature.names[1], &out.names)) return false;
  for (std::size_t i = 2; i < signature.required; ++i) {
    if (!parse_float64_array(objects[i], function, signature.names[i], &out.arrays[i - 2])) {
      return false;
    }
  }
  for (std::size_t j = 0; j < signature.optional_arrays(); ++j) {
    const std::size_t i = signature.required + j;
    if (objects[i] != nullptr &&
        !parse_optional_float64_array(objects[i], function, signature.names[i], &out.optional[j])) {
      return false;
    }
  }
  return out.solver.parse(objects + N - Signature<N>::kTrailing, function);
}

std::optional<std::vector<double>> optional_copy(PyArrayObject* array) {
  if (array == nullptr) return std::nullopt;
  return flat_copy(array);
}

// Everything a fit reads, owned, so that no Python object is touched while
// it runs detached.
struct FitInput {
  std::vector<std::string> names;
  std::vector<std::string_view> name_views;
  std::vector<double> initial, lower, upper, pressure, volume, temperature, pressure_sigma;
  std::optional<std::vector<double>> volume_sigma, temperature_sigma, cholesky;
  SolverOptions options;

  // Arrays in signature order: initial, lower, upper, pressure, volume,
  // [temperature,] pressure_sigma; then volume_sigma, [temperature_sigma,]
  // cholesky.
  FitInput(ParsedArguments& parsed, const SolverOptions& solver_options, bool thermal)
      : names(std::move(parsed.names)), name_views(names.begin(), names.end()),
        options(solver_options) {
    auto next = parsed.arrays.begin();
    for (auto* vector : {&initial, &lower, &upper, &pressure, &volume}) {
      *vector = flat_copy(*next++);
    }
    if (thermal) temperature = flat_copy(*next++);
    pressure_sigma = flat_copy(*next++);
    auto next_optional = parsed.optional.begin();
    volume_sigma = optional_copy(*next_optional++);
    if (thermal) temperature_sigma = optional_copy(*next_optional++);
    cholesky = optional_copy(*next_optional++);
  }
};

// The result, or null with the fit's exception set: the solver's part as a
// LeastSquaresResult, the rest as its EosFitResult.
PyObject* wrap_fit(std::expected<EosFitResult, FitError>&& fitted, std::size_t k) {
  if (!fitted) return raise_fit_error(fitted.error());
  // The covariance stays with the statistics too: the record's copy is what
  // parameter_covariance returns.
  LeastSquaresRecord record{std::move(fitted->solver), k, std::move(fitted->predicted_pressure),
                            fitted->covariance, {}};
  record.eos_fit = PyRef::steal(wrap_eos_fit_result(std::move(*fitted)));
  if (!record.eos_fit) return nullptr;
  return wrap_least_squares_result(std::move(record));
}

// Both functions: parse (TypeErrors first), copy every input, then run
// fit(input, build) detached, where build(values) rebuilds a copy of the
// argument's model with the named parameters replaced.
template <class Model, std::size_t N, class Fit>
PyObject* run_native_fit(const Signature<N>& signature, const Model* (*model_of)(PyObject*),
                         const char* model_class, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames, Fit fit) noexcept {
  PyObject* objects[N];
  if (!parse_arguments(signature.function, signature.names, signature.required, args, nargs,
                       kwnames, objects)) {
    return nullptr;
  }
  const Model* model = model_of(objects[0]);
  if (model == nullptr) {
    PyErr_Format(PyExc_TypeError, "%s() argument 'model' must be barometra._engine.%s, not %.200s",
                 signature.function, model_class, Py_TYPE(objects[0])->tp_name);
    return nullptr;
  }
  ParsedArguments parsed;
  if (!parse_fit_arguments(signature, objects, parsed)) return nullptr;
  return guarded([&]() -> PyObject* {
    const auto options = parsed.solver.options();
    if (!options) {  // an unknown loss, the one option refused here: say so in the field
      return raise_fit_error(
          FitError::invalid_input(std::string(options.error().message()), "loss", std::nullopt));
    }
    FitInput input(parsed, *options, signature.thermal);
    const Model start = *model;
    auto build = [&](std::span<const double> values) {
      return start.with_parameters(input.name_views, values);
    };
    auto fitted = [&] {
      Detached detached;
      return fit(input, build);
    }();
    return wrap_fit(std::move(fitted), input.names.size());
  });
}

// ---------------------------------------------------------------------------

PyObject* fit_rt_eos_native(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) noexcept {
  return run_native_fit(kRtSignature, &rt_model_of, "RtEos", args, nargs, kwnames,
                        [](const FitInput& input, auto& build) {
                          const PvObservations observations{
                              input.pressure, input.volume, input.pressure_sigma,
                              input.volume_sigma, input.cholesky};
                          return fit_isothermal_eos(observations, input.initial, input.lower,
                                                    input.upper, input.options, build);
                        });
}

PyObject* fit_thermal_eos_native(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
  return run_native_fit(
      kThermalSignature, &thermal_model_of, "ThermalEos", args, nargs, kwnames,
      [](const FitInput& input, auto& build) {
        const PvtObservations observations{input.pressure,       input.volume,
                                           input.temperature,    input.pressure_sigma,
                                           input.volume_sigma,   input.temperature_sigma,
                                           input.cholesky};
        return fit_thermal_eos_by(observations, input.initial, input.lower, input.upper,
                                  input.options, build,
                                  [](const ThermalModel& model, double volume, double temperature) {
                                    return model.pressure(volume, temperature);
                                  });
      });
}

// The public fit's choices of uncertain variables, ((name, (variable, ...)),
// ...): pressure always; the others are fitted as latent coordinates.
PyRef error_modes() noexcept {
  return PyRef::steal(Py_BuildValue("((s(s))(s(ss))(s(sss)))", "pressure", "pressure",
                                    "pressure+volume", "pressure", "volume", "all", "pressure",
                                    "volume", "temperature"));
}

PyRef loss_names() noexcept {
  PyRef names = PyRef::steal(PyTuple_New(Loss::Arctan + 1));
  for (int kind = Loss::Linear; names && kind <= Loss::Arctan; ++kind) {
    const std::string_view name = Loss{static_cast<Loss::Kind>(kind)}.name();
    PyObject* text = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    if (text == nullptr) return {};
    PyTuple_SET_ITEM(names.get(), kind, text);
  }
  return names;
}

}  // namespace

int add_fit_choices(PyObject* module) noexcept {
  PyRef losses = loss_names();
  if (!losses || PyModule_AddObjectRef(module, "LOSSES", losses.get()) < 0) return -1;
  PyRef modes = error_modes();
  if (!modes || PyModule_AddObjectRef(module, "ERROR_MODES", modes.get()) < 0) return -1;
  return 0;
}

PyMethodDef fit_rt_eos_native_def = {
    kRtSignature.function, fastcall<&fit_rt_eos_native>(), METH_FASTCALL | METH_KEYWORDS,
    "fit_rt_eos_native(model, parameter_names, initial, lower, upper, pressure, volume, "
    "pressure_sigma, volume_sigma=None, observation_cholesky=None, loss=\"linear\", "
    "f_scale=1.0, max_nfev=None)\n--\n\n"
    "Private building block of barometra: a native isothermal EOS fit.\n\n"
    "Fits the RtEos parameters named in parameter_names (native names: \"V0\",\n"
    "\"K0\", \"K0_prime\", ...) to pressures measured at the given volumes,\n"
    "weighted by pressure_sigma. With volume_sigma the true volumes become\n"
    "latent parameters after the model's (errors in both variables); with\n"
    "observation_cholesky, (N, 2, 2) lower-triangular factors of each\n"
    "observation's (P, V) covariance, the residuals are whitened by them.\n"
    "Runs without the interpreter lock. Returns a LeastSquaresResult with the\n"
    "predicted pressures and the model-parameter covariance, profiled over the\n"
    "latent volumes, and the fit's statistics as its eos_fit."};

PyMethodDef fit_thermal_eos_native_def = {
    kThermalSignature.function, fastcall<&fit_thermal_eos_native>(),
    METH_FASTCALL | METH_KEYWORDS,
    "fit_thermal_eos_native(model, parameter_names, initial, lower, upper, pressure, volume, "
    "temperature, pressure_sigma, volume_sigma=None, temperature_sigma=None, "
    "observation_cholesky=None, loss=\"linear\", f_scale=1.0, max_nfev=None)\n--\n\n"
    "Private building block of barometra: a native thermal EOS fit.\n\n"
    "Fits the ThermalEos parameters named in parameter_names (native names:\n"
    "\"Tr\", \"theta0\", \"gamma0\", ..., and \"rt_eos.V0\", \"rt_eos.K0\", ... for\n"
    "the reference isotherm) to pressures measured at the given volumes and\n"
    "temperatures, weighted by pressure_sigma. volume_sigma and\n"
    "temperature_sigma make the true volumes and temperatures latent\n"
    "parameters after the model's, in that order; observation_cholesky, (N, 3,\n"
    "3) lower-triangular factors of each observation's (P, V, T) covariance,\n"
    "needs both and whitens the residuals. Runs without the interpreter lock.\n"
    "Returns a LeastSquaresResult with the predicted pressures and the\n"
    "model-parameter covariance, profiled over the latent coordinates, and the\n"
    "fit's statistics as its eos_fit."};

}  // namespace barometra::python
