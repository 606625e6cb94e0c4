// Potential-type isothermal models, written in a reduced length y = (V/V0)^(1/m).
// Vinet (Vinet et al. 1987): P = 3 K0 (1 - y)/y^2 exp(1.5 (K0' - 1)(1 - y)).
// Morse3 (Stacey et al. 1981): P = 3 K0/(a y^2) (e^2 - e), e = exp(a (1 - y)), a = K0' - 1.
// Sun-Morse (Sun et al. 2005), m = 3 or 4: P = m K0/s (e^2 - e), e = exp(s (1 - y)),
//   s = (m K0' + 1)/3.
// Rydberg-Stacey (Stacey 2000): P = 3 K0 y^(-3 Kinf') (1 - y) exp(eta (1 - y)).
// Baonza (Baonza et al. 1995): K = K0 ((P + Psp)/Psp)^0.85, a pseudospinodal at -Psp.
// Holzapfel's AP2 form lives in holzapfel.hpp.
//
// The energy along the isotherm, F = -int_V0^V P dV = m V0 int_y^1 P y'^(m-1) dy',
// is elementary for the exponential-times-polynomial forms; with X = 1 - y and
// the moments M_k(u) = int_0^1 t^k e^(u t) dt:
//   Vinet           9 K0 V0 X^2 M_1(eta X)
//   Morse3          (9/2) K0 V0 (expm1(a X) / a)^2
//   Sun-Morse       m^2 K0 V0 / s int_0^X (1 - t)^(m-1) (e^(2 s t) - e^(s t)) dt
// Rydberg-Stacey (an incomplete gamma function of non-integer order) and
// Baonza (likewise, in the pressure) are integrated by the quadrature.
//
// K0'' implied by each form, K'' = (K d2K/ds2 - (dK/ds)^2) / K^3 at V0 with
// s = ln V (derived symbolically, checked against finite differences):
//   Vinet           -((K0'/2)^2 + K0'/2 - 19/36) / K0
//   Morse3          -(2 K0'^2 + 5 K0' - 5) / (9 K0)
//   Sun-Morse       -(m K0' + 1)(2 m K0' + 11) / (9 m^2 K0)
//   Rydberg-Stacey  (Kinf' - K0'^2/4 - K0'/2 - 5/36) / K0   (Vinet's at Kinf' = 2/3)
//   Baonza          -(1 - beta) K0'^2 / (beta K0), from K'' = (beta - 1) K' / (P + Psp)
#pragma once

#include <array>
#include <cmath>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/simd/math.hpp"

namespace barometra {

namespace detail {

// Where the moments switch from their power series to the recurrence: below
// it the recurrence cancels, above it the alternating series would.
inline constexpr double kMomentSeriesLimit = 2.0;

// M_k(u) = int_0^1 t^k e^(u t) dt = sum_n u^n / (n! (n + k + 1)).
inline double exponential_moment(int k, double u) noexcept {
  if (std::fabs(u) <= kMomentSeriesLimit) {
    double sum = 0.0, term = 1.0;  // u^n / n!
    for (int n = 0; n < 40; ++n, term *= u / n) sum += term / (n + k + 1);
    return sum;
  }
  // M_0 = expm1(u) / u, M_k = (e^u - k M_(k-1)) / u.
  double moment = std::expm1(u) / u;
  for (int j = 1; j <= k; ++j) moment = (std::exp(u) - j * moment) / u;
  return moment;
}

// (M_k(2u) - M_k(u)) / u without the cancellation of the difference at small u:
// sum_(n>=1) (2^n - 1) u^(n-1) / (n! (n + k + 1)).
inline double exponential_moment_gap(int k, double u) noexcept {
  if (std::fabs(u) > kMomentSeriesLimit / 2.0) {
    return (exponential_moment(k, 2.0 * u) - exponential_moment(k, u)) / u;
  }
  double sum = 0.0, power = 1.0, two = 2.0;
  for (int n = 1; n < 40; ++n) {
    power /= n;  // u^(n-1) / n!
    sum += (two - 1.0) * power / (n + k + 1);
    power *= u;
    two *= 2.0;
  }
  return sum;
}

}  // namespace detail

class Vinet : public FormulaModel<Vinet, 3> {
 public:
  static constexpr const char* kName = "Vinet";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};
  using FormulaModel::FormulaModel;

  // y = cbrt(V / V0), and V0 / V, which both the cube root and the formulas
  // use: 1 / y^2 = y V0 / V. V / V0 is V times 1 / V0, one division fewer,
  // unless 1 / V0 overflows.
  template <class V>
  struct Reduced {
    V y, inverse;
  };
  template <class V>
  Reduced<V> reduced(V volume) const noexcept {
    const V inverse = v0() / volume;
    const double inverse_v0 = 1.0 / v0();
    const V ratio = inverse_v0 - inverse_v0 == 0.0 ? volume * inverse_v0 : volume / v0();
    return {simd::cbrt_given_inverse<simd::CbrtDomain::Nonnegative>(ratio, inverse), inverse};
  }
  template <class V>
  V pressure_from(const Reduced<V>& r) const noexcept {
    const double eta = 1.5 * (k0_prime() - 1.0);
    return 3.0 * k0() * (1.0 - r.y) * (r.y * r.inverse) * simd::exp(eta * (1.0 - r.y));
  }
  std::optional<double> implied_k0_double_prime() const noexcept {
    const double half = 0.5 * k0_prime();
    return -(half * half + half - 19.0 / 36.0) / k0();
  }

  template <class V>
  V bulk_modulus_from(const Reduced<V>& r) const noexcept {
    const double eta = 1.5 * (k0_prime() - 1.0);
    return k0() * (r.y * r.inverse) * ((1.0 - r.y) * (eta * r.y + 1.0) + 1.0) *
           simd::exp(eta * (1.0 - r.y));
  }

  double helmholtz_energy_formula(double volume) const noexcept {
    const double x = 1.0 - reduced(volume).y, eta = 1.5 * (k0_prime() - 1.0);
    return 9.0 * k0() * v0() * x * x * detail::exponential_moment(1, eta * x);
  }
};

namespace detail {

inline constexpr const char* kMorse3Message = "Morse3 requires K0_prime != 1";
inline constexpr const char* kSunMorseMessage = "Sun-Morse requires (n*K0_prime+1)/3 != 0";

// The formulas divide by K0' - 1, so a K0' within one epsilon of 1 is refused.
inline Check require_morse3_coefficient(double k0_prime) noexcept {
  return require(std::fabs(k0_prime - 1.0) > kMachineEpsilon, "K0_prime", kMorse3Message);
}

// s = (m K0' + 1)/3 is the divisor of the Sun-Morse pressure. The 3 is the
// same for both orders: it is what makes dK/dP equal K0' at V0 for m = 4 too.
template <int M>
constexpr double sun_morse_coefficient(double k0_prime) noexcept {
  return (M * k0_prime + 1.0) / 3.0;
}

template <int M>
inline Check require_sun_morse_coefficient(double k0_prime) noexcept {
  return require(std::fabs(sun_morse_coefficient<M>(k0_prime)) > kMachineEpsilon, "K0_prime",
                 kSunMorseMessage);
}

}  // namespace detail

class Morse3 : public FormulaModel<Morse3, 3> {
 public:
  static constexpr const char* kName = "Morse3";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};

  static Check check(double v0, double k0, double k0_prime) noexcept {
    return first_failure(common_checks({v0, k0, k0_prime}),
                         detail::require_morse3_coefficient(k0_prime));
  }
  using FormulaModel::FormulaModel;

  // Repeated at each evaluation so that no formula can divide by a zero a.
  Check evaluation_check() const noexcept {
    return detail::require_morse3_coefficient(k0_prime());
  }
  std::optional<double> implied_k0_double_prime() const noexcept {
    const double kp = k0_prime();
    return -(2.0 * kp * kp + 5.0 * kp - 5.0) / (9.0 * k0());
  }

  template <class V>
  V pressure_formula(V volume) const noexcept {
    const double a = k0_prime() - 1.0;
    const V y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    const V e = simd::exp(a * (1.0 - y));
    return 3.0 * k0() / (a * y * y) * (e * e - e);
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    const double a = k0_prime() - 1.0;
    const V y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    const V e = simd::exp(a * (1.0 - y));
    return k0() / a * (2.0 / (y * y) * (e * e - e) + a / y * (2.0 * e * e - e));
  }
  double helmholtz_energy_formula(double volume) const noexcept {
    const double a = k0_prime() - 1.0;
    const double y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    const double g = std::expm1(a * (1.0 - y)) / a;
    return 4.5 * k0() * v0() * g * g;
  }
};

// M = 3 or 4, the root taken of V/V0.
template <int M>
class SunMorse : public IsothermalModel<SunMorse<M>, 3> {
  static_assert(M == 3 || M == 4);

 public:
  static constexpr const char* kName = M == 3 ? "SunMorse3" : "SunMorse4";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};

  static Check check(double v0, double k0, double k0_prime) noexcept {
    return first_failure(SunMorse::common_checks({v0, k0, k0_prime}),
                         detail::require_sun_morse_coefficient<M>(k0_prime));
  }
  using IsothermalModel<SunMorse<M>, 3>::IsothermalModel;

  Result pressure(double volume) const noexcept {
    if (auto e = checks(volume)) return std::unexpected(*e);
    const double s = detail::sun_morse_coefficient<M>(this->k0_prime());
    const double e = std::exp(s * (1.0 - reduced_length(volume)));
    return finite_or_error(M * this->k0() / s * (e * e - e));
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = checks(volume)) return std::unexpected(*e);
    const double s = detail::sun_morse_coefficient<M>(this->k0_prime());
    const double y = reduced_length(volume);
    const double e = std::exp(s * (1.0 - y));
    return finite_or_error(this->k0() * y * (2.0 * e * e - e));
  }

  // m^2 K0 V0 sum_k c_k X^(k+2) gap_k(s X), c_k the coefficients of (1 - t)^(m-1).
  Result helmholtz_energy(double volume) const noexcept {
    if (auto e = checks(volume)) return std::unexpected(*e);
    static constexpr std::array<double, M> kBinomial = [] {
      if constexpr (M == 3) {
        return std::array<double, 3>{1.0, -2.0, 1.0};
      } else {
        return std::array<double, 4>{1.0, -3.0, 3.0, -1.0};
      }
    }();
    const double s = detail::sun_morse_coefficient<M>(this->k0_prime());
    const double x = 1.0 - reduced_length(volume);
    double sum = 0.0, power = x * x;
    for (int k = 0; k < M; ++k, power *= x) {
      sum += kBinomial[k] * power * detail::exponential_moment_gap(k, s * x);
    }
    return finite_or_error(M * M * this->k0() * this->v0() * sum);
  }

  // With L = -d/d(ln V), L y = -y/m and L e = s y e / m; K = K0 y e (2e - 1),
  // K' = L K / K = -1/m + s y (4e - 1) / (m (2e - 1)) and K'' = L K' / K.
  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    const Terms t = terms(volume);
    return finite_or_error(-1.0 / M + t.s * t.y * t.ratio / M);
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    const Terms t = terms(volume);
    const double two_e_minus_1 = 2.0 * t.e - 1.0;
    const double l_k_prime =
        -t.s * t.y / (M * M) * (t.ratio + 2.0 * t.s * t.y * t.e / (two_e_minus_1 * two_e_minus_1));
    return finite_or_error(l_k_prime / *k);
  }
  std::optional<double> implied_k0_double_prime() const noexcept {
    const double mk = M * this->k0_prime();
    return -(mk + 1.0) * (2.0 * mk + 11.0) / (9.0 * M * M * this->k0());
  }

 private:
  struct Terms {
    double s, y, e, ratio;  // ratio = (4e - 1) / (2e - 1)
  };
  Terms terms(double volume) const noexcept {
    const double s = detail::sun_morse_coefficient<M>(this->k0_prime());
    const double y = reduced_length(volume);
    const double e = std::exp(s * (1.0 - y));
    return {s, y, e, (4.0 * e - 1.0) / (2.0 * e - 1.0)};
  }

  // pow with the rounded exponent, for both orders alike, rather than cbrt.
  static constexpr double kExponent = M == 3 ? 0.3333333333333333 : 0.25;

  // The volume, then s again, so that no formula can divide by a zero s.
  Check checks(double volume) const noexcept {
    if (auto e = check_volume(volume)) return e;
    return detail::require_sun_morse_coefficient<M>(this->k0_prime());
  }
  double reduced_length(double volume) const noexcept {
    return std::pow(volume / this->v0(), kExponent);
  }
};

using SunMorse3 = SunMorse<3>;
using SunMorse4 = SunMorse<4>;

class RydbergStacey : public FormulaModel<RydbergStacey, 4> {
 public:
  static constexpr const char* kName = "RydbergStacey";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime", "K_infinity_prime"};
  using FormulaModel::FormulaModel;

  template <class V>
  V pressure_formula(V volume) const noexcept {
    const V y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    return 3.0 * k0() * simd::pow_positive(y, simd::splat<V>(-q())) * (1.0 - y) *
           simd::exp(eta() * (1.0 - y));
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    const V y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    const double q = this->q(), eta = this->eta();
    return k0() * simd::pow_positive(y, simd::splat<V>(-q)) * simd::exp(eta * (1.0 - y)) *
           (y + (1.0 - y) * q + (1.0 - y) * y * eta);
  }

  std::optional<double> implied_k0_double_prime() const noexcept {
    const double kp = k0_prime();
    return (k_infinity_prime() - 0.25 * kp * kp - 0.5 * kp - 5.0 / 36.0) / k0();
  }

 private:
  double k_infinity_prime() const noexcept { return parameters()[3]; }
  double q() const noexcept { return 3.0 * k_infinity_prime(); }
  double eta() const noexcept { return 1.5 * k0_prime() - 3.0 * k_infinity_prime() + 0.5; }
};

class Baonza : public IsothermalModel<Baonza, 3> {
 public:
  static constexpr const char* kName = "Baonza";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime"};

  // K0' divides Psp, so it must be positive, not merely finite.
  static constexpr Check check(double v0, double k0, double k0_prime) noexcept {
    return first_failure(require_positive_finite(v0, "V0"), require_positive_finite(k0, "K0"),
                         require_positive_finite(k0_prime, "K0_prime"));
  }
  using IsothermalModel::IsothermalModel;

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const Reduced r = reduced(volume);
    if (auto e = check_domain(r.u)) return std::unexpected(*e);
    return finite_or_error(std::pow(r.u, kPressureExponent) - r.psp);
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const Reduced r = reduced(volume);
    if (auto e = check_domain(r.u)) return std::unexpected(*e);
    return finite_or_error(std::pow(r.u, kBulkModulusExponent) / r.a);
  }

  // K' = beta K / (P + Psp) = beta / (A u), as P + Psp = u^(1/(1 - beta)),
  // and K'' = (beta - 1) K' / (P + Psp).
  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    const Reduced r = reduced(volume);
    return finite_or_error(kBeta / (r.a * r.u));
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    auto k_prime = bulk_modulus_pressure_derivative(volume);
    if (!k_prime) return k_prime;
    const double p_plus_psp = std::pow(reduced(volume).u, kPressureExponent);
    return finite_or_error(-kOneMinusBeta * *k_prime / p_plus_psp);
  }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return -kOneMinusBeta * k0_prime() * k0_prime() / (kBeta * k0());
  }

 private:
  // beta = 0.85. 1 - beta rounds to 0.15000000000000002, and the exponents are
  // the doubles of 1/(1 - beta) and 1/(1 - beta) - 1 as they round from that,
  // not the doubles nearest 20/3 and 17/3.
  static constexpr double kBeta = 0.85;
  static constexpr double kOneMinusBeta = 0.15000000000000002;
  static constexpr double kPressureExponent = 6.666666666666666;
  static constexpr double kBulkModulusExponent = 5.666666666666666;

  struct Reduced {
    double psp, a, u;
  };

  Reduced reduced(double volume) const noexcept {
    const double psp = kBeta * k0() / k0_prime();  // the pseudospinodal pressure
    const double a = std::pow(psp, kBeta) / k0();
    const double u = std::pow(psp, kOneMinusBeta) - std::log(volume / v0()) * kOneMinusBeta / a;
    return {psp, a, u};
  }
  // u reaches zero at the pseudospinodal, beyond which the model has no state.
  static Check check_domain(double u) noexcept {
    if (is_positive_finite(u)) return std::nullopt;
    return EosError::invalid_state("volume", "is outside the Baonza EOS pseudospinodal domain");
  }
};

}  // namespace barometra
