// What the model tests share: special doubles, unwrapping a result that must
// succeed, and the constructor checks, which run in declaration order with the
// first failure winning, tested the same way for every model.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <expected>
#include <limits>
#include <optional>
#include <vector>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra::test_support {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

// The value of a result that must succeed; NaN, and a failed expectation, if not.
inline double ok(const Result& r) {
  EXPECT_TRUE(r) << (r ? "" : r.error().text());
  return r ? *r : kNaN;
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
    std::fill(values.begin() + i, values.end(), std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(error_of(build(values)), errors[i]) << "parameter " << i;
  }
}

}  // namespace barometra::test_support
