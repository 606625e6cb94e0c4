// The isothermal contract over all seventeen models (directly and through
// RtModel), RtModel's parameter replacement, and a fuzz of every operation.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using test_support::derivative, test_support::kInf, test_support::kNaN;

constexpr const char* kPositive = "must be positive and finite";
constexpr const char* kFinite = "must be finite";
constexpr double kEps = 2.220446049250313e-16;

// What the tests know of a model, written down here rather than read from it.
struct Case {
  std::size_t tag;
  const char* name;
  const char* names;      // native names in constructor order
  const char* checks;     // per parameter: '+' positive and finite, 'f' finite
  std::vector<double> p;  // a typical parameter set
  double p_v0, k_v0, kp_v0, kpp_v0;  // P, K, K', K'' at V0; K'' only where a parameter fixes it
  double huge_ratio = 0.1;           // V/V0 at which `huge` overflows P and K
  std::vector<double> huge = {};     // default: p with K0 = 1e307
  std::vector<double> edge = {};     // fuzz centre on a boundary of the model; default: p
};

// P = -100 - 20 rho + 5 rho^2 + 2 rho^3 at rho0, K = rho P', K' = 1 + rho P'' / P'.
constexpr double kRho0 = 3.58, kDpSlope = -20.0 + 10.0 * kRho0 + 6.0 * kRho0 * kRho0;
constexpr double kDpP = -100.0 - 20.0 * kRho0 + 5.0 * kRho0 * kRho0 + 2.0 * kRho0 * kRho0 * kRho0;
constexpr const char* k3 = "V0 K0 K0_prime";
constexpr const char* k4 = "V0 K0 K0_prime K0_double_prime";

template <class M> const Case kCase{};
template <> const Case kCase<Baonza>{0, "Baonza", k3, "+++", {11.25, 160, 4.5}, 0, 160, 4.5, kNaN};
template <> const Case kCase<DensityPolynomial3>{
    1, "DensityPolynomial3", "V0 rho0 c0 c1 c2 c3", "++fff+", {11.25, kRho0, -100, -20, 5, 2},
    kDpP, kRho0 * kDpSlope, 1.0 + kRho0 * (10.0 + 12.0 * kRho0) / kDpSlope, kNaN, 0.1,
    {11.25, kRho0, -100, -20, 5, 1e306}};
template <> const Case kCase<BM2>{2, "BM2", "V0 K0", "++", {11.25, 160}, 0, 160, 4, kNaN};
template <> const Case kCase<BM3>{3, "BM3", k3, "++f", {11.25, 160, 4.5}, 0, 160, 4.5, kNaN};
template <> const Case kCase<BM4>{4, "BM4", k4, "++ff", {11.25, 160, 4.5, -0.03}, 0, 160, 4.5,
                                  -0.03, 0.1, {11.25, 1e307, 4.5, 0}};
template <> const Case kCase<Morse3>{5, "Morse3", k3, "++f", {11.25, 160, 4.5}, 0, 160, 4.5, kNaN,
                                     0.1, {}, {11.25, 160, 1}};
template <> const Case kCase<Murnaghan>{6, "Murnaghan", k3, "++f", {11.25, 160, 4.5}, 0, 160, 4.5,
                                        kNaN, 0.1, {}, {11.25, 160, 0}};
template <> const Case kCase<SecondOrderMurnaghan>{
    7, "SecondOrderMurnaghan", "V0 K0 K0_prime K0_double_prime P0", "++fff",
    {11.25, 160, 4.5, -0.03, 1.5}, 1.5, 160, 4.5, -0.03, 0.1, {11.25, 1e307, 4.5, 0, 1.5},
    {11.25, 160, 4, 0.05, 1.5}};
template <> const Case kCase<ModifiedTait>{8, "ModifiedTait", k4, "++ff", {11.25, 160, 4.5, -0.03},
                                           0, 160, 4.5, -0.03, 0.1, {11.25, 1e307, 4, 0}};
template <> const Case kCase<NaturalStrain2>{9, "NaturalStrain2", "V0 K0", "++", {11.25, 160},
                                             0, 160, 2, kNaN, 0.01};
template <> const Case kCase<NaturalStrain3>{10, "NaturalStrain3", k3, "++f", {11.25, 160, 4.5},
                                             0, 160, 4.5, kNaN, 0.01};
template <> const Case kCase<NaturalStrain4>{11, "NaturalStrain4", k4, "++ff",
                                             {11.25, 160, 4.5, -0.03}, 0, 160, 4.5, -0.03, 0.01,
                                             {11.25, 1e307, 4.5, 0}};
template <> const Case kCase<RydbergStacey>{12, "RydbergStacey", "V0 K0 K0_prime K_infinity_prime",
                                            "++ff", {11.25, 160, 4.5, 2.5}, 0, 160, 4.5, kNaN};
template <> const Case kCase<SunMorse3>{13, "SunMorse3", k3, "++f", {11.25, 160, 4.5}, 0, 160, 4.5,
                                        kNaN, 0.1, {}, {11.25, 160, -1.0 / 3.0}};
template <> const Case kCase<SunMorse4>{14, "SunMorse4", k3, "++f", {11.25, 160, 4.5}, 0, 160, 4.5,
                                        kNaN, 0.1, {}, {11.25, 160, -0.25}};
template <> const Case kCase<Vinet>{15, "Vinet", k3, "++f", {11.25, 160, 4.5}, 0, 160, 4.5, kNaN};
template <> const Case kCase<Holzapfel>{16, "Holzapfel", "V0 K0 K0_prime n Z", "++f++",
                                        {1.125, 160, 4.5, 2, 10}, 0, 160, 4.5, kNaN, 1e-200,
                                        {1.125, 160, 4.5, 2, 10}};

template <class M>
std::expected<M, EosError> make(const std::vector<double>& values) {
  std::array<double, M::kParameterNames.size()> a{};
  std::copy_n(values.begin(), std::min(values.size(), a.size()), a.begin());
  return M::from_parameters(a);
}
template <class M> M typical() { return make<M>(kCase<M>.p).value(); }
std::vector<double> vec(const auto& a) { return {a.begin(), a.end()}; }
const char* message(char check) { return check == '+' ? kPositive : kFinite; }

template <class M> class IsothermalContract : public ::testing::Test {};
using AllModels =
    ::testing::Types<Baonza, DensityPolynomial3, BM2, BM3, BM4, Morse3, Murnaghan,
                     SecondOrderMurnaghan, ModifiedTait, NaturalStrain2, NaturalStrain3,
                     NaturalStrain4, RydbergStacey, SunMorse3, SunMorse4, Vinet, Holzapfel>;
struct ModelNames {
  template <class T> static std::string GetName(int) { return T::kName; }
};
TYPED_TEST_SUITE(IsothermalContract, AllModels, ModelNames);

TYPED_TEST(IsothermalContract, NamesParametersTagAndOverflow) {
  const Case& c = kCase<TypeParam>;
  const RtModel rt = typical<TypeParam>();
  std::string names;
  for (const char* n : rt.parameter_names()) names.append(names.empty() ? "" : " ").append(n);
  EXPECT_EQ(names, c.names);
  EXPECT_EQ(vec(typical<TypeParam>().parameters()), c.p);  // constructor order, not storage order
  EXPECT_EQ(rt.tag(), c.tag);
  EXPECT_STREQ(rt.model_name(), c.name);
  EXPECT_EQ(rt.reference_volume(), c.p[0]);
  // Overflow is a NonFiniteResult, never an infinity.
  auto values = c.huge.empty() ? c.p : c.huge;
  if (c.huge.empty()) values[1] = 1e307;
  const TypeParam huge = make<TypeParam>(values).value();
  EXPECT_EQ(huge.pressure(c.huge_ratio * huge.v0()).error(), EosError::non_finite_result());
  EXPECT_EQ(huge.bulk_modulus(c.huge_ratio * huge.v0()).error(), EosError::non_finite_result());
}

TYPED_TEST(IsothermalContract, StateAtV0) {
  const Case& c = kCase<TypeParam>;
  const TypeParam m = typical<TypeParam>();
  const double v0 = m.v0();
  EXPECT_NEAR(m.pressure(v0).value(), c.p_v0, 1e-13 * c.k_v0);
  EXPECT_NEAR(m.bulk_modulus(v0).value(), c.k_v0, 1e-13 * c.k_v0);
  EXPECT_NEAR(m.bulk_modulus_derivative(v0, 1e-4).value(), c.kp_v0, 1e-6);
  if (std::isnan(c.kpp_v0)) return;
  // K'' by differencing K' over P: pins every constant of the fourth-order terms.
  auto kp = [&](double v) { return m.bulk_modulus_derivative(v, 1e-4).value(); };
  const double h = 2e-3 * v0;
  const double dp = m.pressure(v0 - h).value() - m.pressure(v0 + h).value();
  EXPECT_NEAR((kp(v0 - h) - kp(v0 + h)) / dp, c.kpp_v0, 2e-4 / c.k_v0);
}

// Over V/V0 = 0.6 ... 1.2, each against an independent route: K against
// -V dP/dV, the volume against the pressure, the default K' against -V K_V / K.
TYPED_TEST(IsothermalContract, ConsistentFromCompressionToExpansion) {
  const TypeParam m = typical<TypeParam>();
  auto p = [&](double v) { return m.pressure(v).value(); };
  auto k = [&](double v) { return m.bulk_modulus(v).value(); };
  for (int i = 0; i <= 12; ++i) {
    const double v = (0.6 + 0.05 * i) * m.v0(), h = 1e-3 * v;
    EXPECT_NEAR(k(v), -v * derivative(p, v, h), 1e-9 * k(v)) << v;
    EXPECT_NEAR(m.volume(p(v)).value(), v, 1e-10 * v) << v;
    const double kp = m.bulk_modulus_derivative(v, 1e-4).value();
    EXPECT_NEAR(kp, -v * derivative(k, v, h) / k(v), 1e-6 * std::max(std::fabs(kp), 1.0)) << v;
  }
}

// K' against dK/dV / dP/dV and K'' against dK'/dV / dP/dV by differences;
// at V0, K' is K0' and K'' the given K0'' or the closed form the model implies.
TYPED_TEST(IsothermalContract, PressureDerivativesAgainstDifferences) {
  const Case& c = kCase<TypeParam>;
  const TypeParam m = typical<TypeParam>();
  auto p = [&](double v) { return m.pressure(v).value(); };
  auto k = [&](double v) { return m.bulk_modulus(v).value(); };
  auto kp = [&](double v) { return m.bulk_modulus_pressure_derivative(v).value(); };
  auto kpp = [&](double v) { return m.bulk_modulus_second_pressure_derivative(v).value(); };
  for (int i = 0; i <= 12; ++i) {
    const double v = (0.6 + 0.05 * i) * m.v0(), h = 1e-4 * v;
    const double dp = derivative(p, v, h);
    EXPECT_NEAR(kp(v), derivative(k, v, h) / dp, 1e-9 * std::max(std::fabs(kp(v)), 1.0)) << v;
    EXPECT_NEAR(kpp(v), derivative(kp, v, h) / dp, 1e-9 * std::max(std::fabs(kpp(v)), 1 / k(v)))
        << v;
  }
  const double v0 = m.v0();
  EXPECT_NEAR(kp(v0), c.kp_v0, 1e-13 * c.kp_v0);
  const std::optional<double> implied = m.implied_k0_double_prime();
  EXPECT_EQ(implied.has_value(), std::isnan(c.kpp_v0));  // implied exactly where not given
  const double expected = implied.value_or(c.kpp_v0);
  EXPECT_NEAR(kpp(v0), expected, 1e-12 * (std::fabs(expected) + 1 / c.k_v0));
  EXPECT_EQ(RtModel(m).implied_k0_double_prime(), implied);
}

// F = -int_V0^V P dV: each closed form against the quadrature of the model's
// own pressure, and -dF/dV against P, from compression to expansion.
TYPED_TEST(IsothermalContract, EnergyAgainstTheQuadratureOfThePressure) {
  const TypeParam m = typical<TypeParam>();
  const double v0 = m.v0(), scale = kCase<TypeParam>.k_v0 * v0;
  auto f = [&](double v) { return m.helmholtz_energy(v).value(); };
  auto quadrature = [&](double v) {
    return integrate([&](double x) noexcept { return m.pressure(x); }, v, v0);
  };
  EXPECT_LE(std::fabs(f(v0)), 1e-20 * scale);
  for (int i = 0; i <= 12; ++i) {
    const double v = (0.6 + 0.05 * i) * v0;
    EXPECT_NEAR(f(v), quadrature(v).value(), 1e-10 * std::fabs(f(v)) + 1e-15 * scale) << v;
    EXPECT_NEAR(-derivative(f, v, 1e-3 * v), m.pressure(v).value(), 1e-7 * scale / v0) << v;
  }
  // Far out, where the series of the potential forms give way to recurrences;
  // a volume outside the model's domain fails as the quadrature does.
  for (double v : {0.2 * v0, 0.3 * v0, 2.0 * v0, 3.0 * v0}) {
    const Result expected = quadrature(v), energy = m.helmholtz_energy(v);
    if (!expected) {
      EXPECT_EQ(energy.error(), expected.error()) << v;
      continue;
    }
    EXPECT_NEAR(energy.value(), *expected, 1e-10 * std::fabs(*expected)) << v;
  }
  EXPECT_EQ(RtModel(m).helmholtz_energy(0.7 * v0).value(), f(0.7 * v0));
  EXPECT_EQ(m.helmholtz_energy(kNaN).error(), EosError::invalid_state("volume", kPositive));
}

TYPED_TEST(IsothermalContract, BadStatesAreStateErrors) {
  const TypeParam m = typical<TypeParam>();
  const EosError volume = EosError::invalid_state("volume", kPositive);
  for (double v : {0.0, -0.0, -1.0, kNaN, kInf, -kInf}) {
    EXPECT_EQ(m.pressure(v).error(), volume) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), volume) << v;
    EXPECT_EQ(m.bulk_modulus_pressure_derivative(v).error(), volume) << v;
    EXPECT_EQ(m.bulk_modulus_second_pressure_derivative(v).error(), volume) << v;
  }
  EXPECT_EQ(m.volume(kNaN).error(), EosError::invalid_state("pressure", kFinite));
  EXPECT_EQ(m.volume(-kInf).error(), EosError::invalid_state("pressure", kFinite));
  EXPECT_EQ(m.bulk_modulus_derivative(m.v0(), 0.0).error(),
            EosError::invalid_state("relative_step", kPositive));
  EXPECT_EQ(m.bulk_modulus_derivative(m.v0(), 1.0).error(),
            EosError::invalid_state("relative_step", "must be smaller than one"));
  EXPECT_EQ(m.bulk_modulus_derivative(kNaN, 2.0).error(), volume);  // the volume first
}

TYPED_TEST(IsothermalContract, FirstFailingParameterWins) {
  const Case& c = kCase<TypeParam>;
  for (std::size_t i = 0; i < c.p.size(); ++i) {
    const EosError first =
        EosError::invalid_parameter(TypeParam::kParameterNames[i], message(c.checks[i]));
    for (double bad : {kNaN, kInf, -kInf, c.checks[i] == '+' ? 0.0 : kNaN}) {
      auto values = c.p;
      values[i] = bad;
      EXPECT_EQ(make<TypeParam>(values).error(), first) << i << ' ' << bad;
      for (std::size_t j = i + 1; j < values.size(); ++j) {  // later bad values never hide it
        auto both = values;
        both[j] = kNaN;
        EXPECT_EQ(make<TypeParam>(both).error(), first) << i << ' ' << j;
      }
    }
  }
  auto tiny = c.p;
  tiny[0] = 5e-324;  // subnormal but positive
  EXPECT_TRUE(make<TypeParam>(tiny) || make<TypeParam>(tiny).error().field() != "V0");
}

TYPED_TEST(IsothermalContract, ReferenceStateAndPressureDerivativeShift) {
  const Case& c = kCase<TypeParam>;
  const TypeParam m = typical<TypeParam>();
  const double v0 = 1.1 * m.v0(), k0 = 1.2 * c.k_v0;
  auto moved = m.with_reference_state(v0, k0);
  if constexpr (std::is_same_v<TypeParam, DensityPolynomial3>) {
    EXPECT_EQ(moved.error(), EosError::invalid_parameter("rt_eos", "density polynomial does not "
                                                         "support shifting its reference state"));
  } else {
    auto expected = c.p;
    expected[0] = v0;
    expected[1] = k0;
    EXPECT_EQ(vec(moved.value().parameters()), expected);
    // The derived constants follow the new state.
    EXPECT_NEAR(moved->pressure(v0).value(), c.p_v0, 1e-12 * k0);
    EXPECT_NEAR(moved->bulk_modulus(v0).value(), k0, 1e-12 * k0);
    EXPECT_NEAR(moved->bulk_modulus_derivative(v0, 1e-4).value(), c.kp_v0, 1e-6);
  }

  for (double zero : {0.0, -0.0}) {
    EXPECT_EQ(vec(m.with_pressure_derivative_shift(zero).value().parameters()), c.p);
  }
  auto shifted = m.with_pressure_derivative_shift(0.5);
  auto nan = m.with_pressure_derivative_shift(kNaN);  // NaN is not zero
  if (c.p.size() == 3) {  // exactly the (V0, K0, K0_prime) models shift
    auto expected = c.p;
    expected[2] += 0.5;
    EXPECT_EQ(vec(shifted.value().parameters()), expected);
    EXPECT_NEAR(shifted->bulk_modulus_derivative(m.v0(), 1e-4).value(), c.kp_v0 + 0.5, 1e-6);
    EXPECT_EQ(nan.error(), EosError::invalid_parameter("K0_prime", message(c.checks[2])));
  } else {
    const EosError refused = EosError::invalid_parameter(
        "kprime_log_coefficient", "reference EOS does not support a pressure-derivative shift");
    EXPECT_EQ(shifted.error(), refused);
    EXPECT_EQ(nan.error(), refused);
  }
}

const double kVolumes[] = {3.0, 6.0, 8.5, 10.0, 11.0, 11.25, 12.0, 14.0, 20.0};

// Pressures of the typical models against closed forms in x = V0/V written
// independently of the models.
TEST(ClosedForm, PressureAgainstTheFormula) {
  using std::exp, std::log, std::pow;
  const std::pair<RtModel, double (*)(double)> cases[] = {
      {typical<NaturalStrain2>(), [](double x) { return 160 * x * log(x); }},
      {typical<Murnaghan>(), [](double x) { return 160 / 4.5 * (pow(x, 4.5) - 1); }},
      {Murnaghan::create(11.25, 160, 0).value(), [](double x) { return 160 * log(x); }},
      {typical<Vinet>(),
       [](double x) {
         const double y = pow(x, -1 / 3.);
         return 480 * (1 - y) / (y * y) * exp(5.25 * (1 - y));
       }},
      // Sun-Morse divides by 3 also for the fourth root: s = (4 K0' + 1) / 3.
      {typical<SunMorse4>(),
       [](double x) {
         const double s = 19 / 3., e = exp(s * (1 - pow(x, -0.25)));
         return 640 / s * (e * e - e);
       }},
      {typical<DensityPolynomial3>(),
       [](double x) { return -100 + x * kRho0 * (-20 + x * kRho0 * (5 + 2 * x * kRho0)); }},
  };
  for (const auto& [model, pressure] : cases) {
    for (double v : kVolumes) {
      const double expected = pressure(11.25 / v);
      EXPECT_NEAR(model.pressure(v).value(), expected, 1e-12 * (160 + std::fabs(expected)))
          << model.model_name() << ' ' << v;
    }
  }
}

TEST(Reduction, EachLimitGivesTheSimplerModel) {
  // The K0'' that zero the fourth-order coefficients: b of BM4 and c3 of NaturalStrain4.
  const double bm4_kpp = -(0.5 * 1.5 + 35 / 9.) / 160, ns4_kpp = -(1 + 2.5 + 2.5 * 2.5) / 160;
  const std::tuple<RtModel, RtModel, double> pairs[] = {  // and the relative tolerance
      {BM3::create(11.25, 160, 4).value(), typical<BM2>(), 1e-15},
      {BM4::create(11.25, 160, 4.5, bm4_kpp).value(), typical<BM3>(), 1e-12},
      {NaturalStrain3::create(11.25, 160, 2).value(), typical<NaturalStrain2>(), 1e-15},
      {NaturalStrain4::create(11.25, 160, 4.5, ns4_kpp).value(), typical<NaturalStrain3>(), 1e-12},
      {SecondOrderMurnaghan::create(11.25, 160, 4.5, 0, 0).value(), typical<Murnaghan>(), 1e-13},
      {ModifiedTait::create(11.25, 160, 4.5, 0).value(), typical<Murnaghan>(), 1e-13},
      {RydbergStacey::create(11.25, 160, 4.5, 2 / 3.).value(), typical<Vinet>(), 1e-13},
      // Morse3 tends to Vinet with K0' = 1, with a gap of order K0' - 1.
      {Morse3::create(11.25, 160, 1 + 1e-7).value(), Vinet::create(11.25, 160, 1).value(), 1e-6},
  };
  for (const auto& [a, b, rel] : pairs) {
    SCOPED_TRACE(a.model_name());
    for (double v : kVolumes) {
      const double p = b.pressure(v).value(), k = b.bulk_modulus(v).value();
      EXPECT_NEAR(a.pressure(v).value(), p, rel * (160 + std::fabs(p))) << v;
      EXPECT_NEAR(a.bulk_modulus(v).value(), k, rel * std::fabs(k)) << v;
    }
  }
}

TEST(RtModel, WithParametersReplacesByNativeName) {
  const RtModel bm3 = BM3::create(11.0, 160.0, 4.0).value();
  auto replace = [](const RtModel& m, std::vector<std::string_view> names,
                    std::vector<double> values) { return m.with_parameters(names, values); };
  // Unnamed parameters keep their value; a repeated name takes its first value.
  EXPECT_EQ(vec(replace(bm3, {"K0_prime", "V0", "V0"}, {5, 12, 13})->get_if<BM3>()->parameters()),
            (std::vector<double>{12, 160, 5}));
  EXPECT_EQ(replace(bm3, {"V0", "K0"}, {1}).error(), FitError::invalid_input("native EOS parameter "
                                                    "names and values have different lengths"));
  EXPECT_EQ(replace(bm3, {"K0", "v0"}, {1, 2}).error(),
            FitError::invalid_input("parameter \"v0\" is unavailable for the native EOS"));
  EXPECT_FALSE(replace(bm3, {"Z"}, {12}));
  EXPECT_TRUE(replace(Holzapfel::create(1.125, 160, 4.5, 2, 10).value(), {"Z"}, {12}));
  EXPECT_EQ(replace(bm3, {"K0"}, {-1}).error(),
            FitError(EosError::invalid_parameter("K0", kPositive)));
}

// ---- Fuzz: every outcome is a finite value or an error, also through RtModel. ----

constexpr double kSpecial[] = {kNaN, -kNaN, kInf, -kInf, 0.0, -0.0, 5e-324, -5e-324, 0x1p-1022,
                               1e-310, 1e-300, 1e-150, kEps, 1 - kEps, 1.0, 1 + kEps, -1.0, 0.25,
                               -0.25, 1 / 3.0, -1 / 3.0, 2.0, 1e150, 1e300, 1e308, -1e308,
                               0x1.fffffffffffffp1023, -0x1.fffffffffffffp1023};

struct Random {
  std::mt19937_64 next;  // the standard fixes its sequence, so every platform draws the same
  double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
  double special() { return kSpecial[next() % std::size(kSpecial)]; }
  double bits() { return std::bit_cast<double>(next()); }  // NaN payloads, subnormals, infinities
  // A typical value kept, nudged, negated, or replaced by any double.
  double around(double x) {
    switch (next() % 8) {
      case 2: return x * (1.0 + (unit() - 0.5) * 1e-3);
      case 3: return x * (1.0 + (static_cast<double>(next() % 9) - 4.0) * kEps);
      case 4: return special();
      case 5: return bits();
      case 6: return -x;
      case 7: return (next() % 2 ? 1.0 : -1.0) * std::pow(10.0, unit() * 616.0 - 308.0);
      default: return x;
    }
  }
};

::testing::AssertionResult sound(const Result& r) {
  if (r ? std::isfinite(*r) : !r.error().has_field() || !r.error().field().empty()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << (r ? std::to_string(*r) : "an error without a field");
}
bool same(const Result& a, const Result& b) {
  if (a.has_value() != b.has_value()) return false;
  return a ? std::bit_cast<std::uint64_t>(*a) == std::bit_cast<std::uint64_t>(*b)
           : a.error() == b.error();
}
bool finite(const auto& values) {
  return std::ranges::all_of(values, [](double x) { return std::isfinite(x); });
}

template <class M>
void exercise(const M& m, Random& rng) {
  const RtModel rt = m;
  const double v0 = m.v0();
  for (double v : {v0, v0 * (1 + kEps), v0 * (1 - kEps), 0.6 * v0, 1.2 * v0, 0.1 * v0, 10 * v0,
                   1e-10 * v0, 1e10 * v0, rng.special(), rng.bits(), rng.around(v0)}) {
    const Result p = m.pressure(v), k = m.bulk_modulus(v);
    ASSERT_TRUE(sound(p) && sound(k)) << v;
    EXPECT_TRUE(same(rt.pressure(v), p) && same(rt.bulk_modulus(v), k)) << v;
    // K' and K'' are reported only where K is, and fail as it does there.
    const Result kp = m.bulk_modulus_pressure_derivative(v),
                 kpp = m.bulk_modulus_second_pressure_derivative(v);
    for (const Result& d : {kp, kpp}) ASSERT_TRUE(sound(d) && (k || d.error() == k.error())) << v;
    EXPECT_TRUE(same(rt.bulk_modulus_pressure_derivative(v), kp) &&
                same(rt.bulk_modulus_second_pressure_derivative(v), kpp))
        << v;
    for (double step : {1e-4, rng.around(1e-4)}) {
      const Result kp = m.bulk_modulus_derivative(v, step);
      ASSERT_TRUE(sound(kp)) << v << ' ' << step;
      EXPECT_TRUE(same(rt.bulk_modulus_derivative(v, step), kp)) << v << ' ' << step;
    }
    if constexpr (std::is_same_v<M, Holzapfel>) {
      ASSERT_TRUE(sound(m.bulk_modulus_derivative_eps(v, rng.around(1e-4)))) << v;
      ASSERT_TRUE(sound(holzapfel_bulk_modulus_derivative_analytical(
          rng.around(v0), v, rng.around(k.value_or(160.0)), rng.around(m.k0()),
          rng.around(m.c0()), rng.around(m.c2()))));
    }
  }
  for (double p : {m.pressure(0.8 * v0).value_or(10.0), rng.around(100.0), rng.special()}) {
    const Result v = m.volume(p);
    ASSERT_TRUE(sound(v) && (!v || *v > 0.0)) << p;
    EXPECT_TRUE(same(rt.volume(p), v)) << p;
  }
  const double new_v0 = rng.around(v0), new_k0 = rng.around(100.0);
  auto moved = m.with_reference_state(new_v0, new_k0);
  EXPECT_EQ(rt.with_reference_state(new_v0, new_k0).has_value(), moved.has_value());
  ASSERT_TRUE(!moved || (finite(moved->parameters()) && sound(moved->pressure(0.9 * new_v0))));
  for (double shift : {0.0, rng.around(0.5), rng.special()}) {
    auto shifted = m.with_pressure_derivative_shift(shift);
    EXPECT_EQ(rt.with_pressure_derivative_shift(shift).has_value(), shifted.has_value());
    ASSERT_TRUE(!shifted || (finite(shifted->parameters()) && sound(shifted->bulk_modulus(v0))));
  }
}

TYPED_TEST(IsothermalContract, FuzzEveryOutcomeIsFiniteOrAnError) {
  const Case& c = kCase<TypeParam>;
  Random rng{std::mt19937_64(c.tag)};
  int built = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    auto values = c.edge.empty() ? c.p : c.edge;
    for (double& x : values) x = rng.around(x);
    auto m = make<TypeParam>(values);
    if (!m) {
      EXPECT_TRUE(m.error().kind() == EosErrorKind::InvalidParameter && !m.error().field().empty());
      continue;
    }
    ++built;
    exercise(*m, rng);
    if (this->HasFatalFailure()) FAIL() << "parameters: " << ::testing::PrintToString(values);
  }
  EXPECT_GT(built, 150);  // the draws reach the evaluations, not only the constructor checks
}

}  // namespace
}  // namespace barometra
