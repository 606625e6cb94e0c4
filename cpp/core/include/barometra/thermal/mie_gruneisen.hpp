// Mie-Grueneisen thermal pressure of a quasi-harmonic solid,
//   Pth(V, T) = gamma(V) [E(V, T) - E(V, T2)] / V,
// with E the Debye or Einstein vibrational energy at theta(V)/T,
// gamma = gamma0 x^q and x = V/V0. theta(V) follows either the integrated law
// theta = theta0 exp(-int gamma dlnV) or theta = theta0 x^(-gamma(V))
// (after Jackson & Rigden 1996). T2 is Tr, the isentrope temperature
// Tr theta(V)/theta0 through (V0, Tr), or absent (the reference EOS is the 0 K
// isotherm).
//
// Also here: the parts shared by every Debye model of the family.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/principal_hugoniot.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace barometra {

enum class DebyeTemperatureLaw : std::uint8_t {
  integrated_gruneisen = 0,
  variable_exponent = 1,
};

// What the reference EOS describes: the isotherm at Tr, the isentrope through
// (V0, Tr), or the isotherm at 0 K.
enum class ThermalPressureReference : std::uint8_t {
  reference_temperature = 0,
  reference_isentrope = 1,
  absolute_zero = 2,
};

namespace detail {

// E = c T D3(theta/T), c being Cvmax or 3nR.
inline Result debye_energy(double c, double theta, double temperature) noexcept {
  auto d3 = debye_function_3(theta / temperature);
  if (!d3) return d3;
  return finite_or_error(c * temperature * *d3);
}

// S = c (4 D3(u) - 3 ln(1 - e^-u)), c being Cvmax/3 or nR.
inline Result debye_entropy(double c, double u) noexcept {
  auto d3 = debye_function_3(u);
  if (!d3) return d3;
  const double e1 = -std::expm1(-u);
  return finite_or_error(c * (4.0 * *d3 - 3.0 * std::log(e1)));
}

// P = gamma dE / V, an energy per volume turned into a pressure.
inline Result gruneisen_pressure(double gamma, double energy, double volume) noexcept {
  return finite_or_error(gamma * energy / volume / kEnergyPerPressureVolume);
}

// Cv = dE/dT of E = c T D3(u), u = theta/T: with D3'(u) = 3/(e^u - 1) - 3 D3/u,
// Cv = c (D3 - u D3') = c (4 D3(u) - 3u / (e^u - 1)).
inline Result debye_heat_capacity(double c, double u) noexcept {
  auto d3 = debye_function_3(u);
  if (!d3) return d3;
  return finite_or_error(c * (4.0 * *d3 - 3.0 * u / std::expm1(u)));
}

// Cv of 3n Einstein oscillators, 3nR u^2 e^u / (e^u - 1)^2, written with
// e^-u/2 so that a large u gives 0 rather than infinity times 0.
inline Result einstein_heat_capacity(double c, double u) noexcept {
  const double half = std::exp(-0.5 * u);
  const double s = half == 0.0 ? 0.0 : u * half / -std::expm1(-u);
  return finite_or_error(c * s * s);
}

// A quasi-harmonic spectrum of heat-capacity limit c: Debye, E = c T D3(u), or
// Einstein, E = c theta / (e^u - 1), with u = theta/T.
struct Spectrum {
  bool debye;
  double c;
};

// E_th, Cv and F_th = E_th - T S_th of a spectrum at theta and T, from one
// Debye function: F_th = c T (ln(1 - e^-u) - D3/3) (Debye), c T ln(1 - e^-u)
// (Einstein).
struct VibrationalState {
  double energy, heat_capacity, free_energy;
};

inline std::expected<VibrationalState, EosError> vibrational_state(Spectrum spectrum, double theta,
                                                                   double temperature) noexcept {
  const double u = theta / temperature, log_e1 = std::log(-std::expm1(-u));
  VibrationalState state;
  if (spectrum.debye) {
    auto d3 = debye_function_3(u);
    if (!d3) return std::unexpected(d3.error());
    state = {spectrum.c * temperature * *d3, spectrum.c * (4.0 * *d3 - 3.0 * u / std::expm1(u)),
             spectrum.c * temperature * (log_e1 - *d3 / 3.0)};
  } else {
    auto cv = einstein_heat_capacity(spectrum.c, u);
    if (!cv) return std::unexpected(cv.error());
    state = {theta * -spectrum.c * std::exp(-u) / std::expm1(-u), *cv,
             spectrum.c * temperature * log_e1};
  }
  if (!is_finite(state.energy) || !is_finite(state.heat_capacity) ||
      !is_finite(state.free_energy)) {
    return std::unexpected(EosError::non_finite_result());
  }
  return state;
}

// A Mie-Grueneisen solid on an isochore, where theta and gamma are fixed:
// E = F_ref + E_th(T) + offset and Pth = gamma (E_th(T) - E_th(T2)) / V.
struct GruneisenIsochore {
  static constexpr bool kExactSlope = true;
  Spectrum spectrum;
  double theta, gamma, volume;
  double offset;            // -F_th(V, Tr), -E_th(V, Ts), or 0 from absolute zero
  double reference_energy;  // E_th(V, T2), 0 from absolute zero

  std::expected<IsochorePoint, EosError> at(double temperature) const noexcept {
    auto s = vibrational_state(spectrum, theta, temperature);
    if (!s) return std::unexpected(s.error());
    return IsochorePoint{
        s->energy + offset, s->heat_capacity,
        gamma * (s->energy - reference_energy) / volume / kEnergyPerPressureVolume,
        gamma * s->heat_capacity / volume / kEnergyPerPressureVolume};
  }
};

// T2 is Tr for the reference isotherm and Ts(V) for the isentrope.
inline std::expected<GruneisenIsochore, EosError> gruneisen_isochore(
    Spectrum spectrum, double theta, double gamma, double volume,
    ThermalPressureReference reference, double t2) noexcept {
  GruneisenIsochore isochore{spectrum, theta, gamma, volume, 0.0, 0.0};
  if (reference == ThermalPressureReference::absolute_zero) return isochore;
  auto at_t2 = vibrational_state(spectrum, theta, t2);
  if (!at_t2) return std::unexpected(at_t2.error());
  isochore.reference_energy = at_t2->energy;
  isochore.offset = reference == ThermalPressureReference::reference_temperature
                        ? -at_t2->free_energy
                        : -at_t2->energy;
  return isochore;
}

// F, H and G from a model's own thermal_energy, thermal_entropy and
// vibrational_pressure; every member of the family derives them the same way.
template <class Model>
class GruneisenEnergies : public CaloricModelBase<Model> {
 public:
  Result thermal_helmholtz_free_energy(double volume, double temperature) const noexcept {
    auto e = self().thermal_energy(volume, temperature);
    if (!e) return e;
    auto s = self().thermal_entropy(volume, temperature);
    if (!s) return s;
    return finite_or_error(*e - temperature * *s);
  }

  Result thermal_enthalpy(double volume, double temperature) const noexcept {
    auto e = self().thermal_energy(volume, temperature);
    if (!e) return e;
    return plus_vibrational_work(*e, volume, temperature);
  }

  Result thermal_gibbs_free_energy(double volume, double temperature) const noexcept {
    auto f = thermal_helmholtz_free_energy(volume, temperature);
    if (!f) return f;
    return plus_vibrational_work(*f, volume, temperature);
  }


 protected:
  GruneisenEnergies() = default;
  using CaloricModelBase<Model>::self;

 private:
  // energy + V Pvib, with Pvib evaluated afresh (its energy included).
  Result plus_vibrational_work(double energy, double volume, double temperature) const noexcept {
    auto pvib = self().vibrational_pressure(volume, temperature);
    if (!pvib) return pvib;
    return finite_or_error(energy + volume * *pvib * kEnergyPerPressureVolume);
  }
};

// The Debye models with E = 3nR T D3(theta/T) and Pth(V, Tr) = 0, whose
// energy checks the temperature before the volume. A model supplies n(), tr(),
// and theta(V) and gamma(V) for an already checked volume as the Results
// theta_at(V) and gamma_at(V), which it may keep private by befriending this
// base.
template <class Model>
class DebyeGruneisenModel : public GruneisenEnergies<Model> {
 public:
  Result characteristic_temperature(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return self().theta_at(volume);
  }

  // gamma(V) alone; the temperature is not used and not checked.
  Result gruneisen_parameter(double volume, double /*temperature*/) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return self().gamma_at(volume);
  }

  Result thermal_energy(double volume, double temperature) const noexcept {
    if (auto e = first_failure(check_temperature(temperature), check_volume(volume))) {
      return std::unexpected(*e);
    }
    auto theta = self().theta_at(volume);
    if (!theta) return theta;
    return debye_energy(oscillator_heat_capacity(), *theta, temperature);
  }

  Result thermal_entropy(double volume, double temperature) const noexcept {
    if (auto e = first_failure(check_temperature(temperature), check_volume(volume))) {
      return std::unexpected(*e);
    }
    auto theta = self().theta_at(volume);
    if (!theta) return theta;
    return debye_entropy(self().n() * kGasConstant, *theta / temperature);
  }

  Result molar_heat_capacity_v(double volume, double temperature) const noexcept {
    if (auto e = first_failure(check_temperature(temperature), check_volume(volume))) {
      return std::unexpected(*e);
    }
    auto theta = self().theta_at(volume);
    if (!theta) return theta;
    return debye_heat_capacity(oscillator_heat_capacity(), *theta / temperature);
  }

  Result vibrational_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto gamma = self().gamma_at(volume);
    if (!gamma) return gamma;
    auto e = thermal_energy(volume, temperature);
    if (!e) return e;
    return gruneisen_pressure(*gamma, *e, volume);
  }

  // gamma (E(V, T) - E(V, Tr)) / V. The energy at T comes first, so its checks
  // (temperature, then volume) decide the error. theta(V) is formed once: the
  // energy at Tr would compute the same value again.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = first_failure(check_temperature(temperature), check_volume(volume))) {
      return std::unexpected(*e);
    }
    auto theta = self().theta_at(volume);
    if (!theta) return theta;
    const double c = oscillator_heat_capacity();
    auto e = debye_energy(c, *theta, temperature);
    if (!e) return e;
    auto e_ref = debye_energy(c, *theta, self().tr());
    if (!e_ref) return e_ref;
    auto gamma = self().gamma_at(volume);
    if (!gamma) return gamma;
    return gruneisen_pressure(*gamma, *e - *e_ref, volume);
  }

  // The thermal terms on the isochore at V, for the Hugoniot.
  std::expected<GruneisenIsochore, EosError> hugoniot_isochore(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto theta = self().theta_at(volume);
    if (!theta) return std::unexpected(theta.error());
    auto gamma = self().gamma_at(volume);
    if (!gamma) return std::unexpected(gamma.error());
    return gruneisen_isochore({true, oscillator_heat_capacity()}, *theta, *gamma, volume,
                              ThermalPressureReference::reference_temperature, self().tr());
  }

 protected:
  DebyeGruneisenModel() = default;
  using GruneisenEnergies<Model>::self;

 private:
  // 3nR, the high-temperature limit of Cv.
  double oscillator_heat_capacity() const noexcept { return 3.0 * self().n() * kGasConstant; }
};

}  // namespace detail

// Debye (Debye = true) or Einstein (false) spectrum over the reference EOS R.
template <class R, bool Debye>
class MieGruneisen : public detail::GruneisenEnergies<MieGruneisen<R, Debye>> {
 public:
  static constexpr const char* kName = Debye ? "MieGruneisenDebye" : "MieGruneisenEinstein";
  static constexpr std::size_t kParameterCount = Debye ? 6 : 5;
  // Native names in constructor order; only the Debye variant has Cvmax.
  static constexpr std::array<const char*, kParameterCount> kParameterNames = [] {
    if constexpr (Debye) {
      return std::array<const char*, 6>{"Tr", "theta0", "gamma0", "q", "n", "Cvmax"};
    } else {
      return std::array<const char*, 5>{"Tr", "theta0", "gamma0", "q", "n"};
    }
  }();

  // Cvmax defaults to 3nR and is checked only when given.
  static std::expected<MieGruneisen, EosError> create(
      R reference_eos, double tr, double theta0, double gamma0, double q, double n,
      DebyeTemperatureLaw law = DebyeTemperatureLaw::integrated_gruneisen,
      ThermalPressureReference reference = ThermalPressureReference::reference_temperature,
      std::optional<double> cvmax = std::nullopt) noexcept
    requires Debye
  {
    return checked<MieGruneisen>(
        first_failure(common_checks(tr, theta0, gamma0, q, n),
                      cvmax ? require_positive_finite(*cvmax, "Cvmax") : Check{}),
        [&] {
          return MieGruneisen(std::move(reference_eos), tr, theta0, gamma0, q, n,
                              cvmax.value_or(3.0 * n * kGasConstant), law, reference);
        });
  }

  static std::expected<MieGruneisen, EosError> create(R reference_eos, double tr, double theta0,
                                                      double gamma0, double q, double n) noexcept
    requires(!Debye)
  {
    return checked<MieGruneisen>(common_checks(tr, theta0, gamma0, q, n), [&] {
      return MieGruneisen(std::move(reference_eos), tr, theta0, gamma0, q, n,
                          3.0 * n * kGasConstant, DebyeTemperatureLaw::integrated_gruneisen,
                          ThermalPressureReference::reference_temperature);
    });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double theta0() const noexcept { return theta0_; }
  double gamma0() const noexcept { return gamma0_; }
  double q() const noexcept { return q_; }
  double n() const noexcept { return n_; }
  double cvmax() const noexcept { return cvmax_; }
  DebyeTemperatureLaw debye_temperature_law() const noexcept { return law_; }
  ThermalPressureReference thermal_pressure_reference() const noexcept { return reference_; }
  std::array<double, kParameterCount> parameters() const noexcept {
    if constexpr (Debye) {
      return {tr_, theta0_, gamma0_, q_, n_, cvmax_};
    } else {
      return {tr_, theta0_, gamma0_, q_, n_};
    }
  }

  Result characteristic_temperature(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return theta_at(log_volume_ratio(volume));
  }

  // gamma(V) alone; the temperature is not used and not checked.
  Result gruneisen_parameter(double volume, double /*temperature*/) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return finite_or_error(gamma_at(log_volume_ratio(volume)));
  }

  Result thermal_energy(double volume, double temperature) const noexcept {
    if (auto e = check_state(volume, temperature)) return std::unexpected(*e);
    auto theta = theta_at(log_volume_ratio(volume));
    if (!theta) return theta;
    return energy_at(*theta, temperature);
  }

  Result thermal_entropy(double volume, double temperature) const noexcept {
    if (auto e = check_state(volume, temperature)) return std::unexpected(*e);
    auto theta = theta_at(log_volume_ratio(volume));
    if (!theta) return theta;
    const double u = *theta / temperature;
    if constexpr (Debye) {
      return detail::debye_entropy(cvmax_ / 3.0, u);
    } else {
      const double e1 = -std::expm1(-u);
      return finite_or_error(3.0 * n_ * kGasConstant * (u * std::exp(-u) / e1 - std::log(e1)));
    }
  }

  // dE/dT in closed form. The temperature is checked before the volume, as
  // a difference of energies around T would.
  Result molar_heat_capacity_v(double volume, double temperature) const noexcept {
    if (auto e = first_failure(check_temperature(temperature), check_volume(volume))) {
      return std::unexpected(*e);
    }
    auto theta = theta_at(log_volume_ratio(volume));
    if (!theta) return theta;
    if constexpr (Debye) {
      return detail::debye_heat_capacity(cvmax_, *theta / temperature);
    } else {
      return detail::einstein_heat_capacity(3.0 * n_ * kGasConstant, *theta / temperature);
    }
  }

  Result vibrational_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double gamma = gamma_at(log_volume_ratio(volume));
    if (!is_finite(gamma)) return std::unexpected(EosError::non_finite_result());
    auto e = thermal_energy(volume, temperature);
    if (!e) return e;
    return detail::gruneisen_pressure(gamma, *e, volume);
  }

  // gamma (E(V, T) - E(V, T2)) / V. theta(V) is formed once and shared by both
  // energies, which is what two calls of thermal_energy would compute.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_state(volume, temperature)) return std::unexpected(*e);
    const double lx = log_volume_ratio(volume);
    auto theta = theta_at(lx);
    if (!theta) return theta;
    auto e = energy_at(*theta, temperature);
    if (!e) return e;
    double delta_e = *e;
    if (reference_ != ThermalPressureReference::absolute_zero) {
      double t2 = tr_;
      if (reference_ == ThermalPressureReference::reference_isentrope) {
        // On the isentrope of a solid whose theta depends on V only, theta/T is constant.
        t2 = tr_ * *theta / theta0_;
        if (auto bad = check_temperature(t2)) return std::unexpected(*bad);
      }
      auto e2 = energy_at(*theta, t2);
      if (!e2) return e2;
      delta_e -= *e2;
    }
    const double gamma = gamma_at(lx);
    if (!is_finite(gamma)) return std::unexpected(EosError::non_finite_result());
    return detail::gruneisen_pressure(gamma, delta_e, volume);
  }

  // Pth(V, T) - Pth(V, Tr): what heating from Tr at constant volume adds.
  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    auto pth = thermal_pressure(volume, temperature);
    if (reference_ == ThermalPressureReference::reference_temperature || !pth) return pth;
    auto pth_ref = thermal_pressure(volume, tr_);
    if (!pth_ref) return pth_ref;
    return finite_or_error(*pth - *pth_ref);
  }

  // The thermal terms on the isochore at V, for the Hugoniot; T2 as in
  // thermal_pressure.
  std::expected<detail::GruneisenIsochore, EosError> hugoniot_isochore(
      double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double lx = log_volume_ratio(volume);
    auto theta = theta_at(lx);
    if (!theta) return std::unexpected(theta.error());
    const double gamma = gamma_at(lx);
    if (!is_finite(gamma)) return std::unexpected(EosError::non_finite_result());
    double t2 = tr_;
    if (reference_ == ThermalPressureReference::reference_isentrope) {
      t2 = tr_ * *theta / theta0_;
      if (auto bad = check_temperature(t2)) return std::unexpected(*bad);
    }
    return detail::gruneisen_isochore({Debye, cvmax_}, *theta, gamma, volume, reference_, t2);
  }

 private:
  MieGruneisen(R reference_eos, double tr, double theta0, double gamma0, double q, double n,
               double cvmax, DebyeTemperatureLaw law, ThermalPressureReference reference) noexcept
      : reference_eos_(std::move(reference_eos)),
        tr_(tr),
        theta0_(theta0),
        gamma0_(gamma0),
        q_(q),
        n_(n),
        cvmax_(cvmax),
        law_(law),
        reference_(reference) {}

  static constexpr Check common_checks(double tr, double theta0, double gamma0, double q,
                                       double n) noexcept {
    return first_failure(require_positive_finite(tr, "Tr"),
                         require_positive_finite(theta0, "theta0"),
                         require_finite(gamma0, "gamma0"), require_finite(q, "q"),
                         require_positive_finite(n, "n"));
  }

  static constexpr Check check_state(double volume, double temperature) noexcept {
    return first_failure(check_volume(volume), check_temperature(temperature));
  }

  double log_volume_ratio(double volume) const noexcept {
    return std::log(volume / reference_eos_.v0());
  }

  double gamma_at(double lx) const noexcept { return gamma0_ * std::exp(q_ * lx); }

  Result theta_at(double lx) const noexcept {
    double log_ratio;
    if (law_ == DebyeTemperatureLaw::variable_exponent) {
      const double gamma = gamma_at(lx);
      if (!is_finite(gamma)) return std::unexpected(EosError::non_finite_result());
      log_ratio = -gamma * lx;
    } else if (q_ == 0.0) {
      log_ratio = -gamma0_ * lx;
    } else {
      log_ratio = -gamma0_ * std::expm1(q_ * lx) / q_;
    }
    return finite_or_error(theta0_ * std::exp(log_ratio));
  }

  Result energy_at(double theta, double temperature) const noexcept {
    if constexpr (Debye) {
      return detail::debye_energy(cvmax_, theta, temperature);
    } else {
      const double u = theta / temperature;
      return finite_or_error(theta * (-3.0 * n_ * kGasConstant) * std::exp(-u) / std::expm1(-u));
    }
  }

  R reference_eos_;
  double tr_, theta0_, gamma0_, q_, n_, cvmax_;
  DebyeTemperatureLaw law_;
  ThermalPressureReference reference_;
};

template <class R>
using MieGruneisenDebye = MieGruneisen<R, true>;
template <class R>
using MieGruneisenEinstein = MieGruneisen<R, false>;

}  // namespace barometra
