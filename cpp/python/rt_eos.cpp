#include "rt_eos.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "arguments.hpp"
#include "barometra/isothermal/batch.hpp"
#include "arrays.hpp"
#include "errors.hpp"
#include "model_object.hpp"
#include "model_table.hpp"
#include "module.hpp"

namespace barometra::python {

namespace {

// Created once per process and never released, so instances can be made
// and checked without holding any module state.
PyTypeObject* g_rt_eos_type = nullptr;

const RtModel& model_of(PyObject* self) noexcept { return model_in<RtModel>(self); }

// ---------------------------------------------------------------------------
// Static constructors, one per RtModel variant, and the model
// classes of the package that stand for them. The Python arguments are the
// model's native parameter names in lower case.

struct ConstructorInfo {
  const char* name;
  ClassDoc doc;
};

// Every model's entry; a model without one does not compile.
template <class Model>
constexpr ConstructorInfo kConstructor = {};

template <>
constexpr ConstructorInfo kConstructor<Baonza> = {"baonza",
    {"Baonza", nullptr, "Baonza equation of state.",
     "K = K0 [(P + Psp) / Psp]^β with β = 0.85 and the pseudospinodal pressure\n"
     "Psp = β K0 / K0'. Volumes beyond the pseudospinodal are outside its\n"
     "domain. Baonza, Cáceres and Núñez (1995), Phys. Rev. B 51, 28."}};
template <>
constexpr ConstructorInfo kConstructor<DensityPolynomial3> = {"density_polynomial_3",
    {"DensityPolynomial3", nullptr, "Pressure as a cubic polynomial in density.",
     "P = c0 + c1 ρ + c2 ρ² + c3 ρ³ with ρ = ρ0 V0 / V. The volume is found by\n"
     "bisection in density; pressures below the curve's minimum cannot be\n"
     "inverted."}};
template <>
constexpr ConstructorInfo kConstructor<BM2> = {"bm2",
    {"BirchMurnaghan2", "BM2", "Second-order Birch-Murnaghan equation of state (K0' fixed at 4).",
     "P = 3 K0 f (1 + 2f)^(5/2) with the Eulerian strain f = [(V0/V)^(2/3) - 1] / 2.\n"
     "Birch (1947), Phys. Rev. 71, 809."}};
template <>
constexpr ConstructorInfo kConstructor<BM3> = {"bm3",
    {"BirchMurnaghan3", "BM3", "Third-order Birch-Murnaghan equation of state.",
     "P = 3 K0 f (1 + 2f)^(5/2) [1 + 3/2 (K0' - 4) f] with the Eulerian strain\n"
     "f = [(V0/V)^(2/3) - 1] / 2. Birch (1947), Phys. Rev. 71, 809.\n"
     "\n"
     "Examples\n"
     "--------\n"
     "Stishovite at 300 K (Nishihara et al. 2005), volumes in Å³ per cell:\n"
     "\n"
     ">>> from barometra import BirchMurnaghan3\n"
     ">>> stishovite = BirchMurnaghan3(v0=46.56, k0=296.0, k0_prime=4.2)\n"
     ">>> round(stishovite.bulk_modulus(44.0), 2)\n"
     "373.07"}};
template <>
constexpr ConstructorInfo kConstructor<BM4> = {"bm4",
    {"BirchMurnaghan4", "BM4", "Fourth-order Birch-Murnaghan equation of state.",
     "P = 3 K0 f (1 + 2f)^(5/2) (1 + a f + b f²) with a = 3/2 (K0' - 4) and\n"
     "b = 3/2 [K0 K0'' + (K0' - 4)(K0' - 3) + 35/9]. Birch (1947), Phys. Rev.\n"
     "71, 809."}};
template <>
constexpr ConstructorInfo kConstructor<Morse3> = {"morse3",
    {"Morse3", nullptr, "Three-parameter equation of state from the Morse potential.",
     "P = 3 K0 / [(K0' - 1) y²] (e² - e) with y = (V/V0)^(1/3) and\n"
     "e = exp[(K0' - 1)(1 - y)]; K0' must differ from 1."}};
template <>
constexpr ConstructorInfo kConstructor<Murnaghan> = {"murnaghan",
    {"Murnaghan", nullptr, "Murnaghan equation of state: a bulk modulus linear in pressure.",
     "P = K0 / K0' [(V0/V)^K0' - 1], K = K0 + K0' P. Murnaghan (1944), Proc.\n"
     "Natl. Acad. Sci. 30, 244."}};
template <>
constexpr ConstructorInfo kConstructor<SecondOrderMurnaghan> = {"second_order_murnaghan",
    {"SecondOrderMurnaghan", nullptr,
     "Second-order Murnaghan equation of state: a bulk modulus quadratic in pressure.",
     "K = K0 + K0' (P - P0) + K0'' (P - P0)² / 2, with V0, K0, K0' and K0'' at\n"
     "the pressure P0; K0'² - 2 K0 K0'' must be positive. The volume comes\n"
     "from the closed-form inverse."}};
template <>
constexpr ConstructorInfo kConstructor<ModifiedTait> = {"modified_tait",
    {"ModifiedTait", nullptr, "Modified Tait equation of state.",
     "V/V0 = 1 - a [1 - (1 + b P)^(-c)], with a, b and c from K0, K0' and K0''.\n"
     "Holland and Powell (2011), J. Metamorphic Geol. 29, 333."}};
template <>
constexpr ConstructorInfo kConstructor<NaturalStrain2> = {"natural_strain2",
    {"NaturalStrain2", nullptr, "Second-order natural-strain (logarithmic) equation of state.",
     "P = 3 K0 (V0/V) g with the natural strain g = ln(V0/V) / 3. Poirier and\n"
     "Tarantola (1998), Phys. Earth Planet. Inter. 109, 1."}};
template <>
constexpr ConstructorInfo kConstructor<NaturalStrain3> = {"natural_strain3",
    {"NaturalStrain3", nullptr, "Third-order natural-strain (logarithmic) equation of state.",
     "P = 3 K0 (V0/V) [g + 3/2 (K0' - 2) g²] with g = ln(V0/V) / 3. Poirier and\n"
     "Tarantola (1998), Phys. Earth Planet. Inter. 109, 1."}};
template <>
constexpr ConstructorInfo kConstructor<NaturalStrain4> = {"natural_strain4",
    {"NaturalStrain4", nullptr, "Fourth-order natural-strain (logarithmic) equation of state.",
     "P = 3 K0 (V0/V) (g + c2 g² + c3 g³) with g = ln(V0/V) / 3,\n"
     "c2 = 3/2 (K0' - 2) and c3 = 3/2 [K0 K0'' + 1 + (K0' - 2) + (K0' - 2)²].\n"
     "Poirier and Tarantola (1998), Phys. Earth Planet. Inter. 109, 1."}};
template <>
constexpr ConstructorInfo kConstructor<RydbergStacey> = {"rydberg_stacey",
    {"RydbergStacey", nullptr,
     "Rydberg-Stacey equation of state, with a finite K' at infinite pressure.",
     "P = 3 K0 y^(-3 K'∞) (1 - y) exp[η (1 - y)] with y = (V/V0)^(1/3) and\n"
     "η = 3/2 K0' - 3 K'∞ + 1/2."}};
template <>
constexpr ConstructorInfo kConstructor<SunMorse3> = {"sun_morse3",
    {"SunMorse3", nullptr, "Sun-Morse equation of state with the reduced length y = (V/V0)^(1/3).",
     "P = 3 K0 / s (e² - e) with s = (3 K0' + 1) / 3 and e = exp[s (1 - y)];\n"
     "s must not be zero."}};
template <>
constexpr ConstructorInfo kConstructor<SunMorse4> = {"sun_morse4",
    {"SunMorse4", nullptr, "Sun-Morse equation of state with the reduced length y = (V/V0)^(1/4).",
     "P = 4 K0 / s (e² - e) with s = (4 K0' + 1) / 3 and e = exp[s (1 - y)];\n"
     "s must not be zero."}};
template <>
constexpr ConstructorInfo kConstructor<Vinet> = {"vinet",
    {"Vinet", nullptr, "Vinet (universal) equation of state.",
     "P = 3 K0 (1 - y) / y² exp[3/2 (K0' - 1)(1 - y)] with y = (V/V0)^(1/3).\n"
     "Vinet, Smith, Ferrante and Rose (1987), J. Geophys. Res. 92, 9319.\n"
     "\n"
     "Examples\n"
     "--------\n"
     ">>> from barometra import Vinet\n"
     ">>> round(Vinet(v0=46.56, k0=296.0, k0_prime=4.2).pressure(44.0), 3)\n"
     "18.835"}};
template <>
constexpr ConstructorInfo kConstructor<Holzapfel> = {"holzapfel",
    {"Holzapfel", "AP2",
     "Holzapfel AP2 equation of state, with the Fermi-gas limit at infinite compression.",
     "P = 3 K0 X⁻⁵ (1 - X) exp[c0 (1 - X)] [1 + c2 X (1 - X)] with X = (V/V0)^(1/3),\n"
     "c0 = -ln(3 K0 / P_FG0) and c2 = 3/2 (K0' - 3) - c0, where\n"
     "P_FG0 = 1003.6 GPa [n Z / (10 V0)]^(5/3) is the Fermi-gas pressure at V0.\n"
     "Holzapfel (1996), Rep. Prog. Phys. 59, 29.\n"
     "\n"
     "Notes\n"
     "-----\n"
     "The Fermi-gas constant fixes the units: volumes (and ``v0``) in J/bar per\n"
     "formula unit (1 J/bar = 10 cm³/mol), pressures (and ``k0``) in GPa. Other\n"
     "units give a wrong c0 without any error, so convert first; for unit-cell\n"
     "volumes in Å³, see :meth:`barometra.data.Dataset.to_molar_volume`.\n"
     "\n"
     "Examples\n"
     "--------\n"
     "Stishovite, SiO2 (n = 3 atoms, 30/3 = 10 electrons per atom):\n"
     "\n"
     ">>> from barometra import Holzapfel\n"
     ">>> eos = Holzapfel(v0=1.40195, k0=296.0, k0_prime=4.2, n=3, z=10)\n"
     ">>> round(eos.bulk_modulus_derivative(1.40195), 6)\n"
     "4.2"}};

// The parameters of every isothermal model, by Python name.
constexpr ParameterDoc kParameterDocs[] = {
    {"v0", "Reference volume V0, the volume at zero pressure (at p0 where the model has one); "
           "positive."},
    {"k0", "Isothermal bulk modulus K0 at V0; positive."},
    {"k0_prime", "Pressure derivative of the bulk modulus at V0, K0' = dK/dP (dimensionless)."},
    {"k0_double_prime", "Second pressure derivative of the bulk modulus at V0, K0'' = d²K/dP², "
                        "in 1/pressure."},
    {"k_infinity_prime", "Limit of dK/dP at infinite compression, K'∞ (dimensionless)."},
    {"p0", "Pressure P0 at which V0, K0, K0' and K0'' are given.", true},
    {"n", "Number of atoms per formula unit; positive.", true},
    {"z", "Number of electrons per atom (the atomic number; the mean over the formula unit for "
          "a compound); positive.", true},
    // Only the product rho0 v0 enters the pressure: fitting both is degenerate.
    {"rho0", "Density at V0, in the unit the coefficients assume; positive.", true},
    {"c0", "Coefficient c0 of P(ρ) = c0 + c1 ρ + c2 ρ² + c3 ρ³, a pressure."},
    {"c1", "Coefficient c1 of ρ, in pressure per density."},
    {"c2", "Coefficient c2 of ρ², in pressure per density squared; not negative."},
    {"c3", "Coefficient c3 of ρ³, in pressure per density cubed; positive."},
};

template <std::size_t Tag>
using ModelAt = std::variant_alternative_t<Tag, RtModel::Variant>;

template <std::size_t Tag>
constexpr const ConstructorInfo& kInfo = kConstructor<ModelAt<Tag>>;

template <std::size_t Tag>
constexpr auto kArguments = lower_case_arguments<ModelAt<Tag>::kParameterNames>();

template <std::size_t Tag>
constexpr auto kArgumentNames = argument_names(kArguments<Tag>);

template <std::size_t Tag>
PyObject* rt_eos_construct(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  using Model = ModelAt<Tag>;
  constexpr std::size_t kArity = Model::kParameterNames.size();
  constexpr const char* kName = kInfo<Tag>.name;
  static_assert(kName != nullptr, "every model needs its entry in kConstructor");
  static_assert(std::ranges::all_of(kArguments<Tag>, [](const Argument& argument) {
                  return find_parameter_doc(argument.name, {}, kParameterDocs) != nullptr;
                }),
                "every parameter needs a description in kParameterDocs");
  return guarded([&]() -> PyObject* {
    PyObject* objects[kArity];
    if (!parse_arguments(kName, kArgumentNames<Tag>, args, nargs, kwnames, objects)) {
      return nullptr;
    }
    std::array<double, kArity> values;
    for (std::size_t i = 0; i < kArity; ++i) {
      if (!parse_double(objects[i], kName, kArgumentNames<Tag>[i], &values[i])) return nullptr;
    }
    auto model = std::apply([](auto... v) noexcept { return Model::create(v...); }, values);
    if (!model) return raise_eos_error(model.error());
    return wrap_rt_model(RtModel(*model));
  });
}

// The constructors' docstrings, made once with the class.
std::array<std::string, RtModel::kModelCount> g_constructor_docs;

// Throws std::bad_alloc.
template <std::size_t... Tags>
auto constructor_defs(std::index_sequence<Tags...>) {
  ((g_constructor_docs[Tags] =
        constructor_doc(kInfo<Tags>.name, kArguments<Tags>, kInfo<Tags>.doc.summary)),
   ...);
  return std::array<PyMethodDef, sizeof...(Tags)>{
      PyMethodDef{kInfo<Tags>.name, fastcall<&rt_eos_construct<Tags>>(),
                  METH_STATIC | METH_FASTCALL | METH_KEYWORDS, g_constructor_docs[Tags].c_str()}...};
}

// ---------------------------------------------------------------------------
// Evaluation. An array dispatches on the variant once (in evaluate_batch), so
// the element loop calls the concrete model's inlined function.

constexpr const char* kUnsupportedDerivative =
    "bulk-modulus derivative is only defined for Holzapfel";

// One operation of a single volume or pressure: its batch operation, the
// RtModel member that evaluates one element, and its pair of methods.
struct Operation {
  BatchOperation batch;
  Result (RtModel::*scalar)(double) const noexcept;
  const char* scalar_name;
  const char* array_name;
  const char* argument;
  const char* array_argument;
  npy_intp threshold;
};

constexpr Operation kPressure{BatchOperation::Pressure, &RtModel::pressure, "pressure_scalar",
                              "pressure_array", "volume", "volumes", kParallelThreshold};
constexpr Operation kBulkModulus{BatchOperation::BulkModulus, &RtModel::bulk_modulus,
                                 "bulk_modulus_scalar", "bulk_modulus_array", "volume",
                                 "volumes", kParallelThreshold};
constexpr Operation kVolume{BatchOperation::Volume, &RtModel::volume, "volume_scalar",
                            "volume_array", "pressure", "pressures", kVolumeParallelThreshold};
// K' and K'' at a volume; arrays through the batch interface's scalar loop.
constexpr Operation kPressureDerivative{
    BatchOperation::BulkModulusPressureDerivative, &RtModel::bulk_modulus_pressure_derivative,
    "bulk_modulus_pressure_derivative_scalar", "bulk_modulus_pressure_derivative_array",
    "volume", "volumes", kParallelThreshold};
constexpr Operation kSecondPressureDerivative{
    BatchOperation::BulkModulusSecondPressureDerivative,
    &RtModel::bulk_modulus_second_pressure_derivative,
    "bulk_modulus_second_pressure_derivative_scalar",
    "bulk_modulus_second_pressure_derivative_array", "volume", "volumes", kParallelThreshold};

template <const Operation& Op>
PyObject* evaluate_scalar(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 1> kNames{Op.argument};
  PyObject* object;
  double x;
  if (!parse_arguments(Op.scalar_name, kNames, args, nargs, kwnames, &object) ||
      !parse_double(object, Op.scalar_name, Op.argument, &x)) {
    return nullptr;
  }
  const Result result = (model_of(self).*Op.scalar)(x);
  if (!result) return guarded([&] { return raise_eos_error(result.error()); });
  return PyFloat_FromDouble(*result);
}

template <const Operation& Op>
PyObject* evaluate_array(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 1> kNames{Op.array_argument};
  PyObject* object;
  PyArrayObject* array;
  if (!parse_arguments(Op.array_name, kNames, args, nargs, kwnames, &object) ||
      !parse_float64_array(object, Op.array_name, Op.array_argument, &array)) {
    return nullptr;
  }
  // A copy: the workers read it detached, independent of `self`.
  const RtModel model = model_of(self);
  return guarded([&] {
    return map_array_batch(array, Op.threshold,
                           [&model](const double* in, double* out, std::size_t n) noexcept {
                             return evaluate_batch(model, Op.batch, {in, n}, {out, n});
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

template <const Operation& Op>
PyMethodDef scalar_def(const char* doc) {
  return {Op.scalar_name, fastcall<&evaluate_scalar<Op>>(), METH_FASTCALL | METH_KEYWORDS, doc};
}

template <const Operation& Op>
PyMethodDef array_def(const char* doc) {
  return {Op.array_name, fastcall<&evaluate_array<Op>>(), METH_FASTCALL | METH_KEYWORDS, doc};
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

// The constructors, twelve methods and the sentinel.
PyMethodDef g_methods[RtModel::kModelCount + 13] = {};

PyGetSetDef g_getset[] = {
    {"model_name", &rt_eos_model_name, nullptr, "The model's name, for example 'BM3'.", nullptr},
    {"reference_volume", &rt_eos_reference_volume, nullptr, "The model's V0.", nullptr},
    {"implied_k0_double_prime", &rt_eos_implied_k0_double_prime, nullptr,
     "K0'' as the model's form fixes it, or None where K0'' is a parameter.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// Throws std::bad_alloc.
void fill_methods() {
  std::size_t i = 0;
  const auto constructors = constructor_defs(std::make_index_sequence<RtModel::kModelCount>());
  for (const PyMethodDef& def : constructors) g_methods[i++] = def;
  g_methods[i++] = scalar_def<kPressure>(
      "pressure_scalar($self, volume)\n--\n\nPressure at one volume.");
  g_methods[i++] = scalar_def<kBulkModulus>(
      "bulk_modulus_scalar($self, volume)\n--\n\nIsothermal bulk modulus at one volume.");
  g_methods[i++] = {
      "bulk_modulus_derivative_scalar",
      fastcall<&bulk_modulus_derivative_scalar>(),
      METH_FASTCALL | METH_KEYWORDS,
      "bulk_modulus_derivative_scalar($self, volume, epsilon)\n--\n\n"
      "dK/dP at one volume by a central difference of relative step epsilon "
      "(Holzapfel only)."};
  g_methods[i++] = scalar_def<kVolume>(
      "volume_scalar($self, pressure)\n--\n\nVolume at one pressure.");
  g_methods[i++] = array_def<kPressure>(
      "pressure_array($self, volumes)\n--\n\nPressure at each volume; same shape as volumes.");
  g_methods[i++] = array_def<kBulkModulus>(
      "bulk_modulus_array($self, volumes)\n--\n\n"
      "Isothermal bulk modulus at each volume; same shape as volumes.");
  g_methods[i++] = {
      "bulk_modulus_derivative_array",
      fastcall<&bulk_modulus_derivative_array>(),
      METH_FASTCALL | METH_KEYWORDS,
      "bulk_modulus_derivative_array($self, volumes, epsilon)\n--\n\n"
      "dK/dP at each volume, one epsilon for all (Holzapfel only); same shape as volumes."};
  g_methods[i++] = array_def<kVolume>(
      "volume_array($self, pressures)\n--\n\nVolume at each pressure; same shape as pressures.");
  g_methods[i++] = scalar_def<kPressureDerivative>(
      "bulk_modulus_pressure_derivative_scalar($self, volume)\n--\n\n"
      "K' = dK/dP at one volume, in closed form.");
  g_methods[i++] = array_def<kPressureDerivative>(
      "bulk_modulus_pressure_derivative_array($self, volumes)\n--\n\n"
      "K' = dK/dP at each volume; same shape as volumes.");
  g_methods[i++] = scalar_def<kSecondPressureDerivative>(
      "bulk_modulus_second_pressure_derivative_scalar($self, volume)\n--\n\n"
      "K'' = d2K/dP2 at one volume, in closed form.");
  g_methods[i++] = array_def<kSecondPressureDerivative>(
      "bulk_modulus_second_pressure_derivative_array($self, volumes)\n--\n\n"
      "K'' = d2K/dP2 at each volume; same shape as volumes.");
  g_methods[i] = {nullptr, nullptr, 0, nullptr};
}

// What each model evaluates, by the state value it takes: every model its
// pressure, volume and bulk modulus, Holzapfel also the derivative of its own
// (the only one bulk_modulus_derivative_scalar/_array accept).
template <class Model>
std::vector<PublishedQuantity> rt_quantities() {
  static constexpr std::array<const char*, 1> kVolume{"volume"}, kPressure{"pressure"};
  std::vector<PublishedQuantity> quantities{
      {"pressure", kVolume}, {"volume", kPressure}, {"bulk_modulus", kVolume}};
  if constexpr (std::is_same_v<Model, Holzapfel>) {
    quantities.push_back({"bulk_modulus_derivative", kVolume});
  }
  return quantities;
}

template <std::size_t Tag>
int publish_rt_model(PyObject* table) {
  using Model = ModelAt<Tag>;
  PublishedModel published{"isothermal", kInfo<Tag>.name, Model::kName, &kInfo<Tag>.doc, {},
                           rt_quantities<Model>()};
  for (std::size_t i = 0; i < kArguments<Tag>.size(); ++i) {
    const Argument& argument = kArguments<Tag>[i];
    published.parameters.push_back({&argument, Model::kParameterNames[i],
                                    find_parameter_doc(argument.name, {}, kParameterDocs)});
  }
  PyRef entry = publish_model(published);
  return entry ? PyList_Append(table, entry.get()) : -1;
}

template <std::size_t... Tags>
int publish_rt_models(PyObject* table, std::index_sequence<Tags...>) {
  return ((publish_rt_model<Tags>(table) < 0) || ...) ? -1 : 0;
}

}  // namespace

int publish_rt_models(PyObject* table) noexcept {
  return guarded_status([&] {
    return publish_rt_models(table, std::make_index_sequence<RtModel::kModelCount>());
  });
}

PyTypeObject* rt_eos_type() noexcept {
  if (g_rt_eos_type == nullptr && guarded_status([] { fill_methods(); return 0; }) < 0) {
    return nullptr;
  }
  return cached_model_type<RtModel>(
      g_rt_eos_type, "barometra._engine.RtEos",
      "Private native representation of a built-in isothermal EOS.", &rt_eos_repr, g_methods,
      g_getset);
}

int register_rt_eos(PyObject* module) noexcept {
  return add_type(module, "RtEos", rt_eos_type());
}

PyObject* wrap_rt_model(const RtModel& model) noexcept {
  return new_model_object(rt_eos_type(), model);
}

const RtModel* rt_model_of(PyObject* object) noexcept {
  if (g_rt_eos_type == nullptr || !PyObject_TypeCheck(object, g_rt_eos_type)) return nullptr;
  return &model_of(object);
}

}  // namespace barometra::python
