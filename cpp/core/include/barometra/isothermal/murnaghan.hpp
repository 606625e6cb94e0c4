// Murnaghan family: the bulk modulus is a polynomial in pressure.
// Murnaghan (1944): K = K0 + K0' P, so P = K0/K0' ((V0/V)^K0' - 1).
// Second order: K = K0 + K0' dP + K0''/2 dP^2 with dP = P - P0, integrated in
// closed form with q = sqrt(K0'^2 - 2 K0 K0''):
//   ln(V0/V) = (ln(1 + r1) - ln(1 + r2)) / q,  r1,2 = dP (K0' +- q) / (2 K0).
#pragma once

#include <array>
#include <cmath>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"

namespace barometra {

class Murnaghan : public IsothermalModel<Murnaghan> {
 public:
  static constexpr const char* kName = "Murnaghan";
  static constexpr std::array<const char*, 3> kParameterNames{"V0", "K0", "K0_prime"};
  static constexpr bool kShiftable = true;

  static std::expected<Murnaghan, EosError> create(double v0, double k0,
                                                   double k0_prime) noexcept {
    return checked<Murnaghan>(first_failure(require_positive_finite(v0, "V0"),
                                            require_positive_finite(k0, "K0"),
                                            require_finite(k0_prime, "K0_prime")),
                              [&] { return Murnaghan(v0, k0, k0_prime); });
  }
  std::array<double, 3> parameters() const noexcept { return {v0_, k0_, k0_prime_}; }
  double v0() const noexcept { return v0_; }

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double l = std::log(v0_ / volume);
    // expm1 keeps the small-strain pressure accurate; K0' = 0 is the limit K0 L.
    if (k0_prime_ == 0.0) return finite_or_error(k0_ * l);
    return finite_or_error(k0_ * std::expm1(k0_prime_ * l) / k0_prime_);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return finite_or_error(k0_ * std::exp(k0_prime_ * std::log(v0_ / volume)));
  }

 private:
  Murnaghan(double v0, double k0, double k0_prime) noexcept
      : v0_(v0), k0_(k0), k0_prime_(k0_prime) {}
  double v0_, k0_, k0_prime_;
};

class SecondOrderMurnaghan : public IsothermalModel<SecondOrderMurnaghan> {
 public:
  static constexpr const char* kName = "SecondOrderMurnaghan";
  static constexpr std::array<const char*, 5> kParameterNames{"V0", "K0", "K0_prime",
                                                              "K0_double_prime", "P0"};
  static constexpr bool kShiftable = false;

  static std::expected<SecondOrderMurnaghan, EosError> create(double v0, double k0,
                                                              double k0_prime,
                                                              double k0_double_prime,
                                                              double p0) noexcept {
    // K(P) must have two real roots, or the closed form has no real q.
    return checked<SecondOrderMurnaghan>(
        first_failure(require_positive_finite(v0, "V0"), require_positive_finite(k0, "K0"),
                      require_finite(k0_prime, "K0_prime"),
                      require_finite(k0_double_prime, "K0_double_prime"),
                      require_finite(p0, "P0"),
                      require_positive_finite(q_squared(k0, k0_prime, k0_double_prime),
                                              "q_squared")),
        [&] { return SecondOrderMurnaghan(v0, k0, k0_prime, k0_double_prime, p0); });
  }
  std::array<double, 5> parameters() const noexcept {
    return {v0_, k0_, k0_prime_, k0_double_prime_, p0_};
  }
  double v0() const noexcept { return v0_; }

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    return pressure_unchecked(volume);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    auto p = pressure_unchecked(volume);
    if (!p) return p;
    const double dp = *p - p0_;
    return finite_or_error(k0_ + k0_prime_ * dp + dp * (0.5 * k0_double_prime_ * dp));
  }

  // The closed-form inverse; hides the default root solver.
  Result volume(double pressure) const noexcept {
    if (auto e = require_finite_state(pressure, "pressure")) return std::unexpected(*e);
    const double q = std::sqrt(q_squared(k0_, k0_prime_, k0_double_prime_));
    const double dp = pressure - p0_;
    const double r1 = dp * (k0_prime_ + q) / (2.0 * k0_);
    const double r2 = dp * (k0_prime_ - q) / (2.0 * k0_);
    // K(P) vanishes where 1 + r reaches 0; beyond it there is no volume. The
    // negated test also refuses NaN.
    if (!(r1 > -1.0 && r2 > -1.0)) return std::unexpected(EosError::outside_invertible_range());
    const double l = std::log1p(r1) - std::log1p(r2);
    const double v = v0_ * std::exp(-l / q);
    if (auto e = require_positive_finite_state(v, "volume")) return std::unexpected(*e);
    return v;
  }

 private:
  static constexpr double q_squared(double k0, double k0_prime, double k0_double_prime) noexcept {
    return k0_prime * k0_prime - 2.0 * k0 * k0_double_prime;
  }

  SecondOrderMurnaghan(double v0, double k0, double k0_prime, double k0_double_prime,
                       double p0) noexcept
      : v0_(v0), k0_(k0), k0_prime_(k0_prime), k0_double_prime_(k0_double_prime), p0_(p0) {}

  // After the volume check: the denominator check, the formula, finiteness.
  Result pressure_unchecked(double volume) const noexcept {
    const double q = std::sqrt(q_squared(k0_, k0_prime_, k0_double_prime_));
    const double e = std::expm1(q * std::log(v0_ / volume));
    const double denominator = q * (e + 2.0) - k0_prime_ * e;
    if (!is_positive_finite(denominator)) {
      return std::unexpected(
          EosError::invalid_state("Murnaghan denominator", kMustBePositiveFinite));
    }
    return finite_or_error(2.0 * k0_ * e / denominator + p0_);
  }

  double v0_, k0_, k0_prime_, k0_double_prime_, p0_;
};

}  // namespace barometra
