// Murnaghan family: the bulk modulus is a polynomial in pressure.
// Murnaghan (1944): K = K0 + K0' P, so P = K0/K0' ((V0/V)^K0' - 1).
// Second order: K = K0 + K0' dP + K0''/2 dP^2 with dP = P - P0, integrated in
// closed form with q = sqrt(K0'^2 - 2 K0 K0''):
//   ln(V0/V) = (ln(1 + r1) - ln(1 + r2)) / q,  r1,2 = dP (K0' +- q) / (2 K0).
// So K' = K0' and K'' = 0 (the implied K0''), and K' = K0' + K0'' dP, K'' = K0''.
// The Murnaghan energy along the isotherm, F = -int_V0^V P dV with r = V/V0,
// L = ln(V0/V) and E(t) = expm1(t L)/t (E(0) = L):
//   F = K0 V0 / K0' (E(K0' - 1) - (1 - r)) = K0 V0 (r E(K0') - (1 - r)) / (K0' - 1),
// the first form away from K0' = 0, the second away from K0' = 1. The second
// order's energy is a hypergeometric function and comes from the quadrature.
#pragma once

#include <array>
#include <cmath>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"

namespace barometra {

class Murnaghan : public IsothermalModel<Murnaghan, 3> {
 public:
  static constexpr const char* kName = "Murnaghan";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};
  using IsothermalModel::IsothermalModel;

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double l = std::log(v0() / volume);
    // expm1 keeps the small-strain pressure accurate; K0' = 0 is the limit K0 L.
    if (k0_prime() == 0.0) return finite_or_error(k0() * l);
    return finite_or_error(k0() * std::expm1(k0_prime() * l) / k0_prime());
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return finite_or_error(k0() * std::exp(k0_prime() * std::log(v0() / volume)));
  }

  Result helmholtz_energy(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double l = std::log(v0() / volume), r = volume / v0(), kp = k0_prime();
    auto e = [l](double t) { return t == 0.0 ? l : std::expm1(t * l) / t; };
    const double f = std::fabs(kp) >= 0.5 ? (e(kp - 1.0) - (1.0 - r)) / kp
                                          : (r * e(kp) - (1.0 - r)) / (kp - 1.0);
    return finite_or_error(k0() * v0() * f);
  }

  // Reported where the bulk modulus is, like every model's.
  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    return k0_prime();
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    return 0.0;
  }
  std::optional<double> implied_k0_double_prime() const noexcept { return 0.0; }
};

class SecondOrderMurnaghan : public IsothermalModel<SecondOrderMurnaghan, 5> {
 public:
  static constexpr const char* kName = "SecondOrderMurnaghan";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime", "K0_double_prime", "P0"};

  // K(P) must have two real roots, or the closed form has no real q.
  static constexpr Check check(double v0, double k0, double k0_prime, double k0_double_prime,
                               double p0) noexcept {
    return first_failure(
        common_checks({v0, k0, k0_prime, k0_double_prime, p0}),
        require_positive_finite(q_squared(k0, k0_prime, k0_double_prime), "q_squared"));
  }
  using IsothermalModel::IsothermalModel;

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return pressure_unchecked(volume);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto p = pressure_unchecked(volume);
    if (!p) return p;
    const double dp = *p - p0();
    return finite_or_error(k0() + k0_prime() * dp + dp * (0.5 * k0_double_prime() * dp));
  }

  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    // bulk_modulus succeeded, so the pressure does too.
    return finite_or_error(k0_prime() + k0_double_prime() * (*pressure_unchecked(volume) - p0()));
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    return k0_double_prime();
  }

  // The closed-form inverse; hides the default root solver.
  Result volume(double pressure) const noexcept {
    if (auto e = require_finite_state(pressure, "pressure")) return std::unexpected(*e);
    const double q = this->q();
    const double dp = pressure - p0();
    const double r1 = dp * (k0_prime() + q) / (2.0 * k0());
    const double r2 = dp * (k0_prime() - q) / (2.0 * k0());
    // K(P) vanishes where 1 + r reaches 0; beyond it there is no volume. The
    // negated test also refuses NaN.
    if (!(r1 > -1.0 && r2 > -1.0)) return std::unexpected(EosError::outside_invertible_range());
    const double l = std::log1p(r1) - std::log1p(r2);
    const double v = v0() * std::exp(-l / q);
    if (auto e = require_positive_finite_state(v, "volume")) return std::unexpected(*e);
    return v;
  }

 private:
  static constexpr double q_squared(double k0, double k0_prime, double k0_double_prime) noexcept {
    return k0_prime * k0_prime - 2.0 * k0 * k0_double_prime;
  }
  double q() const noexcept { return std::sqrt(q_squared(k0(), k0_prime(), k0_double_prime())); }
  double p0() const noexcept { return parameters()[4]; }

  // After the volume check: the denominator check, the formula, finiteness.
  Result pressure_unchecked(double volume) const noexcept {
    const double q = this->q();
    const double e = std::expm1(q * std::log(v0() / volume));
    const double denominator = q * (e + 2.0) - k0_prime() * e;
    if (!is_positive_finite(denominator)) {
      return std::unexpected(
          EosError::invalid_state("Murnaghan denominator", kMustBePositiveFinite));
    }
    return finite_or_error(2.0 * k0() * e / denominator + p0());
  }
};

}  // namespace barometra
