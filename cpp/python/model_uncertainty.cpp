// delta_method and monte_carlo_prediction: the uncertainty that a covariance
// of a model's own parameters gives a quantity of the model, at each state,
// by the delta method or over parameter draws. The model is rebuilt natively
// for every parameter vector. A value that moves with a parameter named
// undetermined (one the data do not determine) has a NaN standard error.
#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "errors.hpp"
#include "model_rows.hpp"
#include "module.hpp"
#include "results.hpp"
#include "rt_eos.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

namespace {

// What both functions take besides their covariance or draws: the model,
// its parameters by native name with their values, the quantity and the
// states, and the undetermined parameters (among the names).
struct ModelArguments {
  PyObject* model = nullptr;
  std::vector<std::string> names, undetermined;
  PyArrayObject* values = nullptr;
  PredictionArguments states;
};

// model, names, values; quantity, first, second; undetermined (null when
// omitted): false with a TypeError set.
bool parse_model_arguments(const char* function, PyObject* const* model_names_values,
                           PyObject* const* quantity_first_second, PyObject* undetermined,
                           ModelArguments& out) noexcept {
  out.model = model_names_values[0];
  if (rt_model_of(out.model) == nullptr && thermal_model_of(out.model) == nullptr) {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument 'model' must be barometra._engine.RtEos or ThermalEos, not %.200s",
                 function, Py_TYPE(out.model)->tp_name);
    return false;
  }
  return parse_str_sequence(model_names_values[1], function, "names", &out.names) &&
         parse_float64_array(model_names_values[2], function, "values", &out.values) &&
         parse_prediction(quantity_first_second, function, out.states) &&
         (undetermined == nullptr || undetermined == Py_None ||
          parse_str_sequence(undetermined, function, "undetermined", &out.undetermined));
}

// The values as k numbers, and the undetermined names as indices, or nothing
// with the exception set.
struct Parameters {
  std::vector<double> values;
  std::vector<std::size_t> undetermined;
};

std::optional<Parameters> parameters_of(const ModelArguments& m) {
  const auto k = static_cast<npy_intp>(m.names.size());
  if (PyArray_NDIM(m.values) != 1 || PyArray_DIM(m.values, 0) != k) {
    raise(python_validation_error("values must hold one value per name"));
    return std::nullopt;
  }
  Parameters parameters{flat_copy(m.values), {}};
  for (const std::string& name : m.undetermined) {
    const auto found = std::ranges::find(m.names, name);
    if (found == m.names.end()) {
      raise(python_validation_error("undetermined parameter '" + name + "' is not among the "
                                    "names"));
      return std::nullopt;
    }
    parameters.undetermined.push_back(static_cast<std::size_t>(found - m.names.begin()));
  }
  std::ranges::sort(parameters.undetermined);
  return parameters;
}

RebuiltModel model_of(PyObject* model) {
  if (const RtModel* rt = rt_model_of(model)) return *rt;
  return *thermal_model_of(model);
}

PyObject* delta_method(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  static constexpr const char* kName = "delta_method";
  static constexpr std::array<const char*, 8> kNames{
      "model", "names", "values", "covariance", "quantity", "first", "second", "undetermined"};
  PyObject* objects[kNames.size()];
  ModelArguments m;
  PyArrayObject* covariance;
  if (!parse_arguments(kName, kNames, 7, args, nargs, kwnames, objects) ||
      !parse_model_arguments(kName, objects, objects + 4, objects[7], m) ||
      !parse_float64_array(objects[3], kName, kNames[3], &covariance)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    const auto parameters = parameters_of(m);
    if (!parameters) return nullptr;
    const auto k = static_cast<npy_intp>(m.names.size());
    if (PyArray_NDIM(covariance) != 2 || PyArray_DIM(covariance, 0) != k ||
        PyArray_DIM(covariance, 1) != k) {
      return raise(python_validation_error("covariance must be (k, k) for k names"));
    }
    const std::vector<double> sigma = flat_copy(covariance);
    const ArrayView shape_of(m.states.first);
    const std::vector<npy_intp> shape(shape_of.shape(), shape_of.shape() + shape_of.ndim());
    auto body = [&](QuantityRows rows, std::size_t q) -> PyObject* {
      auto errors = delta_method_standard_errors(parameters->values, sigma, q, rows,
                                                 parameters->undetermined);
      if (!errors) return raise_prediction_error(errors.error());
      return new_array(*errors, shape).release();
    };
    return run_prediction(model_of(m.model), m.names, m.states, body);
  });
}

PyObject* monte_carlo_prediction(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
  static constexpr const char* kName = "monte_carlo_prediction";
  static constexpr std::array<const char*, 9> kNames{
      "model", "names", "values", "draws", "confidence", "quantity", "first", "second",
      "undetermined"};
  PyObject* objects[kNames.size()];
  ModelArguments m;
  PyArrayObject* draws;
  double confidence;
  if (!parse_arguments(kName, kNames, 8, args, nargs, kwnames, objects) ||
      !parse_model_arguments(kName, objects, objects + 5, objects[8], m) ||
      !parse_float64_array(objects[3], kName, kNames[3], &draws) ||
      !parse_double(objects[4], kName, kNames[4], &confidence)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    const auto parameters = parameters_of(m);
    if (!parameters) return nullptr;
    const std::size_t k = m.names.size();
    if (PyArray_NDIM(draws) != 2 || static_cast<std::size_t>(PyArray_DIM(draws, 1)) != k) {
      return raise(python_validation_error("draws must hold one row of the k values per draw"));
    }
    auto body = [&](QuantityRows rows, std::size_t q) -> PyObject* {
      auto predicted = barometra::monte_carlo_prediction(
          flat_copy(draws), k, q, confidence, rows, parameters->values,
          parameters->undetermined);
      if (!predicted) return raise_prediction_error(predicted.error());
      PyRef summary = PyRef::steal(wrap_monte_carlo_summary(std::move(predicted->summary)));
      if (!summary) return nullptr;
      return Py_BuildValue("(On)", summary.get(), static_cast<Py_ssize_t>(predicted->rejected));
    };
    return run_prediction(model_of(m.model), m.names, m.states, body);
  });
}

}  // namespace

PyMethodDef delta_method_def = {
    "delta_method", fastcall<&delta_method>(), METH_FASTCALL | METH_KEYWORDS,
    "delta_method(model, names, values, covariance, quantity, first, second, "
    "undetermined=None)\n--\n\n"
    "Standard errors of the named quantity of an RtEos or ThermalEos at each state\n"
    "(first[i], second[i]; second None for an isothermal quantity), from the (k, k)\n"
    "covariance of the k parameters named natively in names, whose values are given:\n"
    "central differences of 1e-3 standard errors of each, with the model rebuilt for\n"
    "each step. A value that moves with a parameter named in undetermined has a NaN\n"
    "standard error. Returns an array of the shape of first."};

PyMethodDef monte_carlo_prediction_def = {
    "monte_carlo_prediction", fastcall<&monte_carlo_prediction>(),
    METH_FASTCALL | METH_KEYWORDS,
    "monte_carlo_prediction(model, names, values, draws, confidence, quantity, first, "
    "second, undetermined=None)\n--\n\n"
    "Private building block of barometra: the named quantity of the model rebuilt with\n"
    "each row of draws (N, k) as the values of names, summarised over the draws whose\n"
    "model and quantity are valid at the central interval of probability confidence;\n"
    "a value that moves with a parameter named in undetermined (from values) is NaN.\n"
    "Returns (MonteCarloSummary, number of draws rejected)."};

}  // namespace barometra::python
