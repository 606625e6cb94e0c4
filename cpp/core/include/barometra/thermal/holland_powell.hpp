// Holland & Powell (2011) thermal pressure: one Einstein oscillator whose
// pressure depends on temperature only,
//   Pth(T) = k (E(T) - E(Tr)),  E = 3nR theta / (exp(theta/T) - 1),
// with k = alpha0 K0 / Cv(Tr), so that (dPth/dT) at Tr is alpha0 K0 and the
// expansivity at (V0, Tr) is alpha0. Over a ModifiedTait reference EOS it is
// the "ThermalModifiedTait" of that paper; over any RtModel the same model.
#pragma once

#include <array>
#include <cmath>
#include <expected>
#include <type_traits>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/modified_tait.hpp"
#include "barometra/isothermal/reference_bulk_modulus.hpp"
#include "barometra/thermal/contract.hpp"
#include "barometra/thermal/vibrational.hpp"

namespace barometra {

namespace detail {

// Cv = 3nR u^2 e^-u / (1 - e^-u)^2 with u = theta/T; 1 - e^-u comes from
// expm1 so that a small u keeps its precision.
inline Result einstein_heat_capacity(double theta, double n, double temperature) noexcept {
  const double u = theta / temperature;
  const double e = std::exp(-u);
  const double one_minus_e = -std::expm1(-u);
  return finite_or_error(e * u * (3.0 * n * kGasConstant * u) / (one_minus_e * one_minus_e));
}

}  // namespace detail

template <class R>
class HollandPowellThermalPressure : public CaloricModelBase<HollandPowellThermalPressure<R>> {
 public:
  static constexpr const char* kName = std::is_same_v<R, ModifiedTait>
                                           ? "ThermalModifiedTait"
                                           : "HollandPowellThermalPressure";
  static constexpr std::array<const char*, 4> kParameterNames{"Tr", "theta", "alpha0", "n"};

  // After the four parameter checks, Cv(Tr) and k must be finite: a theta/Tr
  // so large that exp(-theta/Tr) underflows leaves Cv(Tr) = 0.
  static std::expected<HollandPowellThermalPressure, EosError> create(R reference_eos, double tr,
                                                                      double theta, double alpha0,
                                                                      double n) noexcept {
    if (auto e = first_failure(require_positive_finite(tr, "Tr"),
                               require_positive_finite(theta, "theta"),
                               require_finite(alpha0, "alpha0"), require_positive_finite(n, "n"))) {
      return std::unexpected(*e);
    }
    auto cv_tr = detail::einstein_heat_capacity(theta, n, tr);
    if (!cv_tr) return std::unexpected(cv_tr.error());
    auto k = finite_or_error(alpha0 * reference_bulk_modulus(reference_eos) / *cv_tr);
    if (!k) return std::unexpected(k.error());
    return HollandPowellThermalPressure(std::move(reference_eos), tr, theta, alpha0, n, *cv_tr,
                                        *k);
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double theta() const noexcept { return theta_; }
  double alpha0() const noexcept { return alpha0_; }
  double n() const noexcept { return n_; }
  // Derived: the Einstein heat capacity at Tr and the scale alpha0 K0 / Cv(Tr).
  double cv_tr() const noexcept { return cv_tr_; }
  double k() const noexcept { return k_; }
  std::array<double, 4> parameters() const noexcept { return {tr_, theta_, alpha0_, n_}; }

  // The volume is checked but does not enter.
  Result thermal_pressure(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    auto e_t = einstein_energy(theta_, n_, temperature);
    if (!e_t) return e_t;
    auto e_r = einstein_energy(theta_, n_, tr_);
    if (!e_r) return e_r;
    return finite_or_error(k_ * (*e_t - *e_r));
  }

  Result molar_heat_capacity_v(double volume, double temperature) const noexcept {
    if (auto e = check_volume_and_temperature(volume, temperature)) return std::unexpected(*e);
    return detail::einstein_heat_capacity(theta_, n_, temperature);
  }

 private:
  HollandPowellThermalPressure(R reference_eos, double tr, double theta, double alpha0, double n,
                               double cv_tr, double k) noexcept
      : reference_eos_(std::move(reference_eos)),
        tr_(tr),
        theta_(theta),
        alpha0_(alpha0),
        n_(n),
        cv_tr_(cv_tr),
        k_(k) {}

  R reference_eos_;
  double tr_, theta_, alpha0_, n_;
  double cv_tr_, k_;
};

using ThermalModifiedTait = HollandPowellThermalPressure<ModifiedTait>;

}  // namespace barometra
