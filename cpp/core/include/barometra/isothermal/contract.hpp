// What every isothermal model shares. A model derives from
// IsothermalModel<Model, N>, N its parameter count, which stores the
// parameters in constructor order and builds the model through
// create(double...) or from_parameters(array); the model declares
//   static constexpr const char* kName;                  // the model name
//   static constexpr std::array kParameterNames{...};    // native names, constructor order
//   Result pressure(double volume) const;    // state check, domain, formula, finiteness
//   Result bulk_modulus(double volume) const;
//   Result bulk_modulus_pressure_derivative(double volume) const;          // K' = dK/dP
//   Result bulk_modulus_second_pressure_derivative(double volume) const;   // K'' = dK'/dP
//   Result helmholtz_energy(double volume) const;  // F = -int_V0^V P dV, in P x V units
//   std::optional<double> implied_k0_double_prime() const;  // K'' at V0, where the
//                                                           // truncation fixes it
// and inherits the constructor (`using Base::Base;`), or declares one from
// `const Checked&` that also computes its derived constants. Its parameters
// pass the checks common to all models (common_check, by name, in constructor
// order); a model with checks of its own declares
//   static Check check(double...);   // common_checks first, then its own
//
// A model whose formulas hold at every positive volume derives from
// FormulaModel instead and writes the two formula templates
// pressure_formula(V) and bulk_modulus_formula(V), over one lane or a vector
// of lanes, around which the base supplies pressure and bulk_modulus, and K'
// and K'' from the bulk modulus formula evaluated on a LogVolumeJet. It may
// split its formulas in two stages instead: reduced(V volume), the reduced
// variables (the costly elementary functions), and pressure_from and
// bulk_modulus_from of those; the base composes them into the formulas, and
// the array kernels run each stage over several vectors in turn, whose short
// chains of dependent operations keep the processor busier than one long
// chain.
//
// The base supplies the defaults: volume by the root solver from V0, K' by
// central differences (bulk_modulus_derivative, with a step), the energy
// along the isotherm by the adaptive quadrature of the pressure, the two
// reference-state operations by rebuilding through create(), and no implied
// K0''. A model that has its own operation declares a member of the same
// name, which hides the default; a FormulaModel with a closed-form energy
// writes helmholtz_energy_formula(V) instead.
#pragma once

#include <array>
#include <cstddef>
#include <expected>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/log_volume_jet.hpp"
#include "barometra/quadrature.hpp"
#include "barometra/root.hpp"

namespace barometra {

inline constexpr const char* kKprimeShiftField = "kprime_log_coefficient";
inline constexpr const char* kKprimeShiftMessage =
    "reference EOS does not support a pressure-derivative shift";

// Every pressure and bulk modulus starts with this check.
constexpr Check check_volume(double volume) noexcept {
  return require_positive_finite_state(volume, "volume");
}

// The constructor check of a parameter, by its name: V0, K0, n and Z must be
// positive and finite, K0_prime, K0_double_prime, K_infinity_prime and P0
// finite.
constexpr Check common_check(const char* name, double value) noexcept {
  const std::string_view n = name;
  if (n == "V0" || n == "K0" || n == "n" || n == "Z") return require_positive_finite(value, name);
  return require_finite(value, name);
}

namespace detail {

template <std::size_t>
using ParameterValue = double;

// create(double, ..., double): one argument per parameter, in constructor order.
template <class Model, class Indices>
struct Creation;
template <class Model, std::size_t... I>
struct Creation<Model, std::index_sequence<I...>> {
  static std::expected<Model, EosError> create(ParameterValue<I>... values) noexcept {
    return Model::from_parameters({values...});
  }
};

}  // namespace detail

template <class Model, std::size_t N>
class IsothermalModel : public detail::Creation<Model, std::make_index_sequence<N>> {
 public:
  using Parameters = std::array<double, N>;

  // Whether the array kernels evaluate this model (a FormulaModel may).
  static constexpr bool kVectorKernels = false;

 protected:
  // Parameters that passed Model::check. Only from_parameters makes one, so
  // no model is built around unchecked values.
  class Checked {
   public:
    const Parameters& values() const noexcept { return values_; }

   private:
    friend IsothermalModel;
    explicit Checked(const Parameters& values) noexcept : values_(values) {}
    Parameters values_;
  };

 public:
  explicit IsothermalModel(const Checked& checked) noexcept : values_(checked.values()) {}

  // The checks in constructor order, then the model.
  static std::expected<Model, EosError> from_parameters(const Parameters& values) noexcept {
    static_assert(Model::kParameterNames.size() == N);
    if (auto e = checks(values)) return std::unexpected(*e);
    return Model(Checked(values));
  }

  // The common check of each parameter, in constructor order.
  static constexpr Check common_checks(const Parameters& values) noexcept {
    Check failure;
    for (std::size_t i = 0; i < N && !failure; ++i) {
      failure = common_check(Model::kParameterNames[i], values[i]);
    }
    return failure;
  }

  Parameters parameters() const noexcept { return values_; }
  double v0() const noexcept { return values_[0]; }
  // The parameters most models share, for the models whose table has them there.
  double k0() const noexcept {
    static_assert(name_at(1) == "K0");
    return values_[1];
  }
  double k0_prime() const noexcept {
    static_assert(name_at(2) == "K0_prime");
    return values_[2];
  }
  double k0_double_prime() const noexcept {
    static_assert(name_at(3) == "K0_double_prime");
    return values_[3];
  }

  Result volume(double pressure) const noexcept {
    return solve_volume_function([this](double v) noexcept { return self().pressure(v); },
                                 pressure, v0());
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

  // For the models whose K0'' is a parameter, or has no closed form.
  std::optional<double> implied_k0_double_prime() const noexcept { return std::nullopt; }

  // The Helmholtz energy along the isotherm, F = -int_V0^V P dV, zero at V0,
  // for the models whose integral is not elementary. The quadrature meets
  // the model's own domain errors on the way.
  Result helmholtz_energy(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return integrate([this](double v) noexcept { return self().pressure(v); }, volume, v0());
  }

  // Rebuilt through the constructor, so every check runs again and derived
  // constants are recomputed.
  std::expected<Model, EosError> with_reference_state(double new_v0,
                                                      double new_k0) const noexcept {
    Parameters values = values_;
    values[0] = new_v0;
    values[1] = new_k0;
    return from_parameters(values);
  }

  // Defined for the models whose parameters are exactly (V0, K0, K0_prime).
  std::expected<Model, EosError> with_pressure_derivative_shift(double shift) const noexcept {
    if (shift == 0.0) return self();
    if constexpr (N == 3 && name_at(0) == "V0" && name_at(1) == "K0" &&
                  name_at(2) == "K0_prime") {
      Parameters values = values_;
      values[2] += shift;
      return from_parameters(values);
    } else {
      return std::unexpected(EosError::invalid_parameter(kKprimeShiftField, kKprimeShiftMessage));
    }
  }

 private:
  static Check checks(const Parameters& values) noexcept {
    if constexpr (requires { &Model::check; }) {
      return std::apply([](auto... v) noexcept { return Model::check(v...); }, values);
    } else {
      return common_checks(values);
    }
  }
  static constexpr std::string_view name_at(std::size_t i) noexcept {
    return i < N ? Model::kParameterNames[i] : "";
  }

  const Model& self() const noexcept { return static_cast<const Model&>(*this); }

  Parameters values_;
};

// Models whose formulas hold at every positive volume, so that pressure and
// bulk_modulus are the volume check, the formula and the finiteness check.
// The array kernels evaluate the same formula templates and, by default,
// every such model. A model may repeat a check of its parameters at each
// evaluation (evaluation_check, after the volume check); the kernels skip
// it, since a built model always passes it.
template <class Model, std::size_t N>
class FormulaModel : public IsothermalModel<Model, N> {
 public:
  static constexpr bool kVectorKernels = true;

  using IsothermalModel<Model, N>::IsothermalModel;

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    if (auto e = self().evaluation_check()) return std::unexpected(*e);
    return finite_or_error(self().pressure_formula(volume));
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    if (auto e = self().evaluation_check()) return std::unexpected(*e);
    return finite_or_error(self().bulk_modulus_formula(volume));
  }

  // K' = -(dK/ds) / K with s = ln V, from the formula's derivatives.
  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    if (auto e = self().evaluation_check()) return std::unexpected(*e);
    return pressure_derivative(bulk_modulus_jet(volume));
  }
  // K'' = dK'/dP = ((d2K/ds2) / K - K'^2) / K.
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    if (auto e = self().evaluation_check()) return std::unexpected(*e);
    const LogVolumeJet k = bulk_modulus_jet(volume);
    auto k_prime = pressure_derivative(k);
    if (!k_prime) return k_prime;
    return finite_or_error((k.second / k.value - *k_prime * *k_prime) / k.value);
  }

  template <class V>
  V pressure_formula(V volume) const noexcept {
    return self().pressure_from(self().reduced(volume));
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    return self().bulk_modulus_from(self().reduced(volume));
  }

  Check evaluation_check() const noexcept { return std::nullopt; }

  // The closed form, where the model writes one; else the quadrature.
  Result helmholtz_energy(double volume) const noexcept {
    if constexpr (requires { self().helmholtz_energy_formula(volume); }) {
      if (auto e = check_volume(volume)) return std::unexpected(*e);
      if (auto e = self().evaluation_check()) return std::unexpected(*e);
      return finite_or_error(self().helmholtz_energy_formula(volume));
    } else {
      return IsothermalModel<Model, N>::helmholtz_energy(volume);
    }
  }

 private:
  LogVolumeJet bulk_modulus_jet(double volume) const noexcept {
    return self().bulk_modulus_formula(LogVolumeJet::of_volume(volume));
  }
  // Where K itself overflows there is no K' to report, whatever the quotient.
  static Result pressure_derivative(const LogVolumeJet& k) noexcept {
    if (!is_finite(k.value)) return std::unexpected(EosError::non_finite_result());
    return finite_or_error(-k.first / k.value);
  }
  const Model& self() const noexcept { return static_cast<const Model&>(*this); }
};

}  // namespace barometra
