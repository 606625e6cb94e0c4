// Holland-Powell thermal pressure over RtModel and over ModifiedTait: the
// reference state it is scaled to, its Einstein heat capacity, and the
// constructor checks in order.
#include "barometra/thermal/holland_powell.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <vector>

#include "barometra/isothermal/rt_model.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using namespace test_support;

constexpr double kV0 = 11.25, kTr = 298.15, kTheta = 510.0, kAlpha0 = 3.1e-5, kN = 5.0;
constexpr double k3nR = 3.0 * kN * 8.31446261815324;

const ModifiedTait kTait = *ModifiedTait::create(kV0, 160.0, 4.15, -4.15 / 160.0);
// K0 is rho0 P'(rho0) = 331.8...; c0 = -100 is no bulk modulus.
const DensityPolynomial3 kPolynomial = *DensityPolynomial3::create(kV0, 3.58, -100, -20, 5, 2);

template <class R>
HollandPowellThermalPressure<R> make(R reference, double alpha0 = kAlpha0) {
  return *HollandPowellThermalPressure<R>::create(reference, kTr, kTheta, alpha0, kN);
}

// Cv = dE/dT of the Einstein energy, by a fourth-order difference.
double einstein_cv(double t) {
  const double h = 1e-3 * t;
  auto e = [](double x) { return *einstein_energy(kTheta, kN, x); };
  return (-e(t + 2 * h) + 8 * e(t + h) - 8 * e(t - h) + e(t - 2 * h)) / (12 * h);
}

template <class Model>
void expect_scaled_to_the_reference_state(const Model& m, double k0) {
  const auto& ref = m.reference_eos();
  EXPECT_NEAR(ok(m.thermal_expansivity(kV0, kTr, 1e-5)), kAlpha0, 1e-8 * kAlpha0);
  EXPECT_NEAR(m.k() * m.cv_tr(), kAlpha0 * k0, 1e-15 * k0);
  const double gamma = kV0 * kAlpha0 * k0 * 1e4 / m.cv_tr();
  EXPECT_NEAR(ok(m.gruneisen_parameter(kV0, kTr)), gamma, 1e-7 * gamma);
  for (double v : {0.9 * kV0, kV0, 1.02 * kV0}) {
    EXPECT_EQ(ok(m.thermal_pressure(v, kTr)), 0.0);
    EXPECT_EQ(ok(m.pressure(v, kTr)), *ref.pressure(v));
    for (double t : {100.0, 1500.0}) {
      // Pth depends on T only, so KT is the reference's and Cv the Einstein one.
      EXPECT_EQ(ok(m.thermal_pressure(v, t)), ok(m.thermal_pressure(kV0, t)));
      EXPECT_EQ(ok(m.thermal_pressure_increment(v, t)), ok(m.thermal_pressure(v, t)));
      EXPECT_NEAR(ok(m.bulk_modulus(v, t, 1e-6)), *ref.bulk_modulus(v), 1e-8 * k0);
      EXPECT_NEAR(ok(m.molar_heat_capacity_v(v, t)), einstein_cv(t), 1e-10 * k3nR);
      EXPECT_NEAR(ok(m.volume(ok(m.pressure(v, t)), t)), v, 1e-10 * v);
    }
  }
}

TEST(HollandPowell, ExpansivityAtTheReferenceStateIsAlpha0) {
  expect_scaled_to_the_reference_state(make(kTait), 160.0);
  expect_scaled_to_the_reference_state(make(RtModel(kTait)), 160.0);
  expect_scaled_to_the_reference_state(make(RtModel(*BM3::create(kV0, 160.0, 4.15))), 160.0);
  // A density polynomial's K0 is its bulk modulus at V0.
  const double k0 = *kPolynomial.bulk_modulus(kV0);
  EXPECT_NEAR(k0, 3.58 * (-20 + 3.58 * (10 + 6 * 3.58)), 1e-12);
  expect_scaled_to_the_reference_state(make(RtModel(kPolynomial)), k0);
}

TEST(HollandPowell, BothInstantiationsAgreeAndAreNamed) {
  const auto tait = make(kTait);
  const auto general = make(RtModel(kTait));
  EXPECT_EQ(std::string_view(ThermalModifiedTait::kName), "ThermalModifiedTait");
  EXPECT_EQ(std::string_view(decltype(general)::kName), "HollandPowellThermalPressure");
  for (double v : {0.5 * kV0, kV0, 1.1 * kV0}) {
    for (double t : {10.0, 1000.0, 3000.0}) {
      EXPECT_EQ(tait.pressure(v, t), general.pressure(v, t));
      EXPECT_EQ(tait.thermal_expansivity(v, t, 1e-5), general.thermal_expansivity(v, t, 1e-5));
    }
  }
}

TEST(HollandPowell, HeatCapacityLimitsAndAZeroAlpha0) {
  const auto m = make(kTait);
  // Cv = 3nR (1 - u^2/12 + u^4/240) for small u = theta/T; far below theta it vanishes.
  const auto hot = *ThermalModifiedTait::create(kTait, kTr, 1e-6, kAlpha0, kN);
  EXPECT_NEAR(ok(hot.molar_heat_capacity_v(kV0, kTr)), k3nR, 1e-15 * k3nR);
  EXPECT_EQ(ok(m.molar_heat_capacity_v(kV0, 0.5)), 0.0);
  const double u = kTheta / 1e5;
  EXPECT_NEAR(ok(m.molar_heat_capacity_v(kV0, 1e5)),
              k3nR * (1 - u * u / 12 + std::pow(u, 4) / 240), 1e-14 * k3nR);
  const auto flat = make(kTait, 0.0);
  for (double t : {1.0, 700.0, 1e5}) EXPECT_EQ(ok(flat.thermal_pressure(kV0, t)), 0.0);
}

TEST(HollandPowell, ChecksInOrder) {
  expect_checks_in_order(
      {kTr, kTheta, -kAlpha0, kN},
      {positive("Tr"), positive("theta"), finite("alpha0"), positive("n")},
      [](const std::vector<double>& p) {
        return ThermalModifiedTait::create(kTait, p[0], p[1], p[2], p[3]);
      });
  auto error = [](double tr, double theta, double n) {
    return error_of(ThermalModifiedTait::create(kTait, tr, theta, kAlpha0, n));
  };
  EXPECT_EQ(error(kTr, 0.0, kN), positive("theta"));
  EXPECT_EQ(error(kTr, kTheta, -1.0), positive("n"));
  // exp(-theta/Tr) underflows: Cv(Tr) = 0 and k is not finite.
  EXPECT_EQ(error(1.0, 1e4, kN), EosError::non_finite_result());

  const auto m = make(kTait);
  const auto bad_volume =
      std::unexpected(EosError::invalid_state("volume", "must be positive and finite"));
  const auto bad_temperature =
      std::unexpected(EosError::invalid_state("temperature", "must be positive and finite"));
  EXPECT_EQ(m.thermal_pressure(0.0, kNaN), bad_volume);
  EXPECT_EQ(m.molar_heat_capacity_v(kNaN, 0.0), bad_volume);
  EXPECT_EQ(m.thermal_pressure(kV0, kInf), bad_temperature);
  EXPECT_EQ(m.molar_heat_capacity_v(kV0, -1.0), bad_temperature);
}

TEST(HollandPowell, NeverReturnsNonFiniteValues) {
  for (const auto& m : {make(RtModel(kTait)), make(RtModel(kPolynomial)),
                        *HollandPowellThermalPressure<RtModel>::create(kTait, 1e-300, 1e-300,
                                                                       1e300, 1e300)}) {
    for (double v : {0.0, kNaN, 1e-300, kV0, 1e300}) {
      for (double t : {0.0, kNaN, 1e-320, 300.0, 1e10, 1.7e308}) {
        for (const Result& r :
             {m.thermal_pressure(v, t), m.pressure(v, t), m.bulk_modulus(v, t, 1e-6),
              m.thermal_expansivity(v, t, 1e-5), m.molar_heat_capacity_v(v, t),
              m.molar_heat_capacity_p(v, t), m.gruneisen_parameter(v, t),
              m.adiabatic_bulk_modulus(v, t), m.volume(v, t), m.temperature(v, t),
              m.volume_with_dac_confinement(v, t, 0.5)}) {
          EXPECT_TRUE(!r || std::isfinite(*r)) << v << " " << t;
        }
      }
    }
  }
}

}  // namespace
}  // namespace barometra
