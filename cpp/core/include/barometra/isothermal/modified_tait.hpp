// Modified Tait isothermal model (Holland & Powell 2011), r = V/V0:
//   V/V0 = 1 - a (1 - (1 + b P)^(-c)),  so  P = ((1 + (r - 1)/a)^(-1/c) - 1) / b,
// with a, b, c fixed by K0, K0' and K0'' so that a b c = 1/K0.
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
    const double z = (a_ + volume / v0() - 1.0) / a_;
    if (auto e = check_domain(z)) return std::unexpected(*e);
    return finite_or_error(std::expm1(-std::log(z) / c_) / b_);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double r = volume / v0();
    const double z = (a_ + r - 1.0) / a_;
    if (auto e = check_domain(z)) return std::unexpected(*e);
    return finite_or_error(r * k0() * std::exp(std::log(z) * (-1.0 / c_ - 1.0)));
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

  // z = 1 + (r - 1)/a is the base of the power; with a > 0 it reaches zero at
  // V = V0 (1 - a), the infinite-pressure limit.
  static Check check_domain(double z) noexcept {
    if (is_positive_finite(z)) return std::nullopt;
    return EosError::invalid_state("volume", "is outside the modified Tait EOS domain");
  }

  double a_, b_, c_;
};

}  // namespace barometra
