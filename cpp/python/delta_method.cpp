// delta_method: the standard error that a covariance of a model's own
// parameters gives a quantity of the model, at each state. The model is
// rebuilt natively for every step, as for a fitted model's prediction.
#include <array>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "errors.hpp"
#include "model_rows.hpp"
#include "module.hpp"
#include "rt_eos.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

namespace {

PyObject* delta_method(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  static constexpr const char* kName = "delta_method";
  static constexpr std::array<const char*, 7> kNames{"model",    "names", "values",
                                                     "covariance", "quantity", "first",
                                                     "second"};
  PyObject* objects[kNames.size()];
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects)) return nullptr;
  const RtModel* rt = rt_model_of(objects[0]);
  const ThermalModel* thermal = thermal_model_of(objects[0]);
  if (rt == nullptr && thermal == nullptr) {
    PyErr_Format(PyExc_TypeError,
                 "%s() argument 'model' must be barometra._engine.RtEos or ThermalEos, not %.200s",
                 kName, Py_TYPE(objects[0])->tp_name);
    return nullptr;
  }
  std::vector<std::string> names;
  PyArrayObject *values, *covariance;
  // Reordered so that objects[0..2] are what parse_prediction reads.
  PyObject* const prediction[] = {objects[4], objects[5], objects[6]};
  PredictionArguments a;
  if (!parse_str_sequence(objects[1], kName, kNames[1], &names) ||
      !parse_float64_array(objects[2], kName, kNames[2], &values) ||
      !parse_float64_array(objects[3], kName, kNames[3], &covariance) ||
      !parse_prediction(prediction, kName, a)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    const auto k = static_cast<npy_intp>(names.size());
    if (PyArray_NDIM(values) != 1 || PyArray_DIM(values, 0) != k) {
      return raise(python_validation_error("values must hold one value per name"));
    }
    if (PyArray_NDIM(covariance) != 2 || PyArray_DIM(covariance, 0) != k ||
        PyArray_DIM(covariance, 1) != k) {
      return raise(python_validation_error("covariance must be (k, k) for k names"));
    }
    const RebuiltModel start = rt != nullptr ? RebuiltModel(*rt) : RebuiltModel(*thermal);
    const std::vector<double> centre = flat_copy(values), sigma = flat_copy(covariance);
    const ArrayView shape_of(a.first);
    const std::vector<npy_intp> shape(shape_of.shape(), shape_of.shape() + shape_of.ndim());
    auto body = [&](QuantityRows rows, std::size_t q) -> PyObject* {
      auto errors = delta_method_standard_errors(centre, sigma, q, rows);
      if (!errors) return raise_prediction_error(errors.error());
      return new_array(*errors, shape).release();
    };
    return run_prediction(start, names, a, body);
  });
}

}  // namespace

PyMethodDef delta_method_def = {
    "delta_method", fastcall<&delta_method>(), METH_FASTCALL | METH_KEYWORDS,
    "delta_method(model, names, values, covariance, quantity, first, second)\n--\n\n"
    "Standard errors of the named quantity of an RtEos or ThermalEos at each state\n"
    "(first[i], second[i]; second None for an isothermal quantity), from the (k, k)\n"
    "covariance of the k parameters named natively in names, whose values are given:\n"
    "central differences of 1e-3 standard errors of each, with the model rebuilt for\n"
    "each step. Returns an array of the shape of first."};

}  // namespace barometra::python
