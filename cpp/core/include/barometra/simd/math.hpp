// Cube root, exponential and logarithm for one lane or many, within one ulp
// of the correctly rounded value. They use only IEEE add, subtract, multiply
// and divide and integer bit operations, never a fused multiply-add, so every
// lane width and instruction set gives the same bits; the scalar model path
// and the array kernels call these very templates.
//
// Each function has a fast body for the common range and falls back, when
// any lane lies outside it, to a body that scales the input into the range
// and treats zeros, infinities, NaN and subnormals. For lanes inside the
// range both give the same bits: their scale factor is exactly 1.
#pragma once

#include "barometra/simd/lanes.hpp"

namespace barometra::simd {

namespace detail {

inline constexpr double kTwo52 = 0x1p52;
inline constexpr double kRoundMagic = 0x1.8p52;  // adding it rounds to an integer
// ln 2 = kLn2Hi + kLn2Lo; kLn2Hi has 32 significant bits, so k * kLn2Hi is
// exact for every |k| < 2^21.
inline constexpr double kLn2Hi = 0x1.62e42feep-1;
inline constexpr double kLn2Lo = 0x1.a39ef35793c76p-33;
inline constexpr double kInvLn2 = 0x1.71547652b82fep+0;
inline constexpr double kInf = __builtin_huge_val();

// A non-negative integer n < 2^52 held in the low bits of b, as a double.
template <class V>
inline V small_integer_to_double(BitsOf<V> b) noexcept {
  return from_bits<V>(b | bits(kTwo52)) - kTwo52;
}

// x^(-1/3) for positive x in [2^-900, 2^900], to about 2^-46, which is all
// that cbrt_in_range needs. The initial guess divides the exponent by three
// in the bits (3.4% off), then two steps of the series
// (1 - u)^(-1/3) = 1 + u/3 + 2u^2/9 + 14u^3/81 + ... with u = 1 - x r^3:
// to u^3 while |u| < 0.11, to u^2 once |u| < 5e-5.
template <class V>
inline V inverse_cbrt(V x) noexcept {
  const BitsOf<V> high = bits(x) >> 32;
  const V third = small_integer_to_double<V>(high) * (1.0 / 3.0) + kTwo52;
  V r = from_bits<V>((0x553ef100ULL - (bits(third) - bits(kTwo52))) << 32);
  V u = 1.0 - x * (r * r * r);
  r = r + r * (u * (0x1.5555555555555p-2 + u * (0x1.c71c71c71c71cp-3 + u * 0x1.61f9add3c0ca4p-3)));
  u = 1.0 - x * (r * r * r);
  return r + r * (u * (0x1.5555555555555p-2 + u * 0x1.c71c71c71c71cp-3));
}

// cbrt(x) for positive x in [2^-900, 2^900]. With r = x^(-1/3), y0 = x r^2 is
// within a few ulps. Cut to 17 significant bits, t = trunc(y0) cubes exactly
// (51 bits), so d = x - t^3 is exact (Sterbenz) and eta = d/x = d r^3 is
// below 2^-14; then cbrt(x) = t (1 - eta)^(-1/3), one rounding at the end.
// eta needs r^3 = 1/x only to 2^-40 or so: its error is then scaled by eta/3.
template <class V>
inline V cbrt_in_range(V x) noexcept {
  const V r = inverse_cbrt(x);
  const V r2 = r * r;
  const V t = from_bits<V>(bits(x * r2) & 0xfffffff000000000ULL);
  const V d = x - t * t * t;
  const V eta = d * (r2 * r);
  return t + t * (eta * (0x1.5555555555555p-2 +
                         eta * (0x1.c71c71c71c71cp-3 + eta * 0x1.61f9add3c0ca4p-3)));
}

// e^x = 2^k e^r with r = x - k ln 2 carried as hi - lo, |r| <= ln2/2, and
// e^r = 1 + hi + (r^2 q(r) - lo), q the Taylor series to r^11/13!. The sum
// 1 + hi is split exactly (Fast2Sum), so the result rounds once. Returns
// e^r and k; the caller scales.
template <class V>
inline V exp_reduced(V x, V& k) noexcept {
  k = (x * kInvLn2 + kRoundMagic) - kRoundMagic;
  const V hi = x - k * kLn2Hi;
  const V lo = k * kLn2Lo;
  const V r = hi - lo;
  const V r2 = r * r;
  // Estrin's scheme: pairs of coefficients, then powers of r^2.
  const V c01 = 0x1p-1 + r * 0x1.5555555555555p-3;
  const V c23 = 0x1.5555555555555p-5 + r * 0x1.1111111111111p-7;
  const V c45 = 0x1.6c16c16c16c17p-10 + r * 0x1.a01a01a01a01ap-13;
  const V c67 = 0x1.a01a01a01a01ap-16 + r * 0x1.71de3a556c734p-19;
  const V c89 = 0x1.27e4fb7789f5cp-22 + r * 0x1.ae64567f544e4p-26;
  const V c1011 = 0x1.1eed8eff8d898p-29 + r * 0x1.6124613a86d09p-33;
  const V r4 = r2 * r2;
  const V q = (c01 + r2 * c23) + r4 * ((c45 + r2 * c67) + r4 * (c89 + r2 * c1011));
  const V tail = r2 * q - lo;
  const V s = 1.0 + hi;
  const V err = hi - (s - 1.0);
  return s + (err + tail);
}

// 2^k for integral k in [-1022, 1023] held as a double.
template <class V>
inline V exp2_integer(V k) noexcept {
  return from_bits<V>((bits(k + (kTwo52 + 1023.0)) - bits(kTwo52)) << 52);
}

// ln x + extra_k ln 2 for positive normal x: x = 2^k m with m in [sqrt(1/2), sqrt(2)),
// f = m - 1 (exact), s = f / (2 + f), and
// ln(1 + f) = f - f^2/2 + s (f^2/2 + R(s^2)), R(z) = sum 2 z^n / (2n + 1).
template <class V>
inline V log_normal(V x, V extra_k) noexcept {
  // Shift the exponent boundary from 1 to sqrt(1/2): adding the difference of
  // their high words carries into the exponent exactly when m >= sqrt(2).
  const BitsOf<V> high = (bits(x) >> 32) + (0x3ff00000ULL - 0x3fe6a09eULL);
  const V k = small_integer_to_double<V>(high >> 20) - 1023.0 + extra_k;
  const V m = from_bits<V>((((high & 0x000fffffULL) + 0x3fe6a09eULL) << 32) |
                           (bits(x) & 0xffffffffULL));
  const V f = m - 1.0;
  const V s = f / (2.0 + f);
  const V z = s * s;
  const V z2 = z * z;
  const V r01 = 0x1.5555555555555p-1 + z * 0x1.999999999999ap-2;
  const V r23 = 0x1.2492492492492p-2 + z * 0x1.c71c71c71c71cp-3;
  const V r45 = 0x1.745d1745d1746p-3 + z * 0x1.3b13b13b13b14p-3;
  const V r67 = 0x1.1111111111111p-3 + z * 0x1.e1e1e1e1e1e1ep-4;
  const V r89 = 0x1.af286bca1af28p-4 + z * 0x1.8618618618618p-4;
  const V z4 = z2 * z2;
  const V poly = (r01 + z2 * r23) + z4 * ((r45 + z2 * r67) + z4 * r89);
  const V big_r = z * poly;
  const V half_f2 = 0.5 * f * f;
  return k * kLn2Hi - ((half_f2 - (s * (half_f2 + big_r) + k * kLn2Lo)) - f);
}

}  // namespace detail

// Cube root of any double, within one ulp (nearly always correctly rounded).
template <class V>
[[gnu::always_inline]] inline V cbrt(V x) noexcept {
  const V a = abs(x);
  const MaskOf<V> in_range = (a >= 0x1p-900) & (a <= 0x1p900);  // false for NaN
  V y;
  if (all(in_range)) {
    y = detail::cbrt_in_range(a);
  } else {
    // Scale by 2^(+-900) into the range; the root then scales by 2^(-+300).
    const MaskOf<V> small = a < 0x1p-900, large = a > 0x1p900;
    const V one = splat<V>(1.0);
    const V scale_in = select<V>(small, splat<V>(0x1p900), select<V>(large, splat<V>(0x1p-900), one));
    const V scale_out = select<V>(small, splat<V>(0x1p-300), select<V>(large, splat<V>(0x1p300), one));
    y = detail::cbrt_in_range(a * scale_in) * scale_out;
    // 0, infinity and NaN are their own roots (a + a quiets a NaN).
    const MaskOf<V> special = (a == 0.0) | (a == detail::kInf) | (a != a);
    y = select<V>(special, a + a, y);
  }
  return copysign(y, x);
}

// e^x of any double, within one ulp.
template <class V>
[[gnu::always_inline]] inline V exp(V x) noexcept {
  V k;
  const MaskOf<V> in_range = (x > -708.0) & (x < 709.0);  // false for NaN
  if (all(in_range)) {
    const V p = detail::exp_reduced(x, k);
    return p * detail::exp2_integer(k);
  }
  // Clamped, k stays within [-1077, 1025]. 2^k is applied in two factors,
  // neither of which overflows, so the result underflows or overflows once.
  const V clamped =
      select<V>(x < -746.0, splat<V>(-746.0), select<V>(x > 710.0, splat<V>(710.0), x));
  const V p = detail::exp_reduced(clamped, k);
  const V k1 = (k * 0.5 + detail::kRoundMagic) - detail::kRoundMagic;
  return p * detail::exp2_integer(k1) * detail::exp2_integer(k - k1);
}

// ln x of any double, within one ulp: NaN below zero, -infinity at zero.
template <class V>
[[gnu::always_inline]] inline V log(V x) noexcept {
  const MaskOf<V> normal = (x >= 0x1p-1022) & (x < detail::kInf);  // false for NaN
  if (all(normal)) return detail::log_normal(x, splat<V>(0.0));
  const MaskOf<V> subnormal = (x > 0.0) & (x < 0x1p-1022);
  const V scaled = select<V>(subnormal, x * 0x1p54, select<V>(normal, x, splat<V>(1.0)));
  V y = detail::log_normal(scaled, select<V>(subnormal, splat<V>(-54.0), splat<V>(0.0)));
  y = select<V>(x == 0.0, splat<V>(-detail::kInf), y);
  y = select<V>(x == detail::kInf, x, y);
  y = select<V>(x < 0.0, splat<V>(__builtin_nan("")), y);
  return select<V>(x != x, x + x, y);
}

// x^e for positive x as e^(e ln x). Its error grows with |e ln x|: about
// one ulp plus |e ln x| ulps, where ln x is rounded.
template <class V>
inline V pow_positive(V x, V e) noexcept {
  return exp(e * log(x));
}

}  // namespace barometra::simd
