// Validation helpers shared by every model: constructor checks read like the
// rule they enforce, and one helper turns a non-finite value into NonFiniteResult.
#pragma once

#include <cmath>
#include <expected>
#include <optional>

#include "barometra/error.hpp"

namespace barometra {

using Result = std::expected<double, EosError>;
// A failed check, or nothing when the value passes.
using Check = std::optional<EosError>;

inline constexpr const char* kMustBePositiveFinite = "must be positive and finite";
inline constexpr const char* kMustBeFinite = "must be finite";
inline constexpr const char* kMustNotBeNegative = "must not be negative";
inline constexpr double kMachineEpsilon = 2.220446049250313e-16;  // 2^-52

// NaN compares false, so `x > 0` also rejects NaN.
constexpr bool is_positive_finite(double x) noexcept { return x > 0.0 && x < HUGE_VAL; }
constexpr bool is_finite(double x) noexcept { return x - x == 0.0; }

constexpr Check require_positive_finite(double value, const char* field) noexcept {
  if (is_positive_finite(value)) return std::nullopt;
  return EosError::invalid_parameter(field, kMustBePositiveFinite);
}

constexpr Check require_finite(double value, const char* field) noexcept {
  if (is_finite(value)) return std::nullopt;
  return EosError::invalid_parameter(field, kMustBeFinite);
}

constexpr Check require(bool holds, const char* field, const char* message) noexcept {
  if (holds) return std::nullopt;
  return EosError::invalid_parameter(field, message);
}

// State variables fail with InvalidState rather than InvalidParameter.
constexpr Check require_positive_finite_state(double value, const char* field) noexcept {
  if (is_positive_finite(value)) return std::nullopt;
  return EosError::invalid_state(field, kMustBePositiveFinite);
}

constexpr Check require_finite_state(double value, const char* field) noexcept {
  if (is_finite(value)) return std::nullopt;
  return EosError::invalid_state(field, kMustBeFinite);
}

// The first failing check, in argument order. Checks are cheap and pure, so
// evaluating all of them eagerly is harmless.
template <class... Checks>
constexpr Check first_failure(const Checks&... checks) noexcept {
  Check failure;
  (void)((checks ? (failure = checks, true) : false) || ...);
  return failure;
}

// Build a model once every check has passed.
template <class Model, class Build>
constexpr std::expected<Model, EosError> checked(const Check& failure, Build&& build) noexcept {
  if (failure) return std::unexpected(*failure);
  return build();
}

constexpr Result finite_or_error(double value) noexcept {
  if (is_finite(value)) return value;
  return std::unexpected(EosError::non_finite_result());
}

}  // namespace barometra
