// The four explicit thermal-pressure models: one suite over all of them, then
// each against its closed form or the model it reduces to, and the
// constructor checks in order.
#include "barometra/thermal/thermal_pressure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <type_traits>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;

constexpr double kV0 = 11.25, kTr = 300.0;

const auto kBadVolume =
    std::unexpected(EosError::invalid_state("volume", "must be positive and finite"));
const auto kBadTemperature =
    std::unexpected(EosError::invalid_state("temperature", "must be positive and finite"));

const BM3 kBm3 = *BM3::create(kV0, 160.0, 4.15);

auto linear() { return *LinearThermalPressure<BM3>::create(kBm3, kTr, 0.006); }
auto log_volume() { return *LogVolumeThermalPressure<BM3>::create(kBm3, kTr, 0.005, 0.004); }
auto debye_quadratic(double a = 2e-8, double m = 1.5, double q = 1.5) {
  return *DebyeQuadraticThermalPressure<BM3>::create(kBm3, kTr, 773.0, 1.5, q, 2.0, a, m);
}
auto taylor(std::vector<double> c = {0.1, 2.0, 0.005, -3.0, 1e-6, 0.02}) {
  return *SecondOrderTaylorThermalPressure<BM3>::create(kBm3, kTr, 0.05, c[0], c[1], c[2], c[3],
                                                        c[4], c[5]);
}

template <class Model>
class ExplicitThermalPressure : public ::testing::Test {};
using Models = ::testing::Types<LinearThermalPressure<BM3>, LogVolumeThermalPressure<BM3>,
                                DebyeQuadraticThermalPressure<BM3>,
                                SecondOrderTaylorThermalPressure<BM3>>;
TYPED_TEST_SUITE(ExplicitThermalPressure, Models);

template <class Model>
Model make() {
  if constexpr (std::is_same_v<Model, LinearThermalPressure<BM3>>) {
    return linear();
  } else if constexpr (std::is_same_v<Model, LogVolumeThermalPressure<BM3>>) {
    return log_volume();
  } else if constexpr (std::is_same_v<Model, DebyeQuadraticThermalPressure<BM3>>) {
    return debye_quadratic();
  } else {
    return taylor();
  }
}

TYPED_TEST(ExplicitThermalPressure, ReferenceIsothermInversionsAndStateChecks) {
  const auto m = make<TypeParam>();
  constexpr bool kVanishesAtTr = !std::is_same_v<TypeParam, SecondOrderTaylorThermalPressure<BM3>>;
  for (double v : {0.8 * kV0, kV0, 1.05 * kV0}) {
    if constexpr (kVanishesAtTr) {
      EXPECT_EQ(ok(m.thermal_pressure(v, kTr)), 0.0);
      EXPECT_EQ(ok(m.pressure(v, kTr)), *kBm3.pressure(v));
    }
    for (double t : {kTr, 1000.0, 3000.0}) {
      const double p = ok(m.pressure(v, t));
      EXPECT_NEAR(ok(m.volume(p, t)), v, 1e-10 * v);
      EXPECT_NEAR(ok(m.temperature(p, v)), t, 1e-6 * t);
      if constexpr (kVanishesAtTr) {
        EXPECT_EQ(ok(m.thermal_pressure_increment(v, t)), ok(m.thermal_pressure(v, t)));
      }
    }
  }
  if constexpr (kVanishesAtTr) {
    EXPECT_NEAR(ok(m.volume(25.0, kTr)), *kBm3.volume(25.0), 1e-10);
  }
  // The volume is checked before the temperature, and both before anything else.
  for (const Result& r : {m.thermal_pressure(0.0, kNaN), m.thermal_pressure_increment(kInf, 0.0),
                          m.pressure(-1.0, -1.0)}) {
    EXPECT_EQ(r, kBadVolume);
  }
  EXPECT_EQ(m.thermal_pressure(kV0, 0.0), kBadTemperature);
  EXPECT_EQ(m.thermal_pressure_increment(kV0, kNaN), kBadTemperature);
}

TYPED_TEST(ExplicitThermalPressure, NeverReturnsNonFiniteValues) {
  const auto m = make<TypeParam>();
  for (double v : {0.0, -1.0, kNaN, kInf, 1e-300, kV0, 1e300}) {
    for (double t : {0.0, kNaN, 1e-320, 300.0, 1e10, 1.7e308}) {
      for (const Result& r :
           {m.thermal_pressure(v, t), m.thermal_pressure_increment(v, t), m.pressure(v, t),
            m.bulk_modulus(v, t, 1e-6), m.thermal_expansivity(v, t, 1e-5),
            m.dac_thermal_pressure(v, t, 0.5), m.volume(v, t), m.temperature(v, t),
            m.volume_with_dac_confinement(v, t, 0.5)}) {
        EXPECT_TRUE(!r || std::isfinite(*r)) << v << " " << t;
      }
    }
  }
}

TEST(ExplicitThermalPressures, MatchTheirClosedForms) {
  const auto lin = linear();
  const auto logv = log_volume();
  const auto dq = debye_quadratic();
  const auto mgd = *MieGruneisenDebye<BM3>::create(kBm3, kTr, 773.0, 1.5, 1.5, 2.0);
  for (double v : {0.7 * kV0, kV0, 1.1 * kV0}) {
    const double x = v / kV0;
    for (double t : {100.0, 1200.0}) {
      const double dt = t - kTr;
      EXPECT_NEAR(ok(lin.thermal_pressure(v, t)), 0.006 * dt, 1e-15);
      EXPECT_NEAR(ok(logv.thermal_pressure(v, t)), dt * (0.005 - 0.004 * std::log(x)), 1e-14);
      EXPECT_NEAR(ok(dq.thermal_pressure(v, t)),
                  ok(mgd.thermal_pressure(v, t)) + 2e-8 * std::pow(x, 1.5) * (t * t - kTr * kTr),
                  1e-14);
    }
    // Pth of the linear model does not change with V, so KT is the reference's.
    const double alpha = 0.006 / *kBm3.bulk_modulus(v);
    EXPECT_NEAR(ok(lin.thermal_expansivity(v, 900.0, 1e-5)), alpha, 1e-8 * alpha);
  }
  EXPECT_EQ(ok(log_volume().thermal_pressure(kV0, 900.0)), 0.005 * 600.0);
  const auto cold = *LinearThermalPressure<BM3>::create(kBm3, kTr, 0.0);
  EXPECT_EQ(ok(cold.pressure(10.0, 2500.0)), *kBm3.pressure(10.0));
}

TEST(DebyeQuadraticThermalPressure, WithoutTheQuadraticTermIsMieGruneisenDebye) {
  // At 10 V0, x^400 overflows.
  for (double q : {1.5, 0.0}) {
    const auto mgd = *MieGruneisenDebye<RtModel>::create(kBm3, kTr, 773.0, 1.5, q, 2.0);
    const auto without = *DebyeQuadraticThermalPressure<RtModel>::create(kBm3, kTr, 773.0, 1.5, q,
                                                                        2.0, 0.0, 400.0);
    const auto with = *DebyeQuadraticThermalPressure<RtModel>::create(kBm3, kTr, 773.0, 1.5, q,
                                                                     2.0, 1e-8, 400.0);
    EXPECT_EQ(without.mie_gruneisen().cvmax(), 3.0 * 2.0 * 8.31446261815324);
    for (double v : {0.8 * kV0, kV0, 10.0 * kV0}) {
      for (double t : {10.0, kTr, 2000.0}) {
        const double expected = ok(mgd.thermal_pressure(v, t));
        EXPECT_EQ(ok(without.thermal_pressure(v, t)), expected) << q << " " << v << " " << t;
      }
      EXPECT_EQ(with.thermal_pressure(v, kTr), mgd.thermal_pressure(v, kTr)) << q << " " << v;
    }
  }
}

TEST(SecondOrderTaylorThermalPressure, IncrementIsTheTemperatureDependentPart) {
  const auto constant = taylor({1.0, 0.0, 0.0, 0.0, 0.0, 0.0});
  for (double v : {0.6 * kV0, 1.2 * kV0}) {
    for (double t : {50.0, kTr, 4000.0}) {
      EXPECT_EQ(ok(constant.thermal_pressure(v, t)), 1.0);
      EXPECT_EQ(ok(constant.thermal_pressure_increment(v, t)), 0.0);
      EXPECT_EQ(ok(constant.dac_thermal_pressure(v, t, 0.7)), 0.0);
    }
  }
  const auto m = taylor();
  for (double v : {0.6 * kV0, kV0, 1.2 * kV0}) {
    const double de = 1.0 - v / kV0 - 0.05;
    EXPECT_NEAR(ok(m.thermal_pressure(v, kTr)), 0.1 + 2.0 * de - 1.5 * de * de, 1e-15);
    EXPECT_EQ(ok(m.pressure(v, kTr)), *kBm3.pressure(v) + ok(m.thermal_pressure(v, kTr)));
    for (double t : {50.0, 4000.0}) {
      const double dt = t - kTr;
      EXPECT_NEAR(ok(m.thermal_pressure_increment(v, t)),
                  0.005 * dt + 0.5e-6 * dt * dt + 0.01 * de * dt, 1e-14);
    }
  }
}

TEST(ExplicitThermalPressureConstructors, ReportTheFirstBadParameterInCheckOrder) {
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
  EXPECT_EQ(error_of(LinearThermalPressure<BM3>::create(kBm3, 0.0, 0.01)), positive("Tr"));
  auto debye_quadratic_error = [](double n, double a) {
    return error_of(
        DebyeQuadraticThermalPressure<BM3>::create(kBm3, kTr, 773, 1.5, 1.5, n, a, 1.0));
  };
  EXPECT_EQ(debye_quadratic_error(0.0, kNaN), positive("n"));
  EXPECT_EQ(debye_quadratic_error(2.0, kInf), finite("A"));
}

}  // namespace
}  // namespace barometra
