// Modified Tait isothermal model (Holland & Powell 2011), r = V/V0:
//   V/V0 = 1 - a (1 - (1 + b P)^(-c)),  so  P = ((1 + (r - 1)/a)^(-1/c) - 1) / b,
// with a, b, c fixed by K0, K0' and K0'' so that a b c = 1/K0.
// With w = 1 + b P = z^(-1/c) and z = 1 + (r - 1)/a, K = K0 r w^(c+1), so
// K' = (c + 1) b K / w - 1 = g - 1 with g = (c + 1) b K0 r / z, and
// K'' = (c + 1) b (K' w - b K) / w^2 = b (c g - c - 1) / w; at V0, K0' and K0''.
// The energy along the isotherm, F = -int_V0^V P dV = int_0^P V dP - P V, with
// y = ln w = -ln(z)/c:  F = (V0 a / b) (expm1((1 - c) y)/(1 - c) - expm1(y) e^(-c y)).
#pragma once

#include <array>
#include <cmath>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"

namespace barometra {

class ModifiedTait : public IsothermalModel<ModifiedTait, 4> {
 public:
  static constexpr const char* kName = "ModifiedTait";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime", "K0_double_prime"};

  // Then none of the three divisors of a, b and c may vanish.
  static constexpr Check check(double v0, double k0, double k0_prime,
                               double k0_double_prime) noexcept {
    if (auto e = common_checks({v0, k0, k0_prime, k0_double_prime})) return e;
    const Divisors d = divisors(k0, k0_prime, k0_double_prime);
    return require(d.d != 0.0 && d.kp1 != 0.0 && d.kp1_kpp != 0.0, "K0_prime/K0_double_prime",
                   "produce a singular modified Tait EOS");
  }
  explicit ModifiedTait(const Checked& checked) noexcept : IsothermalModel(checked) {
    const Divisors d = divisors(k0(), k0_prime(), k0_double_prime());
    a_ = d.kp1 / d.kp1_kpp;
    b_ = k0_prime() / k0() - k0_double_prime() / d.kp1;
    c_ = d.kp1_kpp / d.d;
  }

  double a() const noexcept { return a_; }
  double b() const noexcept { return b_; }
  double c() const noexcept { return c_; }

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double z = this->z(volume);
    if (auto e = check_domain(z)) return std::unexpected(*e);
    return finite_or_error(std::expm1(-std::log(z) / c_) / b_);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double z = this->z(volume);
    if (auto e = check_domain(z)) return std::unexpected(*e);
    return finite_or_error(volume / v0() * k0() * std::exp(std::log(z) * (-1.0 / c_ - 1.0)));
  }

  Result helmholtz_energy(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double z = this->z(volume);
    if (auto e = check_domain(z)) return std::unexpected(*e);
    const double y = -std::log(z) / c_, t = 1.0 - c_;
    const double rising = t == 0.0 ? y : std::expm1(t * y) / t;
    return finite_or_error(v0() * a_ / b_ * (rising - std::expm1(y) * std::exp(-c_ * y)));
  }

  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    return finite_or_error(g(volume) - 1.0);
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    const double w = std::exp(-std::log(z(volume)) / c_);
    return finite_or_error(b_ * (c_ * g(volume) - c_ - 1.0) / w);
  }

 private:
  struct Divisors {
    double d, kp1, kp1_kpp;
  };
  static constexpr Divisors divisors(double k0, double k0_prime,
                                     double k0_double_prime) noexcept {
    return {k0_prime + k0_prime * k0_prime - k0 * k0_double_prime, k0_prime + 1.0,
            k0_prime + 1.0 + k0 * k0_double_prime};
  }

  double z(double volume) const noexcept { return (a_ + volume / v0() - 1.0) / a_; }
  double g(double volume) const noexcept {
    return (c_ + 1.0) * b_ * k0() * (volume / v0()) / z(volume);
  }

  // z = 1 + (r - 1)/a is the base of the power; with a > 0 it reaches zero at
  // V = V0 (1 - a), the infinite-pressure limit.
  static Check check_domain(double z) noexcept {
    if (is_positive_finite(z)) return std::nullopt;
    return EosError::invalid_state("volume", "is outside the modified Tait EOS domain");
  }

  double a_, b_, c_;
};

}  // namespace barometra
