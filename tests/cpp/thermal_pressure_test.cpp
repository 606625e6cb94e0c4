// The four explicit thermal-pressure models against their closed forms and the
// model they reduce to, and their checks in order.
#include "barometra/thermal/thermal_pressure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;

constexpr double kV0 = 11.25, kTr = 300.0;
const BM3 kBm3 = *BM3::create(kV0, 160.0, 4.15);
const auto kLinear = *LinearThermalPressure<BM3>::create(kBm3, kTr, 0.006);
const auto kLogVolume = *LogVolumeThermalPressure<BM3>::create(kBm3, kTr, 0.005, 0.004);
const auto kDebyeQuadratic =
    *DebyeQuadraticThermalPressure<BM3>::create(kBm3, kTr, 773.0, 1.5, 1.5, 2.0, 2e-8, 1.5);
const auto kTaylor = *SecondOrderTaylorThermalPressure<BM3>::create(kBm3, kTr, 0.05, 0.1, 2.0,
                                                                    0.005, -3.0, 1e-6, 0.02);

TEST(ExplicitThermalPressures, MatchTheirClosedForms) {
  const auto mgd = *MieGruneisenDebye<BM3>::create(kBm3, kTr, 773.0, 1.5, 1.5, 2.0);
  for (double x : {0.7, 1.0, 1.1}) {
    const double v = x * kV0, de = 0.95 - x;  // eta - eta0 with eta = 1 - x
    for (double t : {100.0, kTr, 1200.0}) {
      const double dt = t - kTr, heating = 0.005 * dt + 0.5e-6 * dt * dt + 0.01 * de * dt;
      EXPECT_NEAR(ok(kLinear.thermal_pressure(v, t)), 0.006 * dt, 1e-15);
      EXPECT_NEAR(ok(kLogVolume.thermal_pressure(v, t)), dt * (0.005 - 0.004 * std::log(x)), 1e-14);
      EXPECT_NEAR(ok(kDebyeQuadratic.thermal_pressure(v, t)),
                  ok(mgd.thermal_pressure(v, t)) + 2e-8 * std::pow(x, 1.5) * (t * t - kTr * kTr),
                  1e-14);
      // The Taylor expansion keeps its strain terms at Tr; its increment does not.
      EXPECT_NEAR(ok(kTaylor.thermal_pressure(v, t)), 0.1 + 2 * de - 1.5 * de * de + heating,
                  1e-14);
      EXPECT_NEAR(ok(kTaylor.thermal_pressure_increment(v, t)), heating, 1e-14);
    }
    // Pth of the linear model does not change with V, so KT is the reference's.
    const double alpha = 0.006 / *kBm3.bulk_modulus(v);
    EXPECT_NEAR(ok(kLinear.thermal_expansivity(v, 900.0, 1e-5)), alpha, 1e-8 * alpha);
  }
}

TEST(ExplicitThermalPressures, AllButTheTaylorExpansionVanishAtTr) {
  auto expect_reference_isotherm = [](const auto& m) {
    for (double v : {0.8 * kV0, 1.05 * kV0}) {
      EXPECT_EQ(ok(m.thermal_pressure(v, kTr)), 0.0);
      EXPECT_EQ(ok(m.pressure(v, kTr)), *kBm3.pressure(v));
      EXPECT_EQ(m.thermal_pressure_increment(v, 2000.0), m.thermal_pressure(v, 2000.0));
    }
  };
  expect_reference_isotherm(kLinear);
  expect_reference_isotherm(kLogVolume);
  expect_reference_isotherm(kDebyeQuadratic);
  // c0 alone: Pth = 1 everywhere, nothing is gained on heating, so the cell keeps nothing.
  const auto c0 = *SecondOrderTaylorThermalPressure<BM3>::create(kBm3, kTr, 0.05, 1, 0, 0, 0, 0, 0);
  for (double t : {50.0, kTr, 4000.0}) {
    EXPECT_EQ(ok(c0.thermal_pressure(0.6 * kV0, t)), 1.0);
    EXPECT_EQ(ok(c0.thermal_pressure_increment(0.6 * kV0, t)), 0.0);
    EXPECT_EQ(ok(c0.dac_thermal_pressure(0.6 * kV0, t, 0.7)), 0.0);
  }
  EXPECT_EQ(ok(c0.pressure(0.6 * kV0, kTr)), *kBm3.pressure(0.6 * kV0) + 1.0);
}

TEST(DebyeQuadraticThermalPressure, WithoutTheQuadraticTermIsMieGruneisenDebye) {
  for (double q : {1.5, 0.0}) {
    const auto mgd = *MieGruneisenDebye<RtModel>::create(kBm3, kTr, 773.0, 1.5, q, 2.0);
    auto with = [&](double a) {
      return *DebyeQuadraticThermalPressure<RtModel>::create(kBm3, kTr, 773.0, 1.5, q, 2.0, a,
                                                             400.0);
    };
    EXPECT_EQ(with(0.0).mie_gruneisen().cvmax(), 3.0 * 2.0 * 8.31446261815324);
    // At 10 V0, x^400 overflows, yet a term that is zero stays zero.
    for (double v : {0.8 * kV0, 10.0 * kV0}) {
      for (double t : {10.0, 2000.0}) {
        EXPECT_EQ(ok(with(0.0).thermal_pressure(v, t)), ok(mgd.thermal_pressure(v, t)));
      }
      EXPECT_EQ(ok(with(1e-8).thermal_pressure(v, kTr)), 0.0);
    }
  }
}

TEST(ExplicitThermalPressures, CheckInOrderAndNeverReturnNonFiniteValues) {
  using P = std::vector<double>;
  expect_checks_in_order({kTr, 0.01}, {positive("Tr"), finite("alpha_KT")}, [](const P& p) {
    return LinearThermalPressure<BM3>::create(kBm3, p[0], p[1]);
  });
  expect_checks_in_order(
      {kTr, 0.01, 0.001}, {positive("Tr"), finite("alpha_KT_ref"), finite("dK_dT_V")},
      [](const P& p) { return LogVolumeThermalPressure<BM3>::create(kBm3, p[0], p[1], p[2]); });
  expect_checks_in_order({kTr, 773.0, 1.5, 1.5, 2.0, 0.0, 1.0},
                         {positive("Tr"), positive("theta0"), finite("gamma0"), finite("q"),
                          positive("n"), finite("A"), finite("m")},
                         [](const P& p) {
                           return DebyeQuadraticThermalPressure<BM3>::create(
                               kBm3, p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
                         });
  expect_checks_in_order({kTr, 0.0, 1, 1, 1, 1, 1, 1},
                         {positive("Tr"), finite("eta0"), finite("c0"), finite("c1"),
                          finite("c2"), finite("c3"), finite("c4"), finite("c5")},
                         [](const P& p) {
                           return SecondOrderTaylorThermalPressure<BM3>::create(
                               kBm3, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
                         });
  auto state_checks = [](const auto& m) {
    EXPECT_EQ(m.thermal_pressure(0.0, kNaN), kBadVolume);
    EXPECT_EQ(m.thermal_pressure_increment(kInf, 0.0), kBadVolume);
    EXPECT_EQ(m.thermal_pressure_increment(kV0, kNaN), kBadTemperature);
    expect_only_finite_values(m);
  };
  state_checks(kLinear);
  state_checks(kLogVolume);
  state_checks(kDebyeQuadratic);
  state_checks(kTaylor);
}

}  // namespace
}  // namespace barometra
