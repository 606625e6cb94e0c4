// OpticalGauge: the Python class that holds one immutable optical pressure
// gauge (barometra/optical_gauge.hpp): pressure from a line position and the
// inverse, over floats or arrays, and the standard error of a pressure from
// the position's and the constants' uncertainties.
#include <algorithm>
#include <array>
#include <cmath>
#include <expected>
#include <span>
#include <string>
#include <vector>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/optical_gauge.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "module.hpp"
#include "number_format.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_optical_gauge_type = nullptr;

const OpticalGauge& gauge_of(PyObject* self) noexcept { return model_in<OpticalGauge>(self); }

struct FormInfo {
  GaugeForm form;
  const char* name;
  std::array<const char*, kMaxGaugeConstants> constants;  // the Python argument names
};

constexpr std::array<FormInfo, 4> kForms{{
    {GaugeForm::PowerLaw, "power_law", {"a", "b", nullptr}},
    {GaugeForm::Quadratic, "quadratic", {"a", "b", nullptr}},
    {GaugeForm::Rational, "rational", {"a", "b", "c"}},
    {GaugeForm::RamanEdge, "raman_edge", {"k0", "k0_prime", nullptr}},
}};

const FormInfo& info_of(GaugeForm form) noexcept {
  return kForms[static_cast<std::size_t>(form)];
}

template <GaugeForm Form>
PyObject* construct(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames) noexcept {
  const FormInfo& info = info_of(Form);
  const std::size_t count = OpticalGauge::constant_count(Form);
  const std::span<const char* const> names(info.constants.data(), count);
  PyObject* objects[kMaxGaugeConstants];
  std::array<double, kMaxGaugeConstants> constants{};
  if (!parse_arguments(info.name, names, args, nargs, kwnames, objects)) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    if (!parse_double(objects[i], info.name, names[i], &constants[i])) return nullptr;
  }
  const auto gauge = OpticalGauge::create(Form, std::span(constants).first(count));
  if (!gauge) return guarded([&] { return raise_eos_error(gauge.error()); });
  return new_model_object(g_optical_gauge_type, *gauge);
}

// A gauge operation of a position or pressure and the reference position,
// and its pair of methods.
struct Operation {
  Result (OpticalGauge::*apply)(double, double) const noexcept;
  const char* scalar_name;
  const char* array_name;
  std::array<const char*, 2> arguments;
};

constexpr Operation kPressure{&OpticalGauge::pressure, "pressure_scalar", "pressure_array",
                              {"position", "reference"}};
constexpr Operation kPosition{&OpticalGauge::position, "position_scalar", "position_array",
                              {"pressure", "reference"}};

template <const Operation& Op>
PyObject* evaluate_scalar(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  const char* function = Op.scalar_name;
  PyObject* objects[2];
  double first, second;
  if (!parse_arguments(function, Op.arguments, args, nargs, kwnames, objects) ||
      !parse_double(objects[0], function, Op.arguments[0], &first) ||
      !parse_double(objects[1], function, Op.arguments[1], &second)) {
    return nullptr;
  }
  const Result result = (gauge_of(self).*Op.apply)(first, second);
  if (!result) return guarded([&] { return raise_eos_error(result.error()); });
  return PyFloat_FromDouble(*result);
}

template <const Operation& Op>
PyObject* evaluate_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  const char* function = Op.array_name;
  PyObject* objects[2];
  PyArrayObject *first, *second;
  if (!parse_arguments(function, Op.arguments, args, nargs, kwnames, objects) ||
      !parse_float64_array(objects[0], function, Op.arguments[0], &first) ||
      !parse_float64_array(objects[1], function, Op.arguments[1], &second)) {
    return nullptr;
  }
  const OpticalGauge gauge = gauge_of(self);  // the workers read a copy
  return guarded([&] {
    return map_array2(first, second,
                      [&gauge](double x, double y) noexcept { return (gauge.*Op.apply)(x, y); });
  });
}

// The measurement's and the constants' shares of one pressure's variance.
std::expected<std::array<double, 2>, EosError> variance_shares(
    const OpticalGauge& gauge, std::span<const double> covariance, double position,
    double reference, double position_sigma, double reference_sigma) noexcept {
  const auto s = gauge.pressure_slopes(position, reference);
  if (!s) return std::unexpected(s.error());
  const double a = s->d_position * position_sigma, b = s->d_reference * reference_sigma;
  const std::size_t k = gauge.constants().size();
  double constants = 0.0;
  for (std::size_t i = 0; i < k; ++i) {
    for (std::size_t j = 0; j < k; ++j) {
      constants += s->d_constants[i] * covariance[i * k + j] * s->d_constants[j];
    }
  }
  return std::array{a * a + b * b, std::max(constants, 0.0)};
}

// Four arrays of one shape (the package broadcasts them) and the constants'
// covariance; a tuple (total, measurement, constants) of standard errors.
PyObject* uncertainty(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
  static constexpr const char* kName = "uncertainty";
  static constexpr std::array<const char*, 5> kNames{"position", "reference", "position_sigma",
                                                     "reference_sigma", "covariance"};
  PyObject* objects[kNames.size()];
  std::array<PyArrayObject*, kNames.size()> arrays;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects)) return nullptr;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (!parse_float64_array(objects[i], kName, kNames[i], &arrays[i])) return nullptr;
  }
  const OpticalGauge& gauge = gauge_of(self);
  return guarded([&]() -> PyObject* {
    const ArrayView view(arrays[0]);
    for (std::size_t i = 1; i < 4; ++i) {
      if (!view.same_shape(ArrayView(arrays[i]))) {
        return raise(python_validation_error(kShapeMismatchMessage));
      }
    }
    const auto k = static_cast<npy_intp>(gauge.constants().size());
    if (PyArray_NDIM(arrays[4]) != 2 || PyArray_DIM(arrays[4], 0) != k ||
        PyArray_DIM(arrays[4], 1) != k) {
      return raise(python_validation_error("covariance must be (k, k) for the gauge's k "
                                           "constants"));
    }
    std::array<std::vector<double>, 4> in;
    for (std::size_t i = 0; i < 4; ++i) in[i] = flat_copy(arrays[i]);
    const std::vector<double> covariance = flat_copy(arrays[4]);
    std::array<PyRef, 3> out{new_array_like(view), new_array_like(view), new_array_like(view)};
    for (const PyRef& array : out) {
      if (!array) return nullptr;
    }
    for (std::size_t e = 0; e < in[0].size(); ++e) {
      const auto shares =
          variance_shares(gauge, covariance, in[0][e], in[1][e], in[2][e], in[3][e]);
      if (!shares) return raise_eos_error(shares.error());
      array_data(out[0])[e] = std::sqrt((*shares)[0] + (*shares)[1]);
      array_data(out[1])[e] = std::sqrt((*shares)[0]);
      array_data(out[2])[e] = std::sqrt((*shares)[1]);
    }
    return PyTuple_Pack(3, out[0].get(), out[1].get(), out[2].get());
  });
}

PyObject* form(PyObject* self, void*) noexcept {
  return PyUnicode_FromString(info_of(gauge_of(self).form()).name);
}

PyObject* constants(PyObject* self, void*) noexcept {
  const auto values = gauge_of(self).constants();
  PyRef tuple = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(values.size())));
  if (!tuple) return nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    PyObject* value = PyFloat_FromDouble(values[i]);
    if (value == nullptr) return nullptr;
    PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), value);
  }
  return tuple.release();
}

PyObject* optical_gauge_repr(PyObject* self) noexcept {
  return guarded([self] {
    const OpticalGauge& gauge = gauge_of(self);
    const FormInfo& info = info_of(gauge.form());
    std::string text = std::string("OpticalGauge.") + info.name + "(";
    const auto values = gauge.constants();
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (i > 0) text.append(", ");
      text.append(info.constants[i]).append("=").append(format_shortest(values[i]));
    }
    text.append(")");
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

constexpr int kStatic = METH_STATIC | METH_FASTCALL | METH_KEYWORDS;
constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef g_methods[] = {
    {"power_law", fastcall<&construct<GaugeForm::PowerLaw>>(), kStatic,
     "power_law(a, b)\n--\n\nP = (a/b) [(y/y0)^b - 1] (Mao et al. 1986); b non-zero."},
    {"quadratic", fastcall<&construct<GaugeForm::Quadratic>>(), kStatic,
     "quadratic(a, b)\n--\n\nP = a x (1 + b x), x = (y - y0)/y0 (Shen et al. 2020)."},
    {"rational", fastcall<&construct<GaugeForm::Rational>>(), kStatic,
     "rational(a, b, c)\n--\n\n"
     "P = a d (1 + b d)/(1 + c d), d = y - y0 (Datchi et al. 1997)."},
    {"raman_edge", fastcall<&construct<GaugeForm::RamanEdge>>(), kStatic,
     "raman_edge(k0, k0_prime)\n--\n\n"
     "P = k0 x [1 + (k0_prime - 1) x/2], x = (y - y0)/y0 (Akahama & Kawamura 2006)."},
    {kPressure.scalar_name, fastcall<&evaluate_scalar<kPressure>>(), kMethod,
     "pressure_scalar($self, position, reference)\n--\n\n"
     "The pressure at a line position y, its ambient position y0 given."},
    {kPressure.array_name, fastcall<&evaluate_array<kPressure>>(), kMethod,
     "pressure_array($self, position, reference)\n--\n\n"
     "The pressure at each position, the two arrays of one shape."},
    {kPosition.scalar_name, fastcall<&evaluate_scalar<kPosition>>(), kMethod,
     "position_scalar($self, pressure, reference)\n--\n\n"
     "The line position at which the gauge reads the pressure: the inverse of\n"
     "pressure_scalar."},
    {kPosition.array_name, fastcall<&evaluate_array<kPosition>>(), kMethod,
     "position_array($self, pressure, reference)\n--\n\n"
     "The line position at each pressure, the two arrays of one shape."},
    {"uncertainty", fastcall<&uncertainty>(), kMethod,
     "uncertainty($self, position, reference, position_sigma, reference_sigma, covariance)\n"
     "--\n\n"
     "Standard errors of the pressure at each position, first order: a tuple (total,\n"
     "measurement, constants), the measurement's share from the two positions' sigmas\n"
     "and the constants' from their (k, k) covariance. The four arrays share one shape."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef g_getset[] = {
    {"form", &form, nullptr, "The formula: its static constructor's name.", nullptr},
    {"constants", &constants, nullptr, "The constants, in the constructor's order.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

int register_optical_gauge(PyObject* module) noexcept {
  return add_type(module, "OpticalGauge",
                  cached_model_type<OpticalGauge>(
                      g_optical_gauge_type, "barometra._engine.OpticalGauge",
                      "Private native representation of an optical pressure gauge.",
                      &optical_gauge_repr, g_methods, g_getset));
}

}  // namespace barometra::python
