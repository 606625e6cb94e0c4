// The Mie-Grueneisen family: one suite over every code path against
// independently computed thermodynamic identities, then per-model laws,
// reductions and constructor checks.
#include "barometra/thermal/mie_gruneisen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <tuple>
#include <type_traits>
#include <vector>

#include "barometra/isothermal/finite_strain.hpp"
#include "barometra/isothermal/potential.hpp"
#include "barometra/isothermal/rt_model.hpp"
#include "barometra/thermal/asymptotic_power_law.hpp"
#include "barometra/thermal/variable_q.hpp"
#include "barometra/thermal/vibrational.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;

// MgO-like.
constexpr double kV0 = 11.25, kTr = 300.0, kTheta0 = 773.0, kGamma0 = 1.5, kQ = 1.5, kN = 2.0;
constexpr double k3nR = 3.0 * kN * 8.31446261815324;

using Law = DebyeTemperatureLaw;
using Ref = ThermalPressureReference;
using DebyeBM3 = MieGruneisen<BM3, true>;
using EinsteinBM3 = MieGruneisen<BM3, false>;
using VariableQBM3 = VariableQMieGruneisenDebye<BM3>;
using PowerLawBM3 = AsymptoticPowerLawMieGruneisenDebye<BM3>;

template <class R = BM3>
R reference() {
  if constexpr (std::is_same_v<R, BM3>) return *BM3::create(kV0, 160.0, 4.15);
  else return RtModel(*Vinet::create(kV0, 160.0, 4.15));
}

DebyeBM3 debye(double q = kQ, Law law = Law::integrated_gruneisen) {
  return *DebyeBM3::create(reference(), kTr, kTheta0, kGamma0, q, kN, law);
}

// One configuration per code path.
struct Defaults {
  static constexpr double kCvMax = k3nR;
  static constexpr Ref kRef = Ref::reference_temperature;
  static constexpr bool kVolumeFirst = false, kDebye = true;
  static constexpr bool kConsistent = true;  // P, S and E derive from one free energy
};
template <class R, Law L, Ref P, bool GivenCvmax = false>
struct Debye : Defaults {
  static auto make() {
    return *MieGruneisen<R, true>::create(reference<R>(), kTr, kTheta0, kGamma0, kQ, kN, L, P,
                                          GivenCvmax ? std::optional(40.0) : std::nullopt);
  }
  static constexpr double kCvMax = GivenCvmax ? 40.0 : k3nR;
  static constexpr Ref kRef = P;
  static constexpr bool kVolumeFirst = true;
  static constexpr bool kConsistent = L == Law::integrated_gruneisen;
};
struct Einstein : Defaults {
  static auto make() { return *EinsteinBM3::create(reference(), kTr, kTheta0, kGamma0, kQ, kN); }
  static constexpr bool kVolumeFirst = true, kDebye = false;
};
struct VariableQ : Defaults {
  static auto make() {
    return *VariableQBM3::create(reference(), kTr, kTheta0, kGamma0, kQ, 0.8, kN);
  }
};
struct PowerLaw : Defaults {
  static auto make() {
    return *PowerLawBM3::create(reference(), kTr, kTheta0, kGamma0, 0.4, 2.0, kN);
  }
};

template <class C>
class MieGruneisenFamily : public ::testing::Test {};
using Configs = ::testing::Types<
    Debye<BM3, Law::integrated_gruneisen, Ref::reference_temperature>,
    Debye<BM3, Law::variable_exponent, Ref::reference_temperature>,
    Debye<BM3, Law::integrated_gruneisen, Ref::reference_isentrope, true>,
    Debye<RtModel, Law::integrated_gruneisen, Ref::absolute_zero>, Einstein, VariableQ, PowerLaw>;
TYPED_TEST_SUITE(MieGruneisenFamily, Configs);

const double kVolumes[] = {0.8 * kV0, 0.95 * kV0, 1.05 * kV0};
const double kTemperatures[] = {300.0, 1000.0, 3000.0};

TYPED_TEST(MieGruneisenFamily, InversionsExpansivityAndTheReferenceState) {
  const auto m = TypeParam::make();
  for (double v : kVolumes) {
    if constexpr (TypeParam::kRef == Ref::reference_temperature) {
      EXPECT_EQ(ok(m.pressure(v, kTr)), *m.reference_eos().pressure(v));
    } else if constexpr (TypeParam::kRef == Ref::reference_isentrope) {
      // Pth vanishes on the isentrope through (V0, Tr), where theta/T is theta0/Tr.
      EXPECT_NEAR(ok(m.thermal_pressure(kV0, kTr)), 0.0, 1e-14);
      EXPECT_GT(std::fabs(ok(m.thermal_pressure(v, kTr))), 1e-3);
      const double on_isentrope = kTr * ok(m.characteristic_temperature(v)) / kTheta0;
      EXPECT_NEAR(ok(m.thermal_pressure(v, on_isentrope)), 0.0, 1e-14);
    } else {
      // From 0 K the whole vibrational pressure is thermal.
      EXPECT_GT(ok(m.thermal_pressure(v, kTr)), 0.0);
      EXPECT_EQ(ok(m.thermal_pressure(v, 2e3)), ok(m.vibrational_pressure(v, 2e3)));
    }
    for (double t : kTemperatures) {
      const double p = ok(m.pressure(v, t)), dt = 1e-3 * t;
      EXPECT_NEAR(ok(m.volume(p, t)), v, 1e-10 * v) << v << " " << t;
      EXPECT_NEAR(ok(m.temperature(p, v)), t, 1e-7 * t) << v << " " << t;
      const double increment = ok(m.thermal_pressure(v, t)) - ok(m.thermal_pressure(v, kTr));
      EXPECT_NEAR(ok(m.thermal_pressure_increment(v, t)), increment, 1e-15 * (1 + increment));
      // alpha against (1/V) (dV/dT)_P through the volume inversion.
      const double alpha = (ok(m.volume(p, t + dt)) - ok(m.volume(p, t - dt))) / (2 * dt * v);
      EXPECT_NEAR(ok(m.thermal_expansivity(v, t, 1e-5)), alpha, 1e-6 * alpha) << v << " " << t;
    }
  }
}

TYPED_TEST(MieGruneisenFamily, CaloricQuantitiesAreConsistent) {
  const auto m = TypeParam::make();
  auto e = [&](double v, double t) { return ok(m.thermal_energy(v, t)); };
  auto f = [&](double v, double t) { return ok(m.thermal_helmholtz_free_energy(v, t)); };
  for (double v : kVolumes) {
    for (double t : {100.0, 1000.0, 3000.0}) {
      const double cv = ok(m.molar_heat_capacity_v(v, t)), s = ok(m.thermal_entropy(v, t));
      const double gamma = ok(m.gruneisen_parameter(v, t)), h = 1e-3 * t;
      EXPECT_NEAR(cv, derivative([&](double x) { return e(v, x); }, t, h), 1e-7 * cv);
      EXPECT_NEAR(s, -derivative([&](double x) { return f(v, x); }, t, h), 1e-8 * s);
      EXPECT_NEAR(ok(m.thermal_enthalpy(v, t)), e(v, t) * (1 + gamma), 1e-12 * e(v, t));
      EXPECT_NEAR(ok(m.thermal_gibbs_free_energy(v, t)), f(v, t) + gamma * e(v, t),
                  1e-12 * e(v, t));
      // (dP/dT)_V = gamma Cv / V for any theta law, so V alpha KT / Cv is gamma(V).
      using Caloric = CaloricModelBase<std::remove_const_t<decltype(m)>>;
      EXPECT_NEAR(ok(m.Caloric::gruneisen_parameter(v, t)), gamma, 1e-5 * std::fabs(gamma));
      const double ks = ok(m.adiabatic_bulk_modulus(v, t)), kt = ok(m.bulk_modulus(v, t, 1e-6));
      EXPECT_NEAR(ks / kt, ok(m.molar_heat_capacity_p(v, t)) / cv, 1e-14);
      if constexpr (TypeParam::kConsistent) {
        // S depends on theta(V)/T alone, so theta/T is constant on the isentrope.
        const double u = ok(m.characteristic_temperature(v)) / t;
        auto p_on_isentrope = [&](double x) {
          return ok(m.pressure(x, ok(m.characteristic_temperature(x)) / u));
        };
        EXPECT_NEAR(ks, -v * derivative(p_on_isentrope, v, 1e-4 * v), 1e-7 * ks) << v << " " << t;
      }
    }
  }
}

TYPED_TEST(MieGruneisenFamily, HighTemperatureLimits) {
  const auto m = TypeParam::make();
  // Debye: E = Cvmax T (1 - 3u/8 + u^2/20 - u^4/1680),
  // Einstein: E = 3nR T (1 - u/2 + u^2/12 - u^4/720), and Cv = dE/dT.
  const double c = TypeParam::kCvMax, t = 100.0 * kTheta0, u = 0.01;
  const double c1 = TypeParam::kDebye ? 3.0 / 8 : 0.5, c2 = TypeParam::kDebye ? 0.05 : 1.0 / 12;
  const double c4 = TypeParam::kDebye ? 1.0 / 1680 : 1.0 / 720;
  EXPECT_NEAR(ok(m.molar_heat_capacity_v(kV0, t)), c * (1 - c2 * u * u + 3 * c4 * std::pow(u, 4)),
              1e-9 * c);
  EXPECT_NEAR(ok(m.thermal_energy(kV0, t)),
              c * t * (1 - c1 * u + c2 * u * u - c4 * std::pow(u, 4)), 1e-14 * c * t);
}

TYPED_TEST(MieGruneisenFamily, StateChecksAndFiniteDifferenceSteps) {
  const auto m = TypeParam::make();
  // MieGruneisen checks the volume first; the others the energy's temperature.
  const auto first = TypeParam::kVolumeFirst ? kBadVolume : kBadTemperature;
  for (const Result& r : {m.thermal_pressure(0.0, kNaN), m.thermal_energy(0.0, kNaN),
                          m.thermal_entropy(0.0, kNaN), m.thermal_helmholtz_free_energy(0.0, kNaN),
                          m.thermal_enthalpy(0.0, kNaN), m.thermal_gibbs_free_energy(0.0, kNaN),
                          m.pressure(0.0, kNaN), m.dac_thermal_pressure(0.0, kNaN, 0.5)}) {
    EXPECT_EQ(r, first);
  }
  EXPECT_EQ(m.vibrational_pressure(0.0, kNaN), kBadVolume);
  EXPECT_EQ(m.molar_heat_capacity_v(0.0, kNaN), kBadTemperature);
  EXPECT_EQ(m.characteristic_temperature(kInf), kBadVolume);
  EXPECT_EQ(m.gruneisen_parameter(-1.0, 300.0), kBadVolume);
  EXPECT_TRUE(m.gruneisen_parameter(kV0, kNaN));  // the temperature is not used

  const double v = 0.9 * kV0, t = 1000.0;
  // The step 0.9 asks for dT = 900 K; the cap makes it 0.49 T.
  EXPECT_EQ(ok(m.thermal_expansivity(v, t, 0.9)),
            (ok(m.pressure(v, 1490.0)) - ok(m.pressure(v, 510.0))) / 980.0 /
                ok(m.bulk_modulus(v, t, 1e-6)));
  EXPECT_EQ(m.bulk_modulus(v, t, 1.0), kBadVolume);
}

TYPED_TEST(MieGruneisenFamily, NeverReturnsNonFiniteValues) {
  expect_only_finite_values(TypeParam::make());
}

TEST(MieGruneisenFamilyFuzz, ExtremeParametersNeverGiveNonFiniteValues) {
  // Tiny and huge theta0, steep and negative gamma laws.
  for (const auto& [theta0, gamma0, q] : {std::tuple{1e-250, 1.5, 1.5}, {1e250, 1.5, 1.5},
                                          {773.0, 60.0, 12.0}, {773.0, -3.0, -2.0}}) {
    expect_only_finite_values(*DebyeBM3::create(reference(), kTr, theta0, gamma0, q, kN,
                                                Law::variable_exponent, Ref::reference_isentrope));
    expect_only_finite_values(*EinsteinBM3::create(reference(), kTr, theta0, gamma0, q, kN));
    expect_only_finite_values(
        *VariableQBM3::create(reference(), kTr, theta0, gamma0, q, 0.5 * q, kN));
    expect_only_finite_values(*PowerLawBM3::create(reference(), kTr, theta0, gamma0, 0.5, q, kN));
  }
}

TEST(MieGruneisen, LawsAndLowTemperatureLimits) {
  // The integrated theta law is pinned by the isentrope of the family suite and
  // by the reductions; the variable exponent one is theta0 x^-gamma(V).
  const auto einstein = Einstein::make();
  for (double x : {0.6, 0.9, 1.3}) {
    const double v = x * kV0, gamma = kGamma0 * std::pow(x, kQ);
    EXPECT_NEAR(*debye().gruneisen_parameter(v, kNaN), gamma, 1e-14);
    EXPECT_NEAR(*debye(kQ, Law::variable_exponent).characteristic_temperature(v),
                kTheta0 * std::pow(x, -gamma), 1e-13 * kTheta0);
    const double theta = *einstein.characteristic_temperature(v);
    for (double t : {50.0, 4000.0}) {
      EXPECT_NEAR(*einstein.thermal_energy(v, t), *einstein_energy(theta, kN, t), 1e-12 * t);
    }
  }
  // Far below theta, Cv = (12 pi^4 / 5) n R (T/theta)^3.
  const double t3 = 4 * std::pow(std::acos(-1.0), 4) / 5 * k3nR / std::pow(400.0, 3);
  EXPECT_NEAR(*debye().molar_heat_capacity_v(kV0, kTheta0 / 400), t3, 1e-8 * t3);
}

TEST(MieGruneisenReductions, VariableQAndPowerLaw) {
  auto expect_same = [](const auto& model, const DebyeBM3& mg) {
    for (double v : {0.7 * kV0, 1.1 * kV0}) {
      EXPECT_NEAR(*model.characteristic_temperature(v), *mg.characteristic_temperature(v),
                  1e-12 * kTheta0);
      EXPECT_NEAR(*model.gruneisen_parameter(v, 0.0), *mg.gruneisen_parameter(v, 0.0), 1e-14);
      EXPECT_NEAR(*model.thermal_pressure(v, 1800.0), *mg.thermal_pressure(v, 1800.0), 1e-13);
      EXPECT_NEAR(*model.thermal_entropy(v, 200.0), *mg.thermal_entropy(v, 200.0), 1e-12);
    }
  };
  expect_same(*VariableQBM3::create(reference(), kTr, kTheta0, kGamma0, kQ, 0.0, kN), debye());
  // a = 1 is gamma0 x^b; a = 0 or b = 0 a constant gamma0.
  for (const auto& [a, b, q] : {std::tuple{1.0, kQ, kQ}, {0.0, kQ, 0.0}, {0.6, 0.0, 0.0}}) {
    expect_same(*PowerLawBM3::create(reference(), kTr, kTheta0, kGamma0, a, b, kN), debye(q));
  }
  // On strong compression the power law's gamma tends to gamma0 (1 - a).
  EXPECT_NEAR(*PowerLaw::make().gruneisen_parameter(1e-4 * kV0, 0.0), kGamma0 * 0.6, 1e-7);
}

TEST(VariableQ, ThetaMatchesCompositeSimpsonInEveryBranch) {
  for (const auto& [q0, q1] : {std::pair{1.5, 0.8}, {0.0, 0.8}, {1.5, 0.0}, {1.5, 1e-9}}) {
    const auto vq = *VariableQBM3::create(reference(), kTr, kTheta0, kGamma0, q0, q1, kN);
    auto g = [&](double s) {
      return kGamma0 * std::exp(q1 == 0.0 ? q0 * s : q0 * std::expm1(q1 * s) / q1);
    };
    for (double x : {0.55, 1.25}) {
      const double lx = std::log(x), h = lx / 2000;
      double sum = g(0.0) + g(lx);
      for (int i = 1; i < 2000; ++i) sum += (i % 2 ? 4.0 : 2.0) * g(i * h);
      const double expected = kTheta0 * std::exp(-sum * h / 3.0);
      EXPECT_NEAR(*vq.characteristic_temperature(x * kV0), expected, 1e-11 * expected) << q1;
      EXPECT_NEAR(*vq.gruneisen_parameter(x * kV0, 0.0), g(lx), 1e-14 * g(lx)) << q1;
    }
  }
  // theta below the smallest double, and above the largest.
  const auto steep = *VariableQBM3::create(reference(), kTr, kTheta0, 1e3, 0.0, 1.0, kN);
  const auto underflow =
      std::unexpected(EosError::invalid_state("Debye temperature", "must be positive and finite"));
  EXPECT_EQ(steep.characteristic_temperature(10.0 * kV0), underflow);
  EXPECT_EQ(steep.thermal_pressure(10.0 * kV0, 300.0), underflow);
  EXPECT_EQ(steep.characteristic_temperature(0.1 * kV0),
            std::unexpected(EosError::non_finite_result()));
}

TEST(MieGruneisenConstructors, ReportTheFirstBadParameterInCheckOrder) {
  using P = std::vector<double>;
  expect_checks_in_order({kTr, kTheta0, kGamma0, kQ, kN, 40.0},
                         {positive("Tr"), positive("theta0"), finite("gamma0"), finite("q"),
                          positive("n"), positive("Cvmax")},
                         [&](const P& p) {
                           return DebyeBM3::create(reference(), p[0], p[1], p[2], p[3], p[4],
                                                   Law::variable_exponent, Ref::absolute_zero,
                                                   p[5]);
                         });
  expect_checks_in_order({kTr, kTheta0, kGamma0, 1.0, 1.0, kN},
                         {positive("Tr"), positive("theta0"), finite("gamma0"), finite("q0"),
                          finite("q1"), positive("n")},
                         [&](const P& p) {
                           return VariableQBM3::create(reference(), p[0], p[1], p[2], p[3], p[4],
                                                       p[5]);
                         });
  // a is checked before Tr although it comes after gamma0 in the call.
  expect_checks_in_order({0.5, kTr, kTheta0, kGamma0, 1.0, kN},
                         {finite("a"), positive("Tr"), positive("theta0"), finite("gamma0"),
                          finite("b"), positive("n")},
                         [&](const P& p) {
                           return PowerLawBM3::create(reference(), p[1], p[2], p[3], p[0], p[4],
                                                      p[5]);
                         });
  // a lies in the closed unit interval.
  auto with_a = [&](double a) {
    return error_of(PowerLawBM3::create(reference(), kTr, kTheta0, kGamma0, a, 1.0, kN));
  };
  EXPECT_FALSE(with_a(0.0) || with_a(1.0));
  for (double a : {-1e-300, 1.0000000000000002}) {
    EXPECT_EQ(with_a(a), EosError::invalid_parameter("a", "must lie between zero and one"));
  }
}

}  // namespace
}  // namespace barometra
