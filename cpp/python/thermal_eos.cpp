#include "thermal_eos.hpp"

#include <array>
#include <cstddef>
#include <expected>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/thermal/thermal_batch.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "module.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_thermal_eos_type = nullptr;

const ThermalModel& model_of(PyObject* self) noexcept { return model_in<ThermalModel>(self); }

// The quantity argument: what it names, if anything, and its text for the
// message. Not movable: `name` may view `escaped`.
struct QuantityArgument {
  std::optional<ThermalQuantity> quantity;
  std::string_view name;
  std::string escaped;  // the text of a str that has no UTF-8 form

  QuantityArgument() = default;
  QuantityArgument(const QuantityArgument&) = delete;
  QuantityArgument& operator=(const QuantityArgument&) = delete;
};

// False only with a Python error set (the argument is not a str).
bool parse_quantity(PyObject* object, const char* function, QuantityArgument* out) noexcept {
  if (parse_str(object, function, "quantity", &out->name)) {
    out->quantity = thermal_quantity_named(out->name);
    return true;
  }
  if (!PyErr_ExceptionMatches(PyExc_UnicodeEncodeError)) return false;
  PyErr_Clear();
  // Lone surrogates name no quantity; the message shows them escaped.
  PyRef bytes = PyRef::steal(PyUnicode_AsEncodedString(object, "utf-8", "backslashreplace"));
  if (!bytes) return false;
  try {
    out->escaped.assign(PyBytes_AS_STRING(bytes.get()),
                        static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.get())));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return false;
  }
  out->name = out->escaped;
  return true;
}

// The error of every element when the model has no such quantity. It views
// the quantity's text, which outlives the call.
struct UnavailableQuantity {
  std::string_view name;
};

PyRef to_exception(const UnavailableQuantity& unavailable) {
  return python_unsupported_error("quantity '" + std::string(unavailable.name) +
                                  "' is unavailable for this thermal model");
}

PyObject* evaluate_scalar(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  static constexpr const char* kName = "evaluate_scalar";
  static constexpr std::array<const char*, 3> kNames{"quantity", "first", "second"};
  PyObject* objects[kNames.size()];
  QuantityArgument quantity;
  double first, second;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_quantity(objects[0], kName, &quantity) ||
      !parse_double(objects[1], kName, "first", &first) ||
      !parse_double(objects[2], kName, "second", &second)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::optional<Result> result;
    if (quantity.quantity) result = model_of(self).evaluate(*quantity.quantity, first, second);
    if (!result) return raise(to_exception(UnavailableQuantity{quantity.name}));
    if (!*result) return raise_eos_error(result->error());
    return PyFloat_FromDouble(**result);
  });
}

// The model's own loop for the quantity (thermal_batch.hpp) runs over the
// elements.
PyObject* evaluate_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  static constexpr const char* kName = "evaluate_array";
  static constexpr std::array<const char*, 3> kNames{"quantity", "first", "second"};
  PyObject* objects[kNames.size()];
  QuantityArgument quantity;
  PyArrayObject *first, *second;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_quantity(objects[0], kName, &quantity) ||
      !parse_float64_array(objects[1], kName, "first", &first) ||
      !parse_float64_array(objects[2], kName, "second", &second)) {
    return nullptr;
  }
  // A copy: the workers read it detached, independent of `self`.
  const ThermalModel model = model_of(self);
  return guarded([&]() -> PyObject* {
    if (!quantity.quantity || !model.provides(*quantity.quantity)) {
      // Every element fails alike, so empty arrays still succeed.
      const UnavailableQuantity unavailable{quantity.name};
      return map_array2(first, second,
                        [unavailable](double, double) noexcept
                        -> std::expected<double, UnavailableQuantity> {
                          return std::unexpected(unavailable);
                        });
    }
    const ThermalQuantity q = *quantity.quantity;
    return map_array2_batch(first, second,
                            [&model, q](const double* a, const double* b, double* out,
                                        std::size_t n) noexcept {
                              return thermal_quantity_batch(model, q, {a, n}, {b, n}, {out, n});
                            });
  });
}

PyObject* volume_with_dac_confinement_scalar(PyObject* self, PyObject* const* args,
                                             Py_ssize_t nargs, PyObject* kwnames) noexcept {
  static constexpr const char* kName = "volume_with_dac_confinement_scalar";
  static constexpr std::array<const char*, 3> kNames{"cold_pressure", "temperature", "f_dac"};
  PyObject* objects[kNames.size()];
  std::array<double, kNames.size()> values;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects)) return nullptr;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (!parse_double(objects[i], kName, kNames[i], &values[i])) return nullptr;
  }
  const auto [cold_pressure, temperature, f_dac] = values;
  const Result result =
      model_of(self).volume_with_dac_confinement(cold_pressure, temperature, f_dac);
  if (!result) return guarded([&] { return raise_eos_error(result.error()); });
  return PyFloat_FromDouble(*result);
}

PyObject* volume_with_dac_confinement_array(PyObject* self, PyObject* const* args,
                                            Py_ssize_t nargs, PyObject* kwnames) noexcept {
  static constexpr const char* kName = "volume_with_dac_confinement_array";
  static constexpr std::array<const char*, 3> kNames{"cold_pressures", "temperatures", "f_dac"};
  PyObject* objects[kNames.size()];
  PyArrayObject *pressures, *temperatures;
  double f_dac;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_float64_array(objects[0], kName, kNames[0], &pressures) ||
      !parse_float64_array(objects[1], kName, kNames[1], &temperatures) ||
      !parse_double(objects[2], kName, kNames[2], &f_dac)) {
    return nullptr;
  }
  const ThermalModel model = model_of(self);
  return guarded([&] {
    return map_array2_batch(pressures, temperatures,
                            [&model, f_dac](const double* p, const double* t, double* out,
                                            std::size_t n) noexcept {
                              return volume_with_dac_confinement_batch(model, {p, n}, {t, n},
                                                                       f_dac, {out, n});
                            });
  });
}

PyObject* thermal_eos_repr(PyObject* self) noexcept {
  return PyUnicode_FromFormat("ThermalEos(model_name='%s')", model_of(self).model_name());
}

PyObject* thermal_eos_model_name(PyObject* self, void*) noexcept {
  return PyUnicode_FromString(model_of(self).model_name());
}

constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;

const std::array<PyMethodDef, 4> kMethodDefs{{
    {"evaluate_scalar", fastcall<&evaluate_scalar>(), kMethod,
     "evaluate_scalar($self, quantity, first, second)\n--\n\n"
     "One value of the named quantity. first and second are (volume, temperature), except\n"
     "for 'volume' (pressure, temperature), 'temperature' (pressure, volume), and\n"
     "'hugoniot_pressure' and 'hugoniot_temperature' (volume, t0: the principal Hugoniot\n"
     "from rest at zero pressure and t0); 'characteristic_temperature' uses the volume\n"
     "only. Which quantities exist depends on the model: 'pressure', 'volume',\n"
     "'temperature', 'bulk_modulus',\n"
     "'bulk_modulus_pressure_derivative' (K' = dK/dP at constant temperature),\n"
     "'isothermal_compressibility', 'thermal_expansivity', 'thermal_pressure' and\n"
     "'thermal_pressure_increment' always; heat capacities, energies and entropies where\n"
     "the model defines them, the Hugoniot where it has a thermal energy."},
    {"evaluate_array", fastcall<&evaluate_array>(), kMethod,
     "evaluate_array($self, quantity, first, second)\n--\n\n"
     "The named quantity (see evaluate_scalar) at each pair of elements of two float64\n"
     "arrays of one shape; the result has that shape."},
    {"volume_with_dac_confinement_scalar", fastcall<&volume_with_dac_confinement_scalar>(),
     kMethod,
     "volume_with_dac_confinement_scalar($self, cold_pressure, temperature, f_dac)\n--\n\n"
     "Volume of a sample loaded to cold_pressure at Tr and heated to temperature in a\n"
     "diamond-anvil cell that keeps the fraction f_dac (0 <= f_dac < 1) of the thermal\n"
     "pressure gained; f_dac = 0 is isobaric heating."},
    {"volume_with_dac_confinement_array", fastcall<&volume_with_dac_confinement_array>(),
     kMethod,
     "volume_with_dac_confinement_array($self, cold_pressures, temperatures, f_dac)\n--\n\n"
     "The confined volume (see volume_with_dac_confinement_scalar) at each pair of elements,\n"
     "one f_dac for all; the result has the arrays' shape."},
}};

PyMethodDef g_methods[ThermalModel::kModelCount + 1 + kMethodDefs.size() + 1] = {};

PyGetSetDef g_getset[] = {
    {"model_name", &thermal_eos_model_name, nullptr,
     "The model's name, for example 'MieGruneisenDebye'.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Throws std::bad_alloc.
void fill_methods() {
  std::size_t i = 0;
  for (const PyMethodDef& def : thermal_constructor_defs()) {
    if (def.ml_name != nullptr) g_methods[i++] = def;
  }
  for (const PyMethodDef& def : kMethodDefs) g_methods[i++] = def;
  g_methods[i] = {nullptr, nullptr, 0, nullptr};
}

PyTypeObject* thermal_eos_type() noexcept {
  if (g_thermal_eos_type != nullptr) return g_thermal_eos_type;
  if (guarded_status([] { fill_methods(); return 0; }) < 0) return nullptr;
  g_thermal_eos_type = new_model_type<ThermalModel>(
      "barometra._engine.ThermalEos", "Private native representation of a built-in thermal EOS.",
      &thermal_eos_repr, g_methods, g_getset);
  return g_thermal_eos_type;
}

}  // namespace

int register_thermal_eos(PyObject* module) noexcept {
  PyTypeObject* type = thermal_eos_type();
  if (type == nullptr) return -1;
  return add_to_module(module, "ThermalEos", reinterpret_cast<PyObject*>(type));
}

PyObject* wrap_thermal_model(const ThermalModel& model) noexcept {
  return new_model_object(thermal_eos_type(), model);
}

const ThermalModel* thermal_model_of(PyObject* object) noexcept {
  if (g_thermal_eos_type == nullptr || !PyObject_TypeCheck(object, g_thermal_eos_type)) {
    return nullptr;
  }
  return &model_of(object);
}

}  // namespace barometra::python
