// Edge cases of the potential-type models and of Holzapfel's AP2 form.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <utility>

#include "barometra/isothermal/holzapfel.hpp"
#include "barometra/isothermal/potential.hpp"

namespace barometra {
namespace {

constexpr double kV0 = 11.25, kK0 = 160.0, kEps = 2.220446049250313e-16;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr const char* kPositive = "must be positive and finite";
constexpr const char* kFinite = "must be finite";

// Morse3 divides by K0' - 1 and Sun-Morse by s = (m K0' + 1) / 3: a K0' within
// one epsilon (inclusive) of the root is refused, when built and when shifted.
TEST(Potential, RefusesAVanishingDivisor) {
  const EosError morse = EosError::invalid_parameter("K0_prime", "Morse3 requires K0_prime != 1");
  const EosError sun =
      EosError::invalid_parameter("K0_prime", "Sun-Morse requires (n*K0_prime+1)/3 != 0");
  for (double kp : {1.0, 1.0 + kEps, 1.0 - kEps / 2}) {
    EXPECT_EQ(Morse3::create(kV0, kK0, kp).error(), morse) << kp;
  }
  EXPECT_TRUE(Morse3::create(kV0, kK0, 1.0 + 2 * kEps) && Morse3::create(kV0, kK0, 1.0 - 2 * kEps));
  EXPECT_EQ(Morse3::create(kV0, 0.0, 1.0).error().field(), "K0");  // the common checks first
  EXPECT_EQ(Morse3::create(kV0, kK0, 1.5)->with_pressure_derivative_shift(-0.5).error(), morse);

  EXPECT_EQ(SunMorse3::create(kV0, kK0, -1.0 / 3).error(), sun);
  EXPECT_EQ(SunMorse3::create(kV0, kK0, -1.0 / 3 + kEps).error(), sun);
  EXPECT_TRUE(SunMorse3::create(kV0, kK0, -1.0 / 3 + 4 * kEps));
  EXPECT_EQ(SunMorse4::create(kV0, kK0, -0.25).error(), sun);
  EXPECT_EQ(SunMorse4::create(kV0, kK0, 0.0)->with_pressure_derivative_shift(-0.25).error(), sun);
  // Each order has its own root.
  EXPECT_TRUE(SunMorse3::create(kV0, kK0, -0.25) && SunMorse4::create(kV0, kK0, -1.0 / 3));
}

TEST(Baonza, BulkModulusLawDomainAndExponents) {
  const double kp = 4.5, psp = 0.85 * kK0 / kp;
  const Baonza m = Baonza::create(kV0, kK0, kp).value();
  for (double v : {4.0, 7.0, 11.25, 14.0, 20.0, 30.0}) {
    const double k = m.bulk_modulus(v).value();
    EXPECT_NEAR(k, kK0 * std::pow((m.pressure(v).value() + psp) / psp, 0.85), 1e-12 * k) << v;
  }
  // u = Psp^0.15 - 0.15 ln(V/V0) K0 / Psp^0.85 reaches zero at V0 exp(Psp / (0.15 K0)),
  // where P tends to -Psp.
  const double spinodal = kV0 * std::exp(psp / (0.15 * kK0));
  EXPECT_NEAR(m.pressure(0.999 * spinodal).value(), -psp, 1e-6 * psp);
  const EosError outside =
      EosError::invalid_state("volume", "is outside the Baonza EOS pseudospinodal domain");
  for (double v : {1.001 * spinodal, 1e300}) {
    EXPECT_EQ(m.pressure(v).error(), outside) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), outside) << v;
  }
  // 1 - beta and the exponents 1/(1 - beta) and 1/(1 - beta) - 1 are the doubles
  // as they round from beta = 0.85, so the exponent products miss 1 and beta by a
  // few 1e-17. At a huge Psp, ln(Psp) lifts that above rounding in P and K at V0.
  const double omb = 1.0 - 0.85, pe = 1.0 / omb, ke = pe - 1.0, huge_psp = 0.85 * 1e300;
  const Baonza huge = Baonza::create(1.0, 1e300, 1.0).value();
  EXPECT_NEAR(huge.pressure(1.0).value() / huge_psp,
              std::expm1(std::fma(omb, pe, -1.0) * std::log(huge_psp)), 1e-14);
  EXPECT_NEAR(huge.bulk_modulus(1.0).value() / 1e300,
              std::exp(std::fma(omb, ke, -0.85) * std::log(huge_psp)), 1e-14);
}

constexpr double kHv0 = 1.125, kHkp = 4.5;
const Holzapfel kHolzapfel = Holzapfel::create(kHv0, kK0, kHkp, 2.0, 10.0).value();

// c0 = -ln(3 K0 / P_FG0), P_FG0 = 1003.6 (n Z / (10 V0))^(5/3), c2 = 1.5 (K0' - 3) - c0,
// recomputed for a new reference state.
TEST(Holzapfel, ConstantsFollowTheFermiGasPressure) {
  for (const auto& [m, v0, k0] : {std::tuple{kHolzapfel, kHv0, kK0},
                                  std::tuple{kHolzapfel.with_reference_state(1.2, 140.0).value(),
                                             1.2, 140.0}}) {
    const double c0 = -std::log(3.0 * k0 / (1003.6 * std::pow(20.0 / (10.0 * v0), 5.0 / 3.0)));
    EXPECT_NEAR(m.c0(), c0, 1e-14 * std::fabs(c0));
    EXPECT_NEAR(m.c2(), 1.5 * (kHkp - 3.0) - c0, 1e-14);
  }
  // n and Z enter only as their product.
  EXPECT_EQ(Holzapfel::create(kHv0, kK0, kHkp, 4.0, 5.0)->c0(), kHolzapfel.c0());
}

TEST(Holzapfel, AnalyticDerivativeAgreesWithFiniteDifferences) {
  const Holzapfel& m = kHolzapfel;
  for (double ratio : {0.3, 0.5, 0.7, 0.85, 1.0, 1.1, 1.3}) {
    const double v = ratio * kHv0, numeric = m.bulk_modulus_derivative_eps(v, 1e-4).value();
    auto analytic = holzapfel_bulk_modulus_derivative_analytical(kHv0, v, m.bulk_modulus(v).value(),
                                                                 kK0, m.c0(), m.c2());
    EXPECT_NEAR(analytic.value(), numeric, 1e-6 * std::fabs(numeric)) << ratio;
    // The two central differences differ only in where they place the step.
    EXPECT_NEAR(m.bulk_modulus_derivative(v, 1e-4).value(), numeric, 1e-9 * std::fabs(numeric));
  }
  EXPECT_NEAR(
      holzapfel_bulk_modulus_derivative_analytical(kHv0, kHv0, kK0, kK0, m.c0(), m.c2()).value(),
      kHkp, 1e-12);
}

TEST(Holzapfel, DerivativeErrors) {
  const Holzapfel& m = kHolzapfel;
  const double c0 = m.c0(), c2 = m.c2();
  auto analytic = holzapfel_bulk_modulus_derivative_analytical;
  auto parameter = EosError::invalid_parameter;
  const EosError volume = EosError::invalid_state("volume", kPositive);
  const std::pair<Result, EosError> cases[] = {
      // The step is a parameter "eps" here, where the default has a state "relative_step".
      {m.bulk_modulus_derivative_eps(kHv0, 0.0), parameter("eps", kPositive)},
      {m.bulk_modulus_derivative_eps(kHv0, kNaN), parameter("eps", kPositive)},
      {m.bulk_modulus_derivative_eps(kHv0, 1.0), parameter("eps", "must be smaller than one")},
      {m.bulk_modulus_derivative_eps(kNaN, 2.0), volume},
      {m.bulk_modulus_derivative_eps(1e308, 0.9), volume},  // the shifted volume
      // A step too small to move the volume: 0/0 here, a zero pressure difference in the default.
      {m.bulk_modulus_derivative_eps(0.9, 1e-300), EosError::non_finite_result()},
      {m.bulk_modulus_derivative(0.9, 1e-300), EosError::outside_invertible_range()},
      // The analytic form checks V0, volume, KT, K0, c0, c2 in that order; KT only divides.
      {analytic(0, 0, kNaN, 0, kNaN, kNaN), parameter("V0", kPositive)},
      {analytic(kHv0, 0, kNaN, 0, kNaN, kNaN), volume},
      {analytic(kHv0, kHv0, kNaN, 0, kNaN, kNaN), parameter("KT", kFinite)},
      {analytic(kHv0, kHv0, kK0, 0, kNaN, kNaN), parameter("K0", kPositive)},
      {analytic(kHv0, kHv0, kK0, kK0, kInf, kNaN), parameter("c0", kFinite)},
      {analytic(kHv0, kHv0, kK0, kK0, c0, -kInf), parameter("c2", kFinite)},
      {analytic(kHv0, kHv0, 0.0, kK0, c0, c2), EosError::non_finite_result()},
  };
  for (const auto& [result, error] : cases) EXPECT_EQ(result.error(), error) << error.text();
  EXPECT_TRUE(m.bulk_modulus_derivative_eps(kHv0, 0.999));
  EXPECT_NEAR(analytic(kHv0, kHv0, -kK0, kK0, c0, c2).value(), -kHkp, 1e-12);
}

}  // namespace
}  // namespace barometra
