// Thermal pressures given as explicit expressions rather than through a
// vibrational energy, with x = V/V0, dT = T - Tr:
//   LinearThermalPressure             Pth = alpha_KT dT
//   LogVolumeThermalPressure          Pth = dT (alpha_KT_ref + dK_dT_V ln(V0/V))
//   DebyeQuadraticThermalPressure     Pth = Pth_MGD(V, T) + A x^m (T^2 - Tr^2)
//   SecondOrderTaylorThermalPressure  Pth = c0 + c1 de + c2 dT + c3 de^2/2 + c4 dT^2/2
//                                           + c5 de dT/2,  de = (1 - x) - eta0
// The first three vanish at Tr; the Taylor expansion does not, so it has an
// increment of its own. None has a heat capacity.
#pragma once

#include <array>
#include <cmath>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"

namespace barometra {

template <class R>
class LinearThermalPressure : public ThermalModelBase<LinearThermalPressure<R>> {
 public:
  static constexpr const char* kName = "LinearThermalPressure";
  static constexpr std::array<const char*, 2> kParameterNames{"Tr", "alpha_KT"};

  static std::expected<LinearThermalPressure, EosError> create(R reference_eos, double tr,
                                                               double alpha_kt) noexcept {
    return checked<LinearThermalPressure>(
        first_failure(require_positive_finite(tr, "Tr"), require_finite(alpha_kt, "alpha_KT")),
        [&] { return LinearThermalPressure(std::move(reference_eos), tr, alpha_kt); });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double alpha_kt() const noexcept { return alpha_kt_; }
  std::array<double, 2> parameters() const noexcept { return {tr_, alpha_kt_}; }

  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    return finite_or_error(alpha_kt_ * (temperature - tr_));
  }

 private:
  LinearThermalPressure(R reference_eos, double tr, double alpha_kt) noexcept
      : reference_eos_(std::move(reference_eos)), tr_(tr), alpha_kt_(alpha_kt) {}

  R reference_eos_;
  double tr_, alpha_kt_;
};

template <class R>
class LogVolumeThermalPressure : public ThermalModelBase<LogVolumeThermalPressure<R>> {
 public:
  static constexpr const char* kName = "LogVolumeThermalPressure";
  static constexpr std::array<const char*, 3> kParameterNames{"Tr", "alpha_KT_ref", "dK_dT_V"};

  static std::expected<LogVolumeThermalPressure, EosError> create(R reference_eos, double tr,
                                                                  double alpha_kt_ref,
                                                                  double dk_dt_v) noexcept {
    return checked<LogVolumeThermalPressure>(
        first_failure(require_positive_finite(tr, "Tr"),
                      require_finite(alpha_kt_ref, "alpha_KT_ref"),
                      require_finite(dk_dt_v, "dK_dT_V")),
        [&] {
          return LogVolumeThermalPressure(std::move(reference_eos), tr, alpha_kt_ref, dk_dt_v);
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double alpha_kt_ref() const noexcept { return alpha_kt_ref_; }
  double dk_dt_v() const noexcept { return dk_dt_v_; }
  std::array<double, 3> parameters() const noexcept { return {tr_, alpha_kt_ref_, dk_dt_v_}; }

  // The thermal pressure per kelvin grows with compression as ln(V0/V).
  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    return finite_or_error((temperature - tr_) *
                           (alpha_kt_ref_ + dk_dt_v_ * std::log(reference_eos_.v0() / volume)));
  }

 private:
  LogVolumeThermalPressure(R reference_eos, double tr, double alpha_kt_ref,
                           double dk_dt_v) noexcept
      : reference_eos_(std::move(reference_eos)),
        tr_(tr),
        alpha_kt_ref_(alpha_kt_ref),
        dk_dt_v_(dk_dt_v) {}

  R reference_eos_;
  double tr_, alpha_kt_ref_, dk_dt_v_;
};

// A Debye Mie-Grueneisen model (Cvmax = 3nR, integrated Grueneisen law, the
// isotherm at Tr as reference) plus a quadratic anharmonic-like term. The
// inner model holds the reference EOS and Tr for both.
template <class R>
class DebyeQuadraticThermalPressure : public ThermalModelBase<DebyeQuadraticThermalPressure<R>> {
 public:
  static constexpr const char* kName = "DebyeQuadraticThermalPressure";
  static constexpr std::array<const char*, 7> kParameterNames{"Tr", "theta0", "gamma0", "q",
                                                              "n",  "A",      "m"};

  // The inner model's checks (Tr, theta0, gamma0, q, n) come first.
  static std::expected<DebyeQuadraticThermalPressure, EosError> create(
      R reference_eos, double tr, double theta0, double gamma0, double q, double n, double a,
      double m) noexcept {
    auto inner = MieGruneisenDebye<R>::create(std::move(reference_eos), tr, theta0, gamma0, q, n);
    if (!inner) return std::unexpected(inner.error());
    return checked<DebyeQuadraticThermalPressure>(
        first_failure(require_finite(a, "A"), require_finite(m, "m")),
        [&] { return DebyeQuadraticThermalPressure(std::move(*inner), a, m); });
  }

  const R& reference_eos() const noexcept { return inner_.reference_eos(); }
  const MieGruneisenDebye<R>& mie_gruneisen() const noexcept { return inner_; }
  double tr() const noexcept { return inner_.tr(); }
  double theta0() const noexcept { return inner_.theta0(); }
  double gamma0() const noexcept { return inner_.gamma0(); }
  double q() const noexcept { return inner_.q(); }
  double n() const noexcept { return inner_.n(); }
  double a() const noexcept { return a_; }
  double m() const noexcept { return m_; }
  std::array<double, 7> parameters() const noexcept {
    return {tr(), theta0(), gamma0(), q(), n(), a_, m_};
  }

  // The inner model checks the state. A term that is exactly zero (A = 0 or
  // T = Tr) is left out, so an overflowing x^m cannot turn it into 0 * inf.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    auto pth = inner_.thermal_pressure(volume, temperature);
    if (!pth) return pth;
    const double tr = inner_.tr();
    const double t2 = temperature * temperature - tr * tr;
    if (a_ == 0.0 || t2 == 0.0) return pth;
    return finite_or_error(*pth + a_ * std::pow(volume / reference_eos().v0(), m_) * t2);
  }

 private:
  DebyeQuadraticThermalPressure(MieGruneisenDebye<R> inner, double a, double m) noexcept
      : inner_(std::move(inner)), a_(a), m_(m) {}

  MieGruneisenDebye<R> inner_;
  double a_, m_;
};

// A second-order expansion of the thermal pressure in strain eta = 1 - V/V0
// and temperature about (eta0, Tr).
template <class R>
class SecondOrderTaylorThermalPressure
    : public ThermalModelBase<SecondOrderTaylorThermalPressure<R>> {
 public:
  static constexpr const char* kName = "SecondOrderTaylorThermalPressure";
  static constexpr std::array<const char*, 8> kParameterNames{"Tr", "eta0", "c0", "c1",
                                                              "c2", "c3",   "c4", "c5"};

  static std::expected<SecondOrderTaylorThermalPressure, EosError> create(
      R reference_eos, double tr, double eta0, double c0, double c1, double c2, double c3,
      double c4, double c5) noexcept {
    return checked<SecondOrderTaylorThermalPressure>(
        first_failure(require_positive_finite(tr, "Tr"), require_finite(eta0, "eta0"),
                      require_finite(c0, "c0"), require_finite(c1, "c1"),
                      require_finite(c2, "c2"), require_finite(c3, "c3"),
                      require_finite(c4, "c4"), require_finite(c5, "c5")),
        [&] {
          return SecondOrderTaylorThermalPressure(std::move(reference_eos), tr, eta0,
                                                  {c0, c1, c2, c3, c4, c5});
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double eta0() const noexcept { return eta0_; }
  double c0() const noexcept { return c_[0]; }
  double c1() const noexcept { return c_[1]; }
  double c2() const noexcept { return c_[2]; }
  double c3() const noexcept { return c_[3]; }
  double c4() const noexcept { return c_[4]; }
  double c5() const noexcept { return c_[5]; }
  std::array<double, 8> parameters() const noexcept {
    return {tr_, eta0_, c_[0], c_[1], c_[2], c_[3], c_[4], c_[5]};
  }

  // Includes c0 and the pure strain terms, so it does not vanish at Tr.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    return finite_or_error(expansion(strain_offset(volume), temperature - tr_));
  }

  // Only the temperature-dependent part: f(de, dT) - f(de, 0).
  Result thermal_pressure_increment(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    const double d_eta = strain_offset(volume);
    auto heated = finite_or_error(expansion(d_eta, temperature - tr_));
    if (!heated) return heated;
    if (auto e = check_temperature(tr_)) return std::unexpected(*e);
    auto at_tr = finite_or_error(expansion(d_eta, tr_ - tr_));
    if (!at_tr) return at_tr;
    return finite_or_error(*heated - *at_tr);
  }

 private:
  SecondOrderTaylorThermalPressure(R reference_eos, double tr, double eta0,
                                   std::array<double, 6> c) noexcept
      : reference_eos_(std::move(reference_eos)), tr_(tr), eta0_(eta0), c_(c) {}

  double strain_offset(double volume) const noexcept {
    return (1.0 - volume / reference_eos_.v0()) - eta0_;
  }

  double expansion(double d_eta, double d_t) const noexcept {
    return c_[0] + c_[1] * d_eta + c_[2] * d_t + 0.5 * c_[3] * (d_eta * d_eta) +
           0.5 * c_[4] * (d_t * d_t) + 0.5 * c_[5] * d_eta * d_t;
  }

  R reference_eos_;
  double tr_, eta0_;
  std::array<double, 6> c_;
};

}  // namespace barometra
