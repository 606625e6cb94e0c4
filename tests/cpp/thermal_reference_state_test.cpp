// The thermal reference state: the laws of V0(T), K0(T) and K0'(T) against
// independent forms, the isotherm at Tr, its own bulk modulus, and every
// construction, rebuild and temperature error in order.
#include "barometra/thermal/thermal_reference_state.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;

constexpr double kV0 = 11.25, kK0 = 160.0, kK0Prime = 4.15, kTr = 300.0;

using Expansion = ThermalExpansionLaw;
using Volume = ReferenceVolumeLaw;
using Bulk = BulkModulusLaw;
using State = ThermalReferenceState<RtModel>;

const RtModel kBm3 = *BM3::create(kV0, kK0, kK0Prime);
const RtModel kBm2 = *BM2::create(kV0, kK0);

auto invalid(const char* field, const char* message) {
  return EosError::invalid_parameter(field, message);
}
auto invalid_state(const char* field, const char* message) {
  return std::unexpected(EosError::invalid_state(field, message));
}

// V0 exp(int_Tr^T alpha) by composite Simpson, independent of the closed forms.
std::function<double(double)> integrated(std::function<double(double)> alpha) {
  return [alpha](double t) {
    const int n = 200;
    const double h = (t - kTr) / n;
    double sum = alpha(kTr) + alpha(t);
    for (int i = 1; i < n; ++i) sum += (i % 2 ? 4.0 : 2.0) * alpha(kTr + i * h);
    return kV0 * std::exp(sum * h / 3.0);
  };
}

struct LawCase {
  Expansion expansion;
  Volume volume;
  Bulk bulk;
  double alpha0, dk_dt, alpha1, kprime_log, dkprime_dt;
  std::function<double(double)> alpha;  // alpha(T), where V0(T) integrates it
  std::function<double(double)> v0;
  State make() const {
    return *State::create(kBm3, expansion, volume, bulk, kTr, alpha0, dk_dt, alpha1, kprime_log,
                          dkprime_dt);
  }
};

const Bulk kCubic = Bulk::reciprocal_cubic(1e-7, 2e-10, 5e-14);
const std::vector<LawCase> kLawCases = {
    {Expansion::constant, Volume::integrated_expansivity, Bulk::linear_temperature(), 3e-5, -0.02,
     0.0, 0.0, 0.0, [](double) { return 3e-5; }, integrated([](double) { return 3e-5; })},
    {Expansion::linear_temperature, Volume::integrated_expansivity, Bulk::linear_temperature(),
     2e-5, -0.02, 1e-8, 2e-4, 0.0, [](double t) { return 2e-5 + 1e-8 * t; },
     integrated([](double t) { return 2e-5 + 1e-8 * t; })},
    {Expansion::linear_reference_temperature, Volume::integrated_expansivity, kCubic, 2e-5, 0.0,
     1e-8, 2e-4, 1e-4, [](double t) { return 2e-5 + 1e-8 * (t - kTr); },
     integrated([](double t) { return 2e-5 + 1e-8 * (t - kTr); })},
    {Expansion::constant, Volume::linear_temperature, kCubic, 3e-5, 0.0, 0.0, 0.0, -2e-4, nullptr,
     [](double t) { return kV0 * (1 + 3e-5 * (t - kTr)); }},
    {Expansion::linear_temperature, Volume::berman, Bulk::linear_temperature(), 3e-5, -0.02, 1e-8,
     0.0, 1e-4, nullptr,
     [](double t) { return kV0 * (1 + 3e-5 * (t - kTr) + 0.5e-8 * (t - kTr) * (t - kTr)); }},
};

TEST(ThermalReferenceState, LawsGiveTheIsothermAtEachTemperature) {
  for (const auto& c : kLawCases) {
    const auto m = c.make();
    const bool cubic = c.bulk.kind() == Bulk::Kind::reciprocal_cubic;
    // The derivative of K0 (linear law) or of 1/K0 (cubic law) with T.
    auto k0_law = [&](double t) {
      const double k0 = (*m.state_eos(t)->get_if<BM3>()).parameters()[1];
      return cubic ? 1.0 / k0 : k0;
    };
    for (double t : {50.0, kTr, 1200.0, 2500.0}) {
      const auto p = m.state_eos(t)->get_if<BM3>()->parameters();
      const double dt = t - kTr, h = 1e-2;
      EXPECT_NEAR(p[0], c.v0(t), 1e-13 * kV0) << t;
      const double slope = cubic ? 1e-7 + 2 * 2e-10 * t + 3 * 5e-14 * t * t : c.dk_dt;
      EXPECT_NEAR((k0_law(t + h) - k0_law(t - h)) / (2 * h), slope, 1e-7 * std::fabs(slope)) << t;
      EXPECT_NEAR(p[2], kK0Prime + c.dkprime_dt * dt + c.kprime_log * dt * std::log(t / kTr),
                  1e-15 * kK0Prime);
      // At zero pressure V = V0(T), so the expansivity there is alpha(T).
      if (c.alpha) {
        EXPECT_NEAR(ok(m.thermal_expansivity(p[0], t, 1e-5)), c.alpha(t), 1e-6 * c.alpha(t));
      }
      // The own bulk modulus is the isotherm's closed form.
      EXPECT_EQ(ok(m.bulk_modulus(0.9 * kV0, t, 5.0)), *m.state_eos(t)->bulk_modulus(0.9 * kV0));
    }
    EXPECT_NEAR(k0_law(kTr), cubic ? 1 / kK0 : kK0, 1e-16 * kK0);
    for (double v : {0.7 * kV0, kV0, 1.1 * kV0}) {
      EXPECT_NEAR(ok(m.thermal_pressure(v, kTr)), 0.0, 1e-13);
      EXPECT_NEAR(ok(m.pressure(v, kTr)), *kBm3.pressure(v), 1e-13);
      const double p = ok(m.pressure(v, 1800.0));
      EXPECT_NEAR(ok(m.volume(p, 1800.0)), v, 1e-10 * v);
      // Pth need not rise monotonically with T, so the root found may be another.
      EXPECT_NEAR(ok(m.pressure(v, ok(m.temperature(p, v)))), p, 1e-8 * std::fmax(std::fabs(p), 1));
    }
  }
}

TEST(ThermalReferenceState, NoTemperatureTermsMeanNoThermalPressure) {
  const auto m = *State::create(RtModel(*Vinet::create(kV0, kK0, kK0Prime)), Expansion::constant,
                                Volume::integrated_expansivity, kTr, 0.0, 0.0, 0.0);
  for (double v : {0.6 * kV0, 1.2 * kV0}) {
    for (double t : {1.0, kTr, 5000.0}) EXPECT_EQ(ok(m.thermal_pressure(v, t)), 0.0);
  }
}

TEST(ThermalReferenceState, ConstructionStepsCheckInOrder) {
  expect_checks_in_order(
      {kTr, 1e-5, -0.02, 1e-8},
      {positive("Tr"), finite("alpha0"), finite("dK_dT"), finite("alpha1")},
      [](const std::vector<double>& p) {
        return State::create(kBm3, Expansion::linear_temperature, Volume::berman, p[0], p[1],
                             p[2], p[3]);
      });
  auto step1 = [](double alpha1, Expansion e, Volume v) {
    return error_of(State::create(kBm3, e, v, kTr, 0.0, 0.0, alpha1));
  };
  const auto constant_only = invalid("alpha1", "must be zero for constant thermal expansion");
  const auto linear_volume =
      invalid("reference_volume_law",
              "linear temperature volume requires constant expansivity configuration");
  const auto berman =
      invalid("reference_volume_law",
              "Berman volume requires linear-temperature expansivity configuration");
  EXPECT_EQ(step1(1e-3, Expansion::constant, Volume::linear_temperature), constant_only);
  EXPECT_EQ(step1(1e-3, Expansion::linear_temperature, Volume::linear_temperature), linear_volume);
  EXPECT_EQ(step1(0, Expansion::linear_reference_temperature, Volume::linear_temperature),
            linear_volume);
  EXPECT_EQ(step1(0, Expansion::constant, Volume::berman), berman);
  EXPECT_EQ(step1(0, Expansion::linear_reference_temperature, Volume::berman), berman);
  EXPECT_EQ(step1(0, Expansion::constant, Volume::integrated_expansivity), std::nullopt);

  // Steps 2 and 3, through the full constructor; step 1 errors come first.
  auto full = [](const RtModel& r, double dk_dt, Bulk bulk, double kprime_log, double dkprime_dt) {
    return error_of(State::create(r, Expansion::constant, Volume::integrated_expansivity, bulk,
                                  kTr, 1e-5, dk_dt, 0.0, kprime_log, dkprime_dt));
  };
  const auto cubic_nan = Bulk::reciprocal_cubic(0.0, kNaN, 0.0);
  const auto cubic_finite = invalid("compressibility coefficient", "must be finite");
  const auto no_shift = invalid("kprime_log_coefficient",
                                "reference EOS does not support a pressure-derivative shift");
  EXPECT_EQ(error_of(State::create(kBm2, Expansion::constant, Volume::berman, cubic_nan, kNaN, 0,
                                   0.5, 0, kNaN, kNaN)),
            positive("Tr"));
  EXPECT_EQ(full(kBm2, 0.5, kCubic, kNaN, kNaN),
            invalid("dK_dT", "must be zero with cubic compressibility"));
  EXPECT_EQ(full(kBm2, 0.5, cubic_nan, kNaN, kNaN), cubic_finite);
  EXPECT_EQ(full(kBm2, 0.0, Bulk::reciprocal_cubic(kInf, 0, 0), kNaN, kNaN), cubic_finite);
  EXPECT_EQ(full(kBm2, 0.5, Bulk::linear_temperature(), kNaN, kNaN),
            finite("kprime_log_coefficient"));
  EXPECT_EQ(full(kBm2, 0.5, Bulk::linear_temperature(), 0.1, kNaN), no_shift);
  EXPECT_EQ(full(kBm2, 0.5, Bulk::linear_temperature(), 0.0, kNaN), finite("dKprime_dT"));
  EXPECT_EQ(full(kBm2, 0.5, Bulk::linear_temperature(), 0.0, 0.1), no_shift);
  EXPECT_EQ(full(kBm2, 0.0, kCubic, 0.0, 0.0), std::nullopt);
  EXPECT_EQ(full(kBm3, 0.0, kCubic, 0.1, 0.1), std::nullopt);
  // The trial shift is the coefficient itself: K0' 1.5 - 0.5 = 1 is no Morse3.
  const RtModel morse = *Morse3::create(kV0, kK0, 1.5);
  EXPECT_EQ(full(morse, 0.0, kCubic, -0.5, 0.0),
            invalid("K0_prime", "Morse3 requires K0_prime != 1"));
}

TEST(ThermalReferenceState, TemperaturesOutsideTheLawsFailCleanly) {
  const auto bad_volume = invalid_state("temperature", "produces a non-positive reference volume");
  const auto bad_modulus = invalid_state("temperature", "produces a non-positive bulk modulus");
  auto model = [](const RtModel& r, Expansion e, Volume v, Bulk b, double alpha0, double dk_dt,
                  double alpha1, double dkprime_dt = 0.0) {
    return *State::create(r, e, v, b, kTr, alpha0, dk_dt, alpha1, 0.0, dkprime_dt);
  };
  // A K0' falling by 1e-3 per kelvin.
  auto softening_kprime = [&](const RtModel& r) {
    return model(r, Expansion::constant, Volume::integrated_expansivity,
                 Bulk::linear_temperature(), 0, 0, 0, -1e-3);
  };
  const auto softening = model(kBm3, Expansion::constant, Volume::integrated_expansivity,
                               Bulk::linear_temperature(), 3e-5, -0.1, 0.0);
  EXPECT_TRUE(softening.thermal_pressure(kV0, 1899.0));
  EXPECT_EQ(softening.thermal_pressure(kV0, 1900.0), bad_modulus);  // K0 + dK_dT dT = 0
  EXPECT_EQ(softening.bulk_modulus(kV0, 1e6, 1e-6), bad_modulus);
  const auto shrinking = model(kBm3, Expansion::linear_temperature, Volume::berman,
                               Bulk::linear_temperature(), -1e-3, 0.0, 0.0);
  EXPECT_EQ(shrinking.thermal_pressure(kV0, 1300.0), bad_volume);
  EXPECT_EQ(model(kBm3, Expansion::constant, Volume::integrated_expansivity,
                  Bulk::linear_temperature(), 1.0, 0.0, 0.0)
                .pressure(kV0, 1500.0),
            bad_volume);  // exp overflows
  // 1/K0 + beta1 dT reaches zero and then turns negative.
  const auto cubic = model(kBm3, Expansion::constant, Volume::integrated_expansivity,
                           Bulk::reciprocal_cubic(-1.0 / (kK0 * 1000.0), 0, 0), 0.0, 0.0, 0.0);
  EXPECT_EQ(cubic.thermal_pressure(kV0, 1300.0), bad_modulus);
  EXPECT_EQ(cubic.thermal_pressure(kV0, 2000.0), bad_modulus);
  EXPECT_TRUE(cubic.thermal_pressure(kV0, 1000.0));
  // Rebuilds that fail at some temperatures only: Morse3's K0' reaching 1,
  // Baonza's falling to 0.
  const auto morse = softening_kprime(*Morse3::create(kV0, kK0, 1.5));
  EXPECT_TRUE(morse.thermal_pressure(kV0, 700.0));
  EXPECT_EQ(morse.thermal_pressure(kV0, 800.0),
            std::unexpected(invalid("K0_prime", "Morse3 requires K0_prime != 1")));
  const auto baonza = softening_kprime(*Baonza::create(kV0, kK0, 1.5));
  EXPECT_EQ(baonza.pressure(kV0, 1800.0),
            std::unexpected(positive("K0_prime")));
  // A density polynomial is accepted, but cannot be rebuilt at any temperature.
  const auto polynomial =
      model(*DensityPolynomial3::create(kV0, 3.58, -100, -20, 5, 2), Expansion::constant,
            Volume::integrated_expansivity, Bulk::linear_temperature(), 3e-5, -0.02, 0.0);
  const auto no_rebuild = std::unexpected(
      invalid("rt_eos", "density polynomial does not support shifting its reference state"));
  EXPECT_EQ(polynomial.thermal_pressure(10.0, kTr), no_rebuild);
  EXPECT_EQ(polynomial.bulk_modulus(10.0, 900.0, 1e-6), no_rebuild);
  // The own bulk modulus checks relative_step, then the temperature, then the volume.
  const auto m = kLawCases[0].make();
  EXPECT_EQ(m.bulk_modulus(0.0, kNaN, 0.0),
            invalid_state("relative_step", "must be positive and finite"));
  EXPECT_EQ(m.bulk_modulus(0.0, kNaN, 1e-6),
            invalid_state("temperature", "must be positive and finite"));
  EXPECT_EQ(m.bulk_modulus(0.0, kTr, 1e-6), invalid_state("volume", "must be positive and finite"));
  EXPECT_EQ(m.thermal_pressure(-1.0, kNaN), invalid_state("volume", "must be positive and finite"));
}

TEST(ThermalReferenceState, RebuildKeepsTheLawsAndRejectsUnusedBetas) {
  const auto linear = kLawCases[1].make();
  auto values = linear.parameters();
  EXPECT_EQ(values, (std::array<double, 9>{kTr, 2e-5, -0.02, 1e-8, 0, 0, 0, 2e-4, 0}));
  values[5] = 0.3;
  EXPECT_EQ(error_of(linear.rebuild(kBm3, values)),
            invalid("beta coefficients", "require reciprocal cubic compressibility"));
  values[5] = 0.0;
  values[0] = 350.0;
  const auto moved = *linear.rebuild(kBm3, values);
  EXPECT_EQ(moved.parameters(), values);
  EXPECT_EQ(moved.thermal_expansion_law(), Expansion::linear_temperature);
  // The rebuild runs every step again: a BM2 cannot take the K0' term.
  EXPECT_EQ(error_of(linear.rebuild(kBm2, values)),
            invalid("kprime_log_coefficient",
                    "reference EOS does not support a pressure-derivative shift"));

  const auto cubic = kLawCases[2].make();
  auto cubic_values = cubic.parameters();
  cubic_values[4] = 3e-7;
  const auto steeper = *cubic.rebuild(kBm3, cubic_values);
  EXPECT_EQ(steeper.bulk_modulus_law().kind(), Bulk::Kind::reciprocal_cubic);
  EXPECT_EQ(steeper.bulk_modulus_law().beta1(), 3e-7);
  cubic_values[2] = 0.1;
  EXPECT_EQ(error_of(cubic.rebuild(kBm3, cubic_values)),
            invalid("dK_dT", "must be zero with cubic compressibility"));
}

TEST(ThermalReferenceState, NeverReturnsNonFiniteValues) {
  for (const auto& c : kLawCases) {
    const auto m = c.make();
    for (double v : {0.0, kNaN, 1e-300, kV0, 1e300}) {
      for (double t : {0.0, kNaN, 1e-320, 300.0, 1e10, 1.7e308}) {
        for (const Result& r :
             {m.thermal_pressure(v, t), m.pressure(v, t), m.bulk_modulus(v, t, 1e-6),
              m.thermal_expansivity(v, t, 1e-5), m.isothermal_compressibility(v, t),
              m.volume(v, t), m.temperature(v, t), m.volume_with_dac_confinement(v, t, 0.5)}) {
          EXPECT_TRUE(!r || std::isfinite(*r)) << v << " " << t;
        }
      }
    }
  }
}

}  // namespace
}  // namespace barometra
