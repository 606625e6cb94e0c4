// DorogokupetsOganov2007: S, Cv and the pressure as derivatives of F, the
// quasi-harmonic reduction, and the checks.
#include "barometra/thermal/dorogokupets_oganov.hpp"

#include <gtest/gtest.h>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using Model = DorogokupetsOganov2007<RtModel>;
using P = std::vector<double>;

constexpr double kV0 = 11.25, kTr = 298.15, kR = 8.31446261815324;
// Tr; theta, d, m of two Bose oscillators; theta, m of two Einstein ones;
// gamma0, gamma_inf, beta, a, m, e, g, H, S, n. The modes sum to 3n = 6.
const P kGood{kTr, 760.0, 1.5, 3.0, 500.0, 5.0, 1.5, 300.0, 1.0, 900.0, 0.5,
              1.5, 0.5,   2.5, 15.0,  4.0,  20.0, 1.5, 3e4,  5.0,   2.0};

std::expected<Model, EosError> build(const P& p) {
  return Model::create(RtModel(*BM3::create(kV0, 160.0, 4.15)), p[0], p[1], p[2], p[3], p[4],
                       p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15],
                       p[16], p[17], p[18], p[19], p[20]);
}

TEST(DorogokupetsOganov2007, EntropyHeatCapacityAndPressureDeriveFromF) {
  const Model m = *build(kGood);
  auto f = [&](double v, double t) {
    return ok(m.thermodynamic_terms(v, t)).helmholtz_free_energy;
  };
  auto e = [&](double v, double t) { return ok(m.thermodynamic_terms(v, t)).internal_energy; };
  for (double v : {0.7 * kV0, kV0, 1.1 * kV0}) {
    EXPECT_EQ(ok(m.thermal_pressure(v, kTr)), 0.0);
    for (double t : {100.0, kTr, 4000.0}) {
      const auto terms = ok(m.thermodynamic_terms(v, t));
      const double s = terms.entropy, cv = terms.heat_capacity_v, h = 1e-3 * t;
      const double pabs = ok(m.absolute_nonreference_pressure(v, t));
      EXPECT_NEAR(s, (terms.internal_energy - terms.helmholtz_free_energy) / t, 1e-12 * s);
      EXPECT_NEAR(s, -derivative([&](double x) { return f(v, x); }, t, h), 1e-7 * s);
      EXPECT_NEAR(cv, derivative([&](double x) { return e(v, x); }, t, h), 1e-7 * cv);
      EXPECT_NEAR(pabs, -derivative([&](double x) { return f(x, t); }, v, 1e-4 * v) / 1e4,
                  1e-8 * (std::fabs(pabs) + 1e-3));
      EXPECT_EQ(ok(m.thermal_pressure(v, t)), pabs - ok(m.absolute_nonreference_pressure(v, kTr)));
    }
  }
}

TEST(DorogokupetsOganov2007, WithoutExtraTermsIsTheQuasiHarmonicSum) {
  P p = kGood;
  p[14] = p[16] = 0.0;  // anharmonic_a, electronic_e
  p[18] = 1e12;         // defect_H: exp(-H/(T x^2)) underflows
  const Model m = *build(p);
  for (double x : {0.7, 1.1}) {
    const double factor = std::pow(x, -0.5) * std::exp((1.0 / 2.5) * (1 - std::pow(x, 2.5)));
    auto energy = [&](double t) {
      return kR * (3.0 * ok(bose_mode_energy(760 * factor, t, 1.5)) +
                   1.5 * ok(bose_mode_energy(500 * factor, t, 5.0)) +
                   ok(sokolova_einstein_energy(300 * factor, t)) +
                   0.5 * ok(sokolova_einstein_energy(900 * factor, t)));
    };
    for (double t : {100.0, 4000.0}) {
      const auto terms = ok(m.thermodynamic_terms(x * kV0, t));
      const double cv = terms.heat_capacity_v;
      EXPECT_NEAR(terms.internal_energy, energy(t), 1e-12 * energy(t));
      EXPECT_NEAR(cv, derivative(energy, t, 1e-3 * t), 1e-7 * cv);
      EXPECT_NEAR(ok(m.absolute_nonreference_pressure(x * kV0, t)),
                  (0.5 + std::pow(x, 2.5)) * energy(t) / (x * kV0) / 1e4, 1e-12 * energy(t));
    }
  }
}

TEST(DorogokupetsOganov2007, ChecksInOrder) {
  std::vector<EosError> errors;
  for (std::size_t i = 0; i < kGood.size(); ++i) {
    const char* name = Model::kParameterNames[i];
    errors.push_back((i >= 14 && i <= 17) || i == 19 ? finite(name) : positive(name));
  }
  expect_checks_in_order(kGood, errors, [](const P& p) { return build(p); });
  // The multiplicities may miss 3n by 0.005 either way.
  const auto mismatch = EosError::invalid_parameter("oscillator multiplicities",
                                                    "must sum to three times the atom count");
  for (double shift : {0.004, -0.004, 0.006, -0.006}) {
    P p = kGood;
    p[10] += shift;
    EXPECT_EQ(error_of(build(p)),
              std::fabs(shift) < 0.005 ? std::nullopt : std::optional(mismatch));
  }
  const Model m = *build(kGood);
  EXPECT_TRUE(std::equal(kGood.begin(), kGood.end(), m.parameters().begin()));
  EXPECT_EQ(m.thermal_pressure(0.0, kNaN), kBadVolume);
  EXPECT_EQ(m.thermodynamic_terms(kV0, 0.0).error(), kBadTemperature.error());
  expect_only_finite_values(m);
}

}  // namespace
}  // namespace barometra
