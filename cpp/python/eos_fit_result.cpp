#include "eos_fit_result.hpp"

#include <array>
#include <utility>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/fit/prediction.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "model_rows.hpp"
#include "module.hpp"
#include "results.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_eos_fit_result_type = nullptr;

const EosFitRecord& record_of(PyObject* self) noexcept { return model_in<EosFitRecord>(self); }
const EosFitResult& fit_of(PyObject* self) noexcept { return record_of(self).fit; }

// ---------------------------------------------------------------------------
// delta_method and monte_carlo

template <class Body>
PyObject* predict(PyObject* self, const PredictionArguments& a, Body& body) noexcept {
  const EosFitRecord& record = record_of(self);
  return run_prediction(record.start, record.names, a, body);
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
  auto body = [&](QuantityRows rows, std::size_t q) -> PyObject* {
    auto errors = delta_method_standard_errors(fit_of(self).parameters, flat_copy(covariance), q,
                                               rows);
    if (!errors) return raise_prediction_error(errors.error());
    return vector_array(*errors);
  };
  return predict(self, a, body);
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
  auto body = [&](QuantityRows rows, std::size_t q) -> PyObject* {
    auto predicted = monte_carlo_prediction(flat_copy(draws), k, q, confidence, rows);
    if (!predicted) return raise_prediction_error(predicted.error());
    PyRef summary = PyRef::steal(wrap_monte_carlo_summary(std::move(predicted->summary)));
    if (!summary) return nullptr;
    return Py_BuildValue("(On)", summary.get(), static_cast<Py_ssize_t>(predicted->rejected));
  };
  return predict(self, a, body);
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
