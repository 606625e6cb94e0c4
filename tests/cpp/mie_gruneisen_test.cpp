// The Mie-Grueneisen family: one contract suite over every variant and
// option, checked against thermodynamic identities computed independently
// (derivatives of the energy and free energy, the volume inversion at constant
// pressure, the isentrope), then the per-model laws, limits and errors.
#include "barometra/thermal/mie_gruneisen.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/potential.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "barometra/thermal/asymptotic_power_law.hpp"
#include "barometra/thermal/variable_q.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kR = 8.31446261815324;

// MgO-like parameters.
constexpr double kV0 = 11.25, kK0 = 160.0, kK0Prime = 4.15;
constexpr double kTr = 300.0, kTheta0 = 773.0, kGamma0 = 1.5, kQ = 1.5, kN = 2.0;

const EosError kBadVolume = EosError::invalid_state("volume", "must be positive and finite");
const EosError kBadTemperature =
    EosError::invalid_state("temperature", "must be positive and finite");

template <class R>
R reference();
template <>
BM3 reference<BM3>() {
  return *BM3::create(kV0, kK0, kK0Prime);
}
template <>
RtModel reference<RtModel>() {
  return RtModel(*Vinet::create(kV0, kK0, kK0Prime));
}

using Law = DebyeTemperatureLaw;
using Ref = ThermalPressureReference;

// Each configuration builds one model and says what it must satisfy.
template <class R, Law L, Ref P, bool GivenCvmax = false>
struct DebyeMG {
  using Model = MieGruneisen<R, true>;
  static Model make() {
    return *Model::create(reference<R>(), kTr, kTheta0, kGamma0, kQ, kN, L, P,
                          GivenCvmax ? std::optional<double>(40.0) : std::nullopt);
  }
  static constexpr bool kVolumeFirst = true;
  static constexpr bool kPthVanishesAtTr = P == Ref::reference_temperature;
  // P, S and E all derive from one free energy, so the Maxwell relations hold.
  static constexpr bool kConsistent = L == Law::integrated_gruneisen;
  static constexpr bool kDebye = true;
  static double high_temperature_cv(const Model& m) { return m.cvmax(); }
};

template <class R>
struct EinsteinMG {
  using Model = MieGruneisen<R, false>;
  static Model make() { return *Model::create(reference<R>(), kTr, kTheta0, kGamma0, kQ, kN); }
  static constexpr bool kVolumeFirst = true;
  static constexpr bool kPthVanishesAtTr = true;
  static constexpr bool kConsistent = true;
  static constexpr bool kDebye = false;
  static double high_temperature_cv(const Model&) { return 3.0 * kN * kR; }
};

template <class R>
struct VariableQ {
  using Model = VariableQMieGruneisenDebye<R>;
  static Model make() {
    return *Model::create(reference<R>(), kTr, kTheta0, kGamma0, 1.5, 0.8, kN);
  }
  static constexpr bool kVolumeFirst = false;
  static constexpr bool kPthVanishesAtTr = true;
  static constexpr bool kConsistent = true;
  static constexpr bool kDebye = true;
  static double high_temperature_cv(const Model&) { return 3.0 * kN * kR; }
};

template <class R>
struct AsymptoticPowerLaw {
  using Model = AsymptoticPowerLawMieGruneisenDebye<R>;
  static Model make() {
    return *Model::create(reference<R>(), kTr, kTheta0, kGamma0, 0.4, 2.0, kN);
  }
  static constexpr bool kVolumeFirst = false;
  static constexpr bool kPthVanishesAtTr = true;
  static constexpr bool kConsistent = true;
  static constexpr bool kDebye = true;
  static double high_temperature_cv(const Model&) { return 3.0 * kN * kR; }
};

template <class Config>
class MieGruneisenFamily : public ::testing::Test {
 protected:
  using Model = typename Config::Model;
  const Model model = Config::make();

  double value(Result r) const {
    EXPECT_TRUE(r) << (r ? "" : r.error().text());
    return r ? *r : kNaN;
  }
  double p(double v, double t) const { return value(model.pressure(v, t)); }
  double energy(double v, double t) const { return value(model.thermal_energy(v, t)); }
  double entropy(double v, double t) const { return value(model.thermal_entropy(v, t)); }
  double helmholtz(double v, double t) const {
    return value(model.thermal_helmholtz_free_energy(v, t));
  }
  double theta(double v) const { return value(model.characteristic_temperature(v)); }
};

// Fourth-order central difference.
double derivative(const std::function<double(double)>& f, double x, double h) {
  return (-f(x + 2 * h) + 8 * f(x + h) - 8 * f(x - h) + f(x - 2 * h)) / (12 * h);
}

using Configs = ::testing::Types<
    DebyeMG<BM3, Law::integrated_gruneisen, Ref::reference_temperature>,
    DebyeMG<BM3, Law::variable_exponent, Ref::reference_temperature>,
    DebyeMG<BM3, Law::integrated_gruneisen, Ref::reference_isentrope, true>,
    DebyeMG<BM3, Law::integrated_gruneisen, Ref::absolute_zero>,
    DebyeMG<RtModel, Law::variable_exponent, Ref::absolute_zero, true>, EinsteinMG<BM3>,
    EinsteinMG<RtModel>, VariableQ<BM3>, VariableQ<RtModel>, AsymptoticPowerLaw<BM3>,
    AsymptoticPowerLaw<RtModel>>;
TYPED_TEST_SUITE(MieGruneisenFamily, Configs);

const double kRatios[] = {0.8, 0.9, 1.0, 1.05};
const double kTemperatures[] = {300.0, 800.0, 1500.0, 3000.0};

TYPED_TEST(MieGruneisenFamily, VolumeAndTemperatureInvertPressure) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : kTemperatures) {
      const double p = this->p(v, t);
      auto solved_v = this->model.volume(p, t);
      ASSERT_TRUE(solved_v) << ratio << " " << t;
      EXPECT_NEAR(*solved_v, v, 1e-10 * v) << ratio << " " << t;
      auto solved_t = this->model.temperature(p, v);
      ASSERT_TRUE(solved_t) << ratio << " " << t;
      EXPECT_NEAR(*solved_t, t, 1e-7 * t) << ratio << " " << t;
    }
  }
}

TYPED_TEST(MieGruneisenFamily, PressureAtTrIsTheReferencePressureWhenPthVanishesThere) {
  if constexpr (TypeParam::kPthVanishesAtTr) {
    for (double ratio : kRatios) {
      const double v = ratio * kV0;
      EXPECT_EQ(this->p(v, kTr), *this->model.reference_eos().pressure(v));
      EXPECT_EQ(*this->model.thermal_pressure_increment(v, 2000.0),
                *this->model.thermal_pressure(v, 2000.0));
    }
  } else {
    GTEST_SKIP() << "Pth does not vanish at Tr";
  }
}

TYPED_TEST(MieGruneisenFamily, IncrementIsThePressureGainedByHeatingFromTr) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : kTemperatures) {
      const double expected = this->value(this->model.thermal_pressure(v, t)) -
                              this->value(this->model.thermal_pressure(v, kTr));
      EXPECT_NEAR(this->value(this->model.thermal_pressure_increment(v, t)), expected,
                  1e-15 * (std::fabs(expected) + 1.0));
    }
    EXPECT_EQ(this->value(this->model.thermal_pressure_increment(v, kTr)), 0.0);
  }
}

TYPED_TEST(MieGruneisenFamily, ThermalExpansivityMatchesTheVolumeInversion) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : kTemperatures) {
      const double p = this->p(v, t), dt = 1e-3 * t;
      const double v_plus = this->value(this->model.volume(p, t + dt));
      const double v_minus = this->value(this->model.volume(p, t - dt));
      const double expected = (v_plus - v_minus) / (2.0 * dt) / v;
      EXPECT_NEAR(this->value(this->model.thermal_expansivity(v, t, 1e-5)), expected,
                  1e-6 * std::fabs(expected))
          << ratio << " " << t;
    }
  }
}

TYPED_TEST(MieGruneisenFamily, BulkModulusMatchesTheVolumeInversion) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : kTemperatures) {
      const double kt = this->value(this->model.bulk_modulus(v, t, 1e-6));
      auto v_of_p = [&](double p) { return this->value(this->model.volume(p, t)); };
      const double dv_dp = derivative(v_of_p, this->p(v, t), 1e-3 * kt);
      EXPECT_NEAR(kt, -v / dv_dp, 1e-8 * kt) << ratio << " " << t;
      EXPECT_EQ(this->value(this->model.isothermal_compressibility(v, t)), 1.0 / kt);
    }
  }
}

TYPED_TEST(MieGruneisenFamily, HeatCapacityIsTheTemperatureDerivativeOfEnergyAndEntropy) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : {100.0, 300.0, 1000.0, 3000.0}) {
      const double cv = this->value(this->model.molar_heat_capacity_v(v, t));
      const double de_dt = derivative([&](double x) { return this->energy(v, x); }, t, 1e-3 * t);
      const double ds_dt = derivative([&](double x) { return this->entropy(v, x); }, t, 1e-3 * t);
      EXPECT_NEAR(cv, de_dt, 1e-7 * cv) << ratio << " " << t;
      EXPECT_NEAR(cv, t * ds_dt, 1e-7 * cv) << ratio << " " << t;
    }
  }
}

TYPED_TEST(MieGruneisenFamily, EntropyIsMinusTheTemperatureDerivativeOfHelmholtz) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : {100.0, 300.0, 1000.0, 3000.0}) {
      const double s = this->entropy(v, t);
      const double df_dt = derivative([&](double x) { return this->helmholtz(v, x); }, t, 1e-3 * t);
      EXPECT_NEAR(s, -df_dt, 1e-8 * s) << ratio << " " << t;
      EXPECT_NEAR(this->helmholtz(v, t), this->energy(v, t) - t * s, 1e-12 * t * s);
    }
  }
}

TYPED_TEST(MieGruneisenFamily, EnthalpyAndGibbsEnergyAddGammaTimesEnergy) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    const double gamma = this->value(this->model.gruneisen_parameter(v, 1000.0));
    const double e = this->energy(v, 1000.0), f = this->helmholtz(v, 1000.0);
    const double pvib = this->value(this->model.vibrational_pressure(v, 1000.0));
    EXPECT_NEAR(pvib, gamma * e / v / 1e4, 1e-14 * std::fabs(pvib));
    EXPECT_NEAR(this->value(this->model.thermal_enthalpy(v, 1000.0)), e * (1.0 + gamma), 1e-12 * e);
    EXPECT_NEAR(this->value(this->model.thermal_gibbs_free_energy(v, 1000.0)), f + gamma * e,
                1e-12 * e);
  }
}

TYPED_TEST(MieGruneisenFamily, ThermodynamicGruneisenParameterIsTheModelsLaw) {
  // (dP/dT)_V = gamma Cv / V for any theta law, so V alpha KT / Cv = gamma(V).
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : {300.0, 1500.0}) {
      const double gamma = this->value(this->model.gruneisen_parameter(v, t));
      const double thermodynamic = this->value(
          this->model.CaloricModelBase<typename TypeParam::Model>::gruneisen_parameter(v, t));
      EXPECT_NEAR(thermodynamic, gamma, 1e-6 * std::fabs(gamma)) << ratio << " " << t;
    }
  }
}

TYPED_TEST(MieGruneisenFamily, HeatCapacityAtConstantPressureIsTdSdTAlongTheIsobar) {
  if constexpr (TypeParam::kConsistent) {
    for (double ratio : kRatios) {
      const double v = ratio * kV0;
      for (double t : {300.0, 1500.0}) {
        const double p = this->p(v, t);
        auto s_on_isobar = [&](double x) {
          return this->entropy(this->value(this->model.volume(p, x)), x);
        };
        const double cp = this->value(this->model.molar_heat_capacity_p(v, t));
        EXPECT_NEAR(cp, t * derivative(s_on_isobar, t, 1e-3 * t), 1e-6 * cp) << ratio << " " << t;
      }
    }
  } else {
    GTEST_SKIP() << "the variable-exponent law has no consistent entropy";
  }
}

TYPED_TEST(MieGruneisenFamily, AdiabaticBulkModulusIsTheSlopeAlongTheIsentrope) {
  for (double ratio : kRatios) {
    const double v = ratio * kV0;
    for (double t : {300.0, 1500.0}) {
      const double ks = this->value(this->model.adiabatic_bulk_modulus(v, t));
      const double kt = this->value(this->model.bulk_modulus(v, t, 1e-6));
      const double cp = this->value(this->model.molar_heat_capacity_p(v, t));
      const double cv = this->value(this->model.molar_heat_capacity_v(v, t));
      EXPECT_NEAR(ks / kt, cp / cv, 1e-14);
      EXPECT_GT(ks, kt);
      if constexpr (TypeParam::kConsistent) {
        // The entropy is a function of theta(V)/T alone, so theta/T is constant
        // on the isentrope.
        auto p_on_isentrope = [&](double x) {
          return this->p(x, t * this->theta(x) / this->theta(v));
        };
        EXPECT_NEAR(ks, -v * derivative(p_on_isentrope, v, 1e-4 * v), 1e-7 * ks)
            << ratio << " " << t;
      }
    }
  }
}

TYPED_TEST(MieGruneisenFamily, HighTemperatureLimits) {
  const double cv_max = TypeParam::high_temperature_cv(this->model);
  const double theta = this->theta(kV0);
  const double t = 100.0 * theta, u = theta / t;
  // Debye: E = Cvmax T (1 - 3u/8 + u^2/20 - u^4/1680),
  // Einstein: E = 3nR T (1 - u/2 + u^2/12 - u^4/720), and Cv = dE/dT.
  const double c1 = TypeParam::kDebye ? 3.0 / 8.0 : 1.0 / 2.0;
  const double c2 = TypeParam::kDebye ? 1.0 / 20.0 : 1.0 / 12.0;
  const double c4 = TypeParam::kDebye ? 1.0 / 1680.0 : 1.0 / 720.0;
  EXPECT_NEAR(this->value(this->model.molar_heat_capacity_v(kV0, t)),
              cv_max * (1.0 - c2 * u * u + 3.0 * c4 * u * u * u * u), 1e-9 * cv_max);
  EXPECT_NEAR(this->energy(kV0, t), cv_max * t * (1.0 - c1 * u + c2 * u * u - c4 * u * u * u * u),
              1e-14 * cv_max * t);
}

TYPED_TEST(MieGruneisenFamily, LawsAtTheReferenceVolume) {
  EXPECT_EQ(this->theta(kV0), kTheta0);
  EXPECT_EQ(this->value(this->model.gruneisen_parameter(kV0, 300.0)), kGamma0);
}

TYPED_TEST(MieGruneisenFamily, GruneisenParameterChecksOnlyTheVolume) {
  for (double t : {kNaN, 0.0, -1.0, kInf}) {
    EXPECT_TRUE(this->model.gruneisen_parameter(0.9 * kV0, t));
  }
  for (double v : {0.0, -1.0, kNaN, kInf}) {
    EXPECT_EQ(this->model.gruneisen_parameter(v, 300.0).error(), kBadVolume);
    EXPECT_EQ(this->model.characteristic_temperature(v).error(), kBadVolume);
  }
}

TYPED_TEST(MieGruneisenFamily, StateChecksInTheModelsOrder) {
  const auto& m = this->model;
  // MieGruneisen checks the volume first; the other two evaluate the energy
  // first, which checks the temperature first.
  const EosError first = TypeParam::kVolumeFirst ? kBadVolume : kBadTemperature;
  EXPECT_EQ(m.thermal_pressure(0.0, kNaN).error(), first);
  EXPECT_EQ(m.thermal_energy(0.0, kNaN).error(), first);
  EXPECT_EQ(m.thermal_entropy(0.0, kNaN).error(), first);
  EXPECT_EQ(m.thermal_helmholtz_free_energy(0.0, kNaN).error(), first);
  EXPECT_EQ(m.thermal_enthalpy(0.0, kNaN).error(), first);
  EXPECT_EQ(m.thermal_gibbs_free_energy(0.0, kNaN).error(), first);
  EXPECT_EQ(m.pressure(0.0, kNaN).error(), first);
  EXPECT_EQ(m.dac_thermal_pressure(0.0, kNaN, 0.5).error(), first);
  // These check for themselves before any energy.
  EXPECT_EQ(m.vibrational_pressure(0.0, kNaN).error(), kBadVolume);
  EXPECT_EQ(m.molar_heat_capacity_v(0.0, kNaN).error(), kBadTemperature);
  EXPECT_EQ(m.bulk_modulus(0.0, kNaN, 1e-6).error(), kBadVolume);
  EXPECT_EQ(m.thermal_pressure(kV0, -1.0).error(), kBadTemperature);
  EXPECT_EQ(m.thermal_pressure(-1.0, 300.0).error(), kBadVolume);
}

TYPED_TEST(MieGruneisenFamily, DiamondAnvilCellEdgeCases) {
  const auto& m = this->model;
  const double v = 0.9 * kV0, t = 2000.0;
  EXPECT_EQ(m.dac_thermal_pressure(v, t, 1.0).error(),
            EosError::invalid_state("f_dac", "must lie in [0, 1)"));
  EXPECT_EQ(m.dac_thermal_pressure(v, t, kNaN).error(),
            EosError::invalid_state("f_dac", "must be finite"));
  EXPECT_EQ(this->value(m.dac_thermal_pressure(v, t, 0.0)), 0.0);
  EXPECT_EQ(m.volume_with_dac_confinement(10.0, kNaN, 1.0).error(), kBadTemperature);
  for (double cold : {0.0, 10.0, 60.0}) {
    const double isobaric = this->value(m.volume(cold, t));
    EXPECT_NEAR(this->value(m.volume_with_dac_confinement(cold, t, 0.0)), isobaric,
                1e-12 * isobaric);
    // Keeping part of the thermal pressure in the cell compresses the sample.
    const double confined = this->value(m.volume_with_dac_confinement(cold, t, 0.5));
    EXPECT_LT(confined, isobaric);
    EXPECT_NEAR(this->p(confined, t) - this->value(m.dac_thermal_pressure(confined, t, 0.5)), cold,
                1e-8 * std::max(cold, 1.0));
  }
}

TYPED_TEST(MieGruneisenFamily, FiniteDifferenceEdgeCases) {
  const auto& m = this->model;
  const double v = 0.9 * kV0, t = 1000.0;
  // relative_step 0.9 asks for dT = 900 K; the cap makes it 490 K.
  const double kt = this->value(m.bulk_modulus(v, t, 1e-6));
  const double dt = 0.49 * t;
  const double expected = ((this->p(v, t + dt) - this->p(v, t - dt)) / (2.0 * dt)) / kt;
  EXPECT_EQ(this->value(m.thermal_expansivity(v, t, 0.9)), expected);
  EXPECT_EQ(m.bulk_modulus(v, t, 1.0).error(), kBadVolume);
  EXPECT_EQ(m.bulk_modulus(v, t, 0.0).error(),
            EosError::invalid_state("relative_step", "must be positive and finite"));
}

TYPED_TEST(MieGruneisenFamily, TemperatureInversionChecksPressureFirst) {
  EXPECT_EQ(this->model.temperature(kNaN, kNaN).error(),
            EosError::invalid_state("pressure", "must be finite"));
  EXPECT_EQ(this->model.temperature(10.0, 0.0).error(), kBadVolume);
}

// Every operation at one state either fails with an error or returns a finite value.
template <class Model>
void expect_finite_or_error(const Model& m, double v, double t) {
  auto check = [&](const char* op, const Result& r) {
    if (r) {
      EXPECT_TRUE(std::isfinite(*r)) << op << " V=" << v << " T=" << t;
    }
  };
  check("characteristic_temperature", m.characteristic_temperature(v));
  check("thermal_pressure", m.thermal_pressure(v, t));
  check("thermal_pressure_increment", m.thermal_pressure_increment(v, t));
  check("pressure", m.pressure(v, t));
  check("bulk_modulus", m.bulk_modulus(v, t, 1e-6));
  check("thermal_expansivity", m.thermal_expansivity(v, t, 1e-5));
  check("isothermal_compressibility", m.isothermal_compressibility(v, t));
  check("dac_thermal_pressure", m.dac_thermal_pressure(v, t, 0.5));
  check("molar_heat_capacity_v", m.molar_heat_capacity_v(v, t));
  check("molar_heat_capacity_p", m.molar_heat_capacity_p(v, t));
  check("gruneisen_parameter", m.gruneisen_parameter(v, t));
  check("adiabatic_bulk_modulus", m.adiabatic_bulk_modulus(v, t));
  check("thermal_energy", m.thermal_energy(v, t));
  check("thermal_entropy", m.thermal_entropy(v, t));
  check("thermal_helmholtz_free_energy", m.thermal_helmholtz_free_energy(v, t));
  check("thermal_gibbs_free_energy", m.thermal_gibbs_free_energy(v, t));
  check("vibrational_pressure", m.vibrational_pressure(v, t));
  check("thermal_enthalpy", m.thermal_enthalpy(v, t));
}

const double kFuzzVolumes[] = {0.0,       -1.0, kNaN,       kInf, 1e-300, 1e-3,
                               0.5 * kV0, kV0,  3.0 * kV0, 1e8,  1e300};
const double kFuzzTemperatures[] = {0.0,  -1.0,  kNaN, kInf, 1e-320, 1e-300,
                                    1e-3, 300.0, 5e4,  1e10, 1e300,  1.7e308};
const double kFuzzPressures[] = {kNaN, -kInf, -1e300, -50.0, 0.0, 30.0, 1e5, 1e300};

template <class Model>
void fuzz(const Model& m) {
  for (double v : kFuzzVolumes) {
    for (double t : kFuzzTemperatures) expect_finite_or_error(m, v, t);
  }
  // The inversions, on a coarser grid: each can cost a few hundred pressures.
  for (double p : kFuzzPressures) {
    for (double t : {kNaN, 1e-300, 300.0, 1e10}) {
      for (auto r : {m.volume(p, t), m.volume_with_dac_confinement(p, t, 0.5)}) {
        if (r) {
          EXPECT_TRUE(std::isfinite(*r)) << p << " " << t;
        }
      }
    }
    for (double v : {kNaN, 1e-300, 0.7 * kV0, 1e300}) {
      auto r = m.temperature(p, v);
      if (r) {
        EXPECT_TRUE(std::isfinite(*r)) << p << " " << v;
      }
    }
  }
}

TYPED_TEST(MieGruneisenFamily, NeverReturnsNonFiniteValues) { fuzz(this->model); }

// Extreme but valid parameters: tiny and huge theta0, steep and negative gamma laws.
struct ExtremeParameters {
  double theta0, gamma0, q;
};
const ExtremeParameters kExtremes[] = {
    {1e-250, 1.5, 1.5},  {1e250, 1.5, 1.5},    {773.0, 60.0, 12.0},
    {773.0, -3.0, -2.0}, {773.0, 1e-300, 0.0}};

TEST(MieGruneisenExtremes, NeverReturnNonFiniteValues) {
  const BM3 r = reference<BM3>();
  for (const auto& x : kExtremes) {
    SCOPED_TRACE(x.theta0);
    SCOPED_TRACE(x.gamma0);
    fuzz(*MieGruneisen<BM3, true>::create(r, kTr, x.theta0, x.gamma0, x.q, kN,
                                          Law::variable_exponent, Ref::reference_isentrope));
    fuzz(*MieGruneisen<BM3, true>::create(r, kTr, x.theta0, x.gamma0, x.q, kN,
                                          Law::integrated_gruneisen, Ref::absolute_zero));
    fuzz(*MieGruneisen<BM3, false>::create(r, kTr, x.theta0, x.gamma0, x.q, kN));
    fuzz(*VariableQMieGruneisenDebye<BM3>::create(r, kTr, x.theta0, x.gamma0, x.q, 0.5 * x.q, kN));
    fuzz(*AsymptoticPowerLawMieGruneisenDebye<BM3>::create(r, kTr, x.theta0, x.gamma0, 0.5, x.q,
                                                          kN));
  }
}

// ---- Per-model laws, options and constructors ----

using DebyeBM3 = MieGruneisen<BM3, true>;
using EinsteinBM3 = MieGruneisen<BM3, false>;
using VariableQBM3 = VariableQMieGruneisenDebye<BM3>;
using PowerLawBM3 = AsymptoticPowerLawMieGruneisenDebye<BM3>;

DebyeBM3 debye(Ref reference_kind, Law law = Law::integrated_gruneisen, double q = kQ) {
  return *DebyeBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, q, kN, law, reference_kind);
}

TEST(MieGruneisen, CvmaxDefaultsToThreeNRAndScalesEveryCaloricQuantity) {
  const DebyeBM3 plain = debye(Ref::reference_temperature);
  EXPECT_EQ(plain.cvmax(), 3.0 * kN * kR);
  const double scale = 1.7;
  const auto scaled = *DebyeBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, kQ, kN,
                                        Law::integrated_gruneisen, Ref::reference_temperature,
                                        scale * 3.0 * kN * kR);
  for (double v : {0.85 * kV0, kV0}) {
    for (double t : {150.0, 2000.0}) {
      EXPECT_NEAR(*scaled.thermal_energy(v, t), scale * *plain.thermal_energy(v, t), 1e-10 * t);
      EXPECT_NEAR(*scaled.thermal_entropy(v, t), scale * *plain.thermal_entropy(v, t), 1e-12 * 100);
      EXPECT_NEAR(*scaled.thermal_pressure(v, t), scale * *plain.thermal_pressure(v, t), 1e-11);
    }
  }
}

TEST(MieGruneisen, AbsoluteZeroAddsTheFullVibrationalPressure) {
  const DebyeBM3 m = debye(Ref::absolute_zero);
  for (double v : {0.8 * kV0, kV0, 1.05 * kV0}) {
    EXPECT_GT(*m.thermal_pressure(v, kTr), 0.0);
    EXPECT_EQ(*m.thermal_pressure(v, kTr), *m.vibrational_pressure(v, kTr));
    for (double t : {100.0, 1000.0, 3000.0}) {
      EXPECT_EQ(*m.thermal_pressure_increment(v, t),
                *m.thermal_pressure(v, t) - *m.thermal_pressure(v, kTr));
      EXPECT_EQ(*m.pressure(v, t), *m.reference_eos().pressure(v) + *m.thermal_pressure(v, t));
    }
  }
}

TEST(MieGruneisen, ReferenceIsentropeVanishesOnTheIsentropeThroughV0Tr) {
  const DebyeBM3 m = debye(Ref::reference_isentrope);
  EXPECT_NEAR(*m.thermal_pressure(kV0, kTr), 0.0, 1e-14);
  for (double v : {0.7 * kV0, 0.9 * kV0, 1.1 * kV0}) {
    EXPECT_GT(std::fabs(*m.thermal_pressure(v, kTr)), 1e-3);
    const double on_isentrope = kTr * *m.characteristic_temperature(v) / kTheta0;
    EXPECT_NEAR(*m.thermal_pressure(v, on_isentrope), 0.0, 1e-14);
  }
}

TEST(MieGruneisen, DebyeTemperatureLaws) {
  for (double x : {0.6, 0.9, 1.3}) {
    const double v = x * kV0;
    // theta0 x^-gamma(V) with the current gamma.
    const double gamma = kGamma0 * std::pow(x, kQ);
    const auto variable = debye(Ref::reference_temperature, Law::variable_exponent);
    EXPECT_NEAR(*variable.characteristic_temperature(v),
                kTheta0 * std::pow(x, -gamma), 1e-13 * kTheta0);
    // theta0 exp(-gamma0 (x^q - 1)/q), and theta0 x^-gamma0 when q = 0.
    EXPECT_NEAR(*debye(Ref::reference_temperature).characteristic_temperature(v),
                kTheta0 * std::exp(-kGamma0 * (std::pow(x, kQ) - 1.0) / kQ), 1e-13 * kTheta0);
    const auto constant = debye(Ref::reference_temperature, Law::integrated_gruneisen, 0.0);
    EXPECT_NEAR(*constant.characteristic_temperature(v),
                kTheta0 * std::pow(x, -kGamma0), 1e-13 * kTheta0);
    const auto nearly = debye(Ref::reference_temperature, Law::integrated_gruneisen, 1e-12);
    EXPECT_NEAR(*nearly.characteristic_temperature(v),
                kTheta0 * std::pow(x, -kGamma0), 1e-10 * kTheta0);
    EXPECT_NEAR(*debye(Ref::reference_temperature).gruneisen_parameter(v, kNaN), gamma, 1e-14);
  }
}

TEST(MieGruneisen, EinsteinEnergyIsTheEinsteinFunctionAtThetaV) {
  const auto m = *EinsteinBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, kQ, kN);
  for (double v : {0.8 * kV0, 1.02 * kV0}) {
    for (double t : {50.0, 300.0, 4000.0}) {
      const double theta = *m.characteristic_temperature(v);
      EXPECT_NEAR(*m.thermal_energy(v, t), *einstein_energy(theta, kN, t), 1e-12 * t);
      // Pth = gamma (E(T) - E(Tr)) / V in J/mol per volume unit / 10000.
      const double delta_e = *einstein_energy(theta, kN, t) - *einstein_energy(theta, kN, kTr);
      const double pth = *m.gruneisen_parameter(v, t) * delta_e / v / 1e4;
      EXPECT_NEAR(*m.thermal_pressure(v, t), pth, 1e-13 * (std::fabs(pth) + 1.0));
    }
  }
}

TEST(MieGruneisen, DebyeLowTemperatureT3Law) {
  // Far below theta, Cv = (12 pi^4 / 5) n R (T/theta)^3 for Cvmax = 3nR.
  const DebyeBM3 m = debye(Ref::reference_temperature);
  const double t = kTheta0 / 400.0;
  const double expected = 4.0 * 97.40909103400242 / 5.0 * 3.0 * kN * kR * std::pow(t / kTheta0, 3);
  EXPECT_NEAR(*m.molar_heat_capacity_v(kV0, t), expected, 1e-8 * expected);
}

TEST(VariableQ, ReducesToMieGruneisenWhenQ1IsZero) {
  const auto vq = *VariableQBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, kQ, 0.0, kN);
  const DebyeBM3 mg = debye(Ref::reference_temperature);
  for (double v : {0.7 * kV0, 0.95 * kV0, 1.1 * kV0}) {
    EXPECT_NEAR(*vq.characteristic_temperature(v), *mg.characteristic_temperature(v),
                1e-13 * kTheta0);
    EXPECT_NEAR(*vq.gruneisen_parameter(v, 1.0), *mg.gruneisen_parameter(v, 1.0), 1e-15);
    for (double t : {200.0, 2500.0}) {
      EXPECT_NEAR(*vq.thermal_pressure(v, t), *mg.thermal_pressure(v, t), 1e-13);
      EXPECT_NEAR(*vq.thermal_entropy(v, t), *mg.thermal_entropy(v, t), 1e-12);
    }
  }
}

TEST(VariableQ, QuadratureOfTheGruneisenLawMatchesCompositeSimpson) {
  const double q0 = 1.5, q1 = 0.8;
  const auto vq = *VariableQBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, q0, q1, kN);
  for (double x : {0.55, 0.8, 1.0, 1.25}) {
    const double lx = std::log(x);
    auto g = [&](double s) { return kGamma0 * std::exp(q0 * (std::exp(q1 * s) - 1.0) / q1); };
    const int n = 2000;
    const double h = lx / n;
    double sum = g(0.0) + g(lx);
    for (int i = 1; i < n; ++i) sum += (i % 2 ? 4.0 : 2.0) * g(i * h);
    const double expected = kTheta0 * std::exp(-sum * h / 3.0);
    EXPECT_NEAR(*vq.characteristic_temperature(x * kV0), expected, 1e-11 * expected) << x;
    EXPECT_NEAR(*vq.gruneisen_parameter(x * kV0, 0.0), g(lx), 1e-14) << x;
  }
}

TEST(VariableQ, ClosedFormsWhenQ0OrQ1IsZeroAreTheLimitsOfTheQuadrature) {
  for (double x : {0.6, 1.2}) {
    const double v = x * kV0;
    auto model = [](double q0, double q1) {
      return *VariableQBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, q0, q1, kN);
    };
    auto theta = [&](double q0, double q1) { return *model(q0, q1).characteristic_temperature(v); };
    auto gamma = [&](double q0, double q1) { return *model(q0, q1).gruneisen_parameter(v, 0.0); };
    EXPECT_NEAR(theta(0.0, 0.8), kTheta0 * std::pow(x, -kGamma0), 1e-12 * kTheta0);
    EXPECT_NEAR(theta(1e-9, 0.8), theta(0.0, 0.8), 1e-7 * kTheta0);
    EXPECT_NEAR(theta(1.5, 1e-9), theta(1.5, 0.0), 1e-7 * kTheta0);
    EXPECT_NEAR(gamma(1.5, 1e-9), gamma(1.5, 0.0), 1e-7);
  }
}

TEST(VariableQ, ThetaOutsideTheDoubleRange) {
  const auto steep = *VariableQBM3::create(reference<BM3>(), kTr, kTheta0, 1000.0, 0.0, 1.0, kN);
  EXPECT_EQ(steep.characteristic_temperature(10.0 * kV0).error(),
            EosError::invalid_state("Debye temperature", "must be positive and finite"));
  EXPECT_EQ(steep.thermal_pressure(10.0 * kV0, 300.0).error(),
            EosError::invalid_state("Debye temperature", "must be positive and finite"));
  EXPECT_EQ(steep.characteristic_temperature(0.1 * kV0).error().kind(),
            EosErrorKind::NonFiniteResult);
}

TEST(AsymptoticPowerLaw, ReducesToMieGruneisen) {
  // a = 1 is gamma0 x^b; a = 0 and b = 0 are a constant gamma0.
  const struct {
    double a, b, q;
  } cases[] = {{1.0, kQ, kQ}, {0.0, kQ, 0.0}, {0.6, 0.0, 0.0}};
  for (const auto& c : cases) {
    const auto apl = *PowerLawBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, c.a, c.b, kN);
    const DebyeBM3 mg = debye(Ref::reference_temperature, Law::integrated_gruneisen, c.q);
    for (double v : {0.7 * kV0, 1.1 * kV0}) {
      EXPECT_NEAR(*apl.characteristic_temperature(v), *mg.characteristic_temperature(v),
                  1e-12 * kTheta0);
      EXPECT_NEAR(*apl.gruneisen_parameter(v, 0.0), *mg.gruneisen_parameter(v, 0.0), 1e-14);
      EXPECT_NEAR(*apl.thermal_pressure(v, 1800.0), *mg.thermal_pressure(v, 1800.0), 1e-13);
    }
  }
  // On strong compression gamma tends to gamma0 (1 - a).
  const auto apl = *PowerLawBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, 0.4, 2.0, kN);
  EXPECT_NEAR(*apl.gruneisen_parameter(1e-4 * kV0, 0.0), kGamma0 * 0.6, 1e-7);
}

// ---- Constructor checks ----

const EosError pf(const char* field) {
  return EosError::invalid_parameter(field, "must be positive and finite");
}
const EosError f(const char* field) { return EosError::invalid_parameter(field, "must be finite"); }

template <class M>
Check status(const std::expected<M, EosError>& m) {
  if (!m) return m.error();
  return std::nullopt;
}

// Parameters in the order the constructor checks them, a bad value for each,
// and the error each bad value raises.
struct ConstructorCase {
  const char* name;
  std::vector<double> good, bad;
  std::vector<EosError> errors;
  std::function<Check(const std::vector<double>&)> build;
};

class ConstructorChecks : public ::testing::TestWithParam<ConstructorCase> {};

TEST_P(ConstructorChecks, ReportTheFirstBadParameterInCheckOrder) {
  const auto& c = GetParam();
  EXPECT_FALSE(c.build(c.good));
  // Parameter i bad together with every parameter checked after it.
  for (std::size_t i = 0; i < c.good.size(); ++i) {
    auto values = c.good;
    for (std::size_t j = i; j < values.size(); ++j) values[j] = c.bad[j];
    const Check failure = c.build(values);
    ASSERT_TRUE(failure) << i;
    EXPECT_EQ(*failure, c.errors[i]) << i;
  }
}

const double kCvmax = 40.0;

INSTANTIATE_TEST_SUITE_P(
    MieGruneisenFamily, ConstructorChecks,
    ::testing::Values(
        ConstructorCase{"Debye",
                        {kTr, kTheta0, kGamma0, kQ, kN, kCvmax},
                        {0.0, -1.0, kNaN, kInf, 0.0, kNaN},
                        {pf("Tr"), pf("theta0"), f("gamma0"), f("q"), pf("n"), pf("Cvmax")},
                        [](const std::vector<double>& p) {
                          return status(MieGruneisen<BM3, true>::create(
                              reference<BM3>(), p[0], p[1], p[2], p[3], p[4],
                              Law::variable_exponent, Ref::absolute_zero, p[5]));
                        }},
        ConstructorCase{"Einstein",
                        {kTr, kTheta0, kGamma0, kQ, kN},
                        {kNaN, kInf, -kInf, kNaN, -2.0},
                        {pf("Tr"), pf("theta0"), f("gamma0"), f("q"), pf("n")},
                        [](const std::vector<double>& p) {
                          return status(MieGruneisen<BM3, false>::create(
                              reference<BM3>(), p[0], p[1], p[2], p[3], p[4]));
                        }},
        ConstructorCase{"VariableQ",
                        {kTr, kTheta0, kGamma0, 1.0, 1.0, kN},
                        {kInf, 0.0, kNaN, kInf, kNaN, kNaN},
                        {pf("Tr"), pf("theta0"), f("gamma0"), f("q0"), f("q1"), pf("n")},
                        [](const std::vector<double>& p) {
                          return status(VariableQMieGruneisenDebye<BM3>::create(
                              reference<BM3>(), p[0], p[1], p[2], p[3], p[4], p[5]));
                        }},
        // a is checked before Tr although it comes after gamma0 in the call.
        ConstructorCase{"AsymptoticPowerLaw",
                        {0.5, kTr, kTheta0, kGamma0, 1.0, kN},
                        {1.5, -1.0, kNaN, kInf, -kInf, 0.0},
                        {EosError::invalid_parameter("a", "must lie between zero and one"),
                         pf("Tr"), pf("theta0"), f("gamma0"), f("b"), pf("n")},
                        [](const std::vector<double>& p) {
                          return status(AsymptoticPowerLawMieGruneisenDebye<BM3>::create(
                              reference<BM3>(), p[1], p[2], p[3], p[0], p[4], p[5]));
                        }},
        ConstructorCase{"AsymptoticPowerLawNonFiniteA",
                        {0.5, kTr, kTheta0, kGamma0, 1.0, kN},
                        {kNaN, -1.0, kNaN, kInf, -kInf, 0.0},
                        {f("a"), pf("Tr"), pf("theta0"), f("gamma0"), f("b"), pf("n")},
                        [](const std::vector<double>& p) {
                          return status(AsymptoticPowerLawMieGruneisenDebye<BM3>::create(
                              reference<BM3>(), p[1], p[2], p[3], p[0], p[4], p[5]));
                        }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MieGruneisenFamilyConstructors, ALiesInTheClosedUnitInterval) {
  const BM3 r = reference<BM3>();
  for (double a : {-1e-300, -0.5, 1.0000000000000002, kInf}) {
    auto m = AsymptoticPowerLawMieGruneisenDebye<BM3>::create(r, kTr, kTheta0, kGamma0, a, 1.0, kN);
    ASSERT_FALSE(m) << a;
    EXPECT_EQ(m.error().field(), "a");
  }
  for (double a : {0.0, -0.0, 0.5, 1.0}) {
    EXPECT_TRUE(
        AsymptoticPowerLawMieGruneisenDebye<BM3>::create(r, kTr, kTheta0, kGamma0, a, 1.0, kN));
  }
}

TEST(MieGruneisenFamilyConstructors, AcceptTheirBoundaryValues) {
  EXPECT_TRUE(DebyeBM3::create(reference<BM3>(), 1e-310, 1e-310, -1e300, -1e300, 1e-310));
  EXPECT_TRUE(EinsteinBM3::create(reference<BM3>(), kTr, kTheta0, 0.0, 0.0, kN));
  const auto m = *DebyeBM3::create(reference<BM3>(), kTr, kTheta0, kGamma0, kQ, kN,
                                   Law::variable_exponent, Ref::reference_isentrope, 33.0);
  EXPECT_EQ(m.parameters(), (std::array<double, 6>{kTr, kTheta0, kGamma0, kQ, kN, 33.0}));
  EXPECT_EQ(m.debye_temperature_law(), Law::variable_exponent);
  EXPECT_EQ(m.thermal_pressure_reference(), Ref::reference_isentrope);
  static_assert(sizeof(DebyeTemperatureLaw) == 1 && sizeof(ThermalPressureReference) == 1);
  static_assert(static_cast<int>(Ref::absolute_zero) == 2);
  static_assert(static_cast<int>(Law::variable_exponent) == 1);
}

}  // namespace
}  // namespace barometra
