// Thermal pressure of Dewaele et al. (2006): a Debye solid plus quadratic-in-T
// anharmonic and electronic pressures,
//   Pth = gamma(V) [E(V, T) - E(V, Tr)] / V
//         + 1.5 n R (T^2 - Tr^2) (m a x^m + g e x^g) / V,
//   E = 3nR T D3(theta(V)/T),  x = V/V0,
// with gamma and theta by the law of Al'tshuler et al. (1987). Referred to
// absolute zero, E(V, Tr) and Tr^2 become 0, and the zero-point pressure
// (9/8) n R gamma theta / V of the Debye solid may be added.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/thermal/altshuler_law.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"

namespace barometra {

enum class ZeroPointPressure : std::uint8_t {
  omitted = 0,
  included = 1,
};

template <class R>
class Dewaele2006 : public ThermalModelBase<Dewaele2006<R>> {
 public:
  static constexpr const char* kName = "Dewaele2006";
  static constexpr std::array<const char*, 10> kParameterNames{
      "Tr",           "theta0",       "gamma0",       "gamma_inf", "beta", "anharmonic_a",
      "anharmonic_m", "electronic_e", "electronic_g", "n"};

  // gamma0 comes first: gamma_inf is bounded by it. The options are checked
  // after every number; of the three references only two apply here.
  static std::expected<Dewaele2006, EosError> create(
      R reference_eos, double tr, double theta0, double gamma0, double gamma_inf, double beta,
      double anharmonic_a, double anharmonic_m, double electronic_e, double electronic_g,
      double n,
      ThermalPressureReference reference = ThermalPressureReference::reference_temperature,
      ZeroPointPressure zero_point = ZeroPointPressure::omitted) noexcept {
    return checked<Dewaele2006>(
        first_failure(
            require_positive_finite(gamma0, "gamma0"), require_finite(gamma_inf, "gamma_inf"),
            require(gamma_inf >= 0.0, "gamma_inf", kMustNotBeNegative),
            require(gamma_inf <= gamma0, "gamma_inf", "must not exceed gamma0"),
            require_positive_finite(tr, "Tr"), require_positive_finite(theta0, "theta0"),
            require_positive_finite(beta, "beta"), require_finite(anharmonic_a, "anharmonic_a"),
            require(anharmonic_a >= 0.0, "anharmonic_a", kMustNotBeNegative),
            require_positive_finite(anharmonic_m, "anharmonic_m"),
            require_finite(electronic_e, "electronic_e"),
            require(electronic_e >= 0.0, "electronic_e", kMustNotBeNegative),
            require_positive_finite(electronic_g, "electronic_g"),
            require_positive_finite(n, "n"),
            require(reference != ThermalPressureReference::reference_isentrope,
                    "thermal_pressure_reference", "must be reference_temperature or absolute_zero"),
            require(zero_point == ZeroPointPressure::omitted ||
                        reference == ThermalPressureReference::absolute_zero,
                    "zero_point_pressure", "inclusion requires absolute_zero")),
        [&] {
          return Dewaele2006(std::move(reference_eos), tr, theta0, gamma0, gamma_inf, beta,
                             anharmonic_a, anharmonic_m, electronic_e, electronic_g, n, reference,
                             zero_point);
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double theta0() const noexcept { return theta0_; }
  double gamma0() const noexcept { return law_.gamma0; }
  double gamma_inf() const noexcept { return law_.gamma_inf; }
  double beta() const noexcept { return law_.beta; }
  double anharmonic_a() const noexcept { return anharmonic_a_; }
  double anharmonic_m() const noexcept { return anharmonic_m_; }
  double electronic_e() const noexcept { return electronic_e_; }
  double electronic_g() const noexcept { return electronic_g_; }
  double n() const noexcept { return n_; }
  ThermalPressureReference thermal_pressure_reference() const noexcept { return reference_; }
  ZeroPointPressure zero_point_pressure() const noexcept { return zero_point_; }
  std::array<double, 10> parameters() const noexcept {
    return {tr_,           theta0_,       law_.gamma0,   law_.gamma_inf, law_.beta,
            anharmonic_a_, anharmonic_m_, electronic_e_, electronic_g_,  n_};
  }

  Result characteristic_temperature(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return theta_at(volume);
  }

  // gamma(V) alone; the temperature is not used and not checked.
  Result gruneisen_parameter(double volume, double /*temperature*/) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return gamma_at(volume);
  }

  // The quasi-harmonic part of Pth. The energy at Tr is formed before the
  // temperature is checked, as it depends on the volume only.
  Result vibrational_pressure_increment(double volume, double temperature) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    double e_ref = 0.0;
    if (reference_ == ThermalPressureReference::reference_temperature) {
      auto e = energy_at(volume, tr_);
      if (!e) return e;
      e_ref = *e;
    }
    if (auto e = check_temperature(temperature)) return std::unexpected(*e);
    auto e = energy_at(volume, temperature);
    if (!e) return e;
    auto gamma = gamma_at(volume);
    if (!gamma) return gamma;
    return detail::gruneisen_pressure(*gamma, *e - e_ref, volume);
  }

  // (T^2 - Tr^2) x^M M A 1.5 n R / V: the anharmonic term with (a, m), the
  // electronic one with (e, g).
  Result quadratic_pressure_increment(double volume, double temperature, double coefficient,
                                      double exponent) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    const double x = volume / reference_eos_.v0();
    return finite_or_error(squared_temperature_rise(temperature) * std::pow(x, exponent) *
                           exponent * coefficient * half_gas_heat_capacity() / volume /
                           kEnergyPerPressureVolume);
  }

  Result anharmonic_pressure_increment(double volume, double temperature) const noexcept {
    return quadratic_pressure_increment(volume, temperature, anharmonic_a_, anharmonic_m_);
  }

  Result electronic_pressure_increment(double volume, double temperature) const noexcept {
    return quadratic_pressure_increment(volume, temperature, electronic_e_, electronic_g_);
  }

  Result thermal_pressure(double volume, double temperature) const noexcept {
    auto pvib = vibrational_pressure_increment(volume, temperature);
    if (!pvib) return pvib;
    const double x = volume / reference_eos_.v0();
    const double rise = squared_temperature_rise(temperature);
    const double c = half_gas_heat_capacity();
    const double panh = rise * (std::pow(x, anharmonic_m_) * anharmonic_m_ * anharmonic_a_ * c) /
                        volume / kEnergyPerPressureVolume;
    const double pel = rise * (std::pow(x, electronic_g_) * electronic_g_ * c * electronic_e_) /
                       volume / kEnergyPerPressureVolume;
    double pzp = 0.0;
    if (zero_point_ == ZeroPointPressure::included) {
      auto gamma = gamma_at(volume);
      if (!gamma) return gamma;
      auto theta = theta_at(volume);
      if (!theta) return theta;
      // (9/8) n R theta, the zero-point energy of a Debye solid, times gamma / V.
      pzp = n_ * 1.125 * kGasConstant * *gamma * *theta / volume / kEnergyPerPressureVolume;
    }
    if (!is_finite(panh) || !is_finite(pel) || !is_finite(pzp)) {
      return std::unexpected(EosError::non_finite_result());
    }
    return finite_or_error(*pvib + panh + pel + pzp);
  }

  // Referred to 0 K, Pth(V, Tr) holds the zero-point and Tr^2 terms, which
  // cancel here.
  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    if (reference_ == ThermalPressureReference::reference_temperature) {
      return thermal_pressure(volume, temperature);
    }
    return detail::heating_increment(
        [this, volume](double t) noexcept { return thermal_pressure(volume, t); }, temperature,
        tr_);
  }

 private:
  Dewaele2006(R reference_eos, double tr, double theta0, double gamma0, double gamma_inf,
              double beta, double anharmonic_a, double anharmonic_m, double electronic_e,
              double electronic_g, double n, ThermalPressureReference reference,
              ZeroPointPressure zero_point) noexcept
      : reference_eos_(std::move(reference_eos)),
        tr_(tr),
        theta0_(theta0),
        law_{gamma0, gamma_inf, beta},
        anharmonic_a_(anharmonic_a),
        anharmonic_m_(anharmonic_m),
        electronic_e_(electronic_e),
        electronic_g_(electronic_g),
        n_(n),
        reference_(reference),
        zero_point_(zero_point) {}

  double half_gas_heat_capacity() const noexcept { return 1.5 * n_ * kGasConstant; }

  // T^2 - Tr^2, or T^2 from absolute zero.
  double squared_temperature_rise(double temperature) const noexcept {
    const double tr2 =
        reference_ == ThermalPressureReference::absolute_zero ? 0.0 : tr_ * tr_;
    return temperature * temperature - tr2;
  }

  Result gamma_at(double volume) const noexcept {
    return finite_or_error(law_.gruneisen(volume / reference_eos_.v0()));
  }

  Result theta_at(double volume) const noexcept {
    return finite_or_error(theta0_ * law_.theta_factor(volume / reference_eos_.v0()));
  }

  // 3nR T D3(theta(V)/T).
  Result energy_at(double volume, double temperature) const noexcept {
    auto theta = theta_at(volume);
    if (!theta) return theta;
    return detail::debye_energy(3.0 * n_ * kGasConstant, *theta, temperature);
  }

  R reference_eos_;
  double tr_, theta0_;
  detail::AltshulerLaw law_;
  double anharmonic_a_, anharmonic_m_, electronic_e_, electronic_g_, n_;
  ThermalPressureReference reference_;
  ZeroPointPressure zero_point_;
};

}  // namespace barometra
