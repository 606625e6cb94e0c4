// The defaults of the thermal contract on a toy model with closed forms:
//   P = K0 (V0/V - 1) + c (T - Tr)/V,  KT = (K0 V0 + c (T - Tr))/V,  K' = 1,
//   Cv constant.
// The toy logs every call, so the tests see what the defaults evaluate.
#include "barometra/thermal/contract.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Call {
  char kind;  // 'P' thermal pressure, 'R' reference pressure
  double volume, temperature;
};
using Log = std::vector<Call>;

std::string kinds(const Log& log) {
  std::string s;
  for (const auto& c : log) s += c.kind;
  return s;
}

struct LinearIsotherm {
  Log* log;
  double v0() const noexcept { return 10.0; }
  Result pressure(double volume) const noexcept {
    log->push_back({'R', volume, kNaN});
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return 100.0 * (10.0 / volume - 1.0);
  }
};

// Checks the temperature before the volume, unlike the isotherm, so an error
// with both bad tells which ran first.
template <class Model>
class ToyBase : public CaloricModelBase<Model> {
 public:
  static constexpr double c = 0.05, cv = 25.0;
  LinearIsotherm reference;
  bool cv_fails = false;
  Log* log;

  explicit ToyBase(Log& l) : reference{&l}, log(&l) {}
  const LinearIsotherm& reference_eos() const noexcept { return reference; }
  double tr() const noexcept { return 300.0; }
  Result thermal_pressure(double volume, double temperature) const noexcept {
    log->push_back({'P', volume, temperature});
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return c * (temperature - 300.0) / volume;
  }
  Result molar_heat_capacity_v(double, double) const noexcept {
    if (cv_fails) return std::unexpected(EosError::convergence_failed());
    return cv;
  }
  static double p(double v, double t) { return 100.0 * (10.0 / v - 1.0) + c * (t - 300.0) / v; }
  static double kt(double v, double t) { return (1000.0 + c * (t - 300.0)) / v; }
  static double alpha(double v, double t) { return c / v / kt(v, t); }
};

struct Toy : ToyBase<Toy> {
  using ToyBase::ToyBase;
};
// Its own increment and bulk modulus hide the defaults, which must then use them.
struct ToyWithOwnOperations : ToyBase<ToyWithOwnOperations> {
  using ToyBase::ToyBase;
  Result thermal_pressure_increment(double, double) const noexcept { return 2.0; }
  Result bulk_modulus(double, double, double) const noexcept { return 123.0; }
};

auto invalid(const char* field, const char* message) {
  return std::unexpected(EosError::invalid_state(field, message));
}
const auto kBadVolume = invalid("volume", "must be positive and finite");
const auto kBadTemperature = invalid("temperature", "must be positive and finite");
const auto kBadPressure = invalid("pressure", "must be finite");
const auto kBadStep = invalid("relative_step", "must be positive and finite");
const auto kFractionNotFinite = invalid("f_dac", "must be finite");
const auto kFractionOutside = invalid("f_dac", "must lie in [0, 1)");

const double kVolumes[] = {6.0, 10.0, 11.5};
const double kTemperatures[] = {50.0, 300.0, 3000.0};

class ThermalContract : public ::testing::Test {
 protected:
  Log log;
  Toy toy{log};
};

TEST_F(ThermalContract, PressureAndItsInversionsMatchTheClosedForm) {
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      log.clear();
      EXPECT_NEAR(*toy.pressure(v, t), Toy::p(v, t), 1e-13 * (std::fabs(Toy::p(v, t)) + 1.0));
      EXPECT_EQ(kinds(log), "PR");  // the thermal pressure first: its checks decide
      EXPECT_NEAR(*toy.volume(Toy::p(v, t), t), v, 1e-9 * v);
      log.clear();
      EXPECT_NEAR(*toy.temperature(Toy::p(v, t), v), t, 1e-7 * t);
      // Pref once, then thermal pressures at this volume from Tr on.
      EXPECT_EQ(kinds(log).rfind('R'), 0u);
      EXPECT_EQ(log[1].temperature, 300.0);
    }
  }
}

TEST_F(ThermalContract, StateChecksComeFirstAndInOrder) {
  const std::pair<Result, Result> cases[] = {
      {toy.volume(kNaN, 0.0), kBadTemperature},
      {toy.volume(kNaN, 300.0), kBadPressure},
      {toy.temperature(kNaN, kNaN), kBadPressure},
      {toy.temperature(1.0, 0.0), kBadVolume},
      {toy.bulk_modulus(0.0, kNaN, 0.0), kBadVolume},
      {toy.bulk_modulus(10.0, kInf, kNaN), kBadTemperature},
      {toy.bulk_modulus(10.0, 300.0, -1e-6), kBadStep},
      {toy.thermal_expansivity(10.0, 300.0, kInf), kBadStep},
      {toy.dac_thermal_pressure(0.0, kNaN, kNaN), kFractionNotFinite},
      {toy.dac_thermal_pressure(0.0, kNaN, 1.0), kFractionOutside},
      {toy.volume_with_dac_confinement(kNaN, kNaN, kNaN), kBadTemperature},
      {toy.volume_with_dac_confinement(kNaN, 300.0, kNaN), kFractionNotFinite},
  };
  for (const auto& [result, expected] : cases) EXPECT_EQ(result, expected);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(toy.dac_thermal_pressure(0.0, kNaN, 0.5), kBadTemperature);
  EXPECT_EQ(toy.volume_with_dac_confinement(kNaN, 300.0, 0.5), kBadPressure);
}

TEST_F(ThermalContract, BulkModulusAndExpansivityAreCentralDifferences) {
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      log.clear();
      EXPECT_NEAR(*toy.bulk_modulus(v, t, 1e-6), Toy::kt(v, t), 1e-8 * Toy::kt(v, t));
      ASSERT_EQ(kinds(log), "PRPR");
      EXPECT_EQ(log[0].volume, v + v * 1e-6);
      EXPECT_EQ(log[2].volume, v - v * 1e-6);
      log.clear();
      const double alpha = Toy::alpha(v, t);
      EXPECT_NEAR(*toy.thermal_expansivity(v, t, 1e-4), alpha, 1e-7 * alpha);
      ASSERT_EQ(kinds(log), "PRPRPRPR");
      EXPECT_EQ(log[0].temperature, t + t * 1e-4);
      EXPECT_EQ(log[2].temperature, t - t * 1e-4);
      EXPECT_EQ(log[4].volume, v + v * 1e-6);  // KT with its own step, whatever the T step
      // KT = A/V has K' = 1 however A depends on T; the stencils spread over 0.8% of V.
      EXPECT_NEAR(*toy.bulk_modulus_pressure_derivative(v, t), 1.0, 1e-9);
    }
  }
  EXPECT_EQ(toy.bulk_modulus_pressure_derivative(0.0, kNaN), kBadVolume);
  EXPECT_EQ(toy.bulk_modulus_pressure_derivative(10.0, kNaN), kBadTemperature);
}

TEST_F(ThermalContract, DacConfinementSolvesForTheRetainedIncrement) {
  for (double t : kTemperatures) {
    EXPECT_EQ(*toy.dac_thermal_pressure(8.0, t, 0.3), 0.3 * *toy.thermal_pressure(8.0, t));
    for (double cold : {-10.0, 0.0, 80.0}) {
      for (double f : {0.0, 0.25, 0.999}) {
        // K0 (V0/V - 1) + (1 - f) c (T - Tr)/V = cold.
        const double expected = (1000.0 + (1.0 - f) * Toy::c * (t - 300.0)) / (cold + 100.0);
        EXPECT_NEAR(*toy.volume_with_dac_confinement(cold, t, f), expected, 1e-9 * expected);
      }
    }
  }
}

TEST_F(ThermalContract, CaloricDefaultsMatchTheClosedForms) {
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      const double kt = Toy::kt(v, t), alpha = Toy::alpha(v, t);
      const double cp = Toy::cv + t * v * alpha * alpha * kt * 1e4;
      EXPECT_NEAR(*toy.gruneisen_parameter(v, t), Toy::c * 1e4 / Toy::cv, 1e-7);
      EXPECT_NEAR(*toy.molar_heat_capacity_p(v, t), cp, 1e-8 * cp);
      EXPECT_NEAR(*toy.adiabatic_bulk_modulus(v, t) * Toy::cv, kt * cp, 1e-8 * kt * cp);
    }
  }
  log.clear();
  ASSERT_TRUE(toy.gruneisen_parameter(10.0, 900.0));
  EXPECT_EQ(log[0].temperature, 900.0 + 900.0 * 1e-5);  // alpha with the step 1e-5
  // Errors pass through unchanged; Cv comes first in Cp, last in gamma.
  toy.cv_fails = true;
  const auto failed = std::unexpected(EosError::convergence_failed());
  EXPECT_EQ(toy.gruneisen_parameter(10.0, 900.0), failed);
  EXPECT_EQ(toy.adiabatic_bulk_modulus(10.0, 900.0), failed);
  EXPECT_EQ(toy.molar_heat_capacity_p(0.0, 900.0), failed);
  EXPECT_EQ(toy.gruneisen_parameter(0.0, 900.0), kBadVolume);
  EXPECT_EQ(toy.adiabatic_bulk_modulus(10.0, kNaN), kBadTemperature);
}

TEST_F(ThermalContract, DefaultsCallTheModelsOwnOperations) {
  ToyWithOwnOperations own(log);
  const double alpha = own.c / 10.0 / 123.0;
  EXPECT_EQ(*own.isothermal_compressibility(10.0, 900.0), 1.0 / 123.0);
  EXPECT_NEAR(*own.thermal_expansivity(10.0, 900.0, 1e-5), alpha, 1e-12);
  EXPECT_NEAR(*own.molar_heat_capacity_p(10.0, 900.0),
              own.cv + 900.0 * 10.0 * alpha * alpha * 123.0 * 1e4, 1e-9);
  EXPECT_EQ(*own.dac_thermal_pressure(10.0, 900.0, 0.25), 0.5);
  // P(V, T) - 0.5 * 2 = 5.
  EXPECT_NEAR(*own.volume_with_dac_confinement(5.0, 900.0, 0.5), (1000 + own.c * 600) / 106, 1e-9);
}

}  // namespace
}  // namespace barometra
