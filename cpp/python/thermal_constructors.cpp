// The static constructors of ThermalEos. Each parses its arguments in
// signature order (TypeErrors first), then its option strings, then builds
// the core model, whose checks decide any EosValidationError.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "arguments.hpp"
#include "errors.hpp"
#include "model_table.hpp"
#include "module.hpp"
#include "rt_eos.hpp"
#include "thermal_eos.hpp"

namespace barometra::python {

namespace {

constexpr std::size_t kMaxArguments = 22;  // rt_eos and the 21 of DorogokupetsOganov2007

// One constructor call: its arguments bound to their names, rt_eos checked to
// be an RtEos, the rest converted on request in signature order. An omitted
// optional argument takes its default from the signature.
class ConstructorCall {
 public:
  ConstructorCall(const char* function, std::span<const Argument> arguments) noexcept
      : function_(function), arguments_(arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) names_[i] = arguments[i].name;
  }

  // False with a TypeError set.
  bool bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    std::size_t required = 0;
    while (required < arguments_.size() &&
           arguments_[required].kind == Argument::Default::none) {
      ++required;
    }
    if (!parse_arguments(function_, names(), required, args, nargs, kwnames, objects_.data())) {
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

  bool number(std::size_t i, double* out) const noexcept {
    if (objects_[i] == nullptr) {
      *out = arguments_[i].number;
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
  bool option(std::size_t i, std::string_view* out) const noexcept {
    if (objects_[i] == nullptr) {
      *out = arguments_[i].text;
      return true;
    }
    return parse_name(objects_[i], function_, names_[i], out);
  }

 private:
  std::span<const char* const> names() const noexcept {
    return std::span(names_.data(), arguments_.size());
  }

  const char* function_;
  std::span<const Argument> arguments_;
  std::array<const char*, kMaxArguments> names_{};
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

// The names an option accepts, for its signature's table.
template <class Option, std::size_t N>
constexpr std::array<std::string_view, N> option_names(
    const std::array<OptionValue<Option>, N>& options) {
  std::array<std::string_view, N> names{};
  for (std::size_t i = 0; i < N; ++i) names[i] = options[i].name;
  return names;
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
// Built by hand (the betas go with it), so listed on their own.
constexpr std::array<std::string_view, 2> kBulkModulusLawNames{"linear_temperature",
                                                               "reciprocal_cubic"};

constexpr auto kDebyeTemperatureLawNames = option_names(kDebyeTemperatureLaws);
constexpr auto kThermalPressureReferenceNames = option_names(kThermalPressureReferences);
constexpr auto kDewaeleReferenceNames = option_names(kDewaeleReferences);
constexpr auto kZeroPointPressureNames = option_names(kZeroPointPressures);
constexpr auto kThermalExpansionLawNames = option_names(kThermalExpansionLaws);
constexpr auto kReferenceVolumeLawNames = option_names(kReferenceVolumeLaws);

// A new ThermalEos from a model the core built, or its error raised.
template <class Model>
PyObject* wrap(const std::expected<Model, EosError>& model) {
  if (!model) return raise_eos_error(model.error());
  return wrap_thermal_model(ThermalModel(*model));
}

constexpr int kStatic = METH_STATIC | METH_FASTCALL | METH_KEYWORDS;

using Einstein = MieGruneisenEinstein<RtModel>;
using Debye = MieGruneisenDebye<RtModel>;
using PowerLaw = AsymptoticPowerLawMieGruneisenDebye<RtModel>;
using VariableQ = VariableQMieGruneisenDebye<RtModel>;
using Dewaele = Dewaele2006<RtModel>;
using Dorogokupets = DorogokupetsOganov2007<RtModel>;
using MultiOscillator = MultiOscillatorGruneisen<RtModel>;
using Anharmonic = DebyeAnharmonicHelmholtz<RtModel>;
using Linear = LinearThermalPressure<RtModel>;
using LogVolume = LogVolumeThermalPressure<RtModel>;
using DebyeQuadratic = DebyeQuadraticThermalPressure<RtModel>;
using Taylor = SecondOrderTaylorThermalPressure<RtModel>;
using HollandPowell = HollandPowellThermalPressure<RtModel>;
using ReferenceState = ThermalReferenceState<RtModel>;

// ---------------------------------------------------------------------------
// The signatures. Most constructors take rt_eos and the model's parameters,
// in order and in lower case; four have options or defaults.

template <class Model>
constexpr auto kArguments = lower_case_arguments<Model::kParameterNames, 1>({"rt_eos"});

template <>
constexpr auto kArguments<Debye> = std::array<Argument, 9>{{
    {"rt_eos"}, {"tr"}, {"theta0"}, {"gamma0"}, {"q"}, {"n"},
    option_argument("debye_temperature_law", "integrated_gruneisen", kDebyeTemperatureLawNames),
    option_argument("thermal_pressure_reference", "reference_temperature",
                    kThermalPressureReferenceNames),
    optional_argument("cvmax"),
}};

template <>
constexpr auto kArguments<Dewaele> = std::array<Argument, 13>{{
    {"rt_eos"}, {"tr"}, {"theta0"}, {"gamma0"}, {"gamma_inf"}, {"beta"}, {"anharmonic_a"},
    {"anharmonic_m"}, {"electronic_e"}, {"electronic_g"}, {"n"},
    option_argument("thermal_pressure_reference", "reference_temperature",
                    kDewaeleReferenceNames),
    option_argument("zero_point_pressure", "omitted", kZeroPointPressureNames),
}};

template <>
constexpr auto kArguments<MultiOscillator> = std::array<Argument, 20>{{
    {"rt_eos"}, {"tr"}, {"qe1o"}, {"me1"}, {"qe2o"}, {"me2"}, {"delta"}, {"t"}, {"a_0"}, {"m"},
    {"g"}, {"e_0"}, number_argument("beta", 0.0), number_argument("qbo", 1.0),
    number_argument("d", 1.0), number_argument("mb", 0.0), number_argument("qb1o", 1.0),
    number_argument("d1", 1.0), number_argument("mb1", 0.0), optional_argument("n"),
}};

template <>
constexpr auto kArguments<ReferenceState> = std::array<Argument, 13>{{
    {"rt_eos"}, {"tr"}, {"alpha0"}, {"dk_dt"}, number_argument("alpha1", 0.0),
    option_argument("thermal_expansion_law", "constant", kThermalExpansionLawNames),
    option_argument("reference_volume_law", "integrated_expansivity", kReferenceVolumeLawNames),
    option_argument("bulk_modulus_law", "linear_temperature", kBulkModulusLawNames),
    number_argument("beta1", 0.0), number_argument("beta2", 0.0), number_argument("beta3", 0.0),
    number_argument("kprime_log_coefficient", 0.0), number_argument("dkprime_dt", 0.0),
}};

// ---------------------------------------------------------------------------
// The model classes of the package: names and documentation.

constexpr ParameterDoc kCommonParameterDocs[] = {
    {"reference", "The reference isotherm, a public isothermal model (BM3, Vinet, ...): the "
                  "pressure at tr (or, by the model's option, along the reference isentrope or at "
                  "0 K). The thermal model keeps its own copy."},
    {"tr", "Reference temperature Tr of the reference isotherm, in K; positive.", true},
    {"theta0", "Debye (or Einstein) characteristic temperature θ0 at V0, in K; positive."},
    {"theta", "Einstein temperature θ of the thermal-pressure oscillator, in K; positive."},
    {"gamma0", "Grüneisen parameter γ0 at V0."},
    {"gamma_inf", "Limit γ∞ of the Grüneisen parameter at infinite compression, "
                  "γ = γ∞ + (γ0 - γ∞) x^β with x = V/V0; between 0 and gamma0."},
    {"q", "Exponent q of the Grüneisen law γ = γ0 (V/V0)^q."},
    {"q0", "q0 of the Grüneisen law γ = γ0 exp[q0 ((V/V0)^q1 - 1) / q1]."},
    {"q1", "q1 of the Grüneisen law γ = γ0 exp[q0 ((V/V0)^q1 - 1) / q1]."},
    {"n", "Number of atoms per formula unit (3n oscillators); positive.", true},
    {"beta", "Exponent β of the Grüneisen law γ = γ∞ + (γ0 - γ∞) (V/V0)^β; positive."},
    {"anharmonic_a", "Intrinsic anharmonicity a at V0, in 1/K; not negative."},
    {"anharmonic_m", "Volume exponent m of the intrinsic anharmonicity, a (V/V0)^m; positive."},
    {"electronic_e", "Electronic coefficient e at V0, in 1/K; not negative."},
    {"electronic_g", "Volume exponent g of the electronic coefficient, e (V/V0)^g; positive."},
    {"thermal_pressure_reference",
     "What the reference isotherm describes: 'reference_temperature' (the isotherm at tr), "
     "'reference_isentrope' (the isentrope through V0 and tr) or 'absolute_zero' (the "
     "isotherm at 0 K)."},
    {"alpha0", "Thermal expansivity α0 at the reference state, in 1/K."},
};

// A model class: its engine constructor, names and documentation, its own
// parameter descriptions (before the common ones), and the model its
// reference isotherm must be, if any.
struct ThermalClass {
  const char* constructor;
  ClassDoc doc;
  std::span<const ParameterDoc> parameter_docs = {};
  const char* reference_model = nullptr;
};

constexpr ParameterDoc kDebyeDocs[] = {
    {"debye_temperature_law", "How θ follows V: 'integrated_gruneisen' (θ0 exp[(γ0 - γ)/q]) or "
                              "'variable_exponent'."},
    {"cvmax", "High-temperature limit of C_V in J/(mol K), scaling the Debye energy; None for "
              "3nR.", true},
};
constexpr ParameterDoc kPowerLawDocs[] = {
    {"a", "Weight a of the power law in γ = γ0 [1 + a (x^b - 1)]; between 0 and 1."},
    {"b", "Exponent b of the power law in γ = γ0 [1 + a (x^b - 1)]."},
};
constexpr ParameterDoc kDewaeleDocs[] = {
    {"thermal_pressure_reference", "'reference_temperature' (the reference is the isotherm at "
                                   "tr) or 'absolute_zero' (at 0 K)."},
    {"zero_point_pressure", "'omitted' or 'included' (which needs 'absolute_zero')."},
};
constexpr ParameterDoc kDorogokupetsDocs[] = {
    {"theta_b1", "Characteristic temperature of the first Bose-Einstein oscillator at V0, K."},
    {"d_b1", "Its Bose parameter d; positive."},
    {"m_b1", "Its multiplicity (number of modes).", true},
    {"theta_b2", "Characteristic temperature of the second Bose-Einstein oscillator at V0, K."},
    {"d_b2", "Its Bose parameter d; positive."},
    {"m_b2", "Its multiplicity.", true},
    {"theta_e1", "Characteristic temperature of the first Einstein oscillator at V0, K."},
    {"m_e1", "Its multiplicity.", true},
    {"theta_e2", "Characteristic temperature of the second Einstein oscillator at V0, K."},
    {"m_e2", "Its multiplicity.", true},
    {"defect_h", "Enthalpy of vacancy formation over R, in K."},
    {"defect_s", "Entropy of vacancy formation over R."},
    {"anharmonic_a", "Intrinsic anharmonicity a at V0, in 1e-6/K."},
    {"electronic_e", "Electronic coefficient e at V0, in 1e-6/K."},
};
constexpr ParameterDoc kMultiOscillatorDocs[] = {
    {"qe1o", "Characteristic temperature of the first Einstein oscillator at V0, K."},
    {"me1", "Its multiplicity (number of modes); not negative.", true},
    {"qe2o", "Characteristic temperature of the second Einstein oscillator at V0, K."},
    {"me2", "Its multiplicity; not negative.", true},
    {"delta", "δ of the Grüneisen law."},
    {"t", "t of the Grüneisen law."},
    {"a_0", "Intrinsic anharmonicity at V0, in 1e-6/K."},
    {"m", "Volume exponent of the intrinsic anharmonicity."},
    {"g", "Volume exponent of the electronic coefficient."},
    {"e_0", "Electronic coefficient at V0, in 1e-6/K."},
    {"beta", "β of the Grüneisen law (0: t constant)."},
    {"qbo", "Characteristic temperature of the first Bose-Einstein oscillator at V0, K."},
    {"d", "Its Bose parameter; positive."},
    {"mb", "Its multiplicity; not negative.", true},
    {"qb1o", "Characteristic temperature of the second Bose-Einstein oscillator at V0, K."},
    {"d1", "Its Bose parameter; positive."},
    {"mb1", "Its multiplicity; not negative.", true},
    {"n", "Number of atoms per formula unit; None takes the n of a Holzapfel reference (any "
          "other reference needs it).", true},
};
constexpr ParameterDoc kAnharmonicDocs[] = {
    {"b1", "Anharmonic coefficient b1 of the Helmholtz free energy."},
    {"b2", "Anharmonic coefficient b2; not negative."},
    {"b3", "Anharmonic coefficient b3."},
};
constexpr ParameterDoc kLinearDocs[] = {
    {"alpha_kt", "The constant product αK_T = (∂P/∂T)_V, in GPa/K."},
};
constexpr ParameterDoc kLogVolumeDocs[] = {
    {"alpha_kt_ref", "αK_T at the reference state, in GPa/K."},
    {"dk_dt_v", "(∂K_T/∂T)_V, in GPa/K."},
};
constexpr ParameterDoc kDebyeQuadraticDocs[] = {
    {"a", "Coefficient A of the quadratic term, in GPa/K²."},
    {"m", "Volume exponent m of the quadratic term."},
};
constexpr ParameterDoc kTaylorDocs[] = {
    {"eta0", "Strain η0 about which the expansion is taken."},
    {"c0", "Coefficient c0 of the expansion."}, {"c1", "Coefficient c1 of the expansion."},
    {"c2", "Coefficient c2 of the expansion."}, {"c3", "Coefficient c3 of the expansion."},
    {"c4", "Coefficient c4 of the expansion."}, {"c5", "Coefficient c5 of the expansion."},
};
constexpr ParameterDoc kTaitDocs[] = {
    {"reference", "The reference isotherm at tr: a :class:`ModifiedTait` model."},
};
constexpr ParameterDoc kReferenceStateDocs[] = {
    {"alpha0", "Thermal expansivity α0 (constant term), in 1/K."},
    {"dk_dt", "dK0/dT of the linear bulk-modulus law, in GPa/K."},
    {"alpha1", "Temperature coefficient α1 of the expansivity, in 1/K²."},
    {"thermal_expansion_law",
     "α(T): 'constant', 'linear_temperature' or 'linear_reference_temperature'."},
    {"reference_volume_law", "V0(T): 'integrated_expansivity', 'linear_temperature' or 'berman'."},
    {"bulk_modulus_law", "K0(T): 'linear_temperature' (with dk_dt) or 'reciprocal_cubic' (with "
                         "beta1, beta2, beta3)."},
    {"beta1", "Coefficient β1 of the reciprocal cubic compressibility law."},
    {"beta2", "Coefficient β2 of the reciprocal cubic compressibility law."},
    {"beta3", "Coefficient β3 of the reciprocal cubic compressibility law."},
    {"kprime_log_coefficient", "Coefficient of the logarithmic K0' term."},
    {"dkprime_dt", "dK0'/dT, in 1/K."},
};

template <class Model>
constexpr ThermalClass kClass = {};

template <>
constexpr ThermalClass kClass<Debye> = {
    "mie_gruneisen_debye",
    {"MieGruneisenDebye", nullptr, "Mie-Grüneisen-Debye thermal equation of state.",
     "P(V, T) = P_ref(V) + γ(V) [E(V, T) - E(V, Tr)] / V with the Debye energy\n"
     "E = 3 n R T D3(θ/T) (scaled by cvmax / 3nR when given), γ = γ0 x^q,\n"
     "θ = θ0 exp[(γ0 - γ) / q] and x = V/V0, V0 the reference's v0."},
    kDebyeDocs};
template <>
constexpr ThermalClass kClass<Einstein> = {
    "mie_gruneisen_einstein",
    {"MieGruneisenEinstein", nullptr,
     "Mie-Grüneisen thermal equation of state with an Einstein spectrum.",
     "As :class:`MieGruneisenDebye` with the Einstein energy of 3n oscillators\n"
     "at θ(V) in place of the Debye energy."}};
template <>
constexpr ThermalClass kClass<PowerLaw> = {
    "asymptotic_power_law_mie_gruneisen_debye",
    {"AsymptoticPowerLawMieGruneisenDebye", nullptr,
     "Mie-Grüneisen-Debye model with γ = γ0 [1 + a (x^b - 1)], x = V/V0.", ""},
    kPowerLawDocs};
template <>
constexpr ThermalClass kClass<VariableQ> = {
    "variable_q_mie_gruneisen_debye",
    {"VariableQMieGruneisenDebye", nullptr,
     "Mie-Grüneisen-Debye model with γ = γ0 exp[q0 (x^q1 - 1) / q1], x = V/V0.", ""}};
template <>
constexpr ThermalClass kClass<Dewaele> = {
    "dewaele_2006",
    {"Dewaele2006", nullptr,
     "Debye thermal pressure with anharmonic and electronic terms (Dewaele et al. 2006).",
     "γ = γ∞ + (γ0 - γ∞) x^β, x = V/V0, with quadratic-in-T anharmonic\n"
     "(a x^m) and electronic (e x^g) pressures. Dewaele, Loubeyre, Occelli,\n"
     "Mezouar, Dorogokupets and Torrent (2006), Phys. Rev. Lett. 97, 215504."},
    kDewaeleDocs};
template <>
constexpr ThermalClass kClass<Dorogokupets> = {
    "dorogokupets_oganov_2007",
    {"DorogokupetsOganov2007", nullptr,
     "Four oscillators with anharmonic, electronic and defect terms (Dorogokupets and Oganov "
     "2007).",
     "Two Bose-Einstein and two Einstein oscillators whose characteristic\n"
     "temperatures follow γ = γ∞ + (γ0 - γ∞) x^β, x = V/V0; anharmonic_a and\n"
     "electronic_e in units of 1e-6 per K. Dorogokupets and Oganov (2007),\n"
     "Phys. Rev. B 75, 024115."},
    kDorogokupetsDocs};
template <>
constexpr ThermalClass kClass<MultiOscillator> = {
    "multi_oscillator_gruneisen",
    {"MultiOscillatorGruneisen", "Sokolova2016",
     "Multi-oscillator thermal model of Sokolova, Dorogokupets et al. (2016).",
     "Two Einstein oscillators (with zero-point energy) and two Bose-Einstein\n"
     "oscillators whose characteristic temperatures all scale with one factor,\n"
     "the integral of a Grüneisen parameter built from the reference\n"
     "isotherm's P, K and K'; quadratic-in-T anharmonic and electronic\n"
     "pressures. The Bose oscillators have no modes by default. Also\n"
     "available as :data:`Sokolova2016`."},
    kMultiOscillatorDocs};
template <>
constexpr ThermalClass kClass<Anharmonic> = {
    "debye_anharmonic_helmholtz",
    {"DebyeAnharmonicHelmholtz", nullptr,
     "Quasi-harmonic Debye solid (per mole of atoms) with an anharmonic Helmholtz free energy.",
     "F = F_ref(V) + F_Debye(V, T) + F_anh(V, T), γ = γ0 x^q, x = V/V0; the\n"
     "anharmonic free energy is given by b1, b2 and b3. Its energies are totals,\n"
     "the static lattice included (:meth:`internal_energy`, :meth:`entropy`,\n"
     ":meth:`helmholtz_free_energy`)."},
    kAnharmonicDocs};
template <>
constexpr ThermalClass kClass<Linear> = {
    "linear_thermal_pressure",
    {"LinearThermalPressure", nullptr,
     "Thermal pressure linear in temperature: Pth = αK_T (T - Tr).", ""},
    kLinearDocs};
template <>
constexpr ThermalClass kClass<LogVolume> = {
    "log_volume_thermal_pressure",
    {"LogVolumeThermalPressure", nullptr,
     "Thermal pressure Pth = [αK_T(ref) + (∂K_T/∂T)_V ln(V0/V)] (T - Tr).", ""},
    kLogVolumeDocs};
template <>
constexpr ThermalClass kClass<DebyeQuadratic> = {
    "debye_quadratic_thermal_pressure",
    {"DebyeQuadraticThermalPressure", nullptr,
     "Mie-Grüneisen-Debye thermal pressure plus a term A x^m (T² - Tr²), x = V/V0.", ""},
    kDebyeQuadraticDocs};
template <>
constexpr ThermalClass kClass<Taylor> = {
    "second_order_taylor_thermal_pressure",
    {"SecondOrderTaylorThermalPressure", nullptr,
     "Thermal pressure as a second-order Taylor expansion in volume strain and temperature.",
     "The coefficients c0 ... c5 multiply the terms in η = 1 - V/V0 and\n"
     "T - Tr about the reference state η0."},
    kTaylorDocs};
template <>
constexpr ThermalClass kClass<HollandPowell> = {
    "holland_powell_thermal_pressure",
    {"HollandPowell", nullptr,
     "Holland-Powell thermal pressure: one Einstein oscillator, scaled to α0 at the reference.",
     "Pth = α0 K0 θ / ξ0 [1/(e^(θ/T) - 1) - 1/(e^(θ/Tr) - 1)] with\n"
     "ξ0 = (θ/Tr)² e^(θ/Tr) / (e^(θ/Tr) - 1)²: the thermal pressure depends on\n"
     "the temperature only. Holland and Powell (2011), J. Metamorphic Geol. 29,\n"
     "333."}};
template <>
constexpr ThermalClass kClass<ThermalModifiedTait> = {
    "thermal_modified_tait",
    {"ThermalModifiedTait", nullptr,
     "Holland-Powell thermal pressure over a modified Tait isotherm.",
     "The thermal equation of state of Holland and Powell (2011): as\n"
     ":class:`HollandPowell`, with a :class:`ModifiedTait` reference, whose K0\n"
     "scales the thermal pressure."},
    kTaitDocs, ModifiedTait::kName};
template <>
constexpr ThermalClass kClass<ReferenceState> = {
    "thermal_reference_state",
    {"ThermalReferenceState", nullptr,
     "The reference isotherm moved to each temperature: V0(T), K0(T) and K0'(T).",
     "At temperature T the isotherm is the reference model with V0 replaced by\n"
     "V0(T) (the volume law), K0 by K0(T) (the bulk-modulus law) and K0'\n"
     "shifted by the pressure-derivative terms; it needs a reference that can\n"
     "change its reference state (every isothermal model but\n"
     ":class:`DensityPolynomial3`)."},
    kReferenceStateDocs};

// The constructors' docstrings, made once with the class.
template <class Model>
std::string g_doc;

// ---------------------------------------------------------------------------
// Constructors whose arguments are rt_eos and the model's parameters.

template <class Model>
PyObject* construct_plain(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) noexcept {
  constexpr std::size_t kArity = Model::kParameterNames.size();
  ConstructorCall call(kClass<Model>.constructor, kArguments<Model>);
  std::array<double, kArity> values;
  if (!call.bind(args, nargs, kwnames) || !call.numbers(1, values)) return nullptr;
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

// ---------------------------------------------------------------------------
// Constructors with options.

PyObject* mie_gruneisen_debye(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) noexcept {
  ConstructorCall call(kClass<Debye>.constructor, kArguments<Debye>);
  std::array<double, 5> values;
  std::string_view law_name, reference_name;
  std::optional<double> cvmax;
  if (!call.bind(args, nargs, kwnames) || !call.numbers(1, values) ||
      !call.option(6, &law_name) || !call.option(7, &reference_name) ||
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
    return wrap(Debye::create(call.reference(), tr, theta0, gamma0, q, n, *law, *reference,
                              cvmax));
  });
}

// The two options are set after the numbers are checked; "included" then
// needs "absolute_zero" (an EosValidationError of the model).
PyObject* dewaele_2006(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  ConstructorCall call(kClass<Dewaele>.constructor, kArguments<Dewaele>);
  std::array<double, 10> values;
  std::string_view reference_name, zero_point_name;
  if (!call.bind(args, nargs, kwnames) || !call.numbers(1, values) ||
      !call.option(11, &reference_name) || !call.option(12, &zero_point_name)) {
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
          return Dewaele::create(call.reference(), v..., *reference, *zero_point);
        },
        values));
  });
}

// Without n, a Holzapfel reference lends its own n.
PyObject* multi_oscillator(const char* name, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
  ConstructorCall call(name, kArguments<MultiOscillator>);
  std::array<double, 18> values;
  std::optional<double> n;
  if (!call.bind(args, nargs, kwnames) || !call.numbers(1, values) ||
      !call.optional_number(19, &n)) {
    return nullptr;
  }
  return guarded([&]() -> PyObject* {
    if (!n) {
      const auto* holzapfel = call.reference().get_if<Holzapfel>();
      if (holzapfel == nullptr) {
        return raise(
            python_validation_error("n is required for the generic multi-oscillator model"));
      }
      n = holzapfel->parameters()[3];
    }
    return wrap(std::apply(
        [&](auto... v) noexcept { return MultiOscillator::create(call.reference(), v..., *n); },
        values));
  });
}

PyObject* multi_oscillator_gruneisen(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) noexcept {
  return multi_oscillator(kClass<MultiOscillator>.constructor, args, nargs, kwnames);
}

// Sokolova2016 names the multi-oscillator model after its paper.
constexpr const char* kSokolova2016 = "sokolova2016";

PyObject* sokolova2016(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) noexcept {
  return multi_oscillator(kSokolova2016, args, nargs, kwnames);
}

// Options first: the bulk-modulus law (with its betas), the expansion law,
// the volume law; then the three construction steps of the model.
PyObject* thermal_reference_state(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) noexcept {
  ConstructorCall call(kClass<ReferenceState>.constructor, kArguments<ReferenceState>);
  double tr, alpha0, dk_dt, alpha1, beta1, beta2, beta3, kprime_log, dkprime_dt;
  std::string_view expansion_name, volume_name, bulk_name;
  if (!call.bind(args, nargs, kwnames) || !call.number(1, &tr) || !call.number(2, &alpha0) ||
      !call.number(3, &dk_dt) || !call.number(4, &alpha1) ||
      !call.option(5, &expansion_name) || !call.option(6, &volume_name) ||
      !call.option(7, &bulk_name) || !call.number(8, &beta1) || !call.number(9, &beta2) ||
      !call.number(10, &beta3) || !call.number(11, &kprime_log) ||
      !call.number(12, &dkprime_dt)) {
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
    return wrap(ReferenceState::create(call.reference(), *expansion, *volume, *bulk, tr, alpha0,
                                       dk_dt, alpha1, kprime_log, dkprime_dt));
  });
}

// The static method of each model class, and of Sokolova2016 besides.
template <class Model>
const PyCFunction kConstruct = fastcall<&construct_plain<Model>>();
template <>
const PyCFunction kConstruct<Debye> = fastcall<&mie_gruneisen_debye>();
template <>
const PyCFunction kConstruct<Dewaele> = fastcall<&dewaele_2006>();
template <>
const PyCFunction kConstruct<MultiOscillator> = fastcall<&multi_oscillator_gruneisen>();
template <>
const PyCFunction kConstruct<ReferenceState> = fastcall<&thermal_reference_state>();

// Every model class, in the order of the static methods.
template <class... Models>
struct ModelList {};
using ThermalClasses =
    ModelList<Debye, Einstein, PowerLaw, VariableQ, Dewaele, Dorogokupets, MultiOscillator,
              Anharmonic, Linear, LogVolume, DebyeQuadratic, Taylor, HollandPowell,
              ThermalModifiedTait, ReferenceState>;

template <class Model>
PyMethodDef constructor_def() {
  g_doc<Model> = constructor_doc(kClass<Model>.constructor, kArguments<Model>,
                                 kClass<Model>.doc.summary);
  return {kClass<Model>.constructor, kConstruct<Model>, kStatic, g_doc<Model>.c_str()};
}

// Throws std::bad_alloc.
template <class... Models>
std::vector<PyMethodDef> constructor_defs(ModelList<Models...>) {
  std::vector<PyMethodDef> defs{constructor_def<Models>()...};
  static const std::string kSokolovaDoc = constructor_doc(
      kSokolova2016, kArguments<MultiOscillator>, "The same model as multi_oscillator_gruneisen.");
  defs.insert(defs.begin() + 7, PyMethodDef{kSokolova2016, fastcall<&sokolova2016>(), kStatic,
                                            kSokolovaDoc.c_str()});
  return defs;
}

// ---------------------------------------------------------------------------
// Publication.

// The state values of a quantity, as ThermalModel::evaluate reads first and
// second: (V, T) for most, (P, T) for volume, (P, V) for temperature, V alone
// where the second is unused, (V, T0) on the Hugoniot.
std::span<const char* const> quantity_arguments(ThermalQuantity quantity) noexcept {
  static constexpr std::array<const char*, 2> kVolumeTemperature{"volume", "temperature"},
      kPressureTemperature{"pressure", "temperature"}, kPressureVolume{"pressure", "volume"},
      kVolumeStart{"volume", "t0"};
  static constexpr std::array<const char*, 1> kVolume{"volume"};
  switch (quantity) {
    case ThermalQuantity::volume: return kPressureTemperature;
    case ThermalQuantity::temperature: return kPressureVolume;
    case ThermalQuantity::characteristic_temperature: return kVolume;
    case ThermalQuantity::hugoniot_pressure:
    case ThermalQuantity::hugoniot_temperature: return kVolumeStart;
    default: return kVolumeTemperature;
  }
}

// The Hugoniot starts at Tr unless told otherwise.
std::span<const char* const> quantity_defaults(ThermalQuantity quantity) noexcept {
  static constexpr std::array<const char*, 1> kTr{"Tr"};
  const bool hugoniot = quantity == ThermalQuantity::hugoniot_pressure ||
                        quantity == ThermalQuantity::hugoniot_temperature;
  return hugoniot ? std::span<const char* const>(kTr) : std::span<const char* const>();
}

// The quantities a model provides, in the order of their names, each once,
// under its shortest name ("heat_capacity_v", not "molar_heat_capacity_v").
template <class Model>
std::vector<PublishedQuantity> thermal_quantities() {
  std::vector<PublishedQuantity> quantities;
  for (const ThermalQuantityName& entry : kThermalQuantityNames) {
    if (thermal_operation<Model>(entry.quantity) == nullptr) continue;
    const char* shortest = entry.name.data();
    bool first = true;
    for (const ThermalQuantityName& other : kThermalQuantityNames) {
      if (other.quantity != entry.quantity) continue;
      if (&other < &entry) first = false;
      if (other.name.size() < std::string_view(shortest).size()) shortest = other.name.data();
    }
    if (first) {
      quantities.push_back(
          {shortest, quantity_arguments(entry.quantity), quantity_defaults(entry.quantity)});
    }
  }
  return quantities;
}

// The native name of a Python parameter: the model's parameter of which it is
// the lower-case form; null for rt_eos and the options.
template <class Model>
const char* native_name(std::string_view name) noexcept {
  for (const char* native : Model::kParameterNames) {
    if (is_lower_case_of(name, native)) return native;
  }
  return nullptr;
}

// The package calls rt_eos the thermal model's reference.
constexpr Argument kReferenceArgument{"reference"};

template <class Model>
int publish_thermal_model(PyObject* table) {
  static_assert(covers_native_names(kArguments<Model>, Model::kParameterNames),
                "the arguments must name every parameter of the model, in its order");
  const ThermalClass& info = kClass<Model>;
  PublishedModel published{"thermal", info.constructor, Model::kName, &info.doc, {},
                           thermal_quantities<Model>(), info.reference_model};
  for (const Argument& argument : kArguments<Model>) {
    const bool reference = &argument == kArguments<Model>.data();
    const Argument& named = reference ? kReferenceArgument : argument;
    published.parameters.push_back(
        {&named, native_name<Model>(argument.name),
         find_parameter_doc(named.name, info.parameter_docs, kCommonParameterDocs)});
  }
  PyRef entry = publish_model(published);
  return entry ? PyList_Append(table, entry.get()) : -1;
}

template <class... Models>
int publish_thermal_models(PyObject* table, ModelList<Models...>) {
  return ((publish_thermal_model<Models>(table) < 0) || ...) ? -1 : 0;
}

std::vector<PyMethodDef> g_constructor_defs;

}  // namespace

std::span<const PyMethodDef> thermal_constructor_defs() {
  if (g_constructor_defs.empty()) {
    g_constructor_defs = constructor_defs(ThermalClasses{});
    g_constructor_defs.push_back({nullptr, nullptr, 0, nullptr});
  }
  return g_constructor_defs;
}

int publish_thermal_models(PyObject* table) noexcept {
  return guarded_status([&] { return publish_thermal_models(table, ThermalClasses{}); });
}

}  // namespace barometra::python
