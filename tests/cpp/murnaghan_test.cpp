#include "barometra/isothermal/density_polynomial.hpp"
#include "barometra/isothermal/modified_tait.hpp"
#include "barometra/isothermal/murnaghan.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace barometra {
namespace {

constexpr double kV0 = 11.25, kK0 = 160.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr const char* kPositive = "must be positive and finite";

const double kVolumes[] = {4.0, 7.0, 9.5, 11.0, 11.25, 12.0, 14.0};

template <class A, class B>
void expect_same_curve(const A& a, const B& b, double rel, double p_offset = 0.0) {
  for (double v : kVolumes) {
    auto pa = a.pressure(v), pb = b.pressure(v);
    ASSERT_TRUE(pa && pb) << v;
    EXPECT_NEAR(*pa, *pb + p_offset, rel * kK0) << v;
    auto ka = a.bulk_modulus(v), kb = b.bulk_modulus(v);
    ASSERT_TRUE(ka && kb) << v;
    EXPECT_NEAR(*ka, *kb, rel * std::fabs(*kb)) << v;
  }
}

// ---- Murnaghan ----

TEST(Murnaghan, MatchesItsClosedFormAndInverse) {
  const double kp = 4.5;
  const auto m = *Murnaghan::create(kV0, kK0, kp);
  for (double v : kVolumes) {
    const double p = kK0 / kp * (std::pow(kV0 / v, kp) - 1.0);
    EXPECT_NEAR(*m.pressure(v), p, 1e-12 * kK0) << v;
    EXPECT_NEAR(*m.bulk_modulus(v), kK0 + kp * p, 1e-12 * kK0) << v;
    // The root solver against V = V0 (1 + K0' P / K0)^(-1/K0').
    EXPECT_NEAR(*m.volume(p), kV0 * std::pow(1.0 + kp * p / kK0, -1.0 / kp), 1e-10 * v) << v;
  }
}

TEST(Murnaghan, ZeroKPrimeIsLogarithmic) {
  const auto m = *Murnaghan::create(kV0, kK0, 0.0);
  for (double v : kVolumes) {
    EXPECT_NEAR(*m.pressure(v), kK0 * std::log(kV0 / v), 1e-13 * kK0) << v;
    EXPECT_EQ(*m.bulk_modulus(v), kK0) << v;
  }
  // The shift may land on zero, and a tiny K0' gives the same curve.
  const auto shifted = *Murnaghan::create(kV0, kK0, 0.5)->with_pressure_derivative_shift(-0.5);
  EXPECT_EQ(*shifted.pressure(7.0), *m.pressure(7.0));
  EXPECT_NEAR(*Murnaghan::create(kV0, kK0, 1e-300)->pressure(7.0), *m.pressure(7.0), 1e-13 * kK0);
}

// Near V0, exp(K0' L) - 1 would lose most digits; P = K0 L (1 + K0' L / 2 + ...).
TEST(Murnaghan, SmallStrainKeepsFullPrecision) {
  const double kp = 4.5;
  const auto m = *Murnaghan::create(kV0, kK0, kp);
  for (double strain : {1e-9, 1e-12, -1e-12}) {
    const double v = kV0 * (1.0 - strain);
    const double l = std::log(kV0 / v);
    const double expected = kK0 * l * (1.0 + kp * l / 2.0 + kp * kp * l * l / 6.0);
    EXPECT_NEAR(*m.pressure(v), expected, 1e-14 * std::fabs(expected)) << strain;
  }
}

// ---- SecondOrderMurnaghan ----

TEST(SecondOrderMurnaghan, NeedsARealDiscriminant) {
  const EosError refused = EosError::invalid_parameter("q_squared", kPositive);
  // K0'^2 = 2 K0 K0'' exactly, then below.
  EXPECT_EQ(SecondOrderMurnaghan::create(kV0, 100.0, 4.0, 0.08, 0.0).error(), refused);
  EXPECT_EQ(SecondOrderMurnaghan::create(kV0, 100.0, 4.0, 0.1, 0.0).error(), refused);
  // An overflowing discriminant is not finite.
  EXPECT_EQ(SecondOrderMurnaghan::create(kV0, 100.0, 1e200, 0.0, 0.0).error(), refused);
  // P0 comes before the discriminant.
  EXPECT_EQ(SecondOrderMurnaghan::create(kV0, 100.0, 4.0, 0.1, kNaN).error(),
            EosError::invalid_parameter("P0", "must be finite"));
}

TEST(SecondOrderMurnaghan, ZeroSecondDerivativeIsMurnaghanOffsetByP0) {
  const auto murnaghan = *Murnaghan::create(kV0, kK0, 4.5);
  expect_same_curve(*SecondOrderMurnaghan::create(kV0, kK0, 4.5, 0.0, 0.0), murnaghan, 1e-13);
  expect_same_curve(*SecondOrderMurnaghan::create(kV0, kK0, 4.5, 0.0, 2.5), murnaghan, 1e-13, 2.5);
}

TEST(SecondOrderMurnaghan, BulkModulusIsQuadraticInPressure) {
  const double kp = 4.5, kpp = -0.03, p0 = 1.5;
  const auto m = *SecondOrderMurnaghan::create(kV0, kK0, kp, kpp, p0);
  for (double v : kVolumes) {
    const double dp = *m.pressure(v) - p0;
    EXPECT_NEAR(*m.bulk_modulus(v), kK0 + kp * dp + 0.5 * kpp * dp * dp, 1e-12 * kK0) << v;
  }
}

TEST(SecondOrderMurnaghan, ClosedFormInverse) {
  const auto m = *SecondOrderMurnaghan::create(kV0, kK0, 4.5, -0.03, 1.5);
  EXPECT_EQ(*m.volume(1.5), kV0);  // dP = 0 gives L = 0 exactly
  EXPECT_EQ(m.volume(kNaN).error(), EosError::invalid_state("pressure", "must be finite"));
  EXPECT_EQ(m.volume(-kInf).error(), EosError::invalid_state("pressure", "must be finite"));
  // With K0'' < 0, K(P) falls to zero at dP = 2 K0 / (q - K0') on compression
  // and at dP = -2 K0 / (q + K0') on expansion; beyond them there is no volume.
  const double q = std::sqrt(4.5 * 4.5 + 2.0 * kK0 * 0.03);
  const double top = 1.5 + 2.0 * kK0 / (q - 4.5), bottom = 1.5 - 2.0 * kK0 / (q + 4.5);
  EXPECT_EQ(m.volume(top * 1.001).error(), EosError::outside_invertible_range());
  EXPECT_EQ(m.volume(bottom * 1.001).error(), EosError::outside_invertible_range());
  EXPECT_TRUE(m.volume(top * 0.999));
  EXPECT_TRUE(m.volume(bottom * 0.999));
  // K0 = K0' = 1, K0'' = 0: q = 1 and r1 = dP, so P = -1 sits exactly on the
  // boundary, where K = 0 and the volume would be infinite.
  const auto unit = *SecondOrderMurnaghan::create(1.0, 1.0, 1.0, 0.0, 0.0);
  EXPECT_EQ(unit.volume(-1.0).error(), EosError::outside_invertible_range());
  EXPECT_NEAR(*unit.volume(-0.5), 2.0, 1e-15);
}

TEST(SecondOrderMurnaghan, InverseVolumeOutOfRangeIsAStateError) {
  // K0' ~ 0 makes V = V0 exp(-P / K0), which leaves the double range.
  const auto m = *SecondOrderMurnaghan::create(1.0, 1.0, 1e-150, 0.0, 0.0);
  EXPECT_NEAR(*m.volume(-0.5), std::exp(0.5), 1e-14);
  EXPECT_EQ(m.volume(-1000.0).error(), EosError::invalid_state("volume", kPositive));
  EXPECT_EQ(m.volume(1000.0).error(), EosError::invalid_state("volume", kPositive));
}

TEST(SecondOrderMurnaghan, DenominatorVanishesWhereThePressureDiverges) {
  // K0'' > 0: q < K0', and q (e + 2) - K0' e reaches zero at V/V0 ~ 0.558.
  const auto m = *SecondOrderMurnaghan::create(1.0, 100.0, 4.0, 0.05, 0.0);
  const EosError refused = EosError::invalid_state("Murnaghan denominator", kPositive);
  for (double v : {0.55, 0.3, 1e-10}) {
    EXPECT_EQ(m.pressure(v).error(), refused) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), refused) << v;
  }
  EXPECT_TRUE(m.pressure(0.57));
  EXPECT_EQ(m.pressure(0.0).error(), EosError::invalid_state("volume", kPositive));
}

// ---- ModifiedTait ----

TEST(ModifiedTait, RefusesSingularCombinations) {
  const EosError singular = EosError::invalid_parameter("K0_prime/K0_double_prime",
                                                        "produce a singular modified Tait EOS");
  // D = 0 and K0' + 1 = 0; K0' + 1 = 0 alone; K0' + 1 + K0 K0'' = 0; K0' + K0'^2 = K0 K0''.
  EXPECT_EQ(ModifiedTait::create(kV0, 100.0, -1.0, 0.0).error(), singular);
  EXPECT_EQ(ModifiedTait::create(kV0, 100.0, -1.0, 0.01).error(), singular);
  EXPECT_EQ(ModifiedTait::create(kV0, 100.0, 4.0, -0.05).error(), singular);
  EXPECT_EQ(ModifiedTait::create(kV0, 100.0, 4.0, 0.2).error(), singular);
  EXPECT_EQ(ModifiedTait::create(kV0, 100.0, -1.0, kNaN).error().field(), "K0_double_prime");
}

TEST(ModifiedTait, ConstantsFromK0AndItsDerivatives) {
  const double kp = 4.5, kpp = -0.03;
  const auto m = *ModifiedTait::create(kV0, kK0, kp, kpp);
  EXPECT_NEAR(m.a(), (1 + kp) / (1 + kp + kK0 * kpp), 1e-14);
  EXPECT_NEAR(m.b(), kp / kK0 - kpp / (1 + kp), 1e-16);
  EXPECT_NEAR(m.c(), (1 + kp + kK0 * kpp) / (kp + kp * kp - kK0 * kpp), 1e-16);
  EXPECT_NEAR(m.a() * m.b() * m.c(), 1.0 / kK0, 1e-17);

  // A new reference state recomputes all three from the new K0.
  const auto moved = *m.with_reference_state(12.0, 200.0);
  EXPECT_NEAR(moved.a(), (1 + kp) / (1 + kp + 200.0 * kpp), 1e-14);
  EXPECT_NEAR(moved.b(), kp / 200.0 - kpp / (1 + kp), 1e-16);
  EXPECT_NEAR(moved.c(), (1 + kp + 200.0 * kpp) / (kp + kp * kp - 200.0 * kpp), 1e-16);
  EXPECT_NEAR(*moved.bulk_modulus(12.0), 200.0, 1e-12);
  // A new K0 may also make it singular: K0' + 1 + K0 K0'' = 0 at K0 = 80.
  const auto other = *ModifiedTait::create(kV0, kK0, 4.0, -0.0625);
  EXPECT_EQ(other.with_reference_state(kV0, 80.0).error().field(), "K0_prime/K0_double_prime");
}

TEST(ModifiedTait, ZeroSecondDerivativeIsMurnaghan) {
  // K0'' = 0 gives a = 1, c = 1/K0' and b = K0'/K0.
  expect_same_curve(*ModifiedTait::create(kV0, kK0, 4.5, 0.0), *Murnaghan::create(kV0, kK0, 4.5),
                    1e-13);
}

TEST(ModifiedTait, DomainEndsWhereZVanishes) {
  // K0 K0'' = 5 makes a = 0.5, so z = 0 at V = V0 / 2.
  const auto m = *ModifiedTait::create(1.0, 100.0, 4.0, 0.05);
  ASSERT_DOUBLE_EQ(m.a(), 0.5);
  const EosError outside =
      EosError::invalid_state("volume", "is outside the modified Tait EOS domain");
  for (double v : {0.5, 0.4, 1e-300}) {
    EXPECT_EQ(m.pressure(v).error(), outside) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), outside) << v;
  }
  EXPECT_TRUE(m.pressure(0.51));
  EXPECT_TRUE(m.bulk_modulus(0.51));
}

// ---- DensityPolynomial3 ----

// V0 = 2, rho0 = 1.5, P = -10 - 8 rho + 3 rho^2 + 2 rho^3; the slope
// 6 rho^2 + 6 rho - 8 vanishes at rho = (-6 + sqrt(228)) / 12.
constexpr double kDpV0 = 2.0, kDpRho0 = 1.5;
DensityPolynomial3 density_model() {
  return *DensityPolynomial3::create(kDpV0, kDpRho0, -10.0, -8.0, 3.0, 2.0);
}
double dp_pressure(double rho) {
  return -10.0 - 8.0 * rho + 3.0 * rho * rho + 2.0 * rho * rho * rho;
}
const double kSlopeRoot = (-6.0 + std::sqrt(228.0)) / 12.0;

TEST(DensityPolynomial3, ConstructorChecks) {
  auto create = [](double rho0, double c1, double c2, double c3) {
    return DensityPolynomial3::create(kDpV0, rho0, -10.0, c1, c2, c3);
  };
  EXPECT_EQ(create(kDpRho0, -8.0, 3.0, 0.0).error(), EosError::invalid_parameter("c3", kPositive));
  const EosError unstable = EosError::invalid_parameter(
      "density polynomial", "requires c2>=0 and a stable density anchor");
  EXPECT_EQ(create(kDpRho0, -8.0, -0.1, 2.0).error(), unstable);
  // An anchor on the falling branch.
  EXPECT_EQ(create(kSlopeRoot * 0.9, -8.0, 3.0, 2.0).error(), unstable);
  EXPECT_TRUE(create(kSlopeRoot * 1.1, -8.0, 3.0, 2.0));
  EXPECT_TRUE(create(kDpRho0, -8.0, 0.0, 2.0));  // c2 = 0 is allowed
  // The combined check comes after c3's own.
  EXPECT_EQ(create(kDpRho0, -8.0, -0.1, -1.0).error().field(), "c3");
}

TEST(DensityPolynomial3, PressureAndBulkModulusInDensity) {
  const auto m = density_model();
  for (double v : {0.8, 1.2, 2.0, 2.5}) {
    const double rho = kDpRho0 * kDpV0 / v;
    EXPECT_NEAR(*m.pressure(v), dp_pressure(rho), 1e-13 * std::fabs(dp_pressure(rho)) + 1e-13) << v;
    EXPECT_NEAR(*m.bulk_modulus(v), rho * (-8.0 + 6.0 * rho + 6.0 * rho * rho), 1e-12) << v;
  }
}

TEST(DensityPolynomial3, FallingBranchIsOutsideTheInvertibleRange) {
  const auto m = density_model();
  const double v_root = kDpRho0 * kDpV0 / kSlopeRoot;
  for (double v : {1.001 * v_root, 10 * v_root, 1e300}) {
    EXPECT_EQ(m.pressure(v).error(), EosError::outside_invertible_range()) << v;
    EXPECT_EQ(m.bulk_modulus(v).error(), EosError::outside_invertible_range()) << v;
  }
  EXPECT_TRUE(m.pressure(0.999 * v_root));
  // An infinite density passes the slope test and is then non-finite.
  const auto wide = *DensityPolynomial3::create(1e300, 1e10, -10.0, -8.0, 3.0, 2.0);
  EXPECT_EQ(wide.pressure(1e-10).error(), EosError::non_finite_result());
}

TEST(DensityPolynomial3, VolumeRecoversTheAnchor) {
  const auto m = density_model();
  auto v = m.volume(*m.pressure(kDpV0));
  ASSERT_TRUE(v);
  EXPECT_NEAR(*v, kDpV0, kDpV0 * 3.552713678800501e-15);
  for (double ratio : {0.3, 0.7, 1.1}) {
    auto back = m.volume(*m.pressure(ratio * kDpV0));
    ASSERT_TRUE(back) << ratio;
    EXPECT_NEAR(*back, ratio * kDpV0, ratio * kDpV0 * 4e-15) << ratio;
  }
  EXPECT_EQ(m.volume(kNaN).error(), EosError::invalid_state("pressure", "must be finite"));
}

TEST(DensityPolynomial3, PressureAtOrBelowTheCurveMinimumHasNoVolume) {
  const auto m = density_model();
  const double minimum = dp_pressure(kSlopeRoot);
  EXPECT_EQ(m.volume(minimum - 1.0).error(), EosError::outside_invertible_range());
  EXPECT_EQ(m.volume(-1e300).error(), EosError::outside_invertible_range());
  EXPECT_TRUE(m.volume(minimum + 1e-6));

  // With c1 >= 0 the curve rises from rho = 0, where P = c0.
  const auto rising = *DensityPolynomial3::create(1.0, 1.0, 5.0, 2.0, 0.0, 1.0);
  EXPECT_EQ(rising.volume(5.0).error(), EosError::outside_invertible_range());
  EXPECT_EQ(rising.volume(4.0).error(), EosError::outside_invertible_range());
  // Just above c0 the density is small: 2 rho + rho^3 = 0.02.
  auto low = rising.volume(5.02);
  ASSERT_TRUE(low);
  const double rho = 1.0 / *low;
  EXPECT_NEAR(2.0 * rho + rho * rho * rho, 0.02, 1e-15);
}

TEST(DensityPolynomial3, HighPressureBracketsByDoubling) {
  const auto m = *DensityPolynomial3::create(1.0, 1.0, 0.0, 1.0, 0.0, 1.0);
  auto v = m.volume(1e300);  // rho ~ 1e100, far above the anchor
  ASSERT_TRUE(v);
  EXPECT_NEAR(*v, 1e-100, 1e-113);
}

TEST(DensityPolynomial3, UnrepresentableVolumeIsNonFinite) {
  // rho ~ 1e100 against rho0 V0 = 1e-300: the volume underflows to zero.
  const auto small = *DensityPolynomial3::create(1e-300, 1.0, 0.0, 1.0, 0.0, 1.0);
  EXPECT_EQ(small.volume(1e300).error(), EosError::non_finite_result());
  // rho ~ 1e-20 against rho0 V0 = 1e300: the volume overflows.
  const auto large = *DensityPolynomial3::create(1e300, 1.0, 0.0, 1.0, 0.0, 1.0);
  EXPECT_EQ(large.volume(1e-20).error(), EosError::non_finite_result());
}

TEST(DensityPolynomial3, BisectionGivesUpAfterItsBudget) {
  // P = rho + rho^3, so the root is rho ~ p. From lo = 0 each halving only
  // lowers hi until it passes the root, then about 48 more meet the tolerance:
  // 2^-200 (1e-60) fits in 256 halvings, 2^-219 (1e-66) does not.
  const auto m = *DensityPolynomial3::create(1.0, 1.0, 0.0, 1.0, 0.0, 1.0);
  auto v = m.volume(1e-60);
  ASSERT_TRUE(v);
  EXPECT_NEAR(1.0 / *v, 1e-60, 1e-73);
  EXPECT_EQ(m.volume(1e-66).error(), EosError::convergence_failed());
  EXPECT_EQ(m.volume(1e-300).error(), EosError::convergence_failed());
}

}  // namespace
}  // namespace barometra
