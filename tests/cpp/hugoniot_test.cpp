// The linear Us-Up Hugoniot: constructor checks in order, each inverse
// against its forward function, and the edges of the volume, particle
// velocity and pressure domains.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "barometra/hugoniot.hpp"

namespace barometra {
namespace {

constexpr double kV0 = 10.0, kRho0 = 3.0, kC0 = 5.0;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kPositive = "must be positive and finite";
constexpr EosError kOutside = EosError::outside_invertible_range();

LinearUsUpHugoniot make(double s, double p0 = 1.5) {
  return LinearUsUpHugoniot::create(kV0, kRho0, kC0, s, p0).value();
}

using Operation = Result (LinearUsUpHugoniot::*)(double) const noexcept;
constexpr std::array<Operation, 6> kVolumeOperations{
    &LinearUsUpHugoniot::shock_velocity, &LinearUsUpHugoniot::particle_velocity,
    &LinearUsUpHugoniot::pressure,       &LinearUsUpHugoniot::density,
    &LinearUsUpHugoniot::tangent_modulus, &LinearUsUpHugoniot::specific_internal_energy_change};
constexpr std::array<Operation, 3> kParticleVelocityOperations{
    &LinearUsUpHugoniot::shock_velocity_from_particle_velocity,
    &LinearUsUpHugoniot::volume_from_particle_velocity,
    &LinearUsUpHugoniot::pressure_from_particle_velocity};

TEST(LinearUsUpHugoniot, ConstructorChecksInDeclarationOrder) {
  auto failure = [](double v0, double rho0, double c0, double s, double p0) {
    return LinearUsUpHugoniot::create(v0, rho0, c0, s, p0).error();
  };
  EXPECT_EQ(failure(kNan, -1.0, 0.0, 0.0, kNan), EosError::invalid_parameter("V0", kPositive));
  EXPECT_EQ(failure(10.0, kInf, 0.0, 0.0, kNan), EosError::invalid_parameter("rho0", kPositive));
  EXPECT_EQ(failure(10.0, 3.0, -5.0, 0.0, kNan), EosError::invalid_parameter("c0", kPositive));
  EXPECT_EQ(failure(10.0, 3.0, 5.0, 0.0, kNan), EosError::invalid_parameter("s", kPositive));
  EXPECT_EQ(failure(10.0, 3.0, 5.0, 1.5, -kInf),
            EosError::invalid_parameter("P0", "must be finite"));
  EXPECT_TRUE(LinearUsUpHugoniot::create(5e-324, 5e-324, 5e-324, 5e-324, -1e300));
}

// Volumes from V0 to just short of V0 (1 - 1/s), for slopes below, at and
// above one, and reference pressures of either sign.
TEST(LinearUsUpHugoniot, InversesMatchTheirForwardFunctions) {
  for (double s : {0.5, 1.0, 1.5, 4.0}) {
    for (double p0 : {0.0, -2.0, 7.0}) {
      const LinearUsUpHugoniot h = make(s, p0);
      for (double fraction : {0.0, 1e-9, 0.1, 0.5, 0.9, 0.999}) {
        const double v = kV0 * (1.0 - fraction * std::fmin(1.0, 1.0 / s));
        const double p = h.pressure(v).value(), up = h.particle_velocity(v).value();
        SCOPED_TRACE(testing::Message() << "s " << s << " P0 " << p0 << " V " << v);
        EXPECT_NEAR(h.volume_from_pressure(p).value(), v, 1e-14 * kV0);
        EXPECT_NEAR(h.volume_from_particle_velocity(up).value(), v, 1e-14 * kV0);
        EXPECT_NEAR(h.pressure_from_particle_velocity(up).value(), p, 1e-13 * std::fabs(p));
        const double us = h.shock_velocity(v).value();
        EXPECT_NEAR(h.shock_velocity_from_particle_velocity(up).value(), us, 1e-14 * us);
        // Jump conditions: E - E0 = up^2 / 2 + P0 (1/rho0 - 1/rho).
        const double energy = up * up / 2.0 + p0 * (1.0 / kRho0 - 1.0 / h.density(v).value());
        EXPECT_NEAR(h.specific_internal_energy_change(v).value(), energy,
                    1e-13 * (std::fabs(energy) + 1.0));
        if (fraction >= 0.1) {  // -V dP/dV by a central difference
          const double dv = 1e-7 * v;
          const double slope = (h.pressure(v + dv).value() - h.pressure(v - dv).value()) / dv / 2;
          EXPECT_NEAR(h.tangent_modulus(v).value(), -v * slope, 1e-6 * v * std::fabs(slope));
        }
      }
    }
  }
}

TEST(LinearUsUpHugoniot, VolumeDomain) {
  // s = 2 and 4 put V0 (1 - 1/s) on a double, where D is exactly zero.
  for (double s : {2.0, 4.0}) {
    const LinearUsUpHugoniot h = make(s);
    const double limit = kV0 * (1.0 - 1.0 / s);
    const std::pair<double, EosError> cases[] = {
        {std::nextafter(kV0, kInf),
         EosError::invalid_state("volume", "must not exceed V0 on a compression Hugoniot")},
        {NAN, EosError::invalid_state("volume", kPositive)},
        {0.0, EosError::invalid_state("volume", kPositive)},
        {limit, kOutside},
        {limit / 2.0, kOutside},
    };
    for (const auto& [v, error] : cases) {
      for (Operation op : kVolumeOperations) EXPECT_EQ((h.*op)(v).error(), error) << v;
    }
    for (Operation operation : kVolumeOperations) EXPECT_TRUE((h.*operation)(limit * 1.001));
  }
  // With s < 1 the branch is open down to V -> 0, where rho0 V0 / V overflows.
  EXPECT_EQ(make(0.5).specific_internal_energy_change(1e-310).error(),
            EosError::non_finite_result());
}

TEST(LinearUsUpHugoniot, ParticleVelocityDomain) {
  const LinearUsUpHugoniot h = make(1.5);
  for (Operation operation : kParticleVelocityOperations) {
    for (double up : {kNan, kInf, -kInf}) {
      EXPECT_EQ((h.*operation)(up).error(),
                EosError::invalid_parameter("particle_velocity", "must be finite"));
    }
    EXPECT_EQ((h.*operation)(-5e-324).error(),
              EosError::invalid_state("particle_velocity", "must be non-negative"));
    EXPECT_EQ((h.*operation)(1.7e308).error(), EosError::non_finite_result());  // Us overflows
  }
  // For s < 1, up / Us passes 1 at up = c0 / (1 - s): there is no volume beyond.
  const LinearUsUpHugoniot soft = make(0.5);
  EXPECT_GT(soft.volume_from_particle_velocity(9.99).value(), 0.0);
  EXPECT_EQ(soft.volume_from_particle_velocity(10.0).error(), kOutside);
  EXPECT_TRUE(soft.pressure_from_particle_velocity(1e6));
}

TEST(LinearUsUpHugoniot, PressureDomain) {
  const LinearUsUpHugoniot h = make(1.5, 2.0);
  for (double p : {kNan, kInf, -kInf}) {
    EXPECT_EQ(h.volume_from_pressure(p).error(),
              EosError::invalid_parameter("pressure", "must be finite"));
  }
  EXPECT_EQ(h.volume_from_pressure(std::nextafter(2.0, 0.0)).error(), kOutside);
  EXPECT_LT(h.volume_from_pressure(2.0 + 1e-6).value(), kV0);
  // Pressures so large that 1 + 2 s x overflows approach the asymptote
  // V0 (1 - 1/s), which is not a volume on the branch; they never give V0.
  for (double s : {0.75, 2.0}) {
    const auto unit = LinearUsUpHugoniot::create(kV0, 1.0, 1.0, s, 0.0).value();
    for (double p : {1e300, 8e307, std::numeric_limits<double>::max()}) {
      EXPECT_EQ(unit.volume_from_pressure(p).error(), kOutside) << s << ' ' << p;
    }
  }
}

}  // namespace
}  // namespace barometra
