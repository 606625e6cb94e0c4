// predict_delta_method and predict_monte_carlo: the uncertainty of a quantity
// of a fitted model, from the model, the names and values of its fitted
// parameters and their covariance or draws. They need nothing of the fit
// itself, so a result read back from a file predicts as the fit did. Each
// parameter vector rebuilds the model natively; the rows run detached, on the
// worker pool when that pays.
#include "prediction.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/fit/prediction.hpp"
#include "barometra/isothermal/batch.hpp"
#include "barometra/thermal/thermal_quantity.hpp"
#include "errors.hpp"
#include "module.hpp"
#include "results.hpp"
#include "rt_eos.hpp"
#include "thermal_eos.hpp"
#include "worker_pool.hpp"

namespace barometra::python {

namespace {

// An EOS failure reads as it would from the model's own methods.
PyObject* raise_prediction_error(const FitError& error) {
  if (const EosError* eos = error.eos_error()) return raise_eos_error(*eos);
  return raise_fit_error(error);
}

using RtQuantity = std::pair<std::string_view, BatchOperation>;

constexpr std::array<RtQuantity, 5> kRtQuantities{{
    {"pressure", BatchOperation::Pressure},
    {"volume", BatchOperation::Volume},
    {"bulk_modulus", BatchOperation::BulkModulus},
    {"bulk_modulus_pressure_derivative", BatchOperation::BulkModulusPressureDerivative},
    {"bulk_modulus_second_pressure_derivative",
     BatchOperation::BulkModulusSecondPressureDerivative},
}};

// An isothermal quantity of the parameters alone, the same at every state.
constexpr std::string_view kImpliedK0DoublePrime = "implied_k0_double_prime";

// The fitted model, its fitted parameters by the engine's names, and which of
// them the data leave undetermined (indices into the names).
struct Fitted {
  std::variant<RtModel, ThermalModel> model;
  std::vector<std::string> names;
  std::vector<double> parameters;
  std::vector<std::size_t> undetermined{};
};

// The states, copied so that the rows can be evaluated detached. A thermal
// quantity of the volume alone reads it as both inputs.
struct States {
  std::vector<double> first, second;
  std::size_t size() const noexcept { return first.size(); }
};

// Evaluates one row: the model rebuilt with the row's values, then the
// quantity at every state (an isothermal model's through its batch kernels,
// which give the scalar operations' bits).
struct RowEvaluator {
  const Fitted& fitted;
  std::vector<std::string_view> names;
  const States& states;
  BatchOperation rt_operation{};
  bool implied_k0_double_prime = false;
  ThermalQuantity thermal_quantity{};

  std::optional<FitError> operator()(std::span<const double> parameters,
                                     std::span<double> values) const {
    if (const auto* start = std::get_if<RtModel>(&fitted.model)) {
      auto model = start->with_parameters(names, parameters);
      if (!model) return std::move(model.error());
      if (implied_k0_double_prime) {
        const auto implied = model->implied_k0_double_prime();
        if (!implied) return FitError::invalid_input("the model's K0'' is not implied by its form");
        std::ranges::fill(values, *implied);
        return std::nullopt;
      }
      if (auto failure = evaluate_batch(*model, rt_operation, states.first, values)) {
        return FitError(failure->error);
      }
      return std::nullopt;
    }
    auto model = std::get<ThermalModel>(fitted.model).with_parameters(names, parameters);
    if (!model) return std::move(model.error());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const Result value = *model->evaluate(thermal_quantity, states.first[i], states.second[i]);
      if (!value) return FitError(value.error());
      values[i] = *value;
    }
    return std::nullopt;
  }
};

// Rows of a thermal model are costly enough to share out at once; an
// isothermal model's from this many evaluations.
constexpr std::size_t kParallelEvaluations = 512;

// Evaluates every row, detached, on the worker pool when that pays. Rows fill
// their own slots, so the results do not depend on the scheduling.
void evaluate_rows(const RowEvaluator& row, bool thermal, std::span<const double> parameters,
                   std::span<double> values, std::span<std::optional<FitError>> failures) {
  const std::size_t rows = failures.size(), q = row.states.size();
  const std::size_t k = row.fitted.parameters.size();
  std::atomic<bool> out_of_memory{false};
  auto run = [&](std::size_t begin, std::size_t end) noexcept {
    for (std::size_t r = begin; r < end; ++r) {
      try {
        failures[r] = row(parameters.subspan(r * k, k), values.subspan(r * q, q));
      } catch (const std::bad_alloc&) {  // the one exception the core may throw
        out_of_memory.store(true, std::memory_order_relaxed);
      }
    }
  };
  WorkerPool* pool = nullptr;
  if (rows > 1 && (thermal || rows * q >= kParallelEvaluations)) pool = &WorkerPool::instance();
  {
    Detached detached;
    if (pool == nullptr) {
      run(0, rows);
    } else {
      auto body = [&](std::size_t, std::size_t begin, std::size_t end) noexcept {
        run(begin, end);
      };
      pool->parallel_for(rows, std::min(rows, 4 * (pool->worker_count() + 1)), body);
    }
  }
  if (out_of_memory.load(std::memory_order_relaxed)) throw std::bad_alloc();
}

// ---------------------------------------------------------------------------
// Arguments

// model, parameter_names, parameters, undetermined, quantity, first, second:
// what both functions take first.
constexpr std::size_t kCommon = 7;

struct PredictionArguments {
  PyObject* model = nullptr;
  std::vector<std::string> names;
  PyArrayObject* parameters = nullptr;
  std::vector<std::string> undetermined;
  std::string_view quantity;
  PyArrayObject* first = nullptr;
  PyArrayObject* second = nullptr;  // null for None
};

template <std::size_t N>
bool parse_common(PyObject* const* objects, const char* function,
                  const std::array<const char*, N>& names, PredictionArguments& out) noexcept {
  out.model = objects[0];
  return parse_str_sequence(objects[1], function, names[1], &out.names) &&
         parse_float64_array(objects[2], function, names[2], &out.parameters) &&
         parse_str_sequence(objects[3], function, names[3], &out.undetermined) &&
         parse_str(objects[4], function, names[4], &out.quantity) &&
         parse_float64_array(objects[5], function, names[5], &out.first) &&
         parse_optional_float64_array(objects[6], function, names[6], &out.second);
}

// The fitted model and parameters, or nothing with the exception set.
std::optional<Fitted> fitted_of(const char* function, const PredictionArguments& a) {
  std::optional<Fitted> fitted;
  if (const RtModel* rt = rt_model_of(a.model)) {
    fitted.emplace(*rt, a.names, flat_copy(a.parameters));
  } else if (const ThermalModel* thermal = thermal_model_of(a.model)) {
    fitted.emplace(*thermal, a.names, flat_copy(a.parameters));
  } else {
    PyErr_Format(PyExc_TypeError, "%s() argument 'model' must be RtEos or ThermalEos, not %.200s",
                 function, Py_TYPE(a.model)->tp_name);
    return std::nullopt;
  }
  if (fitted->parameters.size() != fitted->names.size()) {
    raise(python_validation_error("parameters must hold one value per parameter name"));
    return std::nullopt;
  }
  for (const std::string& name : a.undetermined) {
    const auto found = std::ranges::find(fitted->names, name);
    if (found == fitted->names.end()) {
      raise(python_validation_error("undetermined parameter '" + name +
                                    "' is not among the parameter names"));
      return std::nullopt;
    }
    fitted->undetermined.push_back(static_cast<std::size_t>(found - fitted->names.begin()));
  }
  std::ranges::sort(fitted->undetermined);
  return fitted;
}

// The evaluator of the requested quantity, or nothing with the exception set.
std::optional<RowEvaluator> evaluator(const Fitted& fitted, const PredictionArguments& a,
                                      const States& states) {
  RowEvaluator row{fitted, {fitted.names.begin(), fitted.names.end()}, states};
  if (std::holds_alternative<RtModel>(fitted.model)) {
    const auto known = std::ranges::find(kRtQuantities, a.quantity, &RtQuantity::first);
    const bool implied = a.quantity == kImpliedK0DoublePrime;
    if (known != kRtQuantities.end() || implied) {
      if (a.second != nullptr) {
        raise(python_validation_error("an isothermal quantity takes one state array"));
        return std::nullopt;
      }
      if (known != kRtQuantities.end()) row.rt_operation = known->second;
      row.implied_k0_double_prime = implied;
      return row;
    }
  } else {
    const auto quantity = thermal_quantity_named(a.quantity);
    if (quantity && std::get<ThermalModel>(fitted.model).provides(*quantity)) {
      row.thermal_quantity = *quantity;
      return row;
    }
  }
  raise(python_unsupported_error("quantity '" + std::string(a.quantity) +
                                 "' is unavailable for this model"));
  return std::nullopt;
}

// The states as flat copies, or nothing with the exception set when the two
// arrays differ in shape.
std::optional<States> copy_states(const PredictionArguments& a) {
  if (a.second != nullptr && !ArrayView(a.first).same_shape(ArrayView(a.second))) {
    raise(python_validation_error(kShapeMismatchMessage));
    return std::nullopt;
  }
  States states{flat_copy(a.first), {}};
  states.second = a.second != nullptr ? flat_copy(a.second) : states.first;
  return states;
}

// body(fitted, rows, q) with the rows of the requested quantity.
template <class Body>
PyObject* run_prediction(const char* function, const PredictionArguments& a, Body body) noexcept {
  return guarded([&]() -> PyObject* {
    const auto fitted = fitted_of(function, a);
    if (!fitted) return nullptr;
    const auto states = copy_states(a);
    if (!states) return nullptr;
    const auto row = evaluator(*fitted, a, *states);
    if (!row) return nullptr;
    const bool thermal = std::holds_alternative<ThermalModel>(fitted->model);
    auto rows = [&](std::span<const double> parameters, std::span<double> values,
                    std::span<std::optional<FitError>> failures) {
      evaluate_rows(*row, thermal, parameters, values, failures);
    };
    return body(*fitted, QuantityRows(rows), states->size());
  });
}

PyObject* predict_delta_method(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) noexcept {
  static constexpr const char* kName = "predict_delta_method";
  static constexpr std::array<const char*, kCommon + 1> kNames{
      "model", "parameter_names", "parameters", "undetermined", "quantity", "first", "second",
      "covariance"};
  PyObject* objects[kNames.size()];
  PredictionArguments a;
  PyArrayObject* covariance;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_common(objects, kName, kNames, a) ||
      !parse_float64_array(objects[kCommon], kName, kNames[kCommon], &covariance)) {
    return nullptr;
  }
  return run_prediction(kName, a, [&](const Fitted& fitted, QuantityRows rows,
                                      std::size_t q) -> PyObject* {
    auto errors = delta_method_standard_errors(fitted.parameters, flat_copy(covariance), q, rows,
                                               fitted.undetermined);
    if (!errors) return raise_prediction_error(errors.error());
    return vector_array(*errors);
  });
}

PyObject* predict_monte_carlo(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
  static constexpr const char* kName = "predict_monte_carlo";
  static constexpr std::array<const char*, kCommon + 2> kNames{
      "model", "parameter_names", "parameters", "undetermined", "quantity", "first", "second",
      "draws", "confidence"};
  PyObject* objects[kNames.size()];
  PredictionArguments a;
  PyArrayObject* draws;
  double confidence;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_common(objects, kName, kNames, a) ||
      !parse_float64_array(objects[kCommon], kName, kNames[kCommon], &draws) ||
      !parse_double(objects[kCommon + 1], kName, kNames[kCommon + 1], &confidence)) {
    return nullptr;
  }
  return run_prediction(kName, a, [&](const Fitted& fitted, QuantityRows rows,
                                      std::size_t q) -> PyObject* {
    const std::size_t k = fitted.parameters.size();
    if (PyArray_NDIM(draws) != 2 || static_cast<std::size_t>(PyArray_DIM(draws, 1)) != k) {
      return raise(python_validation_error("draws must hold one row of the fit's parameters "
                                           "per draw"));
    }
    auto predicted = monte_carlo_prediction(flat_copy(draws), k, q, confidence, rows,
                                            fitted.parameters, fitted.undetermined);
    if (!predicted) return raise_prediction_error(predicted.error());
    PyRef summary = PyRef::steal(wrap_monte_carlo_summary(std::move(predicted->summary)));
    if (!summary) return nullptr;
    return Py_BuildValue("(On)", summary.get(), static_cast<Py_ssize_t>(predicted->rejected));
  });
}

constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef g_delta_method_def = {
    "predict_delta_method", fastcall<&predict_delta_method>(), kMethod,
    "predict_delta_method(model, parameter_names, parameters, undetermined, quantity, first, "
    "second, covariance)\n--\n\n"
    "Private building block of barometra: standard errors of the named quantity of a\n"
    "fitted model (RtEos or ThermalEos) at each state (first[i], second[i]; second\n"
    "None for a quantity of one state variable) by the delta method. parameters are\n"
    "the fitted values of the parameters named (engine names), covariance their (k, k)\n"
    "covariance; the derivatives are central differences of 1e-3 standard errors. A\n"
    "value that moves with a parameter named in undetermined has a NaN standard\n"
    "error. Returns a 1-D array."};

PyMethodDef g_monte_carlo_def = {
    "predict_monte_carlo", fastcall<&predict_monte_carlo>(), kMethod,
    "predict_monte_carlo(model, parameter_names, parameters, undetermined, quantity, first, "
    "second, draws, confidence)\n--\n\n"
    "Private building block of barometra: the named quantity of the model rebuilt from\n"
    "each row of draws (N, k), summarised over the draws whose model and quantity are\n"
    "valid; a value that moves with a parameter named in undetermined is NaN. Returns\n"
    "(MonteCarloSummary, number of draws rejected)."};

}  // namespace

int add_prediction_functions(PyObject* module) noexcept {
  PyRef module_name = PyRef::steal(PyUnicode_FromString(kModuleName));
  if (!module_name) return -1;
  for (PyMethodDef* definition : {&g_delta_method_def, &g_monte_carlo_def}) {
    PyRef function = PyRef::steal(PyCFunction_NewEx(definition, nullptr, module_name.get()));
    if (!function || PyModule_AddObjectRef(module, definition->ml_name, function.get()) < 0) {
      return -1;
    }
  }
  return 0;
}

}  // namespace barometra::python
