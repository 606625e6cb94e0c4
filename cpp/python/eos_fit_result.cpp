#include "eos_fit_result.hpp"

#include <utility>

#include "model_object.hpp"
#include "results.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_eos_fit_result_type = nullptr;

const EosFitResult& fit_of(PyObject* self) noexcept { return model_in<EosFitResult>(self); }

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
PyObject* undetermined(PyObject* self, void*) noexcept {
  const auto& indices = fit_of(self).undetermined;
  PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(indices.size())));
  for (std::size_t i = 0; tuple && i < indices.size(); ++i) {
    PyObject* index = PyLong_FromSize_t(indices[i]);
    if (index == nullptr) return nullptr;
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), index);
  }
  return tuple.release();
}

PyGetSetDef g_getset[] = {
    {"standard_errors", &standard_errors, nullptr,
     "Standard errors of the model parameters, sqrt(max(cov_ii, 0)) (k); NaN for an\n"
     "undetermined one.", nullptr},
    {"correlation", &correlation, nullptr,
     "Correlation of the model parameters (k x k), 0 where a standard error is 0, NaN in\n"
     "the rows and columns of an undetermined one.", nullptr},
    {"undetermined", &undetermined, nullptr,
     "Indices of the model parameters the data do not determine: they have a component\n"
     "along a direction the covariance's rank cut dropped.", nullptr},
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

PyTypeObject* eos_fit_result_type() noexcept {
  if (g_eos_fit_result_type == nullptr) {
    g_eos_fit_result_type = new_model_type<EosFitResult>(
        "barometra._engine.EosFitResult",
        "Private view of a native EOS fit's statistics.", nullptr, nullptr, g_getset);
  }
  return g_eos_fit_result_type;
}

}  // namespace

int ready_eos_fit_result_type() noexcept { return eos_fit_result_type() == nullptr ? -1 : 0; }

PyObject* wrap_eos_fit_result(EosFitResult&& fit) noexcept {
  return new_model_object(eos_fit_result_type(), std::move(fit));
}

}  // namespace barometra::python
