// Shared by the tests of the thermal models.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <expected>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra::testing {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();
inline const auto kBadVolume =
    std::unexpected(EosError::invalid_state("volume", kMustBePositiveFinite));
inline const auto kBadTemperature =
    std::unexpected(EosError::invalid_state("temperature", kMustBePositiveFinite));
inline EosError positive(const char* f) {
  return EosError::invalid_parameter(f, kMustBePositiveFinite);
}
inline EosError finite(const char* f) { return EosError::invalid_parameter(f, kMustBeFinite); }

template <class T>
T ok(const std::expected<T, EosError>& r) {
  EXPECT_TRUE(r) << (r ? "" : r.error().text());
  return r ? *r : T{};
}
template <class T>
std::optional<EosError> error_of(const std::expected<T, EosError>& r) {
  return r ? std::nullopt : std::optional(r.error());
}

// Fourth-order central difference.
inline double derivative(const std::function<double(double)>& f, double x, double h) {
  return (-f(x + 2 * h) + 8 * f(x + h) - 8 * f(x - h) + f(x - 2 * h)) / (12 * h);
}

// `good` in check order; errors[i] is what the constructor reports once values
// i, i+1, ... are all NaN, so each check must come before the later ones.
inline void expect_checks_in_order(
    const std::vector<double>& good, const std::vector<EosError>& errors,
    const std::function<std::optional<EosError>(const std::vector<double>&)>& build) {
  ASSERT_EQ(good.size(), errors.size());
  EXPECT_EQ(build(good), std::nullopt);
  for (std::size_t i = 0; i < good.size(); ++i) {
    std::vector<double> values = good;
    std::fill(values.begin() + i, values.end(), kNaN);
    EXPECT_EQ(build(values), errors[i]) << i;
  }
}

// Every operation fails or gives a finite value at volumes (times V0) and
// temperatures that break or stretch a model.
inline void expect_no_non_finite_values(
    double v0, const std::function<std::vector<Result>(double, double)>& operations) {
  for (double x : {0.0, -1.0, kNaN, kInf, 1e-300, 0.5, 1.0, 1e300}) {
    for (double t : {0.0, -5.0, kNaN, 1e-320, 1.0, 300.0, 1e10, 1.7e308}) {
      for (const Result& r : operations(x * v0, t)) {
        EXPECT_TRUE(!r || std::isfinite(*r)) << x * v0 << " " << t;
      }
    }
  }
}

}  // namespace barometra::testing
