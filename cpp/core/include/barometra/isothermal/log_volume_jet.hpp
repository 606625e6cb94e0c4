// A value with its first two derivatives with respect to s = ln V: one more
// number type for the formula templates of the isothermal models, so that
// K(V) evaluated on the jet of V gives K, dK/ds and d2K/ds2 exactly (to
// rounding), from the very formula the model evaluates. Then, as dP/ds = -K,
//   K'  = dK/dP   = -(dK/ds) / K,
//   K'' = dK'/dP  = ((d2K/ds2) / K - K'^2) / K.
// The value of each operation is computed as on a plain double, so the value
// of the jet of K has the bits of the model's bulk modulus.
//
// The overloads of the elementary functions live in barometra::simd beside
// the templates they stand in for, and must be declared before any formula
// is: the formulas call them qualified, which binds at definition.
#pragma once

#include "barometra/simd/math.hpp"

namespace barometra {

struct LogVolumeJet {
  double value, first, second;

  // V itself: dV/ds = d2V/ds2 = V.
  static constexpr LogVolumeJet of_volume(double volume) noexcept {
    return {volume, volume, volume};
  }
  // h(x) from h(x0), h'(x0) and h''(x0), by the chain rule.
  constexpr LogVolumeJet chain(double h, double h1, double h2) const noexcept {
    return {h, h1 * first, h2 * first * first + h1 * second};
  }
  // x^(1/3), given the root of the value: h' = h / (3x), h'' = -2h / (9x^2).
  constexpr LogVolumeJet cube_root(double root) const noexcept {
    const double h1 = root / (3.0 * value);
    return chain(root, h1, -2.0 * h1 / (3.0 * value));
  }
};

constexpr LogVolumeJet operator-(const LogVolumeJet& a) noexcept {
  return {-a.value, -a.first, -a.second};
}
constexpr LogVolumeJet operator+(const LogVolumeJet& a, const LogVolumeJet& b) noexcept {
  return {a.value + b.value, a.first + b.first, a.second + b.second};
}
constexpr LogVolumeJet operator-(const LogVolumeJet& a, const LogVolumeJet& b) noexcept {
  return {a.value - b.value, a.first - b.first, a.second - b.second};
}
constexpr LogVolumeJet operator*(const LogVolumeJet& a, const LogVolumeJet& b) noexcept {
  return {a.value * b.value, a.first * b.value + a.value * b.first,
          a.second * b.value + 2.0 * a.first * b.first + a.value * b.second};
}
constexpr LogVolumeJet operator/(const LogVolumeJet& a, const LogVolumeJet& b) noexcept {
  const double q = a.value / b.value;
  const double q1 = (a.first - q * b.first) / b.value;
  return {q, q1, (a.second - 2.0 * q1 * b.first - q * b.second) / b.value};
}
// A constant has no derivatives; these keep its value's operations exact.
constexpr LogVolumeJet operator+(const LogVolumeJet& a, double c) noexcept {
  return {a.value + c, a.first, a.second};
}
constexpr LogVolumeJet operator+(double c, const LogVolumeJet& a) noexcept {
  return {c + a.value, a.first, a.second};
}
constexpr LogVolumeJet operator-(const LogVolumeJet& a, double c) noexcept {
  return {a.value - c, a.first, a.second};
}
constexpr LogVolumeJet operator-(double c, const LogVolumeJet& a) noexcept {
  return {c - a.value, -a.first, -a.second};
}
constexpr LogVolumeJet operator*(const LogVolumeJet& a, double c) noexcept {
  return {a.value * c, a.first * c, a.second * c};
}
constexpr LogVolumeJet operator*(double c, const LogVolumeJet& a) noexcept {
  return {c * a.value, c * a.first, c * a.second};
}
constexpr LogVolumeJet operator/(const LogVolumeJet& a, double c) noexcept {
  return {a.value / c, a.first / c, a.second / c};
}
constexpr LogVolumeJet operator/(double c, const LogVolumeJet& a) noexcept {
  const double q = c / a.value;
  const double q1 = -q * a.first / a.value;
  return {q, q1, (-2.0 * q1 * a.first - q * a.second) / a.value};
}

namespace simd {

template <>
inline LogVolumeJet splat<LogVolumeJet>(double x) noexcept {
  return {x, 0.0, 0.0};
}

inline LogVolumeJet exp(LogVolumeJet x) noexcept {
  const double e = exp(x.value);
  return x.chain(e, e, e);
}
inline LogVolumeJet log(LogVolumeJet x) noexcept {
  const double inverse = 1.0 / x.value;
  return x.chain(log(x.value), inverse, -inverse * inverse);
}
template <CbrtDomain kDomain = CbrtDomain::Any>
inline LogVolumeJet cbrt(LogVolumeJet x) noexcept {
  return x.cube_root(cbrt<kDomain>(x.value));
}
template <CbrtDomain kDomain = CbrtDomain::Any>
inline LogVolumeJet cbrt_of_quotient(double numerator, LogVolumeJet denominator) noexcept {
  return (numerator / denominator)
      .cube_root(cbrt_of_quotient<kDomain>(numerator, denominator.value));
}
template <CbrtDomain kDomain = CbrtDomain::Any>
inline LogVolumeJet cbrt_given_inverse(LogVolumeJet x, LogVolumeJet inverse) noexcept {
  return x.cube_root(cbrt_given_inverse<kDomain>(x.value, inverse.value));
}
// x^e for a constant exponent e (a splat: its derivatives are not read).
inline LogVolumeJet pow_positive(LogVolumeJet x, LogVolumeJet e) noexcept {
  const double p = pow_positive(x.value, e.value);
  const double h1 = e.value * p / x.value;
  return x.chain(p, h1, (e.value - 1.0) * h1 / x.value);
}

}  // namespace simd

}  // namespace barometra
