// The principal Hugoniot: the energy condition written afresh from each
// model's public energies, the origin and its errors. Its cost per volume is
// counted in bench/thermal_bench.cpp.
#include "barometra/thermal/principal_hugoniot.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/thermal/thermal_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;
using enum ThermalQuantity;
using R = RtModel;
using Ref = ThermalPressureReference;
using Law = DebyeTemperatureLaw;

constexpr double kV0 = 11.25, kTr = 300.0;
const RtModel kBm3 = *BM3::create(kV0, 160.0, 4.15);

double quantity(const ThermalModel& m, ThermalQuantity q, double v, double t) {
  return ok(m.evaluate(q, v, t).value());
}

// E(V, T) in J/mol up to a constant, from the model's public quantities:
// F_ref + Tr S(V, Tr) + E(V, T) - E(V, Tr) for a reference isotherm at Tr.
double energy_over_tr_isotherm(const ThermalModel& m, double v, double t) {
  return ok(m.reference_eos().helmholtz_energy(v)) * 1e4 +
         kTr * quantity(m, thermal_entropy, v, kTr) + quantity(m, thermal_energy, v, t) -
         quantity(m, thermal_energy, v, kTr);
}

struct Case {
  std::string name;
  ThermalModel model;
  std::function<double(const ThermalModel&, double, double)> energy;
};

std::vector<Case> cases() {
  const auto mgd = [](Ref ref) {
    return *MieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 1.5, 1.2, 2.0,
                                         Law::integrated_gruneisen, ref);
  };
  return {
      {"MieGruneisenDebye", mgd(Ref::reference_temperature), energy_over_tr_isotherm},
      {"MieGruneisenDebye from 0 K", mgd(Ref::absolute_zero),
       [](const ThermalModel& m, double v, double t) {
         return ok(m.reference_eos().helmholtz_energy(v)) * 1e4 +
                quantity(m, thermal_energy, v, t);
       }},
      // The reference is the isentrope through (V0, Tr), on which theta/T is constant.
      {"MieGruneisenDebye over the isentrope", mgd(Ref::reference_isentrope),
       [](const ThermalModel& m, double v, double t) {
         const double ts = kTr * quantity(m, characteristic_temperature, v, kNaN) / 760.0;
         return ok(m.reference_eos().helmholtz_energy(v)) * 1e4 +
                quantity(m, thermal_energy, v, t) - quantity(m, thermal_energy, v, ts);
       }},
      {"MieGruneisenEinstein", *MieGruneisenEinstein<R>::create(kBm3, kTr, 560.0, 1.5, 1.2, 2.0),
       energy_over_tr_isotherm},
      {"VariableQ", *VariableQMieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 1.5, 1.2, 0.8, 2.0),
       energy_over_tr_isotherm},
      {"AsymptoticPowerLaw",
       *AsymptoticPowerLawMieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 1.5, 0.4, 2.0, 2.0),
       energy_over_tr_isotherm},
      {"DorogokupetsOganov2007",
       *DorogokupetsOganov2007<R>::create(kBm3, kTr, 760.0, 1.5, 3.0, 500.0, 5.0, 1.5, 300.0,
                                          1.0, 900.0, 0.5, 1.5, 0.5, 2.5, 15.0, 4.0, 20.0, 1.5,
                                          3e4, 5.0, 2.0),
       energy_over_tr_isotherm},
      {"DebyeAnharmonicHelmholtz",
       *DebyeAnharmonicHelmholtz<R>::create(kBm3, kTr, 760.0, 1.5, 1.2, 5e-4, 0.1, 2.0),
       [](const ThermalModel& m, double v, double t) {
         return quantity(m, internal_energy, v, t);
       }},
  };
}

// E(V, T_H) - E(V0, T0) = (P_H + P(V0, T0)) (V0 - V) / 2, at T0 = Tr and above,
// and P_H is the model's pressure at (V, T_H).
TEST(PrincipalHugoniot, MeetsTheEnergyConditionOfEveryModel) {
  for (const Case& c : cases()) {
    const ThermalModel& m = c.model;
    for (double t0 : {kTr, 700.0}) {
      const double v0 = ok(m.volume(0.0, t0)), p0 = ok(m.pressure(v0, t0));
      const double e0 = c.energy(m, v0, t0);
      for (double x : {0.98, 0.9, 0.8, 0.7}) {
        const double v = x * v0;
        const HugoniotState h = ok(m.hugoniot_state(ok(m.hugoniot_origin(t0)), v));
        const double rise = c.energy(m, v, h.temperature) - e0;
        const double work = 0.5 * (h.pressure + p0) * (v0 - v) * 1e4;
        EXPECT_NEAR(rise, work, 1e-9 * work) << c.name << " T0 " << t0 << " x " << x;
        EXPECT_NEAR(h.pressure, ok(m.pressure(v, h.temperature)), 1e-11 * h.pressure) << c.name;
        EXPECT_GT(h.temperature, t0) << c.name;
        EXPECT_EQ(ok(m.hugoniot_pressure(v, t0)), h.pressure) << c.name;
        EXPECT_EQ(ok(m.hugoniot_temperature(v, t0)), h.temperature) << c.name;
      }
    }
  }
}

TEST(PrincipalHugoniot, StartsAtRestAndRefusesWhatItCannotReach) {
  const ThermalModel m = cases()[0].model;
  EXPECT_EQ(m.hugoniot_pressure(kV0, kTr), 0.0);
  EXPECT_EQ(m.hugoniot_temperature(kV0, kTr), kTr);
  const EosError above = EosError::invalid_state("volume", hugoniot::kAboveV0);
  EXPECT_EQ(m.hugoniot_pressure(1.01 * kV0, kTr).error(), above);
  // The volume is checked before T0, and T0 before the origin is solved.
  EXPECT_EQ(m.hugoniot_pressure(kNaN, kNaN), kBadVolume);
  EXPECT_EQ(m.hugoniot_temperature(kV0, 0.0).error(),
            EosError::invalid_state("t0", "must be positive and finite"));
  // Past the limiting compression gamma / (gamma + 2) = 0.6 no temperature
  // meets the condition.
  const ThermalModel steep = *MieGruneisenDebye<R>::create(kBm3, kTr, 760.0, 3.0, 0.0, 2.0);
  EXPECT_GT(ok(steep.hugoniot_temperature(0.7 * kV0, kTr)), 1e4);
  EXPECT_EQ(steep.hugoniot_pressure(0.58 * kV0, kTr).error(),
            EosError::invalid_state("volume", hugoniot::kNoTemperature));
  const ThermalModel linear = *LinearThermalPressure<R>::create(kBm3, kTr, 0.006);
  EXPECT_EQ(linear.hugoniot_pressure(0.9 * kV0, kTr).error(),
            EosError::invalid_parameter("LinearThermalPressure", hugoniot::kNoThermalEnergy));
  EXPECT_FALSE(linear.provides(hugoniot_pressure));
}

}  // namespace
}  // namespace barometra
