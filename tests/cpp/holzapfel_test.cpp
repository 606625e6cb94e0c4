#include "barometra/isothermal/holzapfel.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace barometra {
namespace {

constexpr double kV0 = 1.125, kK0 = 160.0, kKPrime = 4.5, kN = 2.0, kZ = 10.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr const char* kPositive = "must be positive and finite";

Holzapfel model() { return *Holzapfel::create(kV0, kK0, kKPrime, kN, kZ); }

// c0 and c2 from the Fermi-gas pressure, written out independently.
double expected_c0(double v0, double k0, double n, double z) {
  const double fermi_gas = 1003.6 * std::pow(n * z / (10.0 * v0), 5.0 / 3.0);
  return -std::log(3.0 * k0 / fermi_gas);
}

TEST(Holzapfel, ChecksNAndZAfterTheCommonOnes) {
  EXPECT_EQ(Holzapfel::create(kV0, kK0, kKPrime, 0.0, kZ).error(),
            EosError::invalid_parameter("n", kPositive));
  EXPECT_EQ(Holzapfel::create(kV0, kK0, kKPrime, kN, -1.0).error(),
            EosError::invalid_parameter("Z", kPositive));
  EXPECT_EQ(Holzapfel::create(kV0, kK0, kNaN, 0.0, 0.0).error().field(), "K0_prime");
  EXPECT_EQ(Holzapfel::create(kV0, kK0, kKPrime, kInf, 0.0).error().field(), "n");
}

TEST(Holzapfel, DerivedConstantsFollowTheFermiGasPressure) {
  const Holzapfel m = model();
  const double c0 = expected_c0(kV0, kK0, kN, kZ);
  EXPECT_NEAR(m.c0(), c0, 1e-14 * std::fabs(c0));
  EXPECT_NEAR(m.c2(), 1.5 * (kKPrime - 3.0) - c0, 1e-14);
  EXPECT_EQ(m.k0(), kK0);
  // n and Z enter only as their product.
  const Holzapfel swapped = *Holzapfel::create(kV0, kK0, kKPrime, 4.0, 5.0);
  EXPECT_EQ(swapped.c0(), m.c0());
  EXPECT_EQ(*swapped.pressure(0.7), *m.pressure(0.7));
}

TEST(Holzapfel, WithReferenceStateRecomputesTheConstants) {
  const Holzapfel moved = *model().with_reference_state(1.2, 140.0);
  const double c0 = expected_c0(1.2, 140.0, kN, kZ);
  EXPECT_NEAR(moved.c0(), c0, 1e-14 * std::fabs(c0));
  EXPECT_NEAR(moved.c2(), 1.5 * (kKPrime - 3.0) - c0, 1e-14);
  EXPECT_NE(moved.c0(), model().c0());
  // dK/dP at the new V0 is still K0', which only fresh constants give.
  EXPECT_NEAR(*moved.bulk_modulus_derivative_eps(1.2, 1e-4), kKPrime, 1e-6);
}

TEST(Holzapfel, FiniteDifferenceDerivativeChecks) {
  const Holzapfel m = model();
  EXPECT_EQ(m.bulk_modulus_derivative_eps(0.0, 1e-4).error(),
            EosError::invalid_state("volume", kPositive));
  EXPECT_EQ(m.bulk_modulus_derivative_eps(kNaN, 2.0).error(),
            EosError::invalid_state("volume", kPositive));
  // The step is a parameter here, not a state variable as in the default.
  for (double eps : {0.0, -1e-4, kNaN, kInf}) {
    EXPECT_EQ(m.bulk_modulus_derivative_eps(kV0, eps).error(),
              EosError::invalid_parameter("eps", kPositive))
        << eps;
  }
  EXPECT_EQ(m.bulk_modulus_derivative_eps(kV0, 1.0).error(),
            EosError::invalid_parameter("eps", "must be smaller than one"));
  EXPECT_TRUE(m.bulk_modulus_derivative_eps(kV0, 0.999));
  // A shifted volume that overflows is a bad state.
  EXPECT_EQ(m.bulk_modulus_derivative_eps(1e308, 0.9).error(),
            EosError::invalid_state("volume", kPositive));
}

// A step too small to move the volume gives 0/0: a non-finite quotient here,
// where the default derivative reports the zero pressure difference.
TEST(Holzapfel, VanishingStepIsNonFinite) {
  const Holzapfel m = model();
  EXPECT_EQ(m.bulk_modulus_derivative_eps(0.9, 1e-300).error(), EosError::non_finite_result());
  EXPECT_EQ(m.bulk_modulus_derivative(0.9, 1e-300).error(), EosError::outside_invertible_range());
}

TEST(Holzapfel, AnalyticDerivativeAgreesWithFiniteDifference) {
  const Holzapfel m = model();
  for (double ratio : {0.3, 0.5, 0.7, 0.85, 1.0, 1.1, 1.3}) {
    const double v = ratio * kV0;
    const double kt = *m.bulk_modulus(v);
    auto analytic =
        holzapfel_bulk_modulus_derivative_analytical(kV0, v, kt, kK0, m.c0(), m.c2());
    auto numeric = m.bulk_modulus_derivative_eps(v, 1e-4);
    ASSERT_TRUE(analytic && numeric) << ratio;
    EXPECT_NEAR(*analytic, *numeric, 1e-6 * std::fabs(*analytic)) << ratio;
    // The two central differences differ only in how they place the step.
    EXPECT_NEAR(*m.bulk_modulus_derivative(v, 1e-4), *numeric, 1e-9 * std::fabs(*numeric)) << ratio;
  }
  auto at_v0 = holzapfel_bulk_modulus_derivative_analytical(kV0, kV0, kK0, kK0, m.c0(), m.c2());
  EXPECT_NEAR(*at_v0, kKPrime, 1e-12);
}

TEST(Holzapfel, AnalyticDerivativeChecksInOrder) {
  const double c0 = model().c0(), c2 = model().c2();
  auto call = [&](double v0, double v, double kt, double k0, double a, double b) {
    return holzapfel_bulk_modulus_derivative_analytical(v0, v, kt, k0, a, b).error();
  };
  EXPECT_EQ(call(0.0, 0.0, kNaN, 0.0, kNaN, kNaN), EosError::invalid_parameter("V0", kPositive));
  EXPECT_EQ(call(kV0, 0.0, kNaN, 0.0, kNaN, kNaN), EosError::invalid_state("volume", kPositive));
  EXPECT_EQ(call(kV0, kV0, kNaN, 0.0, kNaN, kNaN),
            EosError::invalid_parameter("KT", "must be finite"));
  EXPECT_EQ(call(kV0, kV0, kK0, 0.0, kNaN, kNaN), EosError::invalid_parameter("K0", kPositive));
  EXPECT_EQ(call(kV0, kV0, kK0, kK0, kInf, kNaN),
            EosError::invalid_parameter("c0", "must be finite"));
  EXPECT_EQ(call(kV0, kV0, kK0, kK0, c0, -kInf),
            EosError::invalid_parameter("c2", "must be finite"));
  // KT only divides: zero gives a non-finite result, a negative one is allowed.
  EXPECT_EQ(call(kV0, kV0, 0.0, kK0, c0, c2), EosError::non_finite_result());
  EXPECT_NEAR(*holzapfel_bulk_modulus_derivative_analytical(kV0, kV0, -kK0, kK0, c0, c2),
              -kKPrime, 1e-12);
}

}  // namespace
}  // namespace barometra
