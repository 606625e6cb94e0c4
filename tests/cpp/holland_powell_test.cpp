// Holland-Powell thermal pressure over RtModel and over ModifiedTait: the
// reference state it is scaled to, its Einstein heat capacity, and its checks.
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

template <class R>
HollandPowellThermalPressure<R> make(R reference, double alpha0 = kAlpha0) {
  return *HollandPowellThermalPressure<R>::create(reference, kTr, kTheta, alpha0, kN);
}

TEST(HollandPowell, ExpansivityAtTheReferenceStateIsAlpha0) {
  auto expect_scaled = [](const auto& m, double k0) {
    const auto& ref = m.reference_eos();
    EXPECT_NEAR(ok(m.thermal_expansivity(kV0, kTr, 1e-5)), kAlpha0, 1e-8 * kAlpha0);
    EXPECT_NEAR(m.k() * m.cv_tr(), kAlpha0 * k0, 1e-15 * k0);
    for (double v : {0.9 * kV0, 1.02 * kV0}) {
      EXPECT_EQ(ok(m.thermal_pressure(v, kTr)), 0.0);
      EXPECT_EQ(ok(m.pressure(v, kTr)), *ref.pressure(v));
      // Pth depends on T only, so KT is the reference's.
      EXPECT_EQ(ok(m.thermal_pressure(v, 1500.0)), ok(m.thermal_pressure(kV0, 1500.0)));
      EXPECT_NEAR(ok(m.bulk_modulus(v, 1500.0, 1e-6)), *ref.bulk_modulus(v), 1e-8 * k0);
    }
  };
  expect_scaled(make(kTait), 160.0);
  expect_scaled(make(RtModel(kTait)), 160.0);
  expect_scaled(make(RtModel(*BM3::create(kV0, 160.0, 4.15))), 160.0);
  // A density polynomial's K0 is its bulk modulus at V0, rho0 P'(rho0), not c0.
  const auto polynomial = *DensityPolynomial3::create(kV0, 3.58, -100, -20, 5, 2);
  expect_scaled(make(RtModel(polynomial)), 3.58 * (-20 + 3.58 * (10 + 6 * 3.58)));
  expect_only_finite_values(make(RtModel(polynomial)));
}

TEST(HollandPowell, BothInstantiationsAgreeAndCvIsEinsteins) {
  const auto tait = make(kTait);
  const auto general = make(RtModel(kTait));
  EXPECT_EQ(std::string_view(ThermalModifiedTait::kName), "ThermalModifiedTait");
  EXPECT_EQ(std::string_view(decltype(general)::kName), "HollandPowellThermalPressure");
  for (double t : {10.0, 1000.0}) {
    EXPECT_EQ(tait.pressure(0.5 * kV0, t), general.pressure(0.5 * kV0, t));
    EXPECT_EQ(make(kTait, 0.0).thermal_pressure(kV0, t), 0.0);
    // Cv = dE/dT of the Einstein energy (fourth-order difference).
    const double h = 1e-3 * t;
    auto e = [](double x) { return *einstein_energy(kTheta, kN, x); };
    const double cv = (-e(t + 2 * h) + 8 * e(t + h) - 8 * e(t - h) + e(t - 2 * h)) / (12 * h);
    EXPECT_NEAR(ok(tait.molar_heat_capacity_v(kV0, t)), cv, 1e-10 * k3nR);
  }
  // Cv = 3nR (1 - u^2/12 + u^4/240) for small u = theta/T, even below 1e-8.
  for (double u : {5e-3, 1e-9}) {
    EXPECT_NEAR(ok(tait.molar_heat_capacity_v(kV0, kTheta / u)),
                k3nR * (1 - u * u / 12 + std::pow(u, 4) / 240), 1e-14 * k3nR);
  }
  EXPECT_EQ(ok(tait.molar_heat_capacity_v(kV0, 0.5)), 0.0);  // exp(-1020) underflows
}

TEST(HollandPowell, ChecksInOrder) {
  expect_checks_in_order({kTr, kTheta, -kAlpha0, kN},
                         {positive("Tr"), positive("theta"), finite("alpha0"), positive("n")},
                         [](const std::vector<double>& p) {
                           return ThermalModifiedTait::create(kTait, p[0], p[1], p[2], p[3]);
                         });
  // exp(-theta/Tr) underflows: Cv(Tr) = 0 and k is not finite.
  EXPECT_EQ(error_of(ThermalModifiedTait::create(kTait, 1.0, 1e4, kAlpha0, kN)),
            EosError::non_finite_result());
  const auto m = make(kTait);
  EXPECT_EQ(m.thermal_pressure(0.0, kNaN), kBadVolume);
  EXPECT_EQ(m.molar_heat_capacity_v(kNaN, 0.0), kBadVolume);
  EXPECT_EQ(m.thermal_pressure(kV0, kInf), kBadTemperature);
  EXPECT_EQ(m.molar_heat_capacity_v(kV0, -1.0), kBadTemperature);
  expect_only_finite_values(m);
  expect_only_finite_values(
      *HollandPowellThermalPressure<RtModel>::create(kTait, 1e-300, 1e-300, 1e300, 1e300));
}

}  // namespace
}  // namespace barometra
