// Cube root, exponential and logarithm for one lane or many, within one ulp
// of the correctly rounded value. They use only IEEE add, subtract, multiply
// and divide, integer bit operations and table lookups, never a fused
// multiply-add, so every lane width and instruction set gives the same bits;
// the scalar model path and the array kernels call these very templates.
//
// Each function has a fast body for the common range and falls back, when
// any lane lies outside it, to a body that scales the input into the range
// and treats zeros, infinities, NaN and subnormals. For lanes inside the
// range both give the same bits: their scale factor is exactly 1.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "barometra/simd/exp2_table.hpp"
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

// The series (1 - u)^(-1/3) = 1 + u/3 + 2u^2/9 + 14u^3/81 + 35u^4/243 + ...
inline constexpr double kThird = 0x1.5555555555555p-2;
inline constexpr double kTwoNinths = 0x1.c71c71c71c71cp-3;
inline constexpr double k14Over81 = 0x1.61f9add3c0ca4p-3;
inline constexpr double k35Over243 = 0x1.26fabb85cb534p-3;

// x^(-1/3) for positive normal x within 2^-15: a first guess that divides
// the exponent by three in the bits (3.4% off), and one step of the series
// to u^3, u = 1 - x r^3. Both sums are split in halves (Estrin) to shorten
// the chain that a single evaluation waits on.
template <class V>
inline V inverse_cbrt_estimate(V x) noexcept {
  const V r = from_bits<V>((0x553ef100ULL - rounded_third<V>(bits(x) >> 32)) << 32);
  const V u = 1.0 - (x * r) * (r * r);
  return r + (r * u) * ((kThird + u * kTwoNinths) + (u * u) * k14Over81);
}

// cbrt(x) from an estimate within 2^-14 of it and `inverse` within 2^-40 of
// 1/x: the estimate cut to 17 significant bits, t, cubes exactly (51 bits),
// so d = x - t^3 is exact (Sterbenz), eta = d / x is below 2^-12, and
// cbrt(x) = t (1 - eta)^(-1/3) to eta^4, rounded once at the end.
template <class V>
inline V cbrt_from_estimate(V x, V estimate, V inverse) noexcept {
  const V t = from_bits<V>(bits(estimate) & 0xfffffff000000000ULL);
  const V eta = (x - t * t * t) * inverse;
  return t + (t * eta) *
                 ((kThird + eta * kTwoNinths) + (eta * eta) * (k14Over81 + eta * k35Over243));
}

// cbrt(x) for x in [2^-900, 2^900]. The estimate comes from x (x r^2, with
// r near x^(-1/3)) or from the inverse (whose inverse cube root is the cube
// root of x), whichever the caller has first.
template <bool kFromInverse, class V>
inline V cbrt_in_range(V x, V inverse) noexcept {
  if constexpr (kFromInverse) {
    return cbrt_from_estimate(x, inverse_cbrt_estimate(inverse), inverse);
  } else {
    const V r = inverse_cbrt_estimate(x);
    return cbrt_from_estimate(x, x * (r * r), inverse);
  }
}

// cbrt(a) for a >= 0 or NaN; `inverse` is within 2^-40 of 1/a wherever a
// lies in [2^-900, 2^900]. Outside it, a is scaled by 2^(+-900) into the
// range and its root by 2^(-+300); zero, infinity and NaN are their own
// roots. Lanes in the range get the same bits on both paths.
template <bool kFromInverse, class V>
[[gnu::always_inline]] inline V cbrt_magnitude(V a, V inverse) noexcept {
  if (all_within(a, 0x1p-900, 0x1p900)) return cbrt_in_range<kFromInverse>(a, inverse);
  const MaskOf<V> in_range = (a >= 0x1p-900) & (a <= 0x1p900);  // false for NaN
  const MaskOf<V> small = a < 0x1p-900, large = a > 0x1p900;
  const V one = splat<V>(1.0);
  const V scale_in =
      select<V>(small, splat<V>(0x1p900), select<V>(large, splat<V>(0x1p-900), one));
  const V scale_out =
      select<V>(small, splat<V>(0x1p-300), select<V>(large, splat<V>(0x1p300), one));
  const V scaled = a * scale_in;
  V y = cbrt_in_range<kFromInverse>(scaled, select<V>(in_range, inverse, 1.0 / scaled)) *
        scale_out;
  const MaskOf<V> special = (a == 0.0) | (a == kInf) | (a != a);
  return select<V>(special, a + a, y);  // a + a quiets a NaN
}

// e^x = 2^(k/128) e^r: k = round(x 128 / ln 2), r = x - k ln2 / 128 (|r| <=
// ln2 / 256; the product is split in two so that the subtraction is exact),
// 2^(j/128), j = k mod 128, from a table as hi + lo, and
// e^r - 1 = r + r^2 q, q = 1/2 + r/6 + r^2/24 + r^3/120, short of e^r - 1 by
// less than r^6 / 720 < 2^-60. The sum hi + (lo + hi (e^r - 1)), in
// [1, 2), rounds once at its last addition. Returns it, and in `k_bits` the
// bits of k + kRoundMagic.
template <class V>
inline V exp_reduced(V x, BitsOf<V>& k_bits) noexcept {
  constexpr double kSteps = kExp2TableSize * kInvLn2;
  constexpr double kStepHi = kLn2Hi / kExp2TableSize, kStepLo = kLn2Lo / kExp2TableSize;
  const V shifted = x * kSteps + kRoundMagic;
  const V k = shifted - kRoundMagic;
  const V r = (x - k * kStepHi) - k * kStepLo;
  k_bits = bits(shifted);
  const BitsOf<V> j = k_bits & static_cast<std::uint64_t>(kExp2TableSize - 1);
  const V hi = lookup<V>(kExp2TableHi, j), lo = lookup<V>(kExp2TableLo, j);
  const V r2 = r * r;
  const V q = (0.5 + r * 0x1.5555555555555p-3) +
              r2 * (0x1.5555555555555p-5 + r * 0x1.1111111111111p-7);
  // hi (e^r - 1) = hi r + (hi r^2) q: the products of hi start before q is done.
  return hi + (hi * r + (lo + (hi * r2) * q));
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

// Which arguments a cube root must take: any double, or only x >= 0 (and
// NaN), which saves it the sign handling, a measurable part of a model's
// cost; a negative x then gives an unspecified value. The models take roots
// of volume ratios, whose volumes they check to be positive.
enum class CbrtDomain : std::uint8_t { Any, Nonnegative };

// Cube root of any double, within one ulp (nearly always correctly rounded).
template <CbrtDomain kDomain = CbrtDomain::Any, class V>
[[gnu::always_inline]] inline V cbrt(V x) noexcept {
  if constexpr (kDomain == CbrtDomain::Nonnegative) {
    return detail::cbrt_magnitude<false>(x, 1.0 / x);
  } else {
    const V a = abs(x);
    return copysign(detail::cbrt_magnitude<false>(a, 1.0 / a), x);
  }
}

// cbrt(x) as above, for a caller that has an inverse of x at hand: within
// 2^-40 of 1/x wherever |x| lies in [2^-900, 2^900] (elsewhere ignored).
// The root's estimate starts from the inverse, so the long chain of the
// root need not wait for x, which may be a quotient still being divided.
template <CbrtDomain kDomain = CbrtDomain::Any, class V>
[[gnu::always_inline]] inline V cbrt_given_inverse(V x, V inverse) noexcept {
  if constexpr (kDomain == CbrtDomain::Nonnegative) {
    return detail::cbrt_magnitude<true>(x, inverse);
  } else {
    return copysign(detail::cbrt_magnitude<true>(abs(x), abs(inverse)), x);
  }
}

// cbrt(n / d), the root of the rounded quotient, as cbrt(n / d) gives it. A
// model's constant numerator saves cbrt a division: d / n, the inverse it
// needs, is d times the constant 1 / n (unless 1 / n overflows).
template <CbrtDomain kDomain = CbrtDomain::Any, class V>
[[gnu::always_inline]] inline V cbrt_of_quotient(double n, V d) noexcept {
  const double inverse_n = 1.0 / n;
  const V x = n / d;
  return cbrt_given_inverse<kDomain>(x, inverse_n - inverse_n == 0.0 ? d * inverse_n : 1.0 / x);
}

// e^x of any double, within one ulp (nearly always correctly rounded).
template <class V>
[[gnu::always_inline]] inline V exp(V x) noexcept {
  BitsOf<V> k_bits;
  // x in (-708, 709): the neighbours of the bounds inside it.
  if (all_within(x, -0x1.61fffffffffffp9, 0x1.627ffffffffffp9)) {
    // The result is normal, so the product with 2^floor(k / 128) is exact.
    // kRoundMagic's bits are a multiple of 128: a logical shift of k_bits
    // divides k, of either sign, rounding down.
    const V y = detail::exp_reduced(x, k_bits);
    constexpr std::uint64_t kBias =
        1023 - (std::bit_cast<std::uint64_t>(detail::kRoundMagic) >> detail::kExp2TableBits);
    return y * from_bits<V>(((k_bits >> detail::kExp2TableBits) + kBias) << 52);
  }
  // Clamped, floor(k / 128) stays within [-1077, 1025]. It is applied in two
  // factors, neither of which overflows, so the result underflows or
  // overflows once; a normal result is exact in both ways.
  const V clamped =
      select<V>(x < -746.0, splat<V>(-746.0), select<V>(x > 710.0, splat<V>(710.0), x));
  const V y = detail::exp_reduced(clamped, k_bits);
  const V k = from_bits<V>(k_bits) - detail::kRoundMagic;
  const V j = detail::small_integer_to_double<V>(
      k_bits & static_cast<std::uint64_t>(detail::kExp2TableSize - 1));
  const V e = (k - j) * (1.0 / detail::kExp2TableSize);
  const V e1 = (e * 0.5 + detail::kRoundMagic) - detail::kRoundMagic;
  return y * detail::exp2_integer(e1) * detail::exp2_integer(e - e1);
}

// ln x of any double, within one ulp: NaN below zero, -infinity at zero.
template <class V>
[[gnu::always_inline]] inline V log(V x) noexcept {
  // x in [2^-1022, infinity).
  if (all_within(x, 0x1p-1022, 0x1.fffffffffffffp1023)) {
    return detail::log_normal(x, splat<V>(0.0));
  }
  const MaskOf<V> normal = (x >= 0x1p-1022) & (x < detail::kInf);  // false for NaN
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
