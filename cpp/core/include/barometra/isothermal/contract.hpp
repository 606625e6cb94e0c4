// What every isothermal model shares. A model derives from
// IsothermalModel<Model> and provides:
//   static constexpr const char* kName;                       // the model name
//   static constexpr std::array<const char*, N> kParameterNames;  // native names, constructor order
//   static constexpr bool kShiftable;                         // supports a K0_prime shift
//   static std::expected<Model, EosError> create(double...);  // checks in declaration order
//   std::array<double, N> parameters() const;                 // constructor order
//   double v0() const;
//   Result pressure(double volume) const;      // state check, domain, formula, finiteness
//   Result bulk_modulus(double volume) const;
// or, for a model without domain checks, kVectorized = true and the two
// formula templates pressure_formula(V) and bulk_modulus_formula(V), around
// which the base supplies pressure and bulk_modulus. A model may split its
// formulas in two stages instead: reduced(V volume), the reduced variables
// (the costly elementary functions), and pressure_from and bulk_modulus_from
// of those; the base composes them into the formulas, and the array kernels
// run each stage over several vectors in turn, whose short chains of
// dependent operations keep the processor busier than one long chain.
// The base supplies the defaults: volume by the root solver from V0, K' by
// central differences, and the two reference-state operations by rebuilding
// through create(). A model that has its own operation declares a member of
// the same name, which hides the default.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <tuple>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/root.hpp"

namespace barometra {

inline constexpr const char* kKprimeShiftField = "kprime_log_coefficient";
inline constexpr const char* kKprimeShiftMessage =
    "reference EOS does not support a pressure-derivative shift";

// Every pressure and bulk modulus starts with this check.
constexpr Check check_volume(double volume) noexcept {
  return require_positive_finite_state(volume, "volume");
}

template <class Model>
class IsothermalModel {
 public:
  // For models whose formulas need no domain check (kVectorized): the
  // evaluation protocol around pressure_formula and bulk_modulus_formula,
  // templates over one lane or a vector of lanes that the array kernels share.
  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return finite_or_error(self().pressure_formula(volume));
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return finite_or_error(self().bulk_modulus_formula(volume));
  }

  template <class V>
  V pressure_formula(V volume) const noexcept {
    return self().pressure_from(self().reduced(volume));
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    return self().bulk_modulus_from(self().reduced(volume));
  }

  Result volume(double pressure) const noexcept {
    return solve_volume_function([this](double v) noexcept { return self().pressure(v); },
                                 pressure, self().v0());
  }

  // K' = dK/dP by central differences with step h = V * relative_step.
  Result bulk_modulus_derivative(double volume, double relative_step) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    if (auto e = require_positive_finite_state(relative_step, "relative_step")) {
      return std::unexpected(*e);
    }
    if (relative_step >= 1.0) {
      return std::unexpected(EosError::invalid_state("relative_step", "must be smaller than one"));
    }
    const double h = volume * relative_step;
    const double v_plus = volume + h, v_minus = volume - h;
    auto p_plus = self().pressure(v_plus);
    if (!p_plus) return p_plus;
    auto p_minus = self().pressure(v_minus);
    if (!p_minus) return p_minus;
    const double dp = *p_plus - *p_minus;
    if (dp == 0.0) return std::unexpected(EosError::outside_invertible_range());
    auto k_plus = self().bulk_modulus(v_plus);
    if (!k_plus) return k_plus;
    auto k_minus = self().bulk_modulus(v_minus);
    if (!k_minus) return k_minus;
    return finite_or_error((*k_plus - *k_minus) / dp);
  }

  // Values in constructor order; a std::array of the model's parameter count.
  template <class Values>
  static std::expected<Model, EosError> from_parameters(const Values& values) noexcept {
    return std::apply([](auto... v) noexcept { return Model::create(v...); }, values);
  }

  // Rebuilt through the constructor, so every check runs again and derived
  // constants are recomputed.
  std::expected<Model, EosError> with_reference_state(double new_v0,
                                                      double new_k0) const noexcept {
    auto values = self().parameters();
    values[0] = new_v0;
    values[1] = new_k0;
    return from_parameters(values);
  }

  std::expected<Model, EosError> with_pressure_derivative_shift(double shift) const noexcept {
    if (shift == 0.0) return self();
    if constexpr (Model::kShiftable) {
      // Shiftable models are exactly (V0, K0, K0_prime).
      auto values = self().parameters();
      static_assert(std::tuple_size_v<decltype(values)> == 3);
      values[2] += shift;
      return from_parameters(values);
    } else {
      return std::unexpected(EosError::invalid_parameter(kKprimeShiftField, kKprimeShiftMessage));
    }
  }

 protected:
  IsothermalModel() = default;

 private:
  const Model& self() const noexcept { return static_cast<const Model&>(*this); }
};

}  // namespace barometra
