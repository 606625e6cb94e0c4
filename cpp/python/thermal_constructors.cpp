// The static constructors of ThermalEos. Each parses its arguments in
// signature order (TypeErrors first), then its option strings, then builds
// the core model, whose checks decide any EosValidationError.
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "arguments.hpp"
#include "errors.hpp"
#include "module.hpp"
#include "rt_eos.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

namespace {

constexpr std::size_t kMaxArguments = 22;  // rt_eos and the 21 of DorogokupetsOganov2007

// One constructor call: its arguments bound to their names, rt_eos checked to
// be an RtEos, the rest converted on request in signature order. An omitted
// optional argument takes the caller's default.
class ConstructorCall {
 public:
  ConstructorCall(const char* function, std::span<const char* const> names) noexcept
      : function_(function), names_(names) {}

  // False with a TypeError set.
  bool bind(std::size_t required, PyObject* const* args, Py_ssize_t nargs,
            PyObject* kwnames) noexcept {
    if (!parse_arguments(function_, names_, required, args, nargs, kwnames, objects_.data())) {
      return false;
    }
    reference_ = rt_model_of(objects_[0]);
    if (reference_ == nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() argument 'rt_eos' must be RtEos, not %.200s", function_,
                   Py_TYPE(objects_[0])->tp_name);
      return false;
    }
    return true;
  }

  const RtModel& reference() const noexcept { return *reference_; }

  bool number(std::size_t i, double* out, double fallback = NAN) const noexcept {
    if (objects_[i] == nullptr) {
      *out = fallback;
      return true;
    }
    return parse_double(objects_[i], function_, names_[i], out);
  }

  // Arguments first, first + 1, ... into out, in order.
  bool numbers(std::size_t first, std::span<double> out) const noexcept {
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (!number(first + i, &out[i])) return false;
    }
    return true;
  }

  // None (or omitted) is nothing; anything else is a number.
  bool optional_number(std::size_t i, std::optional<double>* out) const noexcept {
    if (objects_[i] == nullptr || objects_[i] == Py_None) {
      out->reset();
      return true;
    }
    double value;
    if (!parse_double(objects_[i], function_, names_[i], &value)) return false;
    *out = value;
    return true;
  }

  // A str; one without a UTF-8 form (lone surrogates) reads as the empty
  // string, which no option accepts.
  bool option(std::size_t i, std::string_view* out, std::string_view fallback) const noexcept {
    if (objects_[i] == nullptr) {
      *out = fallback;
      return true;
    }
    return parse_name(objects_[i], function_, names_[i], out);
  }

 private:
  const char* function_;
  std::span<const char* const> names_;
  std::array<PyObject*, kMaxArguments> objects_{};
  const RtModel* reference_ = nullptr;
};

template <class Option>
struct OptionValue {
  std::string_view name;
  Option value;
};

// The option named exactly (case included), or nothing.
template <class Option, std::size_t N>
std::optional<Option> option_named(const std::array<OptionValue<Option>, N>& options,
                                   std::string_view name) noexcept {
  for (const auto& option : options) {
    if (option.name == name) return option.value;
  }
  return std::nullopt;
}

constexpr std::array<OptionValue<DebyeTemperatureLaw>, 2> kDebyeTemperatureLaws{{
    {"integrated_gruneisen", DebyeTemperatureLaw::integrated_gruneisen},
    {"variable_exponent", DebyeTemperatureLaw::variable_exponent},
}};
constexpr std::array<OptionValue<ThermalPressureReference>, 3> kThermalPressureReferences{{
    {"reference_temperature", ThermalPressureReference::reference_temperature},
    {"reference_isentrope", ThermalPressureReference::reference_isentrope},
    {"absolute_zero", ThermalPressureReference::absolute_zero},
}};
constexpr std::array<OptionValue<ThermalPressureReference>, 2> kDewaeleReferences{{
    {"reference_temperature", ThermalPressureReference::reference_temperature},
    {"absolute_zero", ThermalPressureReference::absolute_zero},
}};
constexpr std::array<OptionValue<ZeroPointPressure>, 2> kZeroPointPressures{{
    {"omitted", ZeroPointPressure::omitted},
    {"included", ZeroPointPressure::included},
}};
constexpr std::array<OptionValue<ThermalExpansionLaw>, 3> kThermalExpansionLaws{{
    {"constant", ThermalExpansionLaw::constant},
    {"linear_temperature", ThermalExpansionLaw::linear_temperature},
    {"linear_reference_temperature", ThermalExpansionLaw::linear_reference_temperature},
}};
constexpr std::array<OptionValue<ReferenceVolumeLaw>, 3> kReferenceVolumeLaws{{
    {"integrated_expansivity", ReferenceVolumeLaw::integrated_expansivity},
    {"linear_temperature", ReferenceVolumeLaw::linear_temperature},
    {"berman", ReferenceVolumeLaw::berman},
}};

// A new ThermalEos from a model the core built, or its error raised.
template <class Model>
PyObject* wrap(const std::expected<Model, EosError>& model) {
  if (!model) return raise_eos_error(model.error());
  return wrap_thermal_model(ThermalModel(*model));
}

constexpr int kStatic = METH_STATIC | METH_FASTCALL | METH_KEYWORDS;

// ---------------------------------------------------------------------------
// Constructors whose arguments are rt_eos and the model's parameters, in
// order, in lower case.

struct PlainConstructor {
  const char* name;
  std::array<const char*, kMaxArguments> arguments;
  const char* doc;
};

// The Python arguments after rt_eos are the native parameter names in lower case.
template <class Model>
constexpr bool python_names_match(const PlainConstructor& info) {
  return std::string_view(info.arguments[0]) == "rt_eos" &&
         lower_case_names(std::span(info.arguments).subspan(1), Model::kParameterNames);
}

using Einstein = MieGruneisenEinstein<RtModel>;
using PowerLaw = AsymptoticPowerLawMieGruneisenDebye<RtModel>;
using VariableQ = VariableQMieGruneisenDebye<RtModel>;
using Dorogokupets = DorogokupetsOganov2007<RtModel>;
using Anharmonic = DebyeAnharmonicHelmholtz<RtModel>;
using Linear = LinearThermalPressure<RtModel>;
using LogVolume = LogVolumeThermalPressure<RtModel>;
using DebyeQuadratic = DebyeQuadraticThermalPressure<RtModel>;
using Taylor = SecondOrderTaylorThermalPressure<RtModel>;
using HollandPowell = HollandPowellThermalPressure<RtModel>;

template <class Model>
constexpr PlainConstructor kPlain = {};

template <>
constexpr PlainConstructor kPlain<Einstein> = {
    "mie_gruneisen_einstein",
    {"rt_eos", "tr", "theta0", "gamma0", "q", "n"},
    "mie_gruneisen_einstein(rt_eos, tr, theta0, gamma0, q, n)\n--\n\n"
    "Mie-Grueneisen model with an Einstein spectrum, gamma = gamma0 (V/V0)^q."};
template <>
constexpr PlainConstructor kPlain<PowerLaw> = {
    "asymptotic_power_law_mie_gruneisen_debye",
    {"rt_eos", "tr", "theta0", "gamma0", "a", "b", "n"},
    "asymptotic_power_law_mie_gruneisen_debye(rt_eos, tr, theta0, gamma0, a, b, n)\n--\n\n"
    "Mie-Grueneisen-Debye model with gamma = gamma0 (1 + a ((V/V0)^b - 1)), 0 <= a <= 1."};
template <>
constexpr PlainConstructor kPlain<VariableQ> = {
    "variable_q_mie_gruneisen_debye",
    {"rt_eos", "tr", "theta0", "gamma0", "q0", "q1", "n"},
    "variable_q_mie_gruneisen_debye(rt_eos, tr, theta0, gamma0, q0, q1, n)\n--\n\n"
    "Mie-Grueneisen-Debye model whose q = dln(gamma)/dlnV varies as q0 (V/V0)^q1."};
template <>
constexpr PlainConstructor kPlain<Dorogokupets> = {
    "dorogokupets_oganov_2007",
    {"rt_eos", "tr", "theta_b1", "d_b1", "m_b1", "theta_b2", "d_b2", "m_b2", "theta_e1", "m_e1",
     "theta_e2", "m_e2", "gamma0", "gamma_inf", "beta", "anharmonic_a", "anharmonic_m",
     "electronic_e", "electronic_g", "defect_h", "defect_s", "n"},
    "dorogokupets_oganov_2007(rt_eos, tr, theta_b1, d_b1, m_b1, theta_b2, d_b2, m_b2, "
    "theta_e1, m_e1, theta_e2, m_e2, gamma0, gamma_inf, beta, anharmonic_a, anharmonic_m, "
    "electronic_e, electronic_g, defect_h, defect_s, n)\n--\n\n"
    "Dorogokupets & Oganov (2007): two Bose and two Einstein oscillators with intrinsic\n"
    "anharmonicity, electronic and vacancy terms."};
template <>
constexpr PlainConstructor kPlain<Anharmonic> = {
    "debye_anharmonic_helmholtz",
    {"rt_eos", "tr", "theta0", "gamma0", "q", "b1", "b2", "b3"},
    "debye_anharmonic_helmholtz(rt_eos, tr, theta0, gamma0, q, b1, b2, b3)\n--\n\n"
    "Debye solid per mole of atoms from 0 K plus an explicit anharmonic Helmholtz energy."};
template <>
constexpr PlainConstructor kPlain<Linear> = {
    "linear_thermal_pressure",
    {"rt_eos", "tr", "alpha_kt"},
    "linear_thermal_pressure(rt_eos, tr, alpha_kt)\n--\n\n"
    "Thermal pressure alpha_kt (T - Tr)."};
template <>
constexpr PlainConstructor kPlain<LogVolume> = {
    "log_volume_thermal_pressure",
    {"rt_eos", "tr", "alpha_kt_ref", "dk_dt_v"},
    "log_volume_thermal_pressure(rt_eos, tr, alpha_kt_ref, dk_dt_v)\n--\n\n"
    "Thermal pressure (T - Tr) (alpha_kt_ref + dk_dt_v ln(V0/V))."};
template <>
constexpr PlainConstructor kPlain<DebyeQuadratic> = {
    "debye_quadratic_thermal_pressure",
    {"rt_eos", "tr", "theta0", "gamma0", "q", "n", "a", "m"},
    "debye_quadratic_thermal_pressure(rt_eos, tr, theta0, gamma0, q, n, a, m)\n--\n\n"
    "Mie-Grueneisen-Debye thermal pressure plus a (V/V0)^m (T^2 - Tr^2)."};
template <>
constexpr PlainConstructor kPlain<Taylor> = {
    "second_order_taylor_thermal_pressure",
    {"rt_eos", "tr", "eta0", "c0", "c1", "c2", "c3", "c4", "c5"},
    "second_order_taylor_thermal_pressure(rt_eos, tr, eta0, c0, c1, c2, c3, c4, c5)\n--\n\n"
    "Thermal pressure as a second-order expansion in strain 1 - V/V0 about eta0 and in\n"
    "temperature about Tr."};
template <>
constexpr PlainConstructor kPlain<HollandPowell> = {
    "holland_powell_thermal_pressure",
    {"rt_eos", "tr", "theta", "alpha0", "n"},
    "holland_powell_thermal_pressure(rt_eos, tr, theta, alpha0, n)\n--\n\n"
    "Holland & Powell (2011) Einstein thermal pressure, scaled to the expansivity alpha0\n"
    "at the reference state."};
template <>
constexpr PlainConstructor kPlain<ThermalModifiedTait> = {
    "thermal_modified_tait",
    {"rt_eos", "tr", "theta", "alpha0", "n"},
    "thermal_modified_tait(rt_eos, tr, theta, alpha0, n)\n--\n\n"
    "Holland & Powell (2011) thermal pressure over a modified Tait EOS (rt_eos must be one)."};

template <class Model>
PyObject* construct_plain(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  constexpr const PlainConstructor& info = kPlain<Model>;
  constexpr std::size_t kArity = Model::kParameterNames.size();
  static_assert(python_names_match<Model>(info),
                "Python arguments must match the model's parameters one to one");
  ConstructorCall call(info.name, std::span(info.arguments.data(), kArity + 1));
  std::array<double, kArity> values;
  if (!call.bind(kArity + 1, args, nargs, kwnames) || !call.numbers(1, values)) return nullptr;
  return guarded([&]() -> PyObject* {
    auto build = [&values](const auto& reference) noexcept {
      return std::apply([&](auto... v) noexcept { return Model::create(reference, v...); },
                        values);
    };
    if constexpr (std::is_same_v<Model, ThermalModifiedTait>) {
      const auto* tait = call.reference().get_if<ModifiedTait>();
      if (tait == nullptr) {
        return raise(
            python_configuration_error("ThermalModifiedTait requires a ModifiedTait EOS"));
      }
      return wrap(build(*tait));
    } else {
      return wrap(build(call.reference()));
    }
  });
}

template <class Model>
constexpr PyMethodDef plain_def() noexcept {
  return {kPlain<Model>.name, fastcall<&construct_plain<Model>>(), kStatic, kPlain<Model>.doc};
}

// ---------------------------------------------------------------------------
// Constructors with options.

PyObject* mie_gruneisen_debye(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 9> kNames{
      "rt_eos", "tr", "theta0", "gamma0", "q", "n", "debye_temperature_law",
      "thermal_pressure_reference", "cvmax"};
  ConstructorCall call("mie_gruneisen_debye", kNames);
  std::array<double, 5> values;
  std::string_view law_name, reference_name;
  std::optional<double> cvmax;
  if (!call.bind(6, args, nargs, kwnames) || !call.numbers(1, values) ||
      !call.option(6, &law_name, "integrated_gruneisen") ||
      !call.option(7, &reference_name, "reference_temperature") ||
      !call.optional_number(8, &cvmax)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    const auto law = option_named(kDebyeTemperatureLaws, law_name);
    if (!law) {
      return raise(python_validation_error(
          "debye_temperature_law must be 'integrated_gruneisen' or 'variable_exponent'"));
    }
    const auto reference = option_named(kThermalPressureReferences, reference_name);
    if (!reference) {
      return raise(python_validation_error(
          "thermal_pressure_reference must be 'reference_temperature', 'reference_isentrope', "
          "or 'absolute_zero'"));
    }
    const auto [tr, theta0, gamma0, q, n] = values;
    return wrap(MieGruneisenDebye<RtModel>::create(call.reference(), tr, theta0, gamma0, q, n,
                                                   *law, *reference, cvmax));
  });
}

// The two options are set after the numbers are checked; "included" then
// needs "absolute_zero" (an EosValidationError of the model).
PyObject* dewaele_2006(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 13> kNames{
      "rt_eos",       "tr",           "theta0", "gamma0", "gamma_inf",
      "beta",         "anharmonic_a", "anharmonic_m", "electronic_e", "electronic_g",
      "n",            "thermal_pressure_reference",   "zero_point_pressure"};
  ConstructorCall call("dewaele_2006", kNames);
  std::array<double, 10> values;
  std::string_view reference_name, zero_point_name;
  if (!call.bind(11, args, nargs, kwnames) || !call.numbers(1, values) ||
      !call.option(11, &reference_name, "reference_temperature") ||
      !call.option(12, &zero_point_name, "omitted")) {
    return nullptr;
  }
  const auto reference = option_named(kDewaeleReferences, reference_name);
  if (!reference) {
    PyErr_SetString(PyExc_ValueError, "invalid Dewaele2006 thermal_pressure_reference");
    return nullptr;
  }
  const auto zero_point = option_named(kZeroPointPressures, zero_point_name);
  if (!zero_point) {
    PyErr_SetString(PyExc_ValueError, "invalid zero_point_pressure");
    return nullptr;
  }
  return guarded([&] {
    return wrap(std::apply(
        [&](auto... v) noexcept {
          return Dewaele2006<RtModel>::create(call.reference(), v..., *reference, *zero_point);
        },
        values));
  });
}

// Without n, a Holzapfel reference lends its own n.
template <const char* Name>
PyObject* multi_oscillator(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 20> kNames{
      "rt_eos", "tr", "qe1o", "me1", "qe2o", "me2", "delta", "t",    "a_0", "m",
      "g",      "e_0", "beta", "qbo", "d",    "mb",  "qb1o",  "d1",  "mb1", "n"};
  constexpr std::array<double, 7> kDefaults{0.0, 1.0, 1.0, 0.0, 1.0, 1.0, 0.0};  // beta .. mb1
  ConstructorCall call(Name, kNames);
  std::array<double, 18> values;
  std::optional<double> n;
  if (!call.bind(12, args, nargs, kwnames) || !call.numbers(1, std::span(values).first(11))) {
    return nullptr;
  }
  for (std::size_t i = 0; i < kDefaults.size(); ++i) {
    if (!call.number(12 + i, &values[11 + i], kDefaults[i])) return nullptr;
  }
  if (!call.optional_number(19, &n)) return nullptr;
  return guarded([&]() -> PyObject* {
    if (!n) {
      const auto* holzapfel = call.reference().get_if<Holzapfel>();
      if (holzapfel == nullptr) {
        return raise(python_validation_error("n is required for the generic multi-oscillator model"));
      }
      n = holzapfel->parameters()[3];
    }
    return wrap(std::apply(
        [&](auto... v) noexcept {
          return MultiOscillatorGruneisen<RtModel>::create(call.reference(), v..., *n);
        },
        values));
  });
}
constexpr char kMultiOscillatorGruneisen[] = "multi_oscillator_gruneisen";
constexpr char kSokolova2016[] = "sokolova2016";

// Options first: the bulk-modulus law (with its betas), the expansion law,
// the volume law; then the three construction steps of the model.
PyObject* thermal_reference_state(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) noexcept {
  static constexpr std::array<const char*, 13> kNames{
      "rt_eos", "tr", "alpha0", "dk_dt", "alpha1", "thermal_expansion_law",
      "reference_volume_law", "bulk_modulus_law", "beta1", "beta2", "beta3",
      "kprime_log_coefficient", "dkprime_dt"};
  ConstructorCall call("thermal_reference_state", kNames);
  double tr, alpha0, dk_dt, alpha1, beta1, beta2, beta3, kprime_log, dkprime_dt;
  std::string_view expansion_name, volume_name, bulk_name;
  if (!call.bind(4, args, nargs, kwnames) || !call.number(1, &tr) || !call.number(2, &alpha0) ||
      !call.number(3, &dk_dt) || !call.number(4, &alpha1, 0.0) ||
      !call.option(5, &expansion_name, "constant") ||
      !call.option(6, &volume_name, "integrated_expansivity") ||
      !call.option(7, &bulk_name, "linear_temperature") || !call.number(8, &beta1, 0.0) ||
      !call.number(9, &beta2, 0.0) || !call.number(10, &beta3, 0.0) ||
      !call.number(11, &kprime_log, 0.0) || !call.number(12, &dkprime_dt, 0.0)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    std::optional<BulkModulusLaw> bulk;
    if (bulk_name == "reciprocal_cubic") {
      bulk = BulkModulusLaw::reciprocal_cubic(beta1, beta2, beta3);
    } else if (bulk_name == "linear_temperature" && beta1 == 0.0 && beta2 == 0.0 &&
               beta3 == 0.0) {
      bulk = BulkModulusLaw::linear_temperature();
    } else {
      return raise(python_validation_error("invalid bulk_modulus_law or unused beta coefficients"));
    }
    const auto expansion = option_named(kThermalExpansionLaws, expansion_name);
    if (!expansion) {
      return raise(python_validation_error(
          "thermal_expansion_law must be 'constant', 'linear_temperature', or "
          "'linear_reference_temperature'"));
    }
    const auto volume = option_named(kReferenceVolumeLaws, volume_name);
    if (!volume) {
      return raise(python_validation_error(
          "reference_volume_law must be 'integrated_expansivity', 'linear_temperature', or "
          "'berman'"));
    }
    return wrap(ThermalReferenceState<RtModel>::create(call.reference(), *expansion, *volume,
                                                       *bulk, tr, alpha0, dk_dt, alpha1,
                                                       kprime_log, dkprime_dt));
  });
}

const std::array<PyMethodDef, 17> kConstructorDefs{{
    {"mie_gruneisen_debye", fastcall<&mie_gruneisen_debye>(), kStatic,
     "mie_gruneisen_debye(rt_eos, tr, theta0, gamma0, q, n, "
     "debye_temperature_law=\"integrated_gruneisen\", "
     "thermal_pressure_reference=\"reference_temperature\", cvmax=None)\n--\n\n"
     "Mie-Grueneisen-Debye model, gamma = gamma0 (V/V0)^q; the Debye temperature law\n"
     "'integrated_gruneisen' or 'variable_exponent'; the reference EOS as the isotherm at Tr\n"
     "('reference_temperature'), the isentrope through Tr ('reference_isentrope') or the\n"
     "isotherm at 0 K ('absolute_zero'); cvmax defaults to 3nR."},
    plain_def<Einstein>(),
    plain_def<PowerLaw>(),
    plain_def<VariableQ>(),
    {"dewaele_2006", fastcall<&dewaele_2006>(), kStatic,
     "dewaele_2006(rt_eos, tr, theta0, gamma0, gamma_inf, beta, anharmonic_a, anharmonic_m, "
     "electronic_e, electronic_g, n, thermal_pressure_reference=\"reference_temperature\", "
     "zero_point_pressure=\"omitted\")\n--\n\n"
     "Dewaele et al. (2006): Debye thermal pressure with quadratic anharmonic and electronic\n"
     "terms, referred to Tr or to 0 K ('absolute_zero', which may include the zero-point\n"
     "pressure)."},
    plain_def<Dorogokupets>(),
    {"multi_oscillator_gruneisen", fastcall<&multi_oscillator<kMultiOscillatorGruneisen>>(),
     kStatic,
     "multi_oscillator_gruneisen(rt_eos, tr, qe1o, me1, qe2o, me2, delta, t, a_0, m, g, e_0, "
     "beta=0.0, qbo=1.0, d=1.0, mb=0.0, qb1o=1.0, d1=1.0, mb1=0.0, n=None)\n--\n\n"
     "Multi-oscillator model of Sokolova et al. (2016): two Einstein and two Bose oscillators\n"
     "scaled by an integrated Grueneisen parameter; n defaults to a Holzapfel rt_eos's n."},
    {"sokolova2016", fastcall<&multi_oscillator<kSokolova2016>>(), kStatic,
     "sokolova2016(rt_eos, tr, qe1o, me1, qe2o, me2, delta, t, a_0, m, g, e_0, beta=0.0, "
     "qbo=1.0, d=1.0, mb=0.0, qb1o=1.0, d1=1.0, mb1=0.0, n=None)\n--\n\n"
     "The same model as multi_oscillator_gruneisen."},
    plain_def<Anharmonic>(),
    plain_def<Linear>(),
    plain_def<LogVolume>(),
    plain_def<DebyeQuadratic>(),
    plain_def<Taylor>(),
    plain_def<HollandPowell>(),
    plain_def<ThermalModifiedTait>(),
    {"thermal_reference_state", fastcall<&thermal_reference_state>(), kStatic,
     "thermal_reference_state(rt_eos, tr, alpha0, dk_dt, alpha1=0.0, "
     "thermal_expansion_law=\"constant\", reference_volume_law=\"integrated_expansivity\", "
     "bulk_modulus_law=\"linear_temperature\", beta1=0.0, beta2=0.0, beta3=0.0, "
     "kprime_log_coefficient=0.0, dkprime_dt=0.0)\n--\n\n"
     "The reference EOS rebuilt at each temperature with V0(T), K0(T) and a shifted K0'."},
    {nullptr, nullptr, 0, nullptr},
}};

}  // namespace

std::span<const PyMethodDef> thermal_constructor_defs() noexcept { return kConstructorDefs; }

}  // namespace barometra::python
