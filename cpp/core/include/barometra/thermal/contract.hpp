// What every thermal model shares: P(V, T) = Pref(V) + Pth(V, T), where Pref is
// the pressure of the model's reference (isothermal) EOS.
//
// A model derives from ThermalModelBase<Model>, or from CaloricModelBase<Model>
// when it has a heat capacity, and provides:
//   const R& reference_eos() const;   // pressure(V), bulk_modulus(V), v0()
//   double tr() const;                // reference temperature
//   Result thermal_pressure(double volume, double temperature) const;
//   Result molar_heat_capacity_v(double volume, double temperature) const;  // caloric only
// The bases supply every other operation. A model that has its own version of
// an operation declares a member of the same name, which hides the default;
// the defaults call each other through self(), so they use the model's own.
//
// Energies are J/mol and pressures times volumes are turned into energies by
// the factor 10000 (GPa and J/bar, or any pair of units with that ratio).
#pragma once

#include <array>
#include <cmath>
#include <expected>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/root.hpp"

namespace barometra {

// A pressure times a volume, times this, is an energy in J/mol.
inline constexpr double kEnergyPerPressureVolume = 10000.0;

namespace thermal {
// Relative steps used whenever a default needs KT or alpha itself.
inline constexpr double kBulkModulusStep = 1e-6;
inline constexpr double kExpansivityStep = 1e-5;
// Keeps T - dT above T/2 whatever step the caller asks for.
inline constexpr double kMaxTemperatureStep = 0.49;
// Relative volume step of K' from five pressures: the fourth-order stencils
// balance a truncation error of about 2 (h/V)^4 against a rounding error of
// about 3e-16 (V/h)^2, both relative to P'', near 1e-10 here.
inline constexpr double kPressureDerivativeStep = 2e-3;
}  // namespace thermal

inline constexpr const char* kMustLieInUnitInterval = "must lie in [0, 1)";

constexpr Check check_temperature(double temperature) noexcept {
  return require_positive_finite_state(temperature, "temperature");
}

// The state check of most thermal pressures: the volume first, then the temperature.
constexpr Check check_volume_and_temperature(double volume, double temperature) noexcept {
  return first_failure(check_volume(volume), check_temperature(temperature));
}

constexpr Check check_dac_fraction(double f_dac) noexcept {
  if (!is_finite(f_dac)) return EosError::invalid_state("f_dac", kMustBeFinite);
  if (!(f_dac >= 0.0 && f_dac < 1.0)) {
    return EosError::invalid_state("f_dac", kMustLieInUnitInterval);
  }
  return std::nullopt;
}

namespace detail {

// g(T) - g(Tr), the first error passing through: what heating from Tr at
// constant volume adds to a quantity g of the temperature.
template <class G>
Result heating_increment(G&& g, double temperature, double tr) noexcept {
  auto value = g(temperature);
  if (!value) return value;
  auto at_tr = g(tr);
  if (!at_tr) return at_tr;
  return finite_or_error(*value - *at_tr);
}

}  // namespace detail

template <class Model>
class ThermalModelBase {
 public:
  // Pth(V, T) - Pth(V, Tr); the same as Pth for every model whose thermal
  // pressure vanishes at Tr.
  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    return self().thermal_pressure(volume, temperature);
  }

  // The thermal pressure comes first, so its state checks decide the error.
  Result pressure(double volume, double temperature) const noexcept {
    auto pth = self().thermal_pressure(volume, temperature);
    if (!pth) return pth;
    auto pref = self().reference_eos().pressure(volume);
    if (!pref) return pref;
    return finite_or_error(*pref + *pth);
  }

  Result volume(double pressure, double temperature) const noexcept {
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    auto p = [this, temperature](double v) noexcept { return self().pressure(v, temperature); };
    return solve_volume_function(OutOfLine<decltype(p)>{p}, pressure, self().reference_eos().v0());
  }

  // Inverts the thermal pressure at fixed V against P - Pref(V), from Tr.
  Result temperature(double pressure, double volume) const noexcept {
    if (auto e = require_finite_state(pressure, "pressure")) return std::unexpected(*e);
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto pref = self().reference_eos().pressure(volume);
    if (!pref) return pref;
    return solve_temperature_function(
        [this, volume](double t) noexcept { return self().thermal_pressure(volume, t); },
        pressure - *pref, self().tr());
  }

  // KT = -V dP/dV by a central difference. relative_step has no upper bound:
  // a step of 1 or more makes V - h non-positive, and the model's own volume
  // check reports it.
  Result bulk_modulus(double volume, double temperature, double relative_step) const noexcept {
    if (auto e = check_derivative_state(volume, temperature, relative_step)) {
      return std::unexpected(*e);
    }
    const double h = volume * relative_step;
    auto p_plus = self().pressure(volume + h, temperature);
    if (!p_plus) return p_plus;
    auto p_minus = self().pressure(volume - h, temperature);
    if (!p_minus) return p_minus;
    return finite_or_error(-volume * (*p_plus - *p_minus) / (2.0 * h));
  }

  // alpha = (dP/dT)_V / KT. KT always uses the step 1e-6, whatever the
  // temperature step.
  Result thermal_expansivity(double volume, double temperature,
                             double relative_step) const noexcept {
    if (auto e = check_derivative_state(volume, temperature, relative_step)) {
      return std::unexpected(*e);
    }
    const double dt = std::fmin(temperature * relative_step,
                                thermal::kMaxTemperatureStep * temperature);
    auto p_plus = self().pressure(volume, temperature + dt);
    if (!p_plus) return p_plus;
    auto p_minus = self().pressure(volume, temperature - dt);
    if (!p_minus) return p_minus;
    auto kt = self().bulk_modulus(volume, temperature, thermal::kBulkModulusStep);
    if (!kt) return kt;
    return finite_or_error(((*p_plus - *p_minus) / (2.0 * dt)) / *kt);
  }

  // K' = (dKT/dP)_T. With KT = -V P', dKT/dV = -P' - V P'', so
  // K' = -1 - V P'' / P', P' and P'' from the fourth-order central stencils
  // over P(V + j h, T), j = -2..2.
  Result bulk_modulus_pressure_derivative(double volume, double temperature) const noexcept {
    if (auto e = first_failure(check_volume(volume), check_temperature(temperature))) {
      return std::unexpected(*e);
    }
    const double h = volume * thermal::kPressureDerivativeStep;
    std::array<double, 5> p;  // P(V - 2h) .. P(V + 2h)
    for (int j = -2; j <= 2; ++j) {
      auto pj = self().pressure(volume + j * h, temperature);
      if (!pj) return pj;
      p[j + 2] = *pj;
    }
    const double d1 = (8.0 * (p[3] - p[1]) - (p[4] - p[0])) / (12.0 * h);
    const double d2 = (16.0 * (p[3] + p[1]) - 30.0 * p[2] - (p[4] + p[0])) / (12.0 * h * h);
    return finite_or_error(-1.0 - volume * d2 / d1);
  }

  Result isothermal_compressibility(double volume, double temperature) const noexcept {
    auto kt = self().bulk_modulus(volume, temperature, thermal::kBulkModulusStep);
    if (!kt) return kt;
    return finite_or_error(1.0 / *kt);
  }

  // The fraction of the pressure gained on heating from Tr that the cell keeps.
  Result dac_thermal_pressure(double volume, double temperature, double f_dac) const noexcept {
    if (auto e = check_dac_fraction(f_dac)) return std::unexpected(*e);
    auto increment = self().thermal_pressure_increment(volume, temperature);
    if (!increment) return increment;
    return finite_or_error(f_dac * *increment);
  }

  // The V at which P(V, T) - f_dac * dPth(V, T) equals the pressure the cell
  // was loaded to at Tr; f_dac = 0 is isobaric heating.
  Result volume_with_dac_confinement(double cold_pressure, double temperature,
                                     double f_dac) const noexcept {
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    if (auto e = check_dac_fraction(f_dac)) return std::unexpected(*e);
    auto net = [this, temperature, f_dac](double v) noexcept -> Result {
      auto p = self().pressure(v, temperature);
      if (!p) return p;
      auto retained = self().dac_thermal_pressure(v, temperature, f_dac);
      if (!retained) return retained;
      return finite_or_error(*p - *retained);
    };
    OutOfLine<decltype(net)> confined{net};
    const double v_start = self().reference_eos().v0();
    auto start = begin_volume_search(confined, cold_pressure, v_start);
    if (!start) return std::unexpected(start.error());
    if (start->accepted) return v_start;
    auto bracket = bracket_volume(confined, cold_pressure, v_start, start->residual);
    if (!bracket) return std::unexpected(bracket.error());
    auto v = bisect_bracket(confined, cold_pressure, bracket->lo, bracket->f_lo, bracket->hi,
                            bracket->f_hi, volume_xtol(v_start),
                            detail::bisection_ftol(cold_pressure));
    if (!v) return v;
    return check_residual(confined, cold_pressure, *v);
  }

 protected:
  ThermalModelBase() = default;

  const Model& self() const noexcept { return static_cast<const Model&>(*this); }

 private:
  static constexpr Check check_derivative_state(double volume, double temperature,
                                                double relative_step) noexcept {
    return first_failure(check_volume(volume), check_temperature(temperature),
                         require_positive_finite_state(relative_step, "relative_step"));
  }
};

// The caloric defaults, for models that provide molar_heat_capacity_v.
template <class Model>
class CaloricModelBase : public ThermalModelBase<Model> {
 public:
  // The thermodynamic definition gamma = V alpha KT / Cv.
  Result gruneisen_parameter(double volume, double temperature) const noexcept {
    auto alpha = self().thermal_expansivity(volume, temperature, thermal::kExpansivityStep);
    if (!alpha) return alpha;
    auto kt = self().bulk_modulus(volume, temperature, thermal::kBulkModulusStep);
    if (!kt) return kt;
    auto cv = self().molar_heat_capacity_v(volume, temperature);
    if (!cv) return cv;
    return finite_or_error(volume * *alpha * *kt * kEnergyPerPressureVolume / *cv);
  }

  // Cp = Cv + T V alpha^2 KT.
  Result molar_heat_capacity_p(double volume, double temperature) const noexcept {
    auto cv = self().molar_heat_capacity_v(volume, temperature);
    if (!cv) return cv;
    auto alpha = self().thermal_expansivity(volume, temperature, thermal::kExpansivityStep);
    if (!alpha) return alpha;
    auto kt = self().bulk_modulus(volume, temperature, thermal::kBulkModulusStep);
    if (!kt) return kt;
    return finite_or_error(*cv + temperature * volume * (*alpha * *alpha) * *kt *
                                     kEnergyPerPressureVolume);
  }

  // KS = KT Cp / Cv.
  Result adiabatic_bulk_modulus(double volume, double temperature) const noexcept {
    auto kt = self().bulk_modulus(volume, temperature, thermal::kBulkModulusStep);
    if (!kt) return kt;
    auto cv = self().molar_heat_capacity_v(volume, temperature);
    if (!cv) return cv;
    auto cp = self().molar_heat_capacity_p(volume, temperature);
    if (!cp) return cp;
    return finite_or_error(*kt * *cp / *cv);
  }

 protected:
  CaloricModelBase() = default;
  using ThermalModelBase<Model>::self;
};

}  // namespace barometra
