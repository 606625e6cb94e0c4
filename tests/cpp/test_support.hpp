// What the model tests share: special doubles and state errors, unwrapping a
// result that must succeed, the constructor checks (declaration order, first
// failure wins) and a fuzz of the thermal operations, so that every model is
// tested the same way.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <expected>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra::test_support {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

inline const auto kBadVolume =
    std::unexpected(EosError::invalid_state("volume", "must be positive and finite"));
inline const auto kBadTemperature =
    std::unexpected(EosError::invalid_state("temperature", "must be positive and finite"));

// The value of a result that must succeed; NaN, and a failed expectation, if not.
inline double ok(const Result& r) {
  EXPECT_TRUE(r) << (r ? "" : r.error().text());
  return r ? *r : kNaN;
}
// The same for a record of values; a value-initialised record if it failed.
template <class T>
T ok(const std::expected<T, EosError>& r) {
  EXPECT_TRUE(r) << (r ? "" : r.error().text());
  return r ? *r : T{};
}

// Fourth-order central difference, for derivatives the models do not form.
inline double derivative(const std::function<double(double)>& f, double x, double h) {
  return (-f(x + 2 * h) + 8 * f(x + h) - 8 * f(x - h) + f(x - 2 * h)) / (12 * h);
}

inline EosError positive(const char* field) {
  return EosError::invalid_parameter(field, "must be positive and finite");
}
inline EosError finite(const char* field) {
  return EosError::invalid_parameter(field, "must be finite");
}

// The error of a result, or nothing when it succeeded.
template <class T>
std::optional<EosError> error_of(const std::expected<T, EosError>& result) {
  return result ? std::nullopt : std::optional(result.error());
}

// `build` takes the parameters in check order. The good set must build; with
// parameter i and every later one NaN, the build must fail with errors[i].
template <class Build>
void expect_checks_in_order(const std::vector<double>& good, const std::vector<EosError>& errors,
                            Build build) {
  ASSERT_EQ(good.size(), errors.size());
  EXPECT_EQ(error_of(build(good)), std::nullopt);
  for (std::size_t i = 0; i < good.size(); ++i) {
    std::vector<double> values = good;
    std::fill(values.begin() + i, values.end(), kNaN);
    EXPECT_EQ(error_of(build(values)), errors[i]) << "parameter " << i;
  }
}

// Every thermal operation (and, where the model has them, the caloric ones, the
// energies and the vibrational pressure) fails or returns a finite value at
// special states; the inversions take the volumes as pressures.
template <class Model>
void expect_only_finite_values(const Model& m) {
  for (double v : {0.0, -1.0, kNaN, kInf, 1e-300, m.reference_eos().v0(), 1e300}) {
    for (double t : {0.0, kNaN, 1e-320, 300.0, 1e10, 1.7e308}) {
      std::vector<Result> results{
          m.thermal_pressure(v, t),      m.thermal_pressure_increment(v, t),
          m.pressure(v, t),              m.bulk_modulus(v, t, 1e-6),
          m.thermal_expansivity(v, t, 1e-5), m.isothermal_compressibility(v, t),
          m.dac_thermal_pressure(v, t, 0.5), m.volume(v, t),
          m.temperature(v, t),           m.volume_with_dac_confinement(v, t, 0.5)};
      if constexpr (requires { m.molar_heat_capacity_v(v, t); }) {
        results.insert(results.end(),
                       {m.molar_heat_capacity_v(v, t), m.molar_heat_capacity_p(v, t),
                        m.gruneisen_parameter(v, t), m.adiabatic_bulk_modulus(v, t)});
      }
      if constexpr (requires { m.thermal_gibbs_free_energy(v, t); }) {
        results.insert(results.end(), {m.thermal_energy(v, t), m.thermal_entropy(v, t),
                                       m.thermal_enthalpy(v, t),
                                       m.thermal_helmholtz_free_energy(v, t),
                                       m.thermal_gibbs_free_energy(v, t)});
      }
      if constexpr (requires { m.vibrational_pressure(v, t); }) {
        results.insert(results.end(), {m.vibrational_pressure(v, t), m.characteristic_temperature(v)});
      }
      for (const Result& r : results) EXPECT_TRUE(!r || std::isfinite(*r)) << v << " " << t;
    }
  }
}

}  // namespace barometra::test_support
