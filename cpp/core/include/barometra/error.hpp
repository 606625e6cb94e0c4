// Error values of the core. Nothing in the core throws: operations return
// std::expected<T, EosError> (model evaluation, inversion, quadrature) or
// std::expected<T, FitError> (least squares and EOS fitting).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace barometra {

// The order is part of the contract: the first four kinds are the validation
// category, the last two the numerical one.
enum class EosErrorKind : std::uint8_t {
  InvalidParameter = 0,
  InvalidState = 1,
  OutsideInvertibleRange = 2,
  BracketingFailed = 3,
  ConvergenceFailed = 4,
  NonFiniteResult = 5,
};

enum class ErrorCategory : std::uint8_t { Validation, Numerical };

// Trivially copyable: field and message point at string literals, so the value
// owns nothing and costs nothing to return or to hand between threads.
class EosError {
 public:
  static constexpr EosError invalid_parameter(const char* field, const char* message) noexcept {
    return EosError(EosErrorKind::InvalidParameter, field, message);
  }
  static constexpr EosError invalid_state(const char* field, const char* message) noexcept {
    return EosError(EosErrorKind::InvalidState, field, message);
  }
  static constexpr EosError outside_invertible_range() noexcept {
    return EosError(EosErrorKind::OutsideInvertibleRange);
  }
  static constexpr EosError bracketing_failed() noexcept {
    return EosError(EosErrorKind::BracketingFailed);
  }
  static constexpr EosError convergence_failed() noexcept {
    return EosError(EosErrorKind::ConvergenceFailed);
  }
  static constexpr EosError non_finite_result() noexcept {
    return EosError(EosErrorKind::NonFiniteResult);
  }

  constexpr EosErrorKind kind() const noexcept { return kind_; }
  constexpr bool has_field() const noexcept {
    return kind_ == EosErrorKind::InvalidParameter || kind_ == EosErrorKind::InvalidState;
  }
  // Empty for the four kinds that carry no payload.
  constexpr std::string_view field() const noexcept { return field_ ? field_ : ""; }
  constexpr std::string_view message() const noexcept { return message_ ? message_ : ""; }
  constexpr ErrorCategory category() const noexcept {
    return kind_ <= EosErrorKind::BracketingFailed ? ErrorCategory::Validation
                                                    : ErrorCategory::Numerical;
  }
  std::string_view code() const noexcept;
  // The human-readable text form, e.g. "invalid parameter V0: must be positive and finite".
  std::string text() const;

  friend constexpr bool operator==(const EosError& a, const EosError& b) noexcept {
    return a.kind_ == b.kind_ && a.field() == b.field() && a.message() == b.message();
  }

 private:
  constexpr explicit EosError(EosErrorKind kind, const char* field = nullptr,
                              const char* message = nullptr) noexcept
      : kind_(kind), field_(field), message_(message) {}

  EosErrorKind kind_;
  const char* field_;
  const char* message_;
};

enum class FitErrorKind : std::uint8_t {
  InvalidInput = 0,
  EvaluationFailed = 1,
  Eos = 2,
  SingularSystem = 3,
};

class FitError {
 public:
  static FitError invalid_input(std::string message) {
    return invalid_input(std::move(message), {}, std::nullopt);
  }
  // Invalid input at one element: `field` names the input (static text, such
  // as "pressure_sigma"), `index` the position in it.
  static FitError invalid_input(std::string message, std::string_view field,
                                std::optional<std::size_t> index) {
    return FitError(
        Payload(std::in_place_index<0>, InvalidInputTag{std::move(message), field, index}));
  }
  static FitError evaluation_failed(std::string message) {
    return FitError(Payload(std::in_place_index<1>, EvaluationFailedTag{std::move(message)}));
  }
  static FitError singular_system() noexcept {
    return FitError(Payload(std::in_place_index<3>, SingularSystemTag{}));
  }
  // The one wrapping in the core: an EOS failure met while fitting.
  FitError(const EosError& error) noexcept : payload_(std::in_place_index<2>, error) {}  // NOLINT

  FitErrorKind kind() const noexcept { return static_cast<FitErrorKind>(payload_.index()); }
  // The owned message of InvalidInput and EvaluationFailed; empty otherwise.
  std::string_view message() const noexcept;
  // Where an InvalidInput lies, when its check knows: the input's name (empty
  // if unknown) and the position in it.
  std::string_view field() const noexcept;
  std::optional<std::size_t> index() const noexcept;
  // The wrapped EOS error; only meaningful when kind() == FitErrorKind::Eos.
  const EosError* eos_error() const noexcept { return std::get_if<2>(&payload_); }

  friend bool operator==(const FitError& a, const FitError& b) noexcept = default;

 private:
  struct InvalidInputTag {
    std::string message;
    std::string_view field;
    std::optional<std::size_t> index;
    friend bool operator==(const InvalidInputTag&, const InvalidInputTag&) = default;
  };
  struct EvaluationFailedTag {
    std::string message;
    friend bool operator==(const EvaluationFailedTag&, const EvaluationFailedTag&) = default;
  };
  struct SingularSystemTag {
    friend bool operator==(const SingularSystemTag&, const SingularSystemTag&) = default;
  };
  using Payload = std::variant<InvalidInputTag, EvaluationFailedTag, EosError, SingularSystemTag>;

  explicit FitError(Payload payload) noexcept : payload_(std::move(payload)) {}

  Payload payload_;
};

}  // namespace barometra
