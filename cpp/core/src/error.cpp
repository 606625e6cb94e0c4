#include "barometra/error.hpp"

namespace barometra {

std::string_view EosError::code() const noexcept {
  switch (kind_) {
    case EosErrorKind::InvalidParameter: return "eos.invalid_parameter";
    case EosErrorKind::InvalidState: return "eos.invalid_state";
    case EosErrorKind::OutsideInvertibleRange: return "eos.outside_invertible_range";
    case EosErrorKind::BracketingFailed: return "eos.bracketing_failed";
    case EosErrorKind::ConvergenceFailed: return "eos.convergence_failed";
    case EosErrorKind::NonFiniteResult: return "eos.non_finite_result";
  }
  return "eos.unknown";
}

std::string EosError::text() const {
  switch (kind_) {
    case EosErrorKind::InvalidParameter:
      return std::string("invalid parameter ").append(field()).append(": ").append(message());
    case EosErrorKind::InvalidState:
      return std::string("invalid state variable ").append(field()).append(": ").append(message());
    case EosErrorKind::OutsideInvertibleRange:
      return "state is outside the model's invertible range";
    case EosErrorKind::BracketingFailed: return "failed to bracket a root";
    case EosErrorKind::ConvergenceFailed: return "numerical solver failed to converge";
    case EosErrorKind::NonFiniteResult: return "model returned a non-finite result";
  }
  return "unknown EOS error";
}

std::string_view FitError::message() const noexcept {
  if (const auto* e = std::get_if<0>(&payload_)) return e->message;
  if (const auto* e = std::get_if<1>(&payload_)) return e->message;
  return {};
}

std::string_view FitError::field() const noexcept {
  if (const auto* e = std::get_if<0>(&payload_)) return e->field;
  return {};
}

std::optional<std::size_t> FitError::index() const noexcept {
  if (const auto* e = std::get_if<0>(&payload_)) return e->index;
  return std::nullopt;
}

}  // namespace barometra
