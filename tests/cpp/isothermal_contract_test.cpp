// The isothermal contract, run over every model of the closed set.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string_view>

#include "barometra/isothermal/rt_model.hpp"

namespace barometra {
namespace {

constexpr const char* kPositive = "must be positive and finite";
constexpr const char* kFinite = "must be finite";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// What the contract needs to know about one model: a typical parameter set, the
// names and checks expected of it, and its state at V0, all written down here
// rather than taken from the model.
template <std::size_t N>
struct Case {
  std::size_t tag;  // index in RtModel
  const char* name;
  std::array<const char*, N> names;
  std::array<const char*, N> nan_message;  // what a NaN in each slot reports
  std::array<double, N> parameters;
  double p_at_v0;
  double k_at_v0;
  double k_prime_at_v0;         // NaN where no parameter fixes it
  double k_double_prime_at_v0;  // NaN where no parameter fixes it
  std::array<double, N> overflow_parameters;
  double overflow_volume_ratio;  // V/V0 at which both P and K overflow
};

template <class Model>
struct Tag {};

const auto& case_of(Tag<Baonza>) {
  static const Case<3> c{0, "Baonza", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kPositive},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

// The anchor values of the cubic, written out term by term.
constexpr double kRho0 = 3.58;
constexpr double kDensityP0 = -100.0 - 20.0 * kRho0 + 5.0 * kRho0 * kRho0 +
                              2.0 * kRho0 * kRho0 * kRho0;
constexpr double kDensitySlope0 = -20.0 + 10.0 * kRho0 + 6.0 * kRho0 * kRho0;
// K = rho dP/drho, so dK/dP = 1 + rho P''(rho) / P'(rho).
constexpr double kDensityKPrime0 = 1.0 + kRho0 * (10.0 + 12.0 * kRho0) / kDensitySlope0;

const auto& case_of(Tag<DensityPolynomial3>) {
  static const Case<6> c{1,
                         "DensityPolynomial3",
                         {"V0", "rho0", "c0", "c1", "c2", "c3"},
                         {kPositive, kPositive, kFinite, kFinite, kFinite, kPositive},
                         {11.25, kRho0, -100.0, -20.0, 5.0, 2.0},
                         kDensityP0,
                         kRho0 * kDensitySlope0,
                         kDensityKPrime0,
                         kNaN,
                         {11.25, kRho0, -100.0, -20.0, 5.0, 1e306},
                         0.1};
  return c;
}

const auto& case_of(Tag<BM2>) {
  static const Case<2> c{2, "BM2", {"V0", "K0"}, {kPositive, kPositive}, {11.25, 160.0}, 0.0, 160.0,
                         4.0, kNaN, {11.25, 1e307}, 0.1};
  return c;
}

const auto& case_of(Tag<BM3>) {
  static const Case<3> c{3, "BM3", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kFinite},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

const auto& case_of(Tag<BM4>) {
  static const Case<4> c{4,
                         "BM4",
                         {"V0", "K0", "K0_prime", "K0_double_prime"},
                         {kPositive, kPositive, kFinite, kFinite},
                         {11.25, 160.0, 4.5, -0.03},
                         0.0,
                         160.0,
                         4.5,
                         -0.03,
                         {11.25, 1e307, 4.5, 0.0},
                         0.1};
  return c;
}

const auto& case_of(Tag<Morse3>) {
  static const Case<3> c{5, "Morse3", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kFinite},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

const auto& case_of(Tag<Murnaghan>) {
  static const Case<3> c{6, "Murnaghan", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kFinite},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

const auto& case_of(Tag<SecondOrderMurnaghan>) {
  static const Case<5> c{7,
                         "SecondOrderMurnaghan",
                         {"V0", "K0", "K0_prime", "K0_double_prime", "P0"},
                         {kPositive, kPositive, kFinite, kFinite, kFinite},
                         {11.25, 160.0, 4.5, -0.03, 1.5},
                         1.5,
                         160.0,
                         4.5,
                         -0.03,
                         {11.25, 1e307, 4.5, 0.0, 1.5},
                         0.1};
  return c;
}

const auto& case_of(Tag<ModifiedTait>) {
  // K0'' = 0 makes a = 1 and z = V/V0, so K = K0 (V0/V)^K0' grows without bound.
  static const Case<4> c{8,
                         "ModifiedTait",
                         {"V0", "K0", "K0_prime", "K0_double_prime"},
                         {kPositive, kPositive, kFinite, kFinite},
                         {11.25, 160.0, 4.5, -0.03},
                         0.0,
                         160.0,
                         4.5,
                         -0.03,
                         {11.25, 1e307, 4.0, 0.0},
                         0.1};
  return c;
}

const auto& case_of(Tag<NaturalStrain2>) {
  static const Case<2> c{9, "NaturalStrain2", {"V0", "K0"}, {kPositive, kPositive},
                         {11.25, 160.0}, 0.0, 160.0, 2.0, kNaN, {11.25, 1e307}, 0.01};
  return c;
}

const auto& case_of(Tag<NaturalStrain3>) {
  static const Case<3> c{10, "NaturalStrain3", {"V0", "K0", "K0_prime"},
                         {kPositive, kPositive, kFinite}, {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5,
                         kNaN, {11.25, 1e307, 4.5}, 0.01};
  return c;
}

const auto& case_of(Tag<NaturalStrain4>) {
  static const Case<4> c{11,
                         "NaturalStrain4",
                         {"V0", "K0", "K0_prime", "K0_double_prime"},
                         {kPositive, kPositive, kFinite, kFinite},
                         {11.25, 160.0, 4.5, -0.03},
                         0.0,
                         160.0,
                         4.5,
                         -0.03,
                         {11.25, 1e307, 4.5, 0.0},
                         0.01};
  return c;
}

const auto& case_of(Tag<RydbergStacey>) {
  static const Case<4> c{12,
                         "RydbergStacey",
                         {"V0", "K0", "K0_prime", "K_infinity_prime"},
                         {kPositive, kPositive, kFinite, kFinite},
                         {11.25, 160.0, 4.5, 2.5},
                         0.0,
                         160.0,
                         4.5,
                         kNaN,
                         {11.25, 1e307, 4.5, 2.5},
                         0.1};
  return c;
}

const auto& case_of(Tag<SunMorse3>) {
  static const Case<3> c{13, "SunMorse3", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kFinite},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

const auto& case_of(Tag<SunMorse4>) {
  static const Case<3> c{14, "SunMorse4", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kFinite},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

const auto& case_of(Tag<Vinet>) {
  static const Case<3> c{15, "Vinet", {"V0", "K0", "K0_prime"}, {kPositive, kPositive, kFinite},
                         {11.25, 160.0, 4.5}, 0.0, 160.0, 4.5, kNaN,
                         {11.25, 1e307, 4.5}, 0.1};
  return c;
}

const auto& case_of(Tag<Holzapfel>) {
  static const Case<5> c{16,
                         "Holzapfel",
                         {"V0", "K0", "K0_prime", "n", "Z"},
                         {kPositive, kPositive, kFinite, kPositive, kPositive},
                         {1.125, 160.0, 4.5, 2.0, 10.0},
                         0.0,
                         160.0,
                         4.5,
                         kNaN,
                         {1.125, 160.0, 4.5, 2.0, 10.0},
                         1e-200};
  return c;
}

template <class Model>
Model build(const auto& parameters) {
  auto m = Model::from_parameters(parameters);
  EXPECT_TRUE(m) << Model::kName << ": " << m.error().text();
  return *m;
}

template <class Model>
Model typical() {
  return build<Model>(case_of(Tag<Model>{}).parameters);
}

// -V dP/dV by a five-point difference, independent of the model's K.
template <class Model>
double minus_v_dp_dv(const Model& m, double v) {
  const double h = 1e-3 * v;
  const double d = (-*m.pressure(v + 2 * h) + 8 * *m.pressure(v + h) - 8 * *m.pressure(v - h) +
                    *m.pressure(v - 2 * h)) /
                   (12 * h);
  return -v * d;
}

// dK/dP = (dK/dV) / (dP/dV) = -V (dK/dV) / K, with dK/dV by a five-point
// difference: a different route from the default derivative's dK/dP quotient.
template <class Model>
double k_prime_via_volume(const Model& m, double v) {
  const double h = 1e-3 * v;
  const double dk = (-*m.bulk_modulus(v + 2 * h) + 8 * *m.bulk_modulus(v + h) -
                     8 * *m.bulk_modulus(v - h) + *m.bulk_modulus(v - 2 * h)) /
                    (12 * h);
  return -v * dk / *m.bulk_modulus(v);
}

// V/V0 from 0.6 to 1.2, where every typical case is defined.
std::array<double, 13> grid() {
  std::array<double, 13> g{};
  for (std::size_t i = 0; i < g.size(); ++i) g[i] = 0.6 + 0.05 * static_cast<double>(i);
  return g;
}

template <class Model>
class IsothermalContract : public ::testing::Test {};

using AllModels =
    ::testing::Types<Baonza, DensityPolynomial3, BM2, BM3, BM4, Morse3, Murnaghan,
                     SecondOrderMurnaghan, ModifiedTait, NaturalStrain2, NaturalStrain3,
                     NaturalStrain4, RydbergStacey, SunMorse3, SunMorse4, Vinet, Holzapfel>;

class ModelNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return T::kName;
  }
};

TYPED_TEST_SUITE(IsothermalContract, AllModels, ModelNames);

TYPED_TEST(IsothermalContract, NamesParametersAndTag) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam m = typical<TypeParam>();
  EXPECT_STREQ(TypeParam::kName, c.name);
  ASSERT_EQ(TypeParam::kParameterNames.size(), c.names.size());
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    EXPECT_STREQ(TypeParam::kParameterNames[i], c.names[i]);
  }
  EXPECT_EQ(m.parameters(), c.parameters);  // constructor order, whatever the storage order
  EXPECT_EQ(m.v0(), c.parameters[0]);

  const RtModel rt = m;
  EXPECT_EQ(rt.tag(), c.tag);
  EXPECT_STREQ(rt.model_name(), c.name);
  EXPECT_EQ(rt.parameter_names().size(), c.names.size());
  EXPECT_EQ(rt.reference_volume(), c.parameters[0]);
}

TYPED_TEST(IsothermalContract, ReferenceStateAtV0) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam m = typical<TypeParam>();
  const double v0 = c.parameters[0];
  auto p = m.pressure(v0);
  auto k = m.bulk_modulus(v0);
  ASSERT_TRUE(p && k);
  EXPECT_NEAR(*p, c.p_at_v0, 1e-13 * c.k_at_v0);
  EXPECT_NEAR(*k, c.k_at_v0, 1e-13 * c.k_at_v0);
}

TYPED_TEST(IsothermalContract, BulkModulusIsMinusVdPdV) {
  const TypeParam m = typical<TypeParam>();
  const double v0 = m.v0();
  for (double ratio : grid()) {
    const double v = ratio * v0;
    auto k = m.bulk_modulus(v);
    ASSERT_TRUE(k) << ratio;
    EXPECT_NEAR(*k, minus_v_dp_dv(m, v), 1e-9 * std::fabs(*k)) << ratio;
  }
}

TYPED_TEST(IsothermalContract, VolumeInvertsPressure) {
  const TypeParam m = typical<TypeParam>();
  const RtModel rt = m;
  const double v0 = m.v0();
  for (double ratio : grid()) {
    const double v = ratio * v0;
    auto p = m.pressure(v);
    ASSERT_TRUE(p) << ratio;
    auto back = m.volume(*p);
    ASSERT_TRUE(back) << ratio << ": " << back.error().text();
    EXPECT_NEAR(*back, v, 1e-10 * v) << ratio;
    EXPECT_DOUBLE_EQ(*rt.volume(*p), *back) << ratio;
  }
}

TYPED_TEST(IsothermalContract, DefaultDerivativeAgreesWithDerivativeInVolume) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam m = typical<TypeParam>();
  const RtModel rt = m;
  const double v0 = m.v0();
  for (double ratio : grid()) {
    const double v = ratio * v0;
    auto kp = m.bulk_modulus_derivative(v, 1e-4);
    ASSERT_TRUE(kp) << ratio;
    EXPECT_NEAR(*kp, k_prime_via_volume(m, v), 1e-6 * std::max(std::fabs(*kp), 1.0)) << ratio;
    // Holzapfel included: RtModel keeps the default for every model. (Not
    // bitwise: the compiler may fold libm calls on one path and not the other.)
    EXPECT_DOUBLE_EQ(*rt.bulk_modulus_derivative(v, 1e-4), *kp) << ratio;
  }
  if (!std::isnan(c.k_prime_at_v0)) {
    EXPECT_NEAR(*m.bulk_modulus_derivative(v0, 1e-4), c.k_prime_at_v0, 1e-6);
  }
}

// d2K/dP2 at V0 by differencing K' over P, for the models with a K0''
// parameter: a check on every constant of their fourth-order terms.
template <class Model>
class SecondPressureDerivative : public ::testing::Test {};

using ModelsWithK0DoublePrime =
    ::testing::Types<BM4, SecondOrderMurnaghan, ModifiedTait, NaturalStrain4>;
TYPED_TEST_SUITE(SecondPressureDerivative, ModelsWithK0DoublePrime, ModelNames);

TYPED_TEST(SecondPressureDerivative, MatchesK0DoublePrimeAtV0) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam m = typical<TypeParam>();
  const double v0 = m.v0(), h = 2e-3 * v0;
  const double kpp = (*m.bulk_modulus_derivative(v0 - h, 1e-4) -
                      *m.bulk_modulus_derivative(v0 + h, 1e-4)) /
                     (*m.pressure(v0 - h) - *m.pressure(v0 + h));
  EXPECT_NEAR(kpp * c.k_at_v0, c.k_double_prime_at_v0 * c.k_at_v0, 2e-4);
}

TYPED_TEST(IsothermalContract, DefaultDerivativeStateChecks) {
  const TypeParam m = typical<TypeParam>();
  const double v0 = m.v0();
  EXPECT_EQ(m.bulk_modulus_derivative(0.0, 1e-4).error(),
            EosError::invalid_state("volume", kPositive));
  EXPECT_EQ(m.bulk_modulus_derivative(v0, 0.0).error(),
            EosError::invalid_state("relative_step", kPositive));
  EXPECT_EQ(m.bulk_modulus_derivative(v0, kNaN).error(),
            EosError::invalid_state("relative_step", kPositive));
  EXPECT_EQ(m.bulk_modulus_derivative(v0, 1.0).error(),
            EosError::invalid_state("relative_step", "must be smaller than one"));
  // The volume is checked before the step.
  EXPECT_EQ(m.bulk_modulus_derivative(kNaN, 2.0).error().field(), "volume");
}

TYPED_TEST(IsothermalContract, FirstFailingParameterWins) {
  const auto& c = case_of(Tag<TypeParam>{});
  const std::size_t n = c.parameters.size();
  for (std::size_t i = 0; i < n; ++i) {
    auto values = c.parameters;
    values[i] = kNaN;
    EXPECT_EQ(TypeParam::from_parameters(values).error(),
              EosError::invalid_parameter(c.names[i], c.nan_message[i]))
        << i;
    // A later bad slot never hides an earlier one.
    for (std::size_t j = i + 1; j < n; ++j) {
      auto both = values;
      both[j] = -kInf;
      EXPECT_EQ(TypeParam::from_parameters(both).error().field(), std::string_view(c.names[i]))
          << i << ", " << j;
    }
    // Zero fails only the positive checks; infinity fails every check.
    auto zero = c.parameters;
    zero[i] = 0.0;
    auto built = TypeParam::from_parameters(zero);
    if (std::string_view(c.nan_message[i]) == kPositive) {
      EXPECT_EQ(built.error(), EosError::invalid_parameter(c.names[i], kPositive)) << i;
    } else if (!built) {
      EXPECT_NE(built.error().message(), kFinite) << i;
    }
    auto infinite = c.parameters;
    infinite[i] = kInf;
    EXPECT_EQ(TypeParam::from_parameters(infinite).error(),
              EosError::invalid_parameter(c.names[i], c.nan_message[i]))
        << i;
  }
  // Positive subnormal V0 passes its check (the model may refuse later ones).
  auto tiny = c.parameters;
  tiny[0] = 5e-324;
  auto built = TypeParam::from_parameters(tiny);
  if (!built) {
    EXPECT_NE(built.error().field(), "V0");
  }
}

TYPED_TEST(IsothermalContract, InvalidVolumeIsAStateError) {
  const TypeParam m = typical<TypeParam>();
  const RtModel rt = m;
  const EosError expected = EosError::invalid_state("volume", kPositive);
  for (double v : {0.0, -0.0, -1.0, kNaN, kInf, -kInf}) {
    EXPECT_EQ(m.pressure(v).error(), expected) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), expected) << v;
    EXPECT_EQ(rt.pressure(v).error(), expected) << v;
  }
  // A positive subnormal volume passes the state check.
  for (auto r : {m.pressure(5e-324), m.bulk_modulus(5e-324)}) {
    if (!r) {
      EXPECT_NE(r.error(), expected);
    }
  }
  EXPECT_EQ(m.volume(kNaN).error(), EosError::invalid_state("pressure", kFinite));
  EXPECT_EQ(m.volume(kInf).error(), EosError::invalid_state("pressure", kFinite));
}

TYPED_TEST(IsothermalContract, OverflowIsNonFiniteResultNeverInfinity) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam huge = build<TypeParam>(c.overflow_parameters);
  const double v = c.overflow_volume_ratio * huge.v0();
  EXPECT_EQ(huge.pressure(v).error(), EosError::non_finite_result());
  EXPECT_EQ(huge.bulk_modulus(v).error(), EosError::non_finite_result());

  // Across the whole double range, every outcome is a finite value or an error.
  for (const TypeParam& m : {typical<TypeParam>(), huge}) {
    for (double ratio = 1e-300; ratio < 1e300; ratio *= 1e10) {
      for (auto r : {m.pressure(ratio * m.v0()), m.bulk_modulus(ratio * m.v0())}) {
        if (r) {
          EXPECT_TRUE(std::isfinite(*r)) << ratio;
        }
      }
    }
  }
}

TYPED_TEST(IsothermalContract, WithReferenceState) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam m = typical<TypeParam>();
  const double v0 = m.v0(), k0 = c.k_at_v0;
  auto moved = m.with_reference_state(1.1 * v0, 1.2 * k0);
  auto via_rt = RtModel(m).with_reference_state(1.1 * v0, 1.2 * k0);
  if constexpr (std::is_same_v<TypeParam, DensityPolynomial3>) {
    const EosError refused = EosError::invalid_parameter(
        "rt_eos", "density polynomial does not support shifting its reference state");
    EXPECT_EQ(moved.error(), refused);
    EXPECT_EQ(via_rt.error(), refused);
    EXPECT_EQ(m.with_reference_state(0.0, kNaN).error(), refused);
  } else {
    ASSERT_TRUE(moved);
    ASSERT_TRUE(via_rt);
    EXPECT_EQ(moved->v0(), 1.1 * v0);
    EXPECT_EQ(via_rt->tag(), c.tag);
    // The other parameters stay, and the derived constants follow the new state.
    const auto before = m.parameters(), after = moved->parameters();
    for (std::size_t i = 2; i < before.size(); ++i) EXPECT_EQ(after[i], before[i]) << i;
    EXPECT_NEAR(*moved->bulk_modulus(1.1 * v0), 1.2 * k0, 1e-12 * k0);
    EXPECT_NEAR(*moved->pressure(1.1 * v0), c.p_at_v0, 1e-12 * k0);

    EXPECT_EQ(m.with_reference_state(0.0, k0).error(),
              EosError::invalid_parameter("V0", kPositive));
    EXPECT_EQ(m.with_reference_state(v0, -k0).error(),
              EosError::invalid_parameter("K0", kPositive));
    EXPECT_EQ(m.with_reference_state(kNaN, kNaN).error().field(), "V0");
  }
}

TYPED_TEST(IsothermalContract, PressureDerivativeShift) {
  const auto& c = case_of(Tag<TypeParam>{});
  const TypeParam m = typical<TypeParam>();
  for (double zero : {0.0, -0.0}) {
    auto same = m.with_pressure_derivative_shift(zero);
    ASSERT_TRUE(same);
    EXPECT_EQ(same->parameters(), m.parameters());
    EXPECT_TRUE(RtModel(m).with_pressure_derivative_shift(zero));
  }
  const EosError refused = EosError::invalid_parameter(
      "kprime_log_coefficient", "reference EOS does not support a pressure-derivative shift");
  auto shifted = m.with_pressure_derivative_shift(0.5);
  auto nan_shift = m.with_pressure_derivative_shift(kNaN);  // NaN is not zero
  if constexpr (TypeParam::kShiftable) {
    ASSERT_TRUE(shifted);
    auto expected = m.parameters();
    expected[2] += 0.5;
    EXPECT_EQ(shifted->parameters(), expected);
    EXPECT_NEAR(*shifted->bulk_modulus_derivative(m.v0(), 1e-4), c.k_prime_at_v0 + 0.5, 1e-6);
    EXPECT_EQ(nan_shift.error(), EosError::invalid_parameter("K0_prime", c.nan_message[2]));
  } else {
    EXPECT_EQ(shifted.error(), refused);
    EXPECT_EQ(nan_shift.error(), refused);
    EXPECT_EQ(RtModel(m).with_pressure_derivative_shift(0.5).error(), refused);
  }
}

}  // namespace
}  // namespace barometra
