#include "barometra/isothermal/finite_strain.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace barometra {
namespace {

constexpr double kV0 = 11.25, kK0 = 160.0;

// Volumes from strong compression to expansion.
const double kVolumes[] = {3.0, 6.0, 8.5, 10.0, 11.0, 11.25, 12.0, 14.0, 20.0};

template <class A, class B>
void expect_same_curve(const A& a, const B& b, double rel) {
  for (double v : kVolumes) {
    auto pa = a.pressure(v), pb = b.pressure(v);
    ASSERT_TRUE(pa && pb) << v;
    EXPECT_NEAR(*pa, *pb, rel * (std::fabs(*pb) + 1e-12)) << v;
    auto ka = a.bulk_modulus(v), kb = b.bulk_modulus(v);
    ASSERT_TRUE(ka && kb) << v;
    EXPECT_NEAR(*ka, *kb, rel * std::fabs(*kb)) << v;
  }
}

TEST(FiniteStrain, BM3WithK0Prime4IsBM2) {
  expect_same_curve(*BM3::create(kV0, kK0, 4.0), *BM2::create(kV0, kK0), 1e-15);
}

TEST(FiniteStrain, BM4WithZeroFourthOrderCoefficientIsBM3) {
  for (double kp : {3.2, 4.0, 5.7}) {
    const double kpp = -((kp - 4.0) * (kp - 3.0) + 35.0 / 9.0) / kK0;
    expect_same_curve(*BM4::create(kV0, kK0, kp, kpp), *BM3::create(kV0, kK0, kp), 1e-12);
  }
}

TEST(FiniteStrain, NaturalStrainReductions) {
  expect_same_curve(*NaturalStrain3::create(kV0, kK0, 2.0), *NaturalStrain2::create(kV0, kK0),
                    1e-15);
  for (double kp : {3.5, 5.0}) {
    const double kpp = -(1.0 + (kp - 2.0) + (kp - 2.0) * (kp - 2.0)) / kK0;
    expect_same_curve(*NaturalStrain4::create(kV0, kK0, kp, kpp),
                      *NaturalStrain3::create(kV0, kK0, kp), 1e-12);
  }
}

TEST(FiniteStrain, BM3MatchesAnIndependentlyWrittenFormula) {
  const auto bm3 = *BM3::create(kV0, kK0, 4.8);
  for (double v : kVolumes) {
    const double eta = kV0 / v;
    const double expected = 1.5 * kK0 * (std::pow(eta, 7.0 / 3.0) - std::pow(eta, 5.0 / 3.0)) *
                            (1.0 + 0.75 * (4.8 - 4.0) * (std::pow(eta, 2.0 / 3.0) - 1.0));
    EXPECT_NEAR(*bm3.pressure(v), expected, 1e-12 * (std::fabs(expected) + 1.0)) << v;
  }
}

TEST(FiniteStrain, NaturalStrain2MatchesItsClosedForm) {
  const auto ns2 = *NaturalStrain2::create(kV0, kK0);
  for (double v : kVolumes) {
    const double x = kV0 / v;
    EXPECT_NEAR(*ns2.pressure(v), kK0 * x * std::log(x), 1e-12 * kK0) << v;
    EXPECT_NEAR(*ns2.bulk_modulus(v), kK0 * x * (1.0 + std::log(x)), 1e-12 * kK0) << v;
  }
}

TEST(FiniteStrain, ExpansionGivesNegativePressure) {
  EXPECT_LT(*BM3::create(kV0, kK0, 4.0)->pressure(1.1 * kV0), 0.0);
  EXPECT_LT(*NaturalStrain3::create(kV0, kK0, 4.0)->pressure(1.1 * kV0), 0.0);
}

TEST(FiniteStrain, ChecksRunInDeclarationOrder) {
  EXPECT_EQ(BM4::create(0.0, kK0, NAN, NAN).error().field(), "V0");
  EXPECT_EQ(BM4::create(kV0, -1.0, NAN, NAN).error().field(), "K0");
  auto kp = BM4::create(kV0, kK0, INFINITY, NAN).error();
  EXPECT_EQ(kp, EosError::invalid_parameter("K0_prime", "must be finite"));
  EXPECT_EQ(BM4::create(kV0, kK0, 4.0, NAN).error().field(), "K0_double_prime");
  // A positive subnormal passes "positive and finite".
  EXPECT_TRUE(BM2::create(5e-324, 5e-324));
}

TEST(FiniteStrain, PressureDerivativeShift) {
  const auto bm3 = *BM3::create(kV0, kK0, 4.0);
  auto shifted = bm3.with_pressure_derivative_shift(1.0);
  ASSERT_TRUE(shifted);
  EXPECT_EQ(shifted->parameters()[2], 5.0);
  EXPECT_EQ(bm3.parameters()[2], 4.0);
  EXPECT_EQ(bm3.with_pressure_derivative_shift(INFINITY).error(),
            EosError::invalid_parameter("K0_prime", "must be finite"));

  const auto bm4 = *BM4::create(kV0, kK0, 4.0, -0.02);
  EXPECT_TRUE(bm4.with_pressure_derivative_shift(-0.0));
  EXPECT_EQ(bm4.with_pressure_derivative_shift(1.0).error(),
            EosError::invalid_parameter("kprime_log_coefficient",
                                        "reference EOS does not support a pressure-derivative shift"));
  // NaN is not zero.
  EXPECT_FALSE(BM2::create(kV0, kK0)->with_pressure_derivative_shift(NAN));
}

TEST(FiniteStrain, ReferenceStateRebuildsThroughTheConstructor) {
  const auto ns4 = *NaturalStrain4::create(kV0, kK0, 4.0, -0.03);
  auto moved = ns4.with_reference_state(12.0, 150.0);
  ASSERT_TRUE(moved);
  EXPECT_EQ(moved->parameters(), (std::array<double, 4>{12.0, 150.0, 4.0, -0.03}));
  EXPECT_EQ(ns4.with_reference_state(0.0, 150.0).error(),
            EosError::invalid_parameter("V0", "must be positive and finite"));
}

}  // namespace
}  // namespace barometra
