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

#include <cstddef>

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

// c[0] + c[1] x + ... + c[N-1] x^(N-1), N <= 12, by Estrin's scheme: pairs
// c[i] + x c[i+1], pairs of those in x^2, then in x^4 and x^8. The chain is a
// third as long as Horner's, for a few more multiplications.
template <class V, std::size_t N>
inline V polynomial(V x, const double (&c)[N]) noexcept {
  static_assert(N > 8 && N <= 12);
  const V x2 = x * x, x4 = x2 * x2;
  auto pair = [&](std::size_t i) -> V { return i + 1 < N ? c[i] + x * c[i + 1] : splat<V>(c[i]); };
  auto quad = [&](std::size_t i) -> V { return i + 2 < N ? pair(i) + x2 * pair(i + 2) : pair(i); };
  return (quad(0) + x4 * quad(4)) + (x4 * x4) * quad(8);
}

// A non-negative integer n < 2^52 held in the low bits of b, as a double.
template <class V>
inline V small_integer_to_double(BitsOf<V> b) noexcept {
  return from_bits<V>(b | bits(kTwo52)) - kTwo52;
}

// round(h / 3) for an integer h < 2^31, exactly, in the cheaper way for one
// lane (an integer multiply) or for vectors (a double multiply: h / 3 lies
// never near a half, and h * fl(1/3) is within 2^-23 of it).
template <class V>
inline BitsOf<V> rounded_third(BitsOf<V> h) noexcept {
  if constexpr (Traits<V>::kWidth == 1) {
    return ((h + 1) * 0xaaaaaaabULL) >> 33;  // floor((h + 1) / 3)
  } else {
    return bits(small_integer_to_double<V>(h) * (1.0 / 3.0) + kTwo52) - bits(kTwo52);
  }
}

// cbrt(x) for positive x in [2^-900, 2^900], given `inverse` within 2^-40 of
// 1/x. The initial guess of x^(-1/3) divides the exponent by three in the
// bits (3.4% off); one step of the series
// (1 - u)^(-1/3) = 1 + u/3 + 2u^2/9 + 14u^3/81 + 35u^4/243 + ...,
// u = 1 - x r^3, to u^3 brings r within 2^-15. Then y0 = x r^2, cut to 17
// significant bits, t = trunc(y0) cubes exactly (51 bits), so d = x - t^3 is
// exact (Sterbenz), eta = d / x is below 2^-12, and cbrt(x) = t (1 - eta)^(-1/3)
// to eta^4, rounded once at the end.
template <class V>
inline V cbrt_in_range(V x, V inverse) noexcept {
  V r = from_bits<V>((0x553ef100ULL - rounded_third<V>(bits(x) >> 32)) << 32);
  // The series' coefficients: 1/3, 2/9, 14/81, 35/243. Both sums are split in
  // halves (Estrin) to shorten the chain that a single evaluation waits on.
  const V u = 1.0 - x * (r * r * r);
  r = r + r * (u * ((0x1.5555555555555p-2 + u * 0x1.c71c71c71c71cp-3) +
                    (u * u) * 0x1.61f9add3c0ca4p-3));
  const V t = from_bits<V>(bits(x * (r * r)) & 0xfffffff000000000ULL);
  const V eta = (x - t * t * t) * inverse;
  return t + t * (eta * ((0x1.5555555555555p-2 + eta * 0x1.c71c71c71c71cp-3) +
                         (eta * eta) * (0x1.61f9add3c0ca4p-3 + eta * 0x1.26fabb85cb534p-3)));
}

// cbrt(a) for a >= 0 or NaN; `inverse` is within 2^-40 of 1/a wherever a
// lies in [2^-900, 2^900]. Outside it, a is scaled by 2^(+-900) into the
// range and its root by 2^(-+300); zero, infinity and NaN are their own
// roots. Lanes in the range get the same bits on both paths.
template <class V>
[[gnu::always_inline]] inline V cbrt_magnitude(V a, V inverse) noexcept {
  const MaskOf<V> in_range = (a >= 0x1p-900) & (a <= 0x1p900);  // false for NaN
  if (all(in_range)) return cbrt_in_range(a, inverse);
  const MaskOf<V> small = a < 0x1p-900, large = a > 0x1p900;
  const V one = splat<V>(1.0);
  const V scale_in =
      select<V>(small, splat<V>(0x1p900), select<V>(large, splat<V>(0x1p-900), one));
  const V scale_out =
      select<V>(small, splat<V>(0x1p-300), select<V>(large, splat<V>(0x1p300), one));
  const V scaled = a * scale_in;
  V y = cbrt_in_range(scaled, select<V>(in_range, inverse, 1.0 / scaled)) * scale_out;
  const MaskOf<V> special = (a == 0.0) | (a == kInf) | (a != a);
  return select<V>(special, a + a, y);  // a + a quiets a NaN
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
  // 1/n! for n = 2 ... 13.
  static constexpr double kInverseFactorials[] = {
      0x1p-1,          0x1.5555555555555p-3,  0x1.5555555555555p-5,  0x1.1111111111111p-7,
      0x1.6c16c16c16c17p-10, 0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-16, 0x1.71de3a556c734p-19,
      0x1.27e4fb7789f5cp-22, 0x1.ae64567f544e4p-26, 0x1.1eed8eff8d898p-29, 0x1.6124613a86d09p-33};
  const V tail = (r * r) * polynomial(r, kInverseFactorials) - lo;
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
  // 2/(2n + 1) for n = 1 ... 10.
  static constexpr double kOddInverses[] = {
      0x1.5555555555555p-1, 0x1.999999999999ap-2, 0x1.2492492492492p-2, 0x1.c71c71c71c71cp-3,
      0x1.745d1745d1746p-3, 0x1.3b13b13b13b14p-3, 0x1.1111111111111p-3, 0x1.e1e1e1e1e1e1ep-4,
      0x1.af286bca1af28p-4, 0x1.8618618618618p-4};
  const V z = s * s;
  const V big_r = z * polynomial(z, kOddInverses);
  const V half_f2 = 0.5 * f * f;
  return k * kLn2Hi - ((half_f2 - (s * (half_f2 + big_r) + k * kLn2Lo)) - f);
}

}  // namespace detail

// Cube root of any double, within one ulp (nearly always correctly rounded).
template <class V>
[[gnu::always_inline]] inline V cbrt(V x) noexcept {
  const V a = abs(x);
  return copysign(detail::cbrt_magnitude(a, 1.0 / a), x);
}

// cbrt(n / d), the root of the rounded quotient, as cbrt(n / d) gives it. A
// model's constant numerator saves cbrt its division: d / n, the inverse it
// needs, is d times the constant 1 / n.
template <class V>
[[gnu::always_inline]] inline V cbrt_of_quotient(double n, V d) noexcept {
  const V x = n / d;
  const double inverse_n = 1.0 / n;
  const V inverse = inverse_n - inverse_n == 0.0 ? abs(d * inverse_n) : 1.0 / abs(x);
  return copysign(detail::cbrt_magnitude(abs(x), inverse), x);
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
