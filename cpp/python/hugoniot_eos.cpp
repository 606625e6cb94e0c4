#include "hugoniot_eos.hpp"

#include <array>
#include <span>
#include <expected>
#include <string>
#include <string_view>
#include <utility>

#include "arguments.hpp"
#include "arrays.hpp"
#include "barometra/hugoniot.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "model_table.hpp"
#include "module.hpp"
#include "number_format.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, like RtEos.
PyTypeObject* g_hugoniot_eos_type = nullptr;

const LinearUsUpHugoniot& model_of(PyObject* self) noexcept {
  return model_in<LinearUsUpHugoniot>(self);
}

using QuantityIndex = std::expected<std::size_t, EosError>;

constexpr const char* kConstructor = "linear_us_up";
// The parameters of the model class; the engine's constructor takes p0 too.
constexpr std::array<Argument, 5> kArguments{
    {{"v0"}, {"rho0"}, {"c0"}, {"s"}, number_argument("p0", 0.0)}};

constexpr ClassDoc kClassDoc{
    "LinearUsUpHugoniot", nullptr,
    "Shock Hugoniot whose shock velocity is linear in the particle velocity.",
    "Us = c0 + s up, from the unshocked reference state (v0, rho0, p0). With\n"
    "the compression η = 1 - V/V0 and D = 1 - s η, the states reached by one\n"
    "shock are Us = c0 / D, up = η c0 / D and P = p0 + ρ0 c0² η / D², for\n"
    "volumes from V0 down to (but excluding) V0 (1 - 1/s).\n"
    "\n"
    "Like the isothermal models, a Hugoniot is an immutable, hashable value\n"
    "built from keyword parameters, validated once, that pickles and has a\n"
    "``repr`` that evaluates back to an equal model. Each method takes a\n"
    "float or any array-like of real numbers and gives a float or a new\n"
    "float64 array of the input's shape. Invalid input raises\n"
    ":class:`~barometra.errors.EosValidationError` (a volume above V0 or at\n"
    "or below V0 (1 - 1/s), a pressure below p0, a negative particle\n"
    "velocity), a failed computation\n"
    ":class:`~barometra.errors.EosNumericalError`; no NaN or infinity is ever\n"
    "returned.\n"
    "\n"
    "Notes\n"
    "-----\n"
    "The model converts no units: volumes share the unit of ``v0``, densities\n"
    "that of ``rho0`` and velocities that of ``c0``; pressures come out in\n"
    "the unit of ρ0 c0² (g/cm³ with km/s gives GPa) and energies per unit mass\n"
    "in pressure per density (GPa per g/cm³ is kJ/g).\n"
    "\n"
    "Examples\n"
    "--------\n"
    "Copper (Marsh 1980), volumes in cm³/mol, densities in g/cm³, velocities\n"
    "in km/s, pressures in GPa:\n"
    "\n"
    ">>> import numpy as np\n"
    ">>> from barometra import LinearUsUpHugoniot\n"
    ">>> copper = LinearUsUpHugoniot(v0=7.113, rho0=8.93, c0=3.94, s=1.49)\n"
    ">>> copper\n"
    "LinearUsUpHugoniot(v0=7.113, rho0=8.93, c0=3.94, s=1.49, p0=0.0)\n"
    ">>> round(copper.pressure(6.0), 3)\n"
    "36.886\n"
    ">>> copper.shock_velocity([7.113, 6.0]).round(4)\n"
    "array([3.94  , 5.1379])\n"
    ">>> round(copper.volume(copper.pressure(6.0)), 12)\n"
    "6.0\n"
    ">>> round(copper.pressure_from_particle_velocity(1.0), 4)\n"
    "48.4899"};

constexpr ParameterDoc kParameterDocs[] = {
    {"v0", "Volume of the unshocked material; positive."},
    {"rho0", "Density of the unshocked material; positive. Independent of ``v0``: the density "
             "on the Hugoniot is ρ = ρ0 V0 / V."},
    {"c0", "Bulk sound speed, the intercept of Us(up); positive."},
    {"s", "Slope dUs/dup; positive."},
    {"p0", "Pressure of the unshocked material; 0 by default."},
};

PyObject* linear_us_up(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  static constexpr const char* kName = kConstructor;
  static constexpr std::array<const char*, 5> kNames = argument_names(kArguments);
  PyObject* objects[kNames.size()];
  std::array<double, kNames.size()> values;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects)) return nullptr;
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (!parse_double(objects[i], kName, kNames[i], &values[i])) return nullptr;
  }
  const auto [v0, rho0, c0, s, p0] = values;
  const auto model = LinearUsUpHugoniot::create(v0, rho0, c0, s, p0);
  if (!model) return guarded([&] { return raise_eos_error(model.error()); });
  return new_model_object(g_hugoniot_eos_type, *model);
}

// The quantity's index, or the unknown-name error; false only with a Python
// error set (the argument is not a str).
bool parse_quantity(PyObject* object, const char* function, QuantityIndex* out) noexcept {
  std::string_view name;
  if (!parse_name(object, function, "quantity", &name)) return false;
  *out = hugoniot_quantity_index(name);
  return true;
}

PyObject* evaluate_scalar(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  static constexpr const char* kName = "evaluate_scalar";
  static constexpr std::array<const char*, 2> kNames{"quantity", "value"};
  PyObject* objects[kNames.size()];
  QuantityIndex quantity;
  double value;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_quantity(objects[0], kName, &quantity) ||
      !parse_double(objects[1], kName, "value", &value)) {
    return nullptr;
  }
  const Result result =
      quantity ? (model_of(self).*kHugoniotQuantities[*quantity].operation)(value)
               : Result(std::unexpected(quantity.error()));
  if (!result) return guarded([&] { return raise_eos_error(result.error()); });
  return PyFloat_FromDouble(*result);
}

PyObject* evaluate_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  static constexpr const char* kName = "evaluate_array";
  static constexpr std::array<const char*, 2> kNames{"quantity", "values"};
  PyObject* objects[kNames.size()];
  QuantityIndex quantity;
  PyArrayObject* array;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_quantity(objects[0], kName, &quantity) ||
      !parse_float64_array(objects[1], kName, "values", &array)) {
    return nullptr;
  }
  // A copy: the workers read it detached, independent of `self`.
  const LinearUsUpHugoniot model = model_of(self);
  return guarded([&]() -> PyObject* {
    if (!quantity) {
      // Every element fails alike, so an empty array still succeeds.
      const EosError error = quantity.error();
      return map_array(array, kParallelThreshold,
                       [error](double) noexcept -> Result { return std::unexpected(error); });
    }
    // Dispatched once, so the element loop calls the operation directly.
    return visit_hugoniot_quantity(*quantity, [&](auto index) {
      constexpr auto operation = kHugoniotQuantities[decltype(index)::value].operation;
      return map_array(array, kParallelThreshold,
                       [&model](double x) noexcept { return (model.*operation)(x); });
    });
  });
}

PyObject* hugoniot_eos_repr(PyObject* self) noexcept {
  return guarded([self] {
    const LinearUsUpHugoniot& model = model_of(self);
    const std::pair<const char*, double> fields[] = {{"v0", model.v0()},
                                                     {"rho0", model.rho0()},
                                                     {"c0", model.c0()},
                                                     {"s", model.s()},
                                                     {"p0", model.p0()}};
    std::string text = "HugoniotEos(LinearUsUpHugoniot { ";
    for (const auto& [name, value] : fields) {
      if (name != fields[0].first) text.append(", ");
      text.append(name).append(": ").append(format_shortest(value));
    }
    text.append(" })");
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  });
}

PyMethodDef g_methods[] = {
    {"linear_us_up", fastcall<&linear_us_up>(), METH_STATIC | METH_FASTCALL | METH_KEYWORDS,
     "linear_us_up(v0, rho0, c0, s, p0)\n--\n\n"
     "Hugoniot whose shock velocity is linear in the particle velocity, Us = c0 + s up,\n"
     "from the reference state (v0, rho0, p0)."},
    {"evaluate_scalar", fastcall<&evaluate_scalar>(), METH_FASTCALL | METH_KEYWORDS,
     "evaluate_scalar($self, quantity, value)\n--\n\n"
     "One value of the named quantity: 'volume' from a pressure; 'density',\n"
     "'pressure', 'shock_velocity', 'tangent_modulus', 'particle_velocity' and\n"
     "'specific_internal_energy_change' from a volume; 'volume_from_particle_velocity',\n"
     "'pressure_from_particle_velocity' and 'shock_velocity_from_particle_velocity'\n"
     "from a particle velocity."},
    {"evaluate_array", fastcall<&evaluate_array>(), METH_FASTCALL | METH_KEYWORDS,
     "evaluate_array($self, quantity, values)\n--\n\n"
     "The named quantity (see evaluate_scalar) at each value; same shape as values."},
    {nullptr, nullptr, 0, nullptr},
};

// "volume" is found from a pressure, "x_from_particle_velocity" from a
// particle velocity, every other quantity from a volume.
std::span<const char* const> quantity_arguments(std::string_view name) noexcept {
  static constexpr std::array<const char*, 1> kVolume{"volume"}, kPressure{"pressure"},
      kParticleVelocity{"particle_velocity"};
  if (name == "volume") return kPressure;
  if (name.ends_with("_from_particle_velocity")) return kParticleVelocity;
  return kVolume;
}

}  // namespace

int publish_hugoniot_models(PyObject* table) noexcept {
  return guarded_status([&] {
    PublishedModel published{"hugoniot", kConstructor, kClassDoc.class_name, &kClassDoc};
    for (const Argument& argument : kArguments) {
      published.parameters.push_back(
          {&argument, nullptr, find_parameter_doc(argument.name, {}, kParameterDocs)});
    }
    for (const HugoniotQuantity& quantity : kHugoniotQuantities) {
      published.quantities.push_back({quantity.name.data(), quantity_arguments(quantity.name)});
    }
    PyRef entry = publish_model(published);
    return entry ? PyList_Append(table, entry.get()) : -1;
  });
}

int register_hugoniot_eos(PyObject* module) noexcept {
  return add_type(module, "HugoniotEos",
                  cached_model_type<LinearUsUpHugoniot>(
                      g_hugoniot_eos_type, "barometra._engine.HugoniotEos",
                      "Private native representation of a built-in shock Hugoniot.",
                      &hugoniot_eos_repr, g_methods, nullptr));
}

}  // namespace barometra::python
