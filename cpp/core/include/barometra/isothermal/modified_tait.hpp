// Modified Tait isothermal model (Holland & Powell 2011), r = V/V0:
//   V/V0 = 1 - a (1 - (1 + b P)^(-c)),  so  P = ((1 + (r - 1)/a)^(-1/c) - 1) / b,
// with a, b, c fixed by K0, K0' and K0'' so that a b c = 1/K0.
#pragma once

#include <array>
#include <cmath>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"

namespace barometra {

class ModifiedTait : public IsothermalModel<ModifiedTait> {
 public:
  static constexpr const char* kName = "ModifiedTait";
  static constexpr std::array<const char*, 4> kParameterNames{"V0", "K0", "K0_prime",
                                                              "K0_double_prime"};
  static constexpr bool kShiftable = false;

  static std::expected<ModifiedTait, EosError> create(double v0, double k0, double k0_prime,
                                                      double k0_double_prime) noexcept {
    if (auto e = first_failure(require_positive_finite(v0, "V0"),
                               require_positive_finite(k0, "K0"),
                               require_finite(k0_prime, "K0_prime"),
                               require_finite(k0_double_prime, "K0_double_prime"))) {
      return std::unexpected(*e);
    }
    // The three divisors of a, b and c.
    const double d = k0_prime + k0_prime * k0_prime - k0 * k0_double_prime;
    const double kp1 = k0_prime + 1.0;
    const double kp1_kpp = k0_prime + 1.0 + k0 * k0_double_prime;
    if (d == 0.0 || kp1 == 0.0 || kp1_kpp == 0.0) {
      return std::unexpected(EosError::invalid_parameter("K0_prime/K0_double_prime",
                                                         "produce a singular modified Tait EOS"));
    }
    return ModifiedTait(v0, k0, k0_prime, k0_double_prime, kp1 / kp1_kpp,
                        k0_prime / k0 - k0_double_prime / kp1, kp1_kpp / d);
  }
  std::array<double, 4> parameters() const noexcept {
    return {v0_, k0_, k0_prime_, k0_double_prime_};
  }
  double v0() const noexcept { return v0_; }
  double k0() const noexcept { return k0_; }
  double a() const noexcept { return a_; }
  double b() const noexcept { return b_; }
  double c() const noexcept { return c_; }

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double z = (a_ + volume / v0_ - 1.0) / a_;
    if (auto e = check_domain(z)) return std::unexpected(*e);
    return finite_or_error(std::expm1(-std::log(z) / c_) / b_);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double r = volume / v0_;
    const double z = (a_ + r - 1.0) / a_;
    if (auto e = check_domain(z)) return std::unexpected(*e);
    return finite_or_error(r * k0_ * std::exp(std::log(z) * (-1.0 / c_ - 1.0)));
  }

 private:
  ModifiedTait(double v0, double k0, double k0_prime, double k0_double_prime, double a, double b,
               double c) noexcept
      : v0_(v0),
        k0_(k0),
        k0_prime_(k0_prime),
        k0_double_prime_(k0_double_prime),
        a_(a),
        b_(b),
        c_(c) {}

  // z = 1 + (r - 1)/a is the base of the power; with a > 0 it reaches zero at
  // V = V0 (1 - a), the infinite-pressure limit.
  static Check check_domain(double z) noexcept {
    if (is_positive_finite(z)) return std::nullopt;
    return EosError::invalid_state("volume", "is outside the modified Tait EOS domain");
  }

  double v0_, k0_, k0_prime_, k0_double_prime_;
  double a_, b_, c_;
};

}  // namespace barometra
