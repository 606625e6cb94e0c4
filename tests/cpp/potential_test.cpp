#include "barometra/isothermal/potential.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace barometra {
namespace {

constexpr double kV0 = 11.25, kK0 = 160.0;
constexpr double kEps = 2.220446049250313e-16;
constexpr const char* kPositive = "must be positive and finite";
constexpr const char* kMorse3Message = "Morse3 requires K0_prime != 1";
constexpr const char* kSunMorseMessage = "Sun-Morse requires (n*K0_prime+1)/3 != 0";

const double kVolumes[] = {4.0, 7.0, 9.5, 11.0, 11.25, 12.0, 14.0, 18.0};

template <class A, class B>
void expect_same_curve(const A& a, const B& b, double rel) {
  for (double v : kVolumes) {
    auto pa = a.pressure(v), pb = b.pressure(v);
    ASSERT_TRUE(pa && pb) << v;
    EXPECT_NEAR(*pa, *pb, rel * kK0) << v;
    auto ka = a.bulk_modulus(v), kb = b.bulk_modulus(v);
    ASSERT_TRUE(ka && kb) << v;
    EXPECT_NEAR(*ka, *kb, rel * std::fabs(*kb)) << v;
  }
}

TEST(Morse3, RefusesKPrimeWithinOneEpsilonOfOne) {
  const EosError refused = EosError::invalid_parameter("K0_prime", kMorse3Message);
  EXPECT_EQ(Morse3::create(kV0, kK0, 1.0).error(), refused);
  // |K0' - 1| <= eps is refused, so the tolerance test is inclusive.
  EXPECT_EQ(Morse3::create(kV0, kK0, 1.0 + kEps).error(), refused);
  EXPECT_EQ(Morse3::create(kV0, kK0, 1.0 - kEps / 2).error(), refused);
  EXPECT_TRUE(Morse3::create(kV0, kK0, 1.0 + 2 * kEps));
  EXPECT_TRUE(Morse3::create(kV0, kK0, 1.0 - 2 * kEps));
  // The common checks come first.
  EXPECT_EQ(Morse3::create(kV0, 0.0, 1.0).error().field(), "K0");
}

TEST(Morse3, ShiftOntoOneIsRefused) {
  auto m = *Morse3::create(kV0, kK0, 1.5);
  EXPECT_EQ(m.with_pressure_derivative_shift(-0.5).error(),
            EosError::invalid_parameter("K0_prime", kMorse3Message));
  EXPECT_EQ(m.with_pressure_derivative_shift(std::numeric_limits<double>::infinity()).error(),
            EosError::invalid_parameter("K0_prime", "must be finite"));
}

// As K0' -> 1, Morse3 tends to 3 K0 (1 - y) / y^2, which is Vinet with K0' = 1;
// the gap is of order K0' - 1.
TEST(Morse3, NearKPrimeOneTendsToVinet) {
  expect_same_curve(*Morse3::create(kV0, kK0, 1.0 + 1e-7), *Vinet::create(kV0, kK0, 1.0), 1e-6);
  for (double v : kVolumes) {
    const double y = std::cbrt(v / kV0);
    EXPECT_NEAR(*Vinet::create(kV0, kK0, 1.0)->pressure(v), 3 * kK0 * (1 - y) / (y * y),
                1e-13 * kK0);
  }
}

TEST(SunMorse, RefusesAVanishingCoefficientForItsOwnOrder) {
  const EosError refused = EosError::invalid_parameter("K0_prime", kSunMorseMessage);
  EXPECT_EQ(SunMorse3::create(kV0, kK0, -1.0 / 3.0).error(), refused);
  EXPECT_EQ(SunMorse4::create(kV0, kK0, -0.25).error(), refused);
  // The other order's root is harmless: m enters the coefficient.
  EXPECT_TRUE(SunMorse3::create(kV0, kK0, -0.25));
  EXPECT_TRUE(SunMorse4::create(kV0, kK0, -1.0 / 3.0));
  // Within one epsilon of the root: 3 * eps / 3 is eps, refused; 4 eps passes.
  EXPECT_EQ(SunMorse3::create(kV0, kK0, -1.0 / 3.0 + kEps).error(), refused);
  EXPECT_TRUE(SunMorse3::create(kV0, kK0, -1.0 / 3.0 + 4 * kEps));
  EXPECT_EQ(SunMorse3::create(kV0, -kK0, -1.0 / 3.0).error().field(), "K0");

  EXPECT_EQ(SunMorse3::create(kV0, kK0, 0.0)->with_pressure_derivative_shift(-1.0 / 3.0).error(),
            refused);
  EXPECT_EQ(SunMorse4::create(kV0, kK0, 0.0)->with_pressure_derivative_shift(-0.25).error(),
            refused);
}

// The fourth-order model takes the fourth root but keeps the divisor 3 in s.
TEST(SunMorse, FourthOrderMatchesItsClosedForm) {
  const double kp = 4.5;
  const auto m4 = *SunMorse4::create(kV0, kK0, kp);
  const auto m3 = *SunMorse3::create(kV0, kK0, kp);
  for (double v : kVolumes) {
    const double s4 = (4 * kp + 1) / 3, y4 = std::pow(v / kV0, 0.25);
    const double e4 = std::exp(s4 * (1 - y4));
    EXPECT_NEAR(*m4.pressure(v), 4 * kK0 / s4 * (e4 * e4 - e4), 1e-12 * kK0) << v;
    EXPECT_NEAR(*m4.bulk_modulus(v), kK0 * y4 * (2 * e4 * e4 - e4), 1e-12 * kK0) << v;
    const double s3 = (3 * kp + 1) / 3, y3 = std::cbrt(v / kV0);
    const double e3 = std::exp(s3 * (1 - y3));
    EXPECT_NEAR(*m3.pressure(v), 3 * kK0 / s3 * (e3 * e3 - e3), 1e-12 * kK0) << v;
  }
}

// With K_infinity' = 2/3 the Rydberg-Stacey exponents become Vinet's.
TEST(RydbergStacey, ReducesToVinet) {
  for (double kp : {3.0, 4.5, 7.0}) {
    expect_same_curve(*RydbergStacey::create(kV0, kK0, kp, 2.0 / 3.0), *Vinet::create(kV0, kK0, kp),
                      1e-13);
  }
}

TEST(Vinet, MatchesAnIndependentlyWrittenFormula) {
  const auto m = *Vinet::create(kV0, kK0, 4.5);
  for (double v : kVolumes) {
    const double x = std::pow(v / kV0, 1.0 / 3.0);
    const double expected = 3 * kK0 * (1 - x) * std::pow(x, -2.0) * std::exp(1.5 * 3.5 * (1 - x));
    EXPECT_NEAR(*m.pressure(v), expected, 1e-12 * kK0) << v;
  }
}

class BaonzaTest : public ::testing::Test {
 protected:
  static constexpr double kKPrime = 4.5;
  const Baonza m = *Baonza::create(kV0, kK0, kKPrime);
  const double psp = 0.85 * kK0 / kKPrime;
  // u = Psp^0.15 - ln(V/V0) 0.15 / A reaches 0 here, with A = Psp^0.85 / K0.
  const double spinodal = kV0 * std::exp(std::pow(psp, 0.15) * std::pow(psp, 0.85) / kK0 / 0.15);
};

TEST_F(BaonzaTest, BulkModulusFollowsItsPressureLaw) {
  for (double v : {4.0, 7.0, 11.25, 14.0, 20.0, 30.0}) {
    const double p = *m.pressure(v);
    EXPECT_NEAR(*m.bulk_modulus(v), kK0 * std::pow((p + psp) / psp, 0.85),
                1e-12 * *m.bulk_modulus(v))
        << v;
  }
}

TEST_F(BaonzaTest, StrongExpansionLeavesThePseudospinodalDomain) {
  const EosError outside =
      EosError::invalid_state("volume", "is outside the Baonza EOS pseudospinodal domain");
  for (double v : {1.001 * spinodal, 10 * spinodal, 1e300}) {
    EXPECT_EQ(m.pressure(v).error(), outside) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), outside) << v;
  }
  // Just inside, the pressure approaches -Psp.
  auto p = m.pressure(0.999 * spinodal);
  ASSERT_TRUE(p);
  EXPECT_NEAR(*p, -psp, 1e-6 * psp);
  // The invalid-volume check still comes first.
  EXPECT_EQ(m.pressure(-spinodal).error(), EosError::invalid_state("volume", kPositive));
}

TEST_F(BaonzaTest, KPrimeMustBePositive) {
  for (double kp : {0.0, -0.0, -1.0}) {
    EXPECT_EQ(Baonza::create(kV0, kK0, kp).error(),
              EosError::invalid_parameter("K0_prime", kPositive));
  }
  EXPECT_TRUE(Baonza::create(kV0, kK0, 5e-324));  // subnormal but positive
  EXPECT_EQ(m.with_pressure_derivative_shift(-kKPrime).error(),
            EosError::invalid_parameter("K0_prime", kPositive));
  EXPECT_EQ(m.with_pressure_derivative_shift(-2 * kKPrime).error(),
            EosError::invalid_parameter("K0_prime", kPositive));
}

}  // namespace
}  // namespace barometra
