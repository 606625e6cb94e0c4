// The default operations of the thermal contract, on a small model with a
// closed form for everything:
//   P(V, T) = K0 (V0/V - 1) + c (T - Tr) / V,   Cv constant,
//   KT = (K0 V0 + c (T - Tr)) / V,   (dP/dT)_V = c / V.
// The model logs every call it serves, so the tests can check what the
// defaults evaluate and in which order.
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
  char kind;  // 'P' thermal pressure, 'R' reference pressure, 'C' heat capacity, 'I' increment
  double volume, temperature;
};
using Log = std::vector<Call>;

std::string kinds(const Log& log) {
  std::string s;
  for (const auto& c : log) s += c.kind;
  return s;
}

struct LinearIsotherm {
  double v0_, k0;
  Log* log;
  double v0() const noexcept { return v0_; }
  Result pressure(double volume) const noexcept {
    log->push_back({'R', volume, kNaN});
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return k0 * (v0_ / volume - 1.0);
  }
  Result bulk_modulus(double volume) const noexcept { return k0 * v0_ / volume; }
};

// Checks the temperature before the volume, unlike the reference isotherm, so
// the error of a state with both bad tells which one ran first.
template <class Model>
class ToyBase : public CaloricModelBase<Model> {
 public:
  LinearIsotherm reference;
  double c = 0.05, tr_ = 300.0, cv = 25.0, offset = 0.0;
  bool heat_capacity_fails = false;
  Log* log;

  explicit ToyBase(Log& l, double k0 = 100.0) : reference{10.0, k0, &l}, log(&l) {}

  const LinearIsotherm& reference_eos() const noexcept { return reference; }
  double tr() const noexcept { return tr_; }

  Result thermal_pressure(double volume, double temperature) const noexcept {
    log->push_back({'P', volume, temperature});
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return c * (temperature - tr_) / volume + offset;
  }
  Result molar_heat_capacity_v(double volume, double temperature) const noexcept {
    log->push_back({'C', volume, temperature});
    if (heat_capacity_fails) return std::unexpected(EosError::convergence_failed());
    return cv;
  }

  // Closed forms.
  double p(double v, double t) const {
    return reference.k0 * (10.0 / v - 1.0) + c * (t - tr_) / v + offset;
  }
  double kt(double v, double t) const { return (reference.k0 * 10.0 + c * (t - tr_)) / v; }
  double alpha(double v, double t) const { return c / v / kt(v, t); }
};

class Toy : public ToyBase<Toy> {
 public:
  using ToyBase<Toy>::ToyBase;
};

// Its own increment and bulk modulus hide the defaults, and the other defaults
// must use them.
class ToyWithOwnOperations : public ToyBase<ToyWithOwnOperations> {
 public:
  using ToyBase<ToyWithOwnOperations>::ToyBase;
  static constexpr double kOwnBulkModulus = 123.0;
  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    log->push_back({'I', volume, temperature});
    return 2.0;
  }
  Result bulk_modulus(double, double, double) const noexcept { return kOwnBulkModulus; }
};

const EosError kBadVolume = EosError::invalid_state("volume", "must be positive and finite");
const EosError kBadTemperature =
    EosError::invalid_state("temperature", "must be positive and finite");
const EosError kBadStep = EosError::invalid_state("relative_step", "must be positive and finite");
const EosError kFractionNotFinite = EosError::invalid_state("f_dac", "must be finite");
const EosError kFractionOutside = EosError::invalid_state("f_dac", "must lie in [0, 1)");

const double kVolumes[] = {6.0, 8.0, 10.0, 11.5};
const double kTemperatures[] = {50.0, 300.0, 1200.0, 3000.0};

TEST(ThermalContract, PressureAddsTheThermalPressureEvaluatedFirst) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      log.clear();
      auto p = toy.pressure(v, t);
      ASSERT_TRUE(p);
      EXPECT_NEAR(*p, toy.p(v, t), 1e-13 * (std::fabs(toy.p(v, t)) + 1.0));
      EXPECT_EQ(kinds(log), "PR");
    }
  }
  // Both state variables bad: the thermal pressure's own order decides.
  EXPECT_EQ(toy.pressure(0.0, kNaN).error(), kBadTemperature);
  EXPECT_EQ(toy.pressure(0.0, 300.0).error(), kBadVolume);
}

TEST(ThermalContract, PressureAtTheReferenceTemperatureIsTheReferencePressure) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) EXPECT_EQ(*toy.pressure(v, toy.tr()), *toy.reference.pressure(v));
}

TEST(ThermalContract, NonFiniteSumIsNonFinite) {
  Log log;
  Toy toy(log);
  toy.offset = 1.7e308;
  auto p = toy.pressure(5.0, 300.0);  // reference pressure 100 on top of the offset
  EXPECT_TRUE(p);
  toy.reference.k0 = 1e308;
  p = toy.pressure(5.0, 300.0);
  ASSERT_FALSE(p);
  EXPECT_EQ(p.error().kind(), EosErrorKind::NonFiniteResult);
}

TEST(ThermalContract, VolumeInvertsPressureAtFixedTemperature) {
  Log log;
  Toy toy(log);
  for (double t : kTemperatures) {
    for (double pressure : {-20.0, 0.0, 5.0, 60.0, 400.0}) {
      // P = (K0 V0 + c (T - Tr)) / V - K0.
      const double expected = (100.0 * 10.0 + toy.c * (t - toy.tr())) / (pressure + 100.0);
      auto v = toy.volume(pressure, t);
      ASSERT_TRUE(v) << t << " " << pressure;
      EXPECT_NEAR(*v, expected, 1e-9 * expected) << t << " " << pressure;
    }
  }
}

TEST(ThermalContract, VolumeChecksTheTemperatureOnlyThenLeavesThePressureToTheSolver) {
  Log log;
  Toy toy(log);
  for (double t : {0.0, -1.0, kNaN, kInf}) {
    EXPECT_EQ(toy.volume(kNaN, t).error(), kBadTemperature);
  }
  EXPECT_EQ(toy.volume(kNaN, 300.0).error(), EosError::invalid_state("pressure", "must be finite"));
  EXPECT_TRUE(log.empty());
}

TEST(ThermalContract, TemperatureInvertsThermalPressureAgainstPMinusPref) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    for (double t : {20.0, 300.0, 700.0, 2500.0, 1e5}) {
      const double pressure = toy.p(v, t);
      log.clear();
      auto solved = toy.temperature(pressure, v);
      ASSERT_TRUE(solved) << v << " " << t;
      EXPECT_NEAR(*solved, t, 1e-7 * t) << v;
      // Pref once, up front; then only thermal pressures at this volume.
      ASSERT_FALSE(log.empty());
      EXPECT_EQ(log.front().kind, 'R');
      for (std::size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ(log[i].kind, 'P');
        EXPECT_EQ(log[i].volume, v);
      }
      EXPECT_EQ(log[1].temperature, toy.tr());  // the search starts from Tr
    }
  }
}

TEST(ThermalContract, TemperatureChecksPressureThenVolumeBeforeEvaluating) {
  Log log;
  Toy toy(log);
  const auto bad_pressure = EosError::invalid_state("pressure", "must be finite");
  EXPECT_EQ(toy.temperature(kNaN, kNaN).error(), bad_pressure);
  EXPECT_EQ(toy.temperature(kInf, 10.0).error(), bad_pressure);
  for (double v : {0.0, -1.0, kNaN, kInf}) EXPECT_EQ(toy.temperature(1.0, v).error(), kBadVolume);
  EXPECT_TRUE(log.empty());
}

struct DerivativeStateCase {
  double volume, temperature, step;
  EosError error;
};

class DerivativeStateChecks : public ::testing::TestWithParam<DerivativeStateCase> {};

TEST_P(DerivativeStateChecks, BulkModulusAndExpansivityCheckVolumeTemperatureStep) {
  const auto& c = GetParam();
  Log log;
  Toy toy(log);
  EXPECT_EQ(toy.bulk_modulus(c.volume, c.temperature, c.step).error(), c.error);
  EXPECT_EQ(toy.thermal_expansivity(c.volume, c.temperature, c.step).error(), c.error);
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    ThermalContract, DerivativeStateChecks,
    ::testing::Values(DerivativeStateCase{0.0, kNaN, 0.0, kBadVolume},
                      DerivativeStateCase{kInf, 300.0, 1e-6, kBadVolume},
                      DerivativeStateCase{10.0, 0.0, kNaN, kBadTemperature},
                      DerivativeStateCase{10.0, kInf, 1e-6, kBadTemperature},
                      DerivativeStateCase{10.0, 300.0, 0.0, kBadStep},
                      DerivativeStateCase{10.0, 300.0, -1e-6, kBadStep},
                      DerivativeStateCase{10.0, 300.0, kNaN, kBadStep},
                      DerivativeStateCase{10.0, 300.0, kInf, kBadStep}));

TEST(ThermalContract, BulkModulusIsACentralDifferenceInVolume) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      log.clear();
      auto kt = toy.bulk_modulus(v, t, 1e-6);
      ASSERT_TRUE(kt);
      EXPECT_NEAR(*kt, toy.kt(v, t), 1e-8 * toy.kt(v, t));
      ASSERT_EQ(kinds(log), "PRPR");
      EXPECT_EQ(log[0].volume, v + v * 1e-6);
      EXPECT_EQ(log[2].volume, v - v * 1e-6);
      EXPECT_EQ(log[0].temperature, t);
    }
  }
}

TEST(ThermalContract, BulkModulusWithAStepOfOneFailsOnTheZeroVolume) {
  Log log;
  Toy toy(log);
  EXPECT_EQ(toy.bulk_modulus(10.0, 300.0, 1.0).error(), kBadVolume);
  EXPECT_EQ(log.back().volume, 0.0);
}

TEST(ThermalContract, ThermalExpansivityDifferencesTemperatureThenUsesKTAtFixedStep) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      log.clear();
      auto alpha = toy.thermal_expansivity(v, t, 1e-5);
      ASSERT_TRUE(alpha);
      EXPECT_NEAR(*alpha, toy.alpha(v, t), 1e-7 * toy.alpha(v, t));
      ASSERT_EQ(kinds(log), "PRPRPRPR");
      EXPECT_EQ(log[0].temperature, t + t * 1e-5);
      EXPECT_EQ(log[2].temperature, t - t * 1e-5);
      // KT always with the relative step 1e-6.
      EXPECT_EQ(log[4].volume, v + v * 1e-6);
      EXPECT_EQ(log[4].temperature, t);
    }
  }
}

TEST(ThermalContract, ThermalExpansivityCapsTheTemperatureStepAt049T) {
  Log log;
  Toy toy(log);
  const double t = 1000.0;
  for (double step : {0.49, 0.9, 1.0, 1e300}) {
    log.clear();
    auto alpha = toy.thermal_expansivity(10.0, t, step);
    ASSERT_TRUE(alpha) << step;
    EXPECT_EQ(log[0].temperature, t + 0.49 * t) << step;
    EXPECT_EQ(log[2].temperature, t - 0.49 * t) << step;
    // Pth is linear in T, so the wide difference is still exact.
    EXPECT_NEAR(*alpha, toy.alpha(10.0, t), 1e-7 * toy.alpha(10.0, t));
  }
}

TEST(ThermalContract, IsothermalCompressibilityIsTheReciprocalOfKT) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    EXPECT_EQ(*toy.isothermal_compressibility(v, 900.0), 1.0 / *toy.bulk_modulus(v, 900.0, 1e-6));
  }
  Toy flat(log, 0.0);
  flat.c = 0.0;
  EXPECT_EQ(flat.isothermal_compressibility(10.0, 900.0).error().kind(),
            EosErrorKind::NonFiniteResult);
  EXPECT_EQ(toy.isothermal_compressibility(0.0, 900.0).error(), kBadVolume);
}

TEST(ThermalContract, DacThermalPressureChecksTheFractionFirst) {
  Log log;
  Toy toy(log);
  EXPECT_EQ(toy.dac_thermal_pressure(0.0, kNaN, kNaN).error(), kFractionNotFinite);
  EXPECT_EQ(toy.dac_thermal_pressure(0.0, kNaN, kInf).error(), kFractionNotFinite);
  EXPECT_EQ(toy.dac_thermal_pressure(0.0, kNaN, 1.0).error(), kFractionOutside);
  EXPECT_EQ(toy.dac_thermal_pressure(0.0, kNaN, -1e-300).error(), kFractionOutside);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(toy.dac_thermal_pressure(0.0, kNaN, 0.5).error(), kBadTemperature);
}

TEST(ThermalContract, DacThermalPressureScalesTheIncrement) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      EXPECT_EQ(*toy.dac_thermal_pressure(v, t, 0.0), 0.0);
      EXPECT_EQ(*toy.dac_thermal_pressure(v, t, 0.3), 0.3 * *toy.thermal_pressure(v, t));
    }
  }
  ToyWithOwnOperations own(log);
  log.clear();
  EXPECT_EQ(*own.dac_thermal_pressure(10.0, 900.0, 0.25), 0.5);
  EXPECT_EQ(kinds(log), "I");
}

TEST(ThermalContract, ConfinedVolumeSolvesPMinusTheRetainedIncrement) {
  Log log;
  Toy toy(log);
  for (double f : {0.0, 0.25, 0.6, 0.999}) {
    for (double t : {300.0, 1500.0, 3000.0}) {
      for (double cold : {0.0, 10.0, 80.0}) {
        // K0 (V0/V - 1) + (1 - f) c (T - Tr) / V = cold.
        const double expected =
            (100.0 * 10.0 + (1.0 - f) * toy.c * (t - toy.tr())) / (cold + 100.0);
        auto v = toy.volume_with_dac_confinement(cold, t, f);
        ASSERT_TRUE(v) << f << " " << t << " " << cold;
        EXPECT_NEAR(*v, expected, 1e-9 * expected) << f << " " << t << " " << cold;
      }
    }
  }
}

TEST(ThermalContract, ConfinedVolumeWithoutConfinementIsTheIsobaricVolume) {
  Log log;
  Toy toy(log);
  for (double t : kTemperatures) {
    for (double cold : {-10.0, 0.0, 25.0, 300.0}) {
      EXPECT_EQ(*toy.volume_with_dac_confinement(cold, t, 0.0), *toy.volume(cold, t));
    }
  }
}

TEST(ThermalContract, ConfinedVolumeChecksTemperatureThenFraction) {
  Log log;
  Toy toy(log);
  EXPECT_EQ(toy.volume_with_dac_confinement(kNaN, kNaN, kNaN).error(), kBadTemperature);
  EXPECT_EQ(toy.volume_with_dac_confinement(kNaN, 0.0, 1.0).error(), kBadTemperature);
  EXPECT_EQ(toy.volume_with_dac_confinement(kNaN, 300.0, kNaN).error(), kFractionNotFinite);
  EXPECT_EQ(toy.volume_with_dac_confinement(kNaN, 300.0, 1.0).error(), kFractionOutside);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(toy.volume_with_dac_confinement(kNaN, 300.0, 0.5).error(),
            EosError::invalid_state("pressure", "must be finite"));
}

TEST(ThermalContract, ConfinedPressureEvaluatesPressureThenTheRetainedIncrement) {
  Log log;
  ToyWithOwnOperations own(log);
  auto v = own.volume_with_dac_confinement(5.0, 900.0, 0.5);
  ASSERT_TRUE(v);
  // P(V, T) - 0.5 * 2 = 5 at every evaluation: Pth, Pref, then the increment.
  const std::string k = kinds(log);
  ASSERT_EQ(k.size() % 3, 0u);
  for (std::size_t i = 0; i < k.size(); i += 3) EXPECT_EQ(k.substr(i, 3), "PRI");
  EXPECT_NEAR(*v, (1000.0 + own.c * 600.0) / (6.0 + 100.0), 1e-9);
}

TEST(ThermalContract, CaloricDefaultsMatchTheirClosedForms) {
  Log log;
  Toy toy(log);
  for (double v : kVolumes) {
    for (double t : kTemperatures) {
      const double kt = toy.kt(v, t), alpha = toy.alpha(v, t);
      const double cp = toy.cv + t * v * alpha * alpha * kt * 1e4;
      EXPECT_NEAR(*toy.gruneisen_parameter(v, t), toy.c * 1e4 / toy.cv, 1e-7);
      EXPECT_NEAR(*toy.molar_heat_capacity_p(v, t), cp, 1e-8 * cp);
      EXPECT_NEAR(*toy.adiabatic_bulk_modulus(v, t), kt * cp / toy.cv, 1e-8 * kt * cp / toy.cv);
    }
  }
}

TEST(ThermalContract, CaloricDefaultsEvaluateInTheirOrder) {
  Log log;
  Toy toy(log);
  const std::string alpha = "PRPR" "PRPR";  // T +- dT, then KT
  const std::string kt = "PRPR";
  ASSERT_TRUE(toy.gruneisen_parameter(10.0, 900.0));
  EXPECT_EQ(kinds(log), alpha + kt + "C");
  log.clear();
  ASSERT_TRUE(toy.molar_heat_capacity_p(10.0, 900.0));
  EXPECT_EQ(kinds(log), "C" + alpha + kt);
  log.clear();
  ASSERT_TRUE(toy.adiabatic_bulk_modulus(10.0, 900.0));
  EXPECT_EQ(kinds(log), kt + "C" + "C" + alpha + kt);
  // alpha inside gruneisen_parameter and Cp uses the temperature step 1e-5.
  EXPECT_EQ(log[6].temperature, 900.0 + 900.0 * 1e-5);
}

TEST(ThermalContract, CaloricErrorsPassThroughUnchanged) {
  Log log;
  Toy toy(log);
  toy.heat_capacity_fails = true;
  const auto failed = EosError::convergence_failed();
  EXPECT_EQ(toy.gruneisen_parameter(10.0, 900.0).error(), failed);
  EXPECT_EQ(toy.molar_heat_capacity_p(10.0, 900.0).error(), failed);
  EXPECT_EQ(toy.adiabatic_bulk_modulus(10.0, 900.0).error(), failed);
  // The heat capacity is first in Cp, last in gamma.
  log.clear();
  EXPECT_EQ(toy.molar_heat_capacity_p(0.0, 900.0).error(), failed);
  EXPECT_EQ(toy.gruneisen_parameter(0.0, 900.0).error(), kBadVolume);
  EXPECT_EQ(toy.adiabatic_bulk_modulus(10.0, kNaN).error(), kBadTemperature);
}

TEST(ThermalContract, DefaultsCallTheModelsOwnOperations) {
  Log log;
  ToyWithOwnOperations own(log);
  const double k = ToyWithOwnOperations::kOwnBulkModulus;
  EXPECT_EQ(*own.isothermal_compressibility(10.0, 900.0), 1.0 / k);
  EXPECT_NEAR(*own.thermal_expansivity(10.0, 900.0, 1e-5), own.c / 10.0 / k, 1e-12);
  const double alpha = own.c / 10.0 / k;
  const double cp = own.cv + 900.0 * 10.0 * alpha * alpha * k * 1e4;
  EXPECT_NEAR(*own.molar_heat_capacity_p(10.0, 900.0), cp, 1e-9);
  EXPECT_NEAR(*own.gruneisen_parameter(10.0, 900.0), own.c * 1e4 / own.cv, 1e-9);
}

}  // namespace
}  // namespace barometra
