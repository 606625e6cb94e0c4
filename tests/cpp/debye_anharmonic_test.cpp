// DebyeAnharmonicHelmholtz: the Debye MieGruneisen from 0 K when b1 = 0; S,
// Cv and the total pressure as derivatives of its free energy; the checks.
#include "barometra/thermal/debye_anharmonic.hpp"

#include <gtest/gtest.h>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using Model = DebyeAnharmonicHelmholtz<RtModel>;
using P = std::vector<double>;

constexpr double kV0 = 11.25, kTr = 300.0, kTheta0 = 760.0, kCvmax = 24.943530000000003;
const P kGood{0.1, kTr, kTheta0, 1.5, 1.2, 5e-3, 2.0};  // b2, Tr, theta0, gamma0, q, b1, b3

std::expected<Model, EosError> build(const P& p) {
  return Model::create(RtModel(*BM3::create(kV0, 160.0, 4.15)), p[1], p[2], p[3], p[4], p[5],
                       p[0], p[6]);
}
Model with_b1(double b1) { return *build({0.1, kTr, kTheta0, 1.5, 1.2, b1, 2.0}); }

TEST(DebyeAnharmonicHelmholtz, WithoutAnharmonicityIsTheDebyeModelFromAbsoluteZero) {
  const Model m = with_b1(0.0);
  const auto mg = *MieGruneisen<RtModel, true>::create(
      m.reference_eos(), kTr, kTheta0, 1.5, 1.2, 1.0, DebyeTemperatureLaw::integrated_gruneisen,
      ThermalPressureReference::absolute_zero, kCvmax);
  for (double v : {0.8 * kV0, 1.1 * kV0}) {
    for (double t : {50.0, 2000.0}) {
      EXPECT_EQ(ok(m.thermal_pressure(v, t)), ok(mg.thermal_pressure(v, t)));
      EXPECT_EQ(ok(m.thermal_pressure_increment(v, t)), ok(mg.thermal_pressure_increment(v, t)));
      EXPECT_NEAR(ok(m.molar_heat_capacity_v(v, t)), ok(mg.molar_heat_capacity_v(v, t)),
                  1e-8 * kCvmax);
    }
  }
  // Far below theta (u > 700 drops 3u/(e^u - 1)), Cv = 4 pi^4 / (5 u^3) Cvmax.
  for (double u : {699.0, 701.0, 1e5}) {
    const double cv = 4.0 * 97.40909103400242 / (5.0 * u * u * u) * kCvmax;
    EXPECT_NEAR(ok(m.molar_heat_capacity_v(kV0, kTheta0 / u)), cv, 1e-9 * cv) << u;
  }
}

TEST(DebyeAnharmonicHelmholtz, EntropyHeatCapacityAndPressureDeriveFromF) {
  const Model m = with_b1(5e-3);
  auto f = [&](double v, double t) { return ok(m.helmholtz_free_energy(v, t)); };
  for (double v : {0.8 * kV0, kV0, 1.1 * kV0}) {
    EXPECT_GT(ok(m.thermal_pressure(v, kTr)), 0.0);  // from 0 K
    EXPECT_EQ(ok(m.thermal_pressure_increment(v, kTr)), 0.0);
    for (double t : {50.0, kTr, 2000.0}) {
      const double h = 1e-3 * t, s = ok(m.entropy(v, t)), cv = ok(m.molar_heat_capacity_v(v, t));
      EXPECT_NEAR(s, -derivative([&](double x) { return f(v, x); }, t, h), 1e-8 * s);
      EXPECT_NEAR(cv, derivative([&](double x) { return ok(m.internal_energy(v, x)); }, t, h),
                  1e-7 * cv);
      EXPECT_NEAR(ok(m.internal_energy(v, t)), f(v, t) + t * s, 1e-9 * t * s);
      const double p = ok(m.pressure(v, t));  // -dF/dV, F including the static lattice
      EXPECT_NEAR(p, -derivative([&](double x) { return f(x, t); }, v, 1e-3 * v) / 1e4,
                  1e-7 * (1 + std::fabs(p)));
    }
  }
  EXPECT_EQ(f(kV0, 900.0), ok(m.thermal_helmholtz_free_energy(kV0, 900.0)));
}

TEST(DebyeAnharmonicHelmholtz, ChecksInOrder) {
  expect_checks_in_order(kGood,
                         {finite("b2"), positive("Tr"), positive("theta0"), finite("gamma0"),
                          finite("q"), finite("b1"), finite("b3")},
                         [](const P& p) { return build(p); });
  EXPECT_EQ(error_of(build({-0.1, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN})),
            EosError::invalid_parameter("b2", "must be nonnegative"));
  const Model m = *build(kGood);
  EXPECT_EQ(m.parameters(), (std::array{kTr, kTheta0, 1.5, 1.2, 5e-3, 0.1, 2.0}));
  EXPECT_EQ(m.quasi_harmonic_model().cvmax(), kCvmax);
  for (const Result& r : {m.thermal_pressure(0.0, kNaN), m.molar_heat_capacity_v(0.0, kNaN),
                          m.helmholtz_free_energy(0.0, kNaN), m.internal_energy(kNaN, kNaN)}) {
    EXPECT_EQ(r, kBadVolume);
  }
  EXPECT_EQ(m.internal_energy(kV0, -1.0), kBadTemperature);
  expect_only_finite_values(m);
}

}  // namespace
}  // namespace barometra
