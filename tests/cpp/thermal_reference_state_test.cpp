// The thermal reference state: the laws of V0(T), K0(T) and K0'(T) against
// independent forms, the isotherm at Tr, and every construction, rebuild and
// temperature error in order.
#include "barometra/thermal/thermal_reference_state.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using Expansion = ThermalExpansionLaw;
using Volume = ReferenceVolumeLaw;
using Bulk = BulkModulusLaw;
using State = ThermalReferenceState<RtModel>;

constexpr double kV0 = 11.25, kK0 = 160.0, kK0Prime = 4.15, kTr = 300.0;
const RtModel kBm3 = *BM3::create(kV0, kK0, kK0Prime);
const RtModel kBm2 = *BM2::create(kV0, kK0);
const Bulk kLinear = Bulk::linear_temperature();
const Bulk kCubic = Bulk::reciprocal_cubic(1e-7, 2e-10, 5e-14);

EosError invalid(const char* field, const char* message) {
  return EosError::invalid_parameter(field, message);
}
auto invalid_state(const char* message) {
  return std::unexpected(EosError::invalid_state("temperature", message));
}

State make(const RtModel& r, Expansion e, Volume v, Bulk b, double alpha0, double dk_dt,
           double alpha1, double kprime_log = 0.0, double dkprime_dt = 0.0) {
  return *State::create(r, e, v, b, kTr, alpha0, dk_dt, alpha1, kprime_log, dkprime_dt);
}

struct LawCase {
  State model;
  std::function<double(double)> alpha;  // where V0(T) = V0 exp(int_Tr^T alpha)
  std::function<double(double)> v0;     // otherwise
};

const std::vector<LawCase> kLawCases = {
    {make(kBm3, Expansion::constant, Volume::integrated_expansivity, kLinear, 3e-5, -0.02, 0),
     [](double) { return 3e-5; }, nullptr},
    {make(kBm3, Expansion::linear_temperature, Volume::integrated_expansivity, kLinear, 2e-5,
          -0.02, 1e-8, 2e-4),
     [](double t) { return 2e-5 + 1e-8 * t; }, nullptr},
    {make(kBm3, Expansion::linear_reference_temperature, Volume::integrated_expansivity, kCubic,
          2e-5, 0, 1e-8, 2e-4, 1e-4),
     [](double t) { return 2e-5 + 1e-8 * (t - kTr); }, nullptr},
    {make(kBm3, Expansion::constant, Volume::linear_temperature, kCubic, 3e-5, 0, 0, 0, -2e-4),
     nullptr, [](double t) { return kV0 * (1 + 3e-5 * (t - kTr)); }},
    {make(kBm3, Expansion::linear_temperature, Volume::berman, kLinear, 3e-5, -0.02, 1e-8, 0,
          1e-4),
     nullptr,
     [](double t) { return kV0 * (1 + 3e-5 * (t - kTr) + 0.5e-8 * std::pow(t - kTr, 2)); }},
};

TEST(ThermalReferenceState, LawsGiveTheIsothermAtEachTemperature) {
  for (const auto& [m, alpha, v0] : kLawCases) {
    const bool cubic = m.bulk_modulus_law().kind() == Bulk::Kind::reciprocal_cubic;
    auto parameters = [&](double t) { return m.state_eos(t)->get_if<BM3>()->parameters(); };
    // K0 (linear law) or 1/K0 (cubic law), whose slope in T the law fixes.
    auto k0_law = [&](double t) { return cubic ? 1.0 / parameters(t)[1] : parameters(t)[1]; };
    for (double t : {50.0, 1200.0, 2500.0}) {
      const auto p = parameters(t);
      const double dt = t - kTr;
      if (alpha) {
        // At zero pressure V = V0(T), so the expansivity there is alpha(T).
        EXPECT_NEAR(ok(m.thermal_expansivity(p[0], t, 1e-5)), alpha(t), 1e-6 * alpha(t));
      } else {
        EXPECT_NEAR(p[0], v0(t), 1e-13 * kV0);
      }
      const double slope = cubic ? 1e-7 + 4e-10 * t + 1.5e-13 * t * t : m.dk_dt();
      EXPECT_NEAR((k0_law(t + 0.01) - k0_law(t - 0.01)) / 0.02, slope, 1e-7 * std::fabs(slope));
      const double log_term = m.kprime_log_coefficient() * dt * std::log(t / kTr);
      EXPECT_NEAR(p[2], kK0Prime + m.dkprime_dt() * dt + log_term, 1e-15 * kK0Prime);
      // The own bulk modulus is the isotherm's closed form.
      EXPECT_EQ(ok(m.bulk_modulus(0.9 * kV0, t, 5.0)), *m.state_eos(t)->bulk_modulus(0.9 * kV0));
    }
    EXPECT_NEAR(k0_law(kTr), cubic ? 1 / kK0 : kK0, 1e-16 * kK0);
    for (double v : {0.7 * kV0, 1.1 * kV0}) {
      EXPECT_NEAR(ok(m.thermal_pressure(v, kTr)), 0.0, 1e-13);
      EXPECT_NEAR(ok(m.pressure(v, kTr)), *kBm3.pressure(v), 1e-13);
    }
  }
  // Without temperature terms the isotherm never moves.
  const auto still = make(RtModel(*Vinet::create(kV0, kK0, kK0Prime)), Expansion::constant,
                          Volume::integrated_expansivity, kLinear, 0, 0, 0);
  for (double t : {1.0, kTr, 5000.0}) EXPECT_EQ(ok(still.thermal_pressure(0.6 * kV0, t)), 0.0);
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
  const auto linear_volume =
      invalid("reference_volume_law",
              "linear temperature volume requires constant expansivity configuration");
  const auto berman =
      invalid("reference_volume_law",
              "Berman volume requires linear-temperature expansivity configuration");
  EXPECT_EQ(step1(1e-3, Expansion::constant, Volume::linear_temperature),
            invalid("alpha1", "must be zero for constant thermal expansion"));
  EXPECT_EQ(step1(1e-3, Expansion::linear_temperature, Volume::linear_temperature), linear_volume);
  EXPECT_EQ(step1(0, Expansion::linear_reference_temperature, Volume::linear_temperature),
            linear_volume);
  EXPECT_EQ(step1(0, Expansion::constant, Volume::berman), berman);
  EXPECT_EQ(step1(0, Expansion::linear_reference_temperature, Volume::berman), berman);

  // Steps 2 and 3 through the full constructor; a step-1 error comes first.
  auto full = [](const RtModel& r, double dk_dt, Bulk bulk, double kprime_log, double dkprime_dt,
                 double tr = kTr) {
    return error_of(State::create(r, Expansion::constant, Volume::integrated_expansivity, bulk, tr,
                                  1e-5, dk_dt, 0.0, kprime_log, dkprime_dt));
  };
  const auto cubic_nan = Bulk::reciprocal_cubic(0.0, kNaN, 0.0);
  const auto no_shift = invalid("kprime_log_coefficient",
                                "reference EOS does not support a pressure-derivative shift");
  EXPECT_EQ(full(kBm2, 0.5, cubic_nan, kNaN, kNaN, 0.0), positive("Tr"));
  EXPECT_EQ(full(kBm2, 0.5, kCubic, kNaN, kNaN),
            invalid("dK_dT", "must be zero with cubic compressibility"));
  EXPECT_EQ(full(kBm2, 0.5, cubic_nan, kNaN, kNaN),
            invalid("compressibility coefficient", "must be finite"));
  EXPECT_EQ(full(kBm2, 0.5, kLinear, kNaN, kNaN), finite("kprime_log_coefficient"));
  EXPECT_EQ(full(kBm2, 0.5, kLinear, 0.1, kNaN), no_shift);
  EXPECT_EQ(full(kBm2, 0.5, kLinear, 0.0, kNaN), finite("dKprime_dT"));
  EXPECT_EQ(full(kBm2, 0.5, kLinear, 0.0, 0.1), no_shift);  // the field names the other option
  EXPECT_EQ(full(kBm2, 0.0, kCubic, 0.0, 0.0), std::nullopt);
  // The trial shift is the coefficient itself: K0' 1.5 - 0.5 = 1 is no Morse3.
  EXPECT_EQ(full(*Morse3::create(kV0, kK0, 1.5), 0.0, kCubic, -0.5, 0.0),
            invalid("K0_prime", "Morse3 requires K0_prime != 1"));
}

TEST(ThermalReferenceState, TemperaturesOutsideTheLawsFailCleanly) {
  const auto bad_volume = invalid_state("produces a non-positive reference volume");
  const auto bad_modulus = invalid_state("produces a non-positive bulk modulus");
  const auto softening = make(kBm3, Expansion::constant, Volume::integrated_expansivity, kLinear,
                              3e-5, -0.1, 0);
  EXPECT_TRUE(softening.thermal_pressure(kV0, 1899.0));
  EXPECT_EQ(softening.thermal_pressure(kV0, 1900.0), bad_modulus);  // K0 + dK_dT dT = 0
  EXPECT_EQ(make(kBm3, Expansion::linear_temperature, Volume::berman, kLinear, -1e-3, 0, 0)
                .thermal_pressure(kV0, 1300.0),
            bad_volume);
  EXPECT_EQ(make(kBm3, Expansion::constant, Volume::integrated_expansivity, kLinear, 1, 0, 0)
                .pressure(kV0, 1500.0),
            bad_volume);  // exp overflows
  // 1/K0 + beta1 dT reaches zero at 1300 K and then turns negative.
  const auto cubic = make(kBm3, Expansion::constant, Volume::integrated_expansivity,
                          Bulk::reciprocal_cubic(-1.0 / (kK0 * 1000.0), 0, 0), 0, 0, 0);
  EXPECT_TRUE(cubic.thermal_pressure(kV0, 1000.0));
  EXPECT_EQ(cubic.thermal_pressure(kV0, 1300.0), bad_modulus);
  EXPECT_EQ(cubic.bulk_modulus(kV0, 2000.0, 1e-6), bad_modulus);
  // Rebuilds that fail at some temperatures only, as K0' falls by 1e-3 per kelvin.
  auto falling_kprime = [](const RtModel& r) {
    return make(r, Expansion::constant, Volume::integrated_expansivity, kLinear, 0, 0, 0, 0,
                -1e-3);
  };
  const auto morse = falling_kprime(*Morse3::create(kV0, kK0, 1.5));
  EXPECT_TRUE(morse.thermal_pressure(kV0, 700.0));
  EXPECT_EQ(morse.thermal_pressure(kV0, 800.0),
            std::unexpected(invalid("K0_prime", "Morse3 requires K0_prime != 1")));
  EXPECT_EQ(falling_kprime(*Baonza::create(kV0, kK0, 1.5)).pressure(kV0, 1800.0),
            std::unexpected(positive("K0_prime")));
  // A density polynomial is accepted, but cannot be rebuilt at any temperature.
  const auto polynomial =
      make(*DensityPolynomial3::create(kV0, 3.58, -100, -20, 5, 2), Expansion::constant,
           Volume::integrated_expansivity, kLinear, 0, 0, 0);
  const auto no_rebuild = std::unexpected(
      invalid("rt_eos", "density polynomial does not support shifting its reference state"));
  EXPECT_EQ(polynomial.thermal_pressure(10.0, kTr), no_rebuild);
  EXPECT_EQ(polynomial.bulk_modulus(10.0, 900.0, 1e-6), no_rebuild);
  // The own bulk modulus checks relative_step, then the temperature, then the volume.
  const auto& m = kLawCases[0].model;
  EXPECT_EQ(m.bulk_modulus(0.0, kNaN, 0.0),
            std::unexpected(EosError::invalid_state("relative_step", kMustBePositiveFinite)));
  EXPECT_EQ(m.bulk_modulus(0.0, kNaN, 1e-6), kBadTemperature);
  EXPECT_EQ(m.bulk_modulus(0.0, kTr, 1e-6), kBadVolume);
  EXPECT_EQ(m.thermal_pressure(-1.0, kNaN), kBadVolume);
  for (const auto& c : kLawCases) expect_only_finite_values(c.model);
}

// The betas and the cubic law's rebuild by name: thermal_model_test.cpp.
TEST(ThermalReferenceState, RebuildKeepsTheLawsAndRunsEveryCheck) {
  const auto& linear = kLawCases[1].model;
  auto values = linear.parameters();
  EXPECT_EQ(values, (std::array<double, 9>{kTr, 2e-5, -0.02, 1e-8, 0, 0, 0, 2e-4, 0}));
  values[0] = 350.0;
  EXPECT_EQ(linear.rebuild(kBm3, values)->parameters(), values);
  EXPECT_EQ(linear.rebuild(kBm3, values)->thermal_expansion_law(), Expansion::linear_temperature);
  EXPECT_EQ(error_of(linear.rebuild(kBm2, values)),
            invalid("kprime_log_coefficient",
                    "reference EOS does not support a pressure-derivative shift"));
}

}  // namespace
}  // namespace barometra
