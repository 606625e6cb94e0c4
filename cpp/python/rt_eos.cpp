#include "rt_eos.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <tuple>
#include <utility>
#include <variant>

#include "arguments.hpp"
#include "barometra/isothermal/batch.hpp"
#include "arrays.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "module.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, so instances can be made
// and checked without holding any module state.
PyTypeObject* g_rt_eos_type = nullptr;

const RtModel& model_of(PyObject* self) noexcept { return model_in<RtModel>(self); }

// ---------------------------------------------------------------------------
// Static constructors, one per RtModel variant, in tag order.

struct ConstructorInfo {
  const char* name;
  std::array<const char*, 6> arguments;  // Python names, in the model's parameter order
  const char* doc;
};

constexpr std::array<ConstructorInfo, RtModel::kModelCount> kConstructors{{
    {"baonza", {"v0", "k0", "k0_prime"},
     "baonza(v0, k0, k0_prime)\n--\n\nBaonza EOS."},
    {"density_polynomial_3", {"v0", "rho0", "c0", "c1", "c2", "c3"},
     "density_polynomial_3(v0, rho0, c0, c1, c2, c3)\n--\n\n"
     "Third-order density polynomial EOS."},
    {"bm2", {"v0", "k0"}, "bm2(v0, k0)\n--\n\nSecond-order Birch-Murnaghan EOS."},
    {"bm3", {"v0", "k0", "k0_prime"},
     "bm3(v0, k0, k0_prime)\n--\n\nThird-order Birch-Murnaghan EOS."},
    {"bm4", {"v0", "k0", "k0_prime", "k0_double_prime"},
     "bm4(v0, k0, k0_prime, k0_double_prime)\n--\n\nFourth-order Birch-Murnaghan EOS."},
    {"morse3", {"v0", "k0", "k0_prime"},
     "morse3(v0, k0, k0_prime)\n--\n\nThree-parameter Morse EOS."},
    {"murnaghan", {"v0", "k0", "k0_prime"},
     "murnaghan(v0, k0, k0_prime)\n--\n\nMurnaghan EOS."},
    {"second_order_murnaghan", {"v0", "k0", "k0_prime", "k0_double_prime", "p0"},
     "second_order_murnaghan(v0, k0, k0_prime, k0_double_prime, p0)\n--\n\n"
     "Second-order Murnaghan EOS."},
    {"modified_tait", {"v0", "k0", "k0_prime", "k0_double_prime"},
     "modified_tait(v0, k0, k0_prime, k0_double_prime)\n--\n\nModified Tait EOS."},
    {"natural_strain2", {"v0", "k0"},
     "natural_strain2(v0, k0)\n--\n\nSecond-order natural-strain EOS."},
    {"natural_strain3", {"v0", "k0", "k0_prime"},
     "natural_strain3(v0, k0, k0_prime)\n--\n\nThird-order natural-strain EOS."},
    {"natural_strain4", {"v0", "k0", "k0_prime", "k0_double_prime"},
     "natural_strain4(v0, k0, k0_prime, k0_double_prime)\n--\n\n"
     "Fourth-order natural-strain EOS."},
    {"rydberg_stacey", {"v0", "k0", "k0_prime", "k_infinity_prime"},
     "rydberg_stacey(v0, k0, k0_prime, k_infinity_prime)\n--\n\nRydberg-Stacey EOS."},
    {"sun_morse3", {"v0", "k0", "k0_prime"},
     "sun_morse3(v0, k0, k0_prime)\n--\n\nSun-Morse EOS with m = 3."},
    {"sun_morse4", {"v0", "k0", "k0_prime"},
     "sun_morse4(v0, k0, k0_prime)\n--\n\nSun-Morse EOS with m = 4."},
    {"vinet", {"v0", "k0", "k0_prime"}, "vinet(v0, k0, k0_prime)\n--\n\nVinet EOS."},
    {"holzapfel", {"v0", "k0", "k0_prime", "n", "z"},
     "holzapfel(v0, k0, k0_prime, n, z)\n--\n\nHolzapfel AP2 EOS."},
}};

template <std::size_t Tag>
PyObject* rt_eos_construct(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  using Model = std::variant_alternative_t<Tag, RtModel::Variant>;
  constexpr std::size_t kArity = Model::kParameterNames.size();
  constexpr const ConstructorInfo& info = kConstructors[Tag];
  static_assert(lower_case_names(info.arguments, Model::kParameterNames),
                "Python arguments must match the model's parameters one to one");
  return guarded([&]() -> PyObject* {
    const std::span<const char* const> names(info.arguments.data(), kArity);
    PyObject* objects[kArity];
    if (!parse_arguments(info.name, names, args, nargs, kwnames, objects)) return nullptr;
    std::array<double, kArity> values;
    for (std::size_t i = 0; i < kArity; ++i) {
      if (!parse_double(objects[i], info.name, names[i], &values[i])) return nullptr;
    }
    auto model = std::apply([](auto... v) noexcept { return Model::create(v...); }, values);
    if (!model) return raise_eos_error(model.error());
    return wrap_rt_model(RtModel(*model));
  });
}

template <std::size_t... Tags>
auto constructor_defs(std::index_sequence<Tags...>) {
  return std::array<PyMethodDef, sizeof...(Tags)>{
      PyMethodDef{kConstructors[Tags].name,
                  fastcall<&rt_eos_construct<Tags>>(),
                  METH_STATIC | METH_FASTCALL | METH_KEYWORDS, kConstructors[Tags].doc}...};
}

// ---------------------------------------------------------------------------
// Evaluation. Each operation dispatches on the variant once, so the element
// loop calls the concrete model's inlined function.

constexpr const char* kUnsupportedDerivative =
    "bulk-modulus derivative is only defined for Holzapfel";

struct Pressure {
  static constexpr BatchOperation kBatch = BatchOperation::Pressure;
  static constexpr const char* kScalar = "pressure_scalar";
  static constexpr const char* kArray = "pressure_array";
  static constexpr const char* kArgument = "volume";
  static constexpr const char* kArrayArgument = "volumes";
  static constexpr npy_intp kThreshold = kParallelThreshold;
  template <class Model>
  static Result apply(const Model& model, double volume) noexcept {
    return model.pressure(volume);
  }
};

struct BulkModulus {
  static constexpr BatchOperation kBatch = BatchOperation::BulkModulus;
  static constexpr const char* kScalar = "bulk_modulus_scalar";
  static constexpr const char* kArray = "bulk_modulus_array";
  static constexpr const char* kArgument = "volume";
  static constexpr const char* kArrayArgument = "volumes";
  static constexpr npy_intp kThreshold = kParallelThreshold;
  template <class Model>
  static Result apply(const Model& model, double volume) noexcept {
    return model.bulk_modulus(volume);
  }
};

struct Volume {
  static constexpr BatchOperation kBatch = BatchOperation::Volume;
  static constexpr const char* kScalar = "volume_scalar";
  static constexpr const char* kArray = "volume_array";
  static constexpr const char* kArgument = "pressure";
  static constexpr const char* kArrayArgument = "pressures";
  static constexpr npy_intp kThreshold = kVolumeParallelThreshold;
  template <class Model>
  static Result apply(const Model& model, double pressure) noexcept {
    return model.volume(pressure);
  }
};

// K' and K'' at a volume; arrays through the batch interface's scalar loop.
struct OfVolume {
  static constexpr const char* kArgument = "volume";
  static constexpr const char* kArrayArgument = "volumes";
  static constexpr npy_intp kThreshold = kParallelThreshold;
};

struct BulkModulusPressureDerivative : OfVolume {
  static constexpr BatchOperation kBatch = BatchOperation::BulkModulusPressureDerivative;
  static constexpr const char* kScalar = "bulk_modulus_pressure_derivative_scalar";
  static constexpr const char* kArray = "bulk_modulus_pressure_derivative_array";
  template <class Model>
  static Result apply(const Model& model, double volume) noexcept {
    return model.bulk_modulus_pressure_derivative(volume);
  }
};

struct BulkModulusSecondPressureDerivative : OfVolume {
  static constexpr BatchOperation kBatch = BatchOperation::BulkModulusSecondPressureDerivative;
  static constexpr const char* kScalar = "bulk_modulus_second_pressure_derivative_scalar";
  static constexpr const char* kArray = "bulk_modulus_second_pressure_derivative_array";
  template <class Model>
  static Result apply(const Model& model, double volume) noexcept {
    return model.bulk_modulus_second_pressure_derivative(volume);
  }
};

template <class Operation>
PyObject* evaluate_scalar(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 1> kNames{Operation::kArgument};
  PyObject* object;
  double x;
  if (!parse_arguments(Operation::kScalar, kNames, args, nargs, kwnames, &object) ||
      !parse_double(object, Operation::kScalar, Operation::kArgument, &x)) {
    return nullptr;
  }
  const Result result = std::visit(
      [x](const auto& model) noexcept { return Operation::apply(model, x); },
      model_of(self).variant());
  if (!result) return guarded([&] { return raise_eos_error(result.error()); });
  return PyFloat_FromDouble(*result);
}

template <class Operation>
PyObject* evaluate_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 1> kNames{Operation::kArrayArgument};
  PyObject* object;
  PyArrayObject* array;
  if (!parse_arguments(Operation::kArray, kNames, args, nargs, kwnames, &object) ||
      !parse_float64_array(object, Operation::kArray, Operation::kArrayArgument, &array)) {
    return nullptr;
  }
  // A copy: the workers read it detached, independent of `self`.
  const RtModel model = model_of(self);
  return guarded([&] {
    return map_array_batch(array, Operation::kThreshold,
                           [&model](const double* in, double* out, std::size_t n) noexcept {
                             return evaluate_batch(model, Operation::kBatch, {in, n}, {out, n});
                           });
  });
}

PyObject* bulk_modulus_derivative_scalar(PyObject* self, PyObject* const* args,
                                         Py_ssize_t nargs, PyObject* kwnames) noexcept {
  static constexpr const char* kName = "bulk_modulus_derivative_scalar";
  static constexpr std::array<const char*, 2> kNames{"volume", "epsilon"};
  PyObject* objects[2];
  double volume, epsilon;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_double(objects[0], kName, "volume", &volume) ||
      !parse_double(objects[1], kName, "epsilon", &epsilon)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    // Only after every argument parsed: a wrong argument type is reported first.
    const auto* holzapfel = model_of(self).get_if<Holzapfel>();
    if (holzapfel == nullptr) return raise(python_unsupported_error(kUnsupportedDerivative));
    const Result result = holzapfel->bulk_modulus_derivative_eps(volume, epsilon);
    if (!result) return raise_eos_error(result.error());
    return PyFloat_FromDouble(*result);
  });
}

PyObject* bulk_modulus_derivative_array(PyObject* self, PyObject* const* args,
                                        Py_ssize_t nargs, PyObject* kwnames) noexcept {
  static constexpr const char* kName = "bulk_modulus_derivative_array";
  static constexpr std::array<const char*, 2> kNames{"volumes", "epsilon"};
  PyObject* objects[2];
  PyArrayObject* array;
  double epsilon;
  if (!parse_arguments(kName, kNames, args, nargs, kwnames, objects) ||
      !parse_float64_array(objects[0], kName, "volumes", &array) ||
      !parse_double(objects[1], kName, "epsilon", &epsilon)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    const auto* found = model_of(self).get_if<Holzapfel>();
    if (found == nullptr) return raise(python_unsupported_error(kUnsupportedDerivative));
    const Holzapfel holzapfel = *found;
    return map_array(array, kParallelThreshold, [&holzapfel, epsilon](double v) noexcept {
      return holzapfel.bulk_modulus_derivative_eps(v, epsilon);
    });
  });
}

template <class Operation>
PyMethodDef scalar_def(const char* doc) {
  return {Operation::kScalar,
          fastcall<&evaluate_scalar<Operation>>(),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

template <class Operation>
PyMethodDef array_def(const char* doc) {
  return {Operation::kArray,
          fastcall<&evaluate_array<Operation>>(),
          METH_FASTCALL | METH_KEYWORDS, doc};
}

PyObject* rt_eos_repr(PyObject* self) noexcept {
  return PyUnicode_FromFormat("RtEos(model_name='%s')", model_of(self).model_name());
}

PyObject* rt_eos_model_name(PyObject* self, void*) noexcept {
  return PyUnicode_FromString(model_of(self).model_name());
}

PyObject* rt_eos_reference_volume(PyObject* self, void*) noexcept {
  return PyFloat_FromDouble(model_of(self).reference_volume());
}

PyObject* rt_eos_implied_k0_double_prime(PyObject* self, void*) noexcept {
  const std::optional<double> implied = model_of(self).implied_k0_double_prime();
  if (!implied) Py_RETURN_NONE;
  return PyFloat_FromDouble(*implied);
}

const auto kConstructorDefs =
    constructor_defs(std::make_index_sequence<RtModel::kModelCount>());

PyMethodDef g_methods[RtModel::kModelCount + 13] = {};

PyGetSetDef g_getset[] = {
    {"model_name", &rt_eos_model_name, nullptr, "The model's name, for example 'BM3'.", nullptr},
    {"reference_volume", &rt_eos_reference_volume, nullptr, "The model's V0.", nullptr},
    {"implied_k0_double_prime", &rt_eos_implied_k0_double_prime, nullptr,
     "K0'' as the model's form fixes it, or None where K0'' is a parameter.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

void fill_methods() noexcept {
  std::size_t i = 0;
  for (const PyMethodDef& def : kConstructorDefs) g_methods[i++] = def;
  g_methods[i++] = scalar_def<Pressure>(
      "pressure_scalar($self, volume)\n--\n\nPressure at one volume.");
  g_methods[i++] = scalar_def<BulkModulus>(
      "bulk_modulus_scalar($self, volume)\n--\n\nIsothermal bulk modulus at one volume.");
  g_methods[i++] = {
      "bulk_modulus_derivative_scalar",
      fastcall<&bulk_modulus_derivative_scalar>(),
      METH_FASTCALL | METH_KEYWORDS,
      "bulk_modulus_derivative_scalar($self, volume, epsilon)\n--\n\n"
      "dK/dP at one volume by a central difference of relative step epsilon "
      "(Holzapfel only)."};
  g_methods[i++] = scalar_def<Volume>(
      "volume_scalar($self, pressure)\n--\n\nVolume at one pressure.");
  g_methods[i++] = array_def<Pressure>(
      "pressure_array($self, volumes)\n--\n\nPressure at each volume; same shape as volumes.");
  g_methods[i++] = array_def<BulkModulus>(
      "bulk_modulus_array($self, volumes)\n--\n\n"
      "Isothermal bulk modulus at each volume; same shape as volumes.");
  g_methods[i++] = {
      "bulk_modulus_derivative_array",
      fastcall<&bulk_modulus_derivative_array>(),
      METH_FASTCALL | METH_KEYWORDS,
      "bulk_modulus_derivative_array($self, volumes, epsilon)\n--\n\n"
      "dK/dP at each volume, one epsilon for all (Holzapfel only); same shape as volumes."};
  g_methods[i++] = array_def<Volume>(
      "volume_array($self, pressures)\n--\n\nVolume at each pressure; same shape as pressures.");
  g_methods[i++] = scalar_def<BulkModulusPressureDerivative>(
      "bulk_modulus_pressure_derivative_scalar($self, volume)\n--\n\n"
      "K' = dK/dP at one volume, in closed form.");
  g_methods[i++] = array_def<BulkModulusPressureDerivative>(
      "bulk_modulus_pressure_derivative_array($self, volumes)\n--\n\n"
      "K' = dK/dP at each volume; same shape as volumes.");
  g_methods[i++] = scalar_def<BulkModulusSecondPressureDerivative>(
      "bulk_modulus_second_pressure_derivative_scalar($self, volume)\n--\n\n"
      "K'' = d2K/dP2 at one volume, in closed form.");
  g_methods[i++] = array_def<BulkModulusSecondPressureDerivative>(
      "bulk_modulus_second_pressure_derivative_array($self, volumes)\n--\n\n"
      "K'' = d2K/dP2 at each volume; same shape as volumes.");
  g_methods[i] = {nullptr, nullptr, 0, nullptr};
}

}  // namespace

PyTypeObject* rt_eos_type() noexcept {
  if (g_rt_eos_type != nullptr) return g_rt_eos_type;
  fill_methods();
  g_rt_eos_type = new_model_type<RtModel>(
      "barometra._engine.RtEos", "Private native representation of a built-in isothermal EOS.",
      &rt_eos_repr, g_methods, g_getset);
  return g_rt_eos_type;
}

int register_rt_eos(PyObject* module) noexcept {
  PyTypeObject* type = rt_eos_type();
  if (type == nullptr) return -1;
  return add_to_module(module, "RtEos", reinterpret_cast<PyObject*>(type));
}

PyObject* wrap_rt_model(const RtModel& model) noexcept {
  return new_model_object(rt_eos_type(), model);
}

const RtModel* rt_model_of(PyObject* object) noexcept {
  if (g_rt_eos_type == nullptr || !PyObject_TypeCheck(object, g_rt_eos_type)) return nullptr;
  return &model_of(object);
}

}  // namespace barometra::python
