// MultiOscillatorGruneisen: the closed form at V0, the Grueneisen integral
// against a composite Simpson rule, the temperature inversion that computes
// the volume record once (counted), and the checks.
#include "barometra/thermal/multi_oscillator.hpp"

#include <gtest/gtest.h>

#include "barometra/isothermal/finite_strain.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using P = std::vector<double>;

constexpr double kV0 = 11.25, kTr = 298.15, kR = 8.31446261815324;

// Counts evaluations of the reference EOS (K' costs two P and two K); a huge
// V0 makes V/V0 underflow.
struct CountingBM3 {
  BM3 bm3;
  long* calls;
  double huge_v0 = 0.0;
  double v0() const noexcept { return huge_v0 > 0.0 ? huge_v0 : bm3.v0(); }
  Result pressure(double v) const noexcept { return ++*calls, bm3.pressure(v); }
  Result bulk_modulus(double v) const noexcept { return ++*calls, bm3.bulk_modulus(v); }
  Result bulk_modulus_derivative(double v, double step) const noexcept {
    return *calls += 4, bm3.bulk_modulus_derivative(v, step);
  }
};
using Model = MultiOscillatorGruneisen<CountingBM3>;

// Tr, QE1o, mE1, QE2o, mE2, delta, t, a_0, m, g, e_0, beta, QBo, d, mb, QB1o, d1, mb1, n.
const P kGood{kTr, 450.0, 3.0, 800.0, 3.0, -0.1, 1.0, 10.0, 3.0, 1.5,
              30.0, 0.2,  600.0, 2.0, 1.0, 1000.0, 4.0, 0.5, 2.0};

std::expected<Model, EosError> build(const P& p, long* calls, double huge_v0 = 0.0) {
  return Model::create(CountingBM3{*BM3::create(kV0, 160.0, 4.15), calls, huge_v0}, p[0], p[1],
                       p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13],
                       p[14], p[15], p[16], p[17], p[18]);
}

class MultiOscillator : public ::testing::Test {
 protected:
  long calls = 0;
  Model m = *build(kGood, &calls);
  // gamma(y), written divided through by 3K.
  double gamma(double y) const {
    const BM3& bm3 = m.reference_eos().bm3;
    const double v = y * kV0, w = 1.0 - 0.2 * std::cbrt(y);
    const double r = *bm3.pressure(v) / (3 * *bm3.bulk_modulus(v));
    const double k_prime = *bm3.bulk_modulus_derivative(v, 1e-6);
    return -0.1 + (k_prime / 2 - 1.0 / 6 - (w / 3) * (1 - r)) / (1 - 2 * w * r);
  }
};

TEST_F(MultiOscillator, AtV0TheThetasAreTheParametersAndPthIsClosedForm) {
  EXPECT_EQ(ok(m.gruneisen_integral(1.0)), 0.0);
  const auto terms = ok(m.volume_terms(kV0));
  EXPECT_EQ((std::array{terms.theta_b, terms.theta_b1, terms.theta_e1, terms.theta_e2}),
            (std::array{600.0, 1000.0, 450.0, 800.0}));
  // P(V0) = 0 and K'(V0) = K0': gamma = delta + K0'/2 - 1/6 - (t - beta)/3.
  EXPECT_NEAR(terms.gamma, -0.1 + 4.15 / 2 - 1.0 / 6 - 0.8 / 3, 1e-8);
  auto modes = [](double t) {
    return ok(bose_mode_energy(600.0, t, 2.0)) + 0.5 * ok(bose_mode_energy(1000.0, t, 4.0)) +
           3 * ok(sokolova_einstein_energy(450.0, t)) + 3 * ok(sokolova_einstein_energy(800.0, t));
  };
  for (double t : {100.0, 2500.0}) {
    const double quadratic = 3 * kR * 1e-6 * (3.0 * 10.0 + 1.5 * 30.0) * (t * t - kTr * kTr);
    const double expected = (terms.gamma * kR * (modes(t) - modes(kTr)) + quadratic) / kV0 / 1e4;
    EXPECT_NEAR(ok(m.thermal_pressure(kV0, t)), expected, 1e-13 * (1 + std::fabs(expected)));
  }
}

TEST_F(MultiOscillator, GruneisenIntegralMatchesCompositeSimpson) {
  for (double x : {0.6, 1.3}) {
    const double h = (1.0 - x) / 2000;
    double sum = gamma(x) / x + gamma(1.0);
    for (int i = 1; i < 2000; ++i) sum += (i % 2 ? 4.0 : 2.0) * gamma(x + i * h) / (x + i * h);
    const double integral = sum * h / 3;
    EXPECT_NEAR(ok(m.gruneisen_integral(x)), integral, 1e-10 * std::fabs(integral));
    const auto terms = ok(m.volume_terms(x * kV0));
    EXPECT_NEAR(terms.theta_e1, 450.0 * std::exp(integral), 1e-9 * terms.theta_e1);
    EXPECT_NEAR(terms.gamma, gamma(x), 1e-14 * gamma(x));
  }
}

TEST_F(MultiOscillator, TemperatureInversionComputesTheVolumeRecordOnce) {
  for (double x : {0.7, 1.0, 1.05}) {
    const double v = x * kV0;
    EXPECT_EQ(ok(m.thermal_pressure(v, kTr)), 0.0);
    calls = 0;
    ASSERT_TRUE(m.volume_terms(v));
    const long per_record = calls;
    // P, K and K' at V, P and K at V0, then at least 5 samples on each of 32 panels.
    EXPECT_GE(per_record, x == 1.0 ? 8 : 8 + 6 * 5 * 32);
    for (double t : {150.0, 2000.0}) {
      const double p = ok(m.pressure(v, t));
      EXPECT_EQ(ok(m.thermal_pressure_increment(v, t)), ok(m.thermal_pressure(v, t)));
      calls = 0;
      const double own = ok(m.temperature(p, v));
      EXPECT_EQ(calls, per_record + 1);  // and Pref(V) once
      EXPECT_NEAR(own, t, 1e-8 * t);
      calls = 0;
      EXPECT_EQ(own, ok(m.ThermalModelBase<Model>::temperature(p, v)));
      EXPECT_GT(calls, 20 * per_record);  // the default: a record per trial temperature
    }
  }
  calls = 0;
  EXPECT_EQ(m.thermal_pressure(kV0, kNaN), kBadTemperature);  // before any quadrature
  // Past the spinodal of the BM3 (x near 1.7), gamma(y) has a pole between V0 and V.
  for (double x : {2.0, 27.0, 1e6}) {
    EXPECT_EQ(m.volume_terms(x * kV0).error(), EosError::non_finite_result()) << x;
  }
  EXPECT_LT(calls, 30);
}

TEST_F(MultiOscillator, ChecksInOrder) {
  std::vector<EosError> errors;
  for (std::size_t i = 0; i < kGood.size(); ++i) {
    const char* name = Model::kParameterNames[i];
    errors.push_back(std::string("++0+00000000++0++0+")[i] == '+' ? positive(name) : finite(name));
  }
  expect_checks_in_order(kGood, errors, [&](const P& p) { return build(p, &calls); });
  for (std::size_t i : {2u, 4u, 14u, 17u}) {  // the multiplicities
    P p = kGood;
    p[i] = -1.0;
    EXPECT_EQ(error_of(build(p, &calls)),
              EosError::invalid_parameter(Model::kParameterNames[i], kMustNotBeNegative));
  }
  EXPECT_TRUE(std::equal(kGood.begin(), kGood.end(), m.parameters().begin()));
  EXPECT_EQ(build(kGood, &calls, 1e300)->volume_terms(1e-30).error(),
            EosError::invalid_state("volume ratio", kMustBePositiveFinite));
  EXPECT_EQ(m.temperature(kNaN, 0.0).error(), EosError::invalid_state("pressure", kMustBeFinite));
  EXPECT_EQ(m.temperature(1.0, 0.0), kBadVolume);
  EXPECT_EQ(m.thermal_pressure_from_terms(ok(m.volume_terms(kV0)), 0.0), kBadTemperature);
  // Not the common fuzz: its volume inversions at 1e10 K compress to V/V0 = 1e-4,
  // where each of their hundreds of pressures costs a quadrature of milliseconds.
  for (double v : {0.0, -1.0, kNaN, kInf, 1e-300, kV0, 1e300}) {
    for (double t : {0.0, kNaN, 1e-320, 300.0, 1e10, 1.7e308}) {
      for (const Result& r : {m.thermal_pressure(v, t), m.pressure(v, t), m.temperature(v, t),
                              m.bulk_modulus(v, t, 1e-6)}) {
        EXPECT_TRUE(!r || std::isfinite(*r)) << v << " " << t;
      }
    }
  }
}

}  // namespace
}  // namespace barometra
