// Dewaele2006: a Mie-Grueneisen Debye model when gamma is constant; the two
// references and the zero-point option; the electronic term as -dF/dV.
#include "barometra/thermal/dewaele2006.hpp"

#include <gtest/gtest.h>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using Ref = ThermalPressureReference;
using Zp = ZeroPointPressure;
using Model = Dewaele2006<RtModel>;
using P = std::vector<double>;

constexpr double kV0 = 11.25, kTr = 300.0, kR = 8.31446261815324;
// gamma0, gamma_inf, Tr, theta0, beta, a, m, e, g, n: the check order.
const P kGood{1.5, 0.5, kTr, 800.0, 2.0, 1e-5, 3.0, 3e-5, 1.5, 2.0};

std::expected<Model, EosError> build(const P& p, Ref ref = Ref::reference_temperature,
                                     Zp zp = Zp::omitted) {
  return Model::create(RtModel(*BM3::create(kV0, 160.0, 4.15)), p[2], p[3], p[0], p[1], p[4],
                       p[5], p[6], p[7], p[8], p[9], ref, zp);
}

TEST(Dewaele2006, ConstantGammaIsAMieGruneisenDebyeModel) {
  for (Ref ref : {Ref::reference_temperature, Ref::absolute_zero}) {
    const Model m = *build({1.5, 1.5, kTr, 800.0, 2.0, 0.0, 3.0, 0.0, 1.5, 2.0}, ref);
    const auto mg = *MieGruneisen<RtModel, true>::create(
        m.reference_eos(), kTr, 800.0, 1.5, 0.0, 2.0, DebyeTemperatureLaw::integrated_gruneisen,
        ref);
    for (double v : {0.75 * kV0, 1.1 * kV0}) {
      EXPECT_NEAR(ok(m.gruneisen_parameter(v, kNaN)), 1.5, 1e-15);
      for (double t : {kTr, 3000.0}) {
        const double expected = ok(mg.thermal_pressure(v, t));
        EXPECT_NEAR(ok(m.thermal_pressure(v, t)), expected, 1e-12 * (1 + expected));
      }
    }
  }
}

TEST(Dewaele2006, ReferencesZeroPointAndIncrements) {
  const Model at_tr = *build(kGood);
  for (const auto& [ref, zp] : {std::pair{Ref::reference_temperature, Zp::omitted},
                                {Ref::absolute_zero, Zp::omitted},
                                {Ref::absolute_zero, Zp::included}}) {
    const Model m = *build(kGood, ref, zp), without = *build(kGood, ref);
    for (double v : {0.75 * kV0, kV0, 1.1 * kV0}) {
      const double zero_point = zp == Zp::omitted ? 0.0
                                                  : 1.125 * 2.0 * kR / v / 1e4 *
                                                        ok(m.gruneisen_parameter(v, 0.0)) *
                                                        ok(m.characteristic_temperature(v));
      if (ref == Ref::reference_temperature) {
        EXPECT_EQ(ok(m.pressure(v, kTr)), ok(m.reference_eos().pressure(v)));
      } else {
        EXPECT_GT(ok(m.thermal_pressure(v, kTr)), zero_point);
        EXPECT_EQ(ok(m.thermal_pressure_increment(v, kTr)), 0.0);
      }
      for (double t : {kTr, 3000.0}) {
        const double pth = ok(m.thermal_pressure(v, t));
        EXPECT_NEAR(pth, ok(m.vibrational_pressure_increment(v, t)) + zero_point +
                             ok(m.anharmonic_pressure_increment(v, t)) +
                             ok(m.electronic_pressure_increment(v, t)), 1e-14 * pth);
        EXPECT_NEAR(pth - ok(without.thermal_pressure(v, t)), zero_point, 1e-14 * pth);
        // Heating from Tr adds the same whatever the reference.
        EXPECT_NEAR(ok(m.thermal_pressure_increment(v, t)), ok(at_tr.thermal_pressure(v, t)),
                    1e-13 * pth);
        // -dF/dV of F = -1.5 n R e x^g (T^2 - T2^2).
        const double t2 = ref == Ref::absolute_zero ? 0.0 : kTr;
        auto f = [&](double x) {
          return -3 * kR * 3e-5 * std::pow(x / kV0, 1.5) * (t * t - t2 * t2);
        };
        EXPECT_NEAR(ok(m.electronic_pressure_increment(v, t)), -derivative(f, v, 1e-3) / 1e4,
                    1e-12 * t * t);
      }
    }
  }
}

TEST(Dewaele2006, ChecksInOrder) {
  expect_checks_in_order(kGood,
                         {positive("gamma0"), finite("gamma_inf"), positive("Tr"),
                          positive("theta0"), positive("beta"), finite("anharmonic_a"),
                          positive("anharmonic_m"), finite("electronic_e"),
                          positive("electronic_g"), positive("n")},
                         [](const P& p) { return build(p); });
  auto invalid = EosError::invalid_parameter;
  // Numbers first (gamma0 before gamma_inf, which then exceeds it), then the options.
  const std::tuple<std::size_t, double, EosError> cases[] = {
      {0, 0.0, positive("gamma0")},
      {1, 1.6, invalid("gamma_inf", "must not exceed gamma0")},
      {1, -1e-300, invalid("gamma_inf", kMustNotBeNegative)},
      {5, -1e-300, invalid("anharmonic_a", kMustNotBeNegative)},
      {7, -1e-300, invalid("electronic_e", kMustNotBeNegative)},
      {1, 1.5, invalid("zero_point_pressure", "inclusion requires absolute_zero")},
  };
  for (const auto& [index, value, error] : cases) {
    P p = kGood;
    p[index] = value;
    EXPECT_EQ(error_of(build(p, Ref::reference_temperature, Zp::included)), error) << index;
  }
  EXPECT_EQ(build(kGood, Ref::reference_isentrope).error().field(), "thermal_pressure_reference");
  const Model m = *build(kGood, Ref::absolute_zero, Zp::included);
  EXPECT_EQ(m.parameters(), (std::array{kTr, 800.0, 1.5, 0.5, 2.0, 1e-5, 3.0, 3e-5, 1.5, 2.0}));
  EXPECT_EQ(m.thermal_pressure(0.0, kNaN), kBadVolume);
  EXPECT_EQ(m.thermal_pressure(kV0, kNaN), kBadTemperature);
  expect_only_finite_values(m);
  expect_only_finite_values(*build(kGood));
}

}  // namespace
}  // namespace barometra
