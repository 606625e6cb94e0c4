#include "eos_fit_result.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/fit/prediction.hpp"
#include "barometra/isothermal/batch.hpp"
#include "barometra/thermal/thermal_quantity.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "module.hpp"
#include "results.hpp"
#include "worker_pool.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_eos_fit_result_type = nullptr;

const EosFitRecord& record_of(PyObject* self) noexcept { return model_in<EosFitRecord>(self); }
const EosFitResult& fit_of(PyObject* self) noexcept { return record_of(self).fit; }

// An EOS failure reads as it would from the model's own methods.
PyObject* raise_prediction_error(const FitError& error) {
  if (const EosError* eos = error.eos_error()) return raise_eos_error(*eos);
  return raise_fit_error(error);
}

// ---------------------------------------------------------------------------
// The quantity of a model built from one parameter vector, at every state.

using RtQuantity = std::pair<std::string_view, BatchOperation>;

constexpr std::array<RtQuantity, 3> kRtQuantities{{
    {"pressure", BatchOperation::Pressure},
    {"volume", BatchOperation::Volume},
    {"bulk_modulus", BatchOperation::BulkModulus},
}};

// The states, copied so that the rows can be evaluated detached. A thermal
// quantity of the volume alone reads it as both inputs.
struct States {
  std::vector<double> first, second;
  std::size_t size() const noexcept { return first.size(); }
};

// Evaluates one row: the model rebuilt from the template with the row's
// values, then the quantity at every state (an isothermal model's through
// its batch kernels, which give the scalar operations' bits).
struct RowEvaluator {
  const EosFitRecord& record;
  std::vector<std::string_view> names;
  const States& states;
  BatchOperation rt_operation{};
  ThermalQuantity thermal_quantity{};

  std::optional<FitError> operator()(std::span<const double> parameters,
                                     std::span<double> values) const {
    if (const auto* start = std::get_if<RtModel>(&record.start)) {
      auto model = start->with_parameters(names, parameters);
      if (!model) return std::move(model.error());
      if (auto failure = evaluate_batch(*model, rt_operation, states.first, values)) {
        return FitError(failure->error);
      }
      return std::nullopt;
    }
    auto model = std::get<ThermalModel>(record.start).with_parameters(names, parameters);
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
  const std::size_t k = row.record.fit.parameters.size();
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
// delta_method and monte_carlo

// The arguments both methods share: the quantity and the states.
struct PredictionArguments {
  std::string_view quantity;
  PyArrayObject* first = nullptr;
  PyArrayObject* second = nullptr;  // null for None
};

bool parse_prediction(PyObject* const* objects, const char* function,
                      PredictionArguments& out) noexcept {
  return parse_str(objects[0], function, "quantity", &out.quantity) &&
         parse_float64_array(objects[1], function, "first", &out.first) &&
         parse_optional_float64_array(objects[2], function, "second", &out.second);
}

// The evaluator of the requested quantity, or null with the exception set.
std::optional<RowEvaluator> evaluator(PyObject* self, const PredictionArguments& a,
                                      const States& states) {
  const EosFitRecord& record = record_of(self);
  RowEvaluator row{record, {record.names.begin(), record.names.end()}, states};
  if (std::holds_alternative<RtModel>(record.start)) {
    const auto known = std::ranges::find(kRtQuantities, a.quantity, &RtQuantity::first);
    if (known != kRtQuantities.end()) {
      if (a.second != nullptr) {
        raise(python_validation_error("an isothermal quantity takes one state array"));
        return std::nullopt;
      }
      row.rt_operation = known->second;
      return row;
    }
  } else {
    const auto quantity = thermal_quantity_named(a.quantity);
    if (quantity && std::get<ThermalModel>(record.start).provides(*quantity)) {
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

template <class Body>
PyObject* run_prediction(PyObject* self, const PredictionArguments& a, Body body) noexcept {
  return guarded([&]() -> PyObject* {
    const auto states = copy_states(a);
    if (!states) return nullptr;
    const auto row = evaluator(self, a, *states);
    if (!row) return nullptr;
    const bool thermal = std::holds_alternative<ThermalModel>(record_of(self).start);
    auto rows = [&](std::span<const double> parameters, std::span<double> values,
                    std::span<std::optional<FitError>> failures) {
      evaluate_rows(*row, thermal, parameters, values, failures);
    };
    return body(QuantityRows(rows), states->size());
  });
}

PyObject* delta_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  static constexpr const char* kName = "delta_method";
  static constexpr std::array<const char*, 4> kNames{"quantity", "first", "second",
                                                     "covariance"};
  PyObject* objects[kNames.size()];
  PredictionArguments a;
  PyArrayObject* covariance;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_prediction(objects, kName, a) ||
      !parse_float64_array(objects[3], kName, kNames[3], &covariance)) {
    return nullptr;
  }
  return run_prediction(self, a, [&](QuantityRows rows, std::size_t q) -> PyObject* {
    auto errors = delta_method_standard_errors(fit_of(self).parameters, flat_copy(covariance), q,
                                               rows);
    if (!errors) return raise_prediction_error(errors.error());
    return vector_array(*errors);
  });
}

PyObject* monte_carlo(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  static constexpr const char* kName = "monte_carlo";
  static constexpr std::array<const char*, 5> kNames{"quantity", "first", "second", "draws",
                                                     "confidence"};
  PyObject* objects[kNames.size()];
  PredictionArguments a;
  PyArrayObject* draws;
  double confidence;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_prediction(objects, kName, a) ||
      !parse_float64_array(objects[3], kName, kNames[3], &draws) ||
      !parse_double(objects[4], kName, kNames[4], &confidence)) {
    return nullptr;
  }
  const std::size_t k = fit_of(self).parameters.size();
  if (PyArray_NDIM(draws) != 2 || static_cast<std::size_t>(PyArray_DIM(draws, 1)) != k) {
    return guarded([] {
      return raise(python_validation_error("draws must hold one row of the fit's parameters "
                                           "per draw"));
    });
  }
  return run_prediction(self, a, [&](QuantityRows rows, std::size_t q) -> PyObject* {
    auto predicted = monte_carlo_prediction(flat_copy(draws), k, q, confidence, rows);
    if (!predicted) return raise_prediction_error(predicted.error());
    PyRef summary = PyRef::steal(wrap_monte_carlo_summary(std::move(predicted->summary)));
    if (!summary) return nullptr;
    return Py_BuildValue("(On)", summary.get(), static_cast<Py_ssize_t>(predicted->rejected));
  });
}

// ---------------------------------------------------------------------------
// Statistics

PyObject* standard_errors(PyObject* self, void*) noexcept {
  return vector_array(fit_of(self).standard_errors);
}
PyObject* correlation(PyObject* self, void*) noexcept {
  const EosFitResult& fit = fit_of(self);
  return square_array(fit.correlation, fit.parameters.size());
}
PyObject* chi_square(PyObject* self, void*) noexcept {
  return PyFloat_FromDouble(fit_of(self).chi_square);
}
PyObject* degrees_of_freedom(PyObject* self, void*) noexcept {
  return PyLong_FromLongLong(fit_of(self).degrees_of_freedom);
}
PyObject* reduced_chi_square(PyObject* self, void*) noexcept {
  const auto& reduced = fit_of(self).reduced_chi_square;
  if (!reduced) Py_RETURN_NONE;
  return PyFloat_FromDouble(*reduced);
}
PyObject* aic(PyObject* self, void*) noexcept { return PyFloat_FromDouble(fit_of(self).aic); }
PyObject* bic(PyObject* self, void*) noexcept { return PyFloat_FromDouble(fit_of(self).bic); }
PyObject* volumes(PyObject* self, void*) noexcept { return vector_array(fit_of(self).volumes); }
PyObject* temperatures(PyObject* self, void*) noexcept {
  const auto& temperatures = fit_of(self).temperatures;
  if (!temperatures) Py_RETURN_NONE;
  return vector_array(*temperatures);
}

PyGetSetDef g_getset[] = {
    {"standard_errors", &standard_errors, nullptr,
     "Standard errors of the model parameters, sqrt(max(cov_ii, 0)) (k).", nullptr},
    {"correlation", &correlation, nullptr,
     "Correlation of the model parameters (k x k), 0 where a standard error is 0.", nullptr},
    {"chi_square", &chi_square, nullptr, "Sum of the squared final residuals.", nullptr},
    {"degrees_of_freedom", &degrees_of_freedom, nullptr,
     "Residuals minus fitted variables (latent coordinates included); negative when fewer.",
     nullptr},
    {"reduced_chi_square", &reduced_chi_square, nullptr,
     "chi_square / degrees_of_freedom, or None without degrees of freedom.", nullptr},
    {"aic", &aic, nullptr, "Akaike's information criterion, 2n + m ln(chi_square / m).",
     nullptr},
    {"bic", &bic, nullptr, "Bayesian information criterion, n ln m + m ln(chi_square / m).",
     nullptr},
    {"volumes", &volumes, nullptr,
     "Volumes of the predicted pressures: the fitted latent ones, else the measured (N).",
     nullptr},
    {"temperatures", &temperatures, nullptr,
     "Temperatures likewise (N); None for an isothermal fit.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef g_methods[] = {
    {"delta_method", fastcall<&delta_method>(), kMethod,
     "delta_method($self, quantity, first, second, covariance)\n--\n\n"
     "Standard errors of the named quantity of the fitted model at each state (first[i],\n"
     "second[i]; second None for a quantity of one state variable) by the delta method:\n"
     "central differences of 1e-3 standard errors of each parameter, with the (k, k)\n"
     "covariance given. Returns a 1-D array."},
    {"monte_carlo", fastcall<&monte_carlo>(), kMethod,
     "monte_carlo($self, quantity, first, second, draws, confidence)\n--\n\n"
     "The named quantity of the model rebuilt from each row of draws (N, k), summarised\n"
     "over the draws whose model and quantity are valid. Returns (MonteCarloSummary,\n"
     "number of draws rejected)."},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* eos_fit_result_type() noexcept {
  if (g_eos_fit_result_type == nullptr) {
    g_eos_fit_result_type = new_model_type<EosFitRecord>(
        "barometra._engine.EosFitResult",
        "Private view of a native EOS fit's statistics and of its fitted model.", nullptr,
        g_methods, g_getset);
  }
  return g_eos_fit_result_type;
}

}  // namespace

int ready_eos_fit_result_type() noexcept { return eos_fit_result_type() == nullptr ? -1 : 0; }

PyObject* wrap_eos_fit_result(EosFitRecord&& record) noexcept {
  return new_model_object(eos_fit_result_type(), std::move(record));
}

}  // namespace barometra::python
