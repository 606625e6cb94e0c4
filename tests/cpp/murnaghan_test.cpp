// Edge cases of the Murnaghan family, the modified Tait model and the density
// polynomial: their constructor rules, domains and own inverses.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "barometra/isothermal/density_polynomial.hpp"
#include "barometra/isothermal/modified_tait.hpp"
#include "barometra/isothermal/murnaghan.hpp"

namespace barometra {
namespace {

constexpr double kV0 = 11.25, kK0 = 160.0;
constexpr const char* kPositive = "must be positive and finite";
constexpr EosError kOutside = EosError::outside_invertible_range();

// Both P and K fail with `error` at each volume.
void expect_refused(const auto& m, std::initializer_list<double> volumes, const EosError& error) {
  for (double v : volumes) {
    EXPECT_EQ(m.pressure(v).error(), error) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), error) << v;
  }
}

// Near V0, exp(K0' L) - 1 would lose most digits; P = K0 L (1 + K0' L / 2 + ...).
TEST(Murnaghan, SmallStrainKeepsFullPrecision) {
  const Murnaghan m = Murnaghan::create(kV0, kK0, 4.5).value();
  for (double strain : {1e-9, 1e-12, -1e-12}) {
    const double v = kV0 * (1.0 - strain), l = std::log(kV0 / v);
    const double expected = kK0 * l * (1.0 + 4.5 * l / 2.0 + 4.5 * 4.5 * l * l / 6.0);
    EXPECT_NEAR(m.pressure(v).value(), expected, 1e-14 * std::fabs(expected)) << strain;
  }
}

TEST(SecondOrderMurnaghan, DiscriminantAndDenominator) {
  auto create = [](double kp, double kpp, double p0) {
    return SecondOrderMurnaghan::create(1.0, 100.0, kp, kpp, p0);
  };
  const EosError refused = EosError::invalid_parameter("q_squared", kPositive);
  EXPECT_EQ(create(4.0, 0.08, 0.0).error(), refused);  // K0'^2 = 2 K0 K0''
  EXPECT_EQ(create(4.0, 0.1, 0.0).error(), refused);
  EXPECT_EQ(create(1e200, 0.0, 0.0).error(), refused);  // overflows
  EXPECT_EQ(create(4.0, 0.1, NAN).error().field(), "P0");
  // K0'' > 0: q < K0', and q (e + 2) - K0' e reaches zero near V/V0 = 0.558.
  expect_refused(create(4.0, 0.05, 0.0).value(), {0.55, 1e-10},
                 EosError::invalid_state("Murnaghan denominator", kPositive));
  EXPECT_TRUE(create(4.0, 0.05, 0.0)->pressure(0.57));
}

TEST(SecondOrderMurnaghan, ClosedFormInverseAndItsRange) {
  const auto m = SecondOrderMurnaghan::create(kV0, kK0, 4.5, -0.03, 1.5).value();
  EXPECT_EQ(m.volume(1.5).value(), kV0);  // dP = 0 gives V0 exactly
  // K(P) falls to zero where 1 + r1 or 1 + r2 reaches 0: dP = 2 K0 / (q - K0') on
  // compression, -2 K0 / (q + K0') on expansion. Beyond them there is no volume.
  const double q = std::sqrt(4.5 * 4.5 + 2.0 * kK0 * 0.03);
  for (double edge : {1.5 + 2.0 * kK0 / (q - 4.5), 1.5 - 2.0 * kK0 / (q + 4.5)}) {
    EXPECT_EQ(m.volume(edge * 1.001).error(), kOutside) << edge;
    EXPECT_TRUE(m.volume(edge * 0.999)) << edge;
  }
  // K0 = K0' = 1, K0'' = 0: q = 1 and r1 = dP, so P = -1 sits on the boundary.
  const auto unit = SecondOrderMurnaghan::create(1.0, 1.0, 1.0, 0.0, 0.0).value();
  EXPECT_EQ(unit.volume(-1.0).error(), kOutside);
  EXPECT_NEAR(unit.volume(-0.5).value(), 2.0, 1e-15);
  // K0' ~ 0 makes V = V0 exp(-P / K0), which leaves the double range.
  const auto flat = SecondOrderMurnaghan::create(1.0, 1.0, 1e-150, 0.0, 0.0).value();
  EXPECT_NEAR(flat.volume(-0.5).value(), std::exp(0.5), 1e-14);
  EXPECT_EQ(flat.volume(-1000.0).error(), EosError::invalid_state("volume", kPositive));
  EXPECT_EQ(flat.volume(1000.0).error(), EosError::invalid_state("volume", kPositive));
}

TEST(ModifiedTait, SingularCombinationsAndDomain) {
  const EosError singular = EosError::invalid_parameter("K0_prime/K0_double_prime",
                                                        "produce a singular modified Tait EOS");
  // K0' + 1 = 0; K0' + 1 + K0 K0'' = 0; K0' + K0'^2 = K0 K0''.
  for (auto [kp, kpp] : {std::pair(-1.0, 0.01), std::pair(4.0, -0.05), std::pair(4.0, 0.2)}) {
    EXPECT_EQ(ModifiedTait::create(kV0, 100.0, kp, kpp).error(), singular) << kp << ' ' << kpp;
  }
  EXPECT_EQ(ModifiedTait::create(kV0, 100.0, -1.0, NAN).error().field(), "K0_double_prime");
  // A new K0 can make it singular: K0' + 1 + K0 K0'' = 0 at K0 = 80.
  const auto m = ModifiedTait::create(kV0, kK0, 4.0, -0.0625).value();
  EXPECT_EQ(m.with_reference_state(kV0, 80.0).error(), singular);
  // K0 K0'' = 5 makes a = 0.5, so z = 1 + (V/V0 - 1) / a is zero at V0 / 2.
  const auto half = ModifiedTait::create(1.0, 100.0, 4.0, 0.05).value();
  expect_refused(half, {0.5, 1e-300},
                 EosError::invalid_state("volume", "is outside the modified Tait EOS domain"));
  EXPECT_TRUE(half.pressure(0.51) && half.bulk_modulus(0.51));
}

// V0 = 2, rho0 = 1.5, P = -10 - 8 rho + 3 rho^2 + 2 rho^3, whose slope falls to
// zero at rho = (-6 + sqrt(228)) / 12.
const double kSlopeRoot = (-6.0 + std::sqrt(228.0)) / 12.0;
std::expected<DensityPolynomial3, EosError> density(double rho0, double c2 = 3, double c3 = 2) {
  return DensityPolynomial3::create(2.0, rho0, -10.0, -8.0, c2, c3);
}

TEST(DensityPolynomial3, AnchorMustBeOnTheRisingBranch) {
  const EosError unstable = EosError::invalid_parameter(
      "density polynomial", "requires c2>=0 and a stable density anchor");
  EXPECT_EQ(density(1.5, -0.1).error(), unstable);
  EXPECT_EQ(density(0.9 * kSlopeRoot).error(), unstable);
  EXPECT_TRUE(density(1.1 * kSlopeRoot) && density(1.5, 0.0));  // c2 = 0 is allowed
  EXPECT_EQ(density(1.5, -0.1, -1.0).error().field(), "c3");     // c3's own check first
}

TEST(DensityPolynomial3, OwnInverseAndItsRange) {
  const auto m = density(1.5).value();
  for (double v : {0.6, 1.4, 2.0, 2.2}) {  // to the bisection's 2^-48
    EXPECT_NEAR(m.volume(m.pressure(v).value()).value(), v, 4e-15 * v) << v;
  }
  // Past the slope root the curve falls: no pressure there, no volume below its minimum.
  const double r = kSlopeRoot, p_min = -10 - 8 * r + 3 * r * r + 2 * r * r * r;
  expect_refused(m, {1.001 * 3.0 / r, 1e300}, kOutside);
  EXPECT_TRUE(m.pressure(0.999 * 3.0 / r));
  EXPECT_EQ(m.volume(p_min - 1.0).error(), kOutside);
  EXPECT_EQ(m.volume(-1e300).error(), kOutside);
  EXPECT_TRUE(m.volume(p_min + 1e-6));
  // With c1 >= 0 the curve rises from rho = 0, where P = c0 = 5.
  const auto rising = DensityPolynomial3::create(1.0, 1.0, 5.0, 2.0, 0.0, 1.0).value();
  EXPECT_EQ(rising.volume(5.0).error(), kOutside);
  const double rho = 1.0 / rising.volume(5.02).value();
  EXPECT_NEAR(2.0 * rho + rho * rho * rho, 0.02, 1e-15);
}

TEST(DensityPolynomial3, ExtremePressures) {
  // P = rho + rho^3 and V = rho0 V0 / rho.
  auto cubic = [](double v0) { return DensityPolynomial3::create(v0, 1.0, 0, 1, 0, 1).value(); };
  EXPECT_NEAR(cubic(1.0).volume(1e300).value(), 1e-100, 1e-113);  // bracketed by doubling
  EXPECT_NEAR(1.0 / cubic(1.0).volume(1e-60).value(), 1e-60, 1e-73);
  // From rho = 0, reaching 2^-219 and then 2^-48 of it takes more than 256 halvings.
  EXPECT_EQ(cubic(1.0).volume(1e-66).error(), EosError::convergence_failed());
  // A volume that underflows or overflows, and an infinite density, are non-finite.
  EXPECT_EQ(cubic(1e-300).volume(1e300).error(), EosError::non_finite_result());
  EXPECT_EQ(cubic(1e300).volume(1e-20).error(), EosError::non_finite_result());
  const auto wide = DensityPolynomial3::create(1e300, 1e10, -10, -8, 3, 2).value();
  EXPECT_EQ(wide.pressure(1e-10).error(), EosError::non_finite_result());
}

}  // namespace
}  // namespace barometra
