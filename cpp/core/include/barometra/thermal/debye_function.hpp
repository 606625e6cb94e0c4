// The Debye function of order 3,
//   D3(x) = (3 / x^3) int_0^x t^3 / (e^t - 1) dt,
// to a few ulp for every positive x, in four ranges:
//
//   x < 0.001   the series 1 - 3x/8 + x^2/20 - x^4/1680. The next term,
//               +x^6/90720, is below 1.2e-23 there, far under half an ulp.
//   x < 8       one polynomial per unit interval [k, k + 1), in u = x - c
//               with c = 0 for k = 0 and c = k + 1/2 above (so u is exact:
//               k <= x < k + 1 makes x - c a difference of nearby doubles).
//               Each is the degree-12 Chebyshev interpolant of D3 on its
//               interval, computed at 60 digits and rewritten in powers of
//               u (scripts/debye_coefficients.py prints the table). D3 is
//               analytic but for logarithmic branch points at x = +-2 pi i,
//               at least 2 pi away from every interval of width 1, so the
//               interpolants converge like (2 pi)^-n: degree 12 leaves a
//               truncation error below 2^-60 relative. Estrin's scheme
//               evaluates the 13 terms in four short chains rather than one
//               long one.
//   8 <= x      the exponentially convergent series of the integral,
//               int_0^x = pi^4/15 - sum_k e^-kx (x^3/k + 3x^2/k^2 + 6x/k^3 + 6/k^4),
//               obtained by expanding 1/(e^t - 1) = sum_k e^-kt and integrating
//               t^3 e^-kt by parts. With b = kx the k-th term is
//               e^-b (((b + 3) b + 6) b + 6) / k^4, at most 1.5 x^3 e^-kx for
//               x >= 8, so floor(57/x) terms leave less than 2^-62 of pi^4/15
//               (and none at all are needed beyond x = 57, where the rest of
//               the integral is below 2^-62 of it). Nothing cancels: the
//               tail is at most 4% of pi^4/15 from x = 8 on.
//
// The integrand's own quadrature needs 160 to 2,300 evaluations for the same
// function; these cost one polynomial or one exponential.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <expected>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra {

namespace detail::debye {

inline constexpr double kSeriesLimit = 0.001;
inline constexpr double kPolynomialLimit = 8.0;
inline constexpr double kTailTermsNumerator = 57.0;  // floor(57/x) terms of the tail
inline constexpr double kPiFourthOverFive = 19.481818206800487;  // pi^4/5, correctly rounded
inline constexpr std::size_t kTerms = 13;

// Rows k = 0..7: the powers u^0..u^12 of the piece on [k, k + 1).
inline constexpr double kPieces[8][kTerms] = {
    {1.0, -0.3750000000000001, 0.05000000000000692, -1.5176570372076405e-13,
     -0.0005952380935112568, -1.1667869098622165e-11, 1.1022978145139005e-05,
     -1.4558788253281388e-10, -2.251833001529284e-07, -3.8066667787367235e-10,
     5.1531081426216445e-09, -1.81642799968149e-10, -5.6916991839999706e-11},
    {0.5471066514128629, -0.23256255245912097, 0.04273460894983835, -0.002914208710184097,
     -0.0002928067778471768, 6.454529550592659e-05, 9.876050201699784e-07,
     -1.2721247737844476e-06, 6.330194621153685e-08, 2.1173524612622322e-08,
     -2.669205274957559e-09, -2.5815905705972847e-10, 7.133309644201202e-11},
    {0.35413603481042394, -0.15668677227095268, 0.032871099618258785, -0.003459779043500974,
     6.697401356959076e-06, 4.92323311296231e-05, -4.982351014674636e-06,
     -3.552364052456685e-07, 1.238671115529325e-07, -5.8293089477196364e-09,
     -1.7126692875178547e-09, 2.76663606749549e-10, 4.5123056224549184e-12},
    {0.22691129186348907, -0.10108241525244842, 0.022945271631959915, -0.0030464592751135136,
     0.000173358205530096, 1.7775489701885733e-05, -4.724608144775133e-06,
     3.0840023825775244e-07, 3.704823508599821e-08, -9.566074605510533e-09,
     5.749845997197747e-10, 8.854753366312832e-11, -2.0451934163204314e-11},
    {0.14591443458095624, -0.06357491161318084, 0.014960127638568048, -0.002257619232255279,
     0.00020368904775625921, -3.055546583544507e-06, -2.1874541211746456e-06,
     3.4437915991213895e-07, -1.7110055254568417e-08, -2.512646027620336e-09,
     5.926069425781198e-10, -4.506167473703509e-11, -2.345250310420031e-12},
    {0.0952408027231589, -0.039638903731948, 0.009352723446774727, -0.001506220234027267,
     0.00016624729944629156, -1.0095614685325922e-05, -3.643658858799312e-07,
     1.725887260339225e-07, -2.0768201775813993e-08, 9.041285404065808e-10,
     1.2556190825678656e-10, -2.958260260648183e-11, 2.718033758234089e-12},
    {0.0636043423461628, -0.024838741536306136, 0.005728204508820802, -0.0009445101933340872,
     0.0001150224123021605, -9.686476895969968e-06, 3.533158901860118e-07,
     4.6348379070733946e-08, -1.0602874646837978e-08, 1.0760019422265561e-09,
     -4.548916548507671e-11, -4.93142547943421e-12, 1.2072940316165754e-12},
    {0.043655021148884324, -0.01580183713429846, 0.0034939563000641123, -0.0005731062058937083,
     7.289469600638e-05, -7.064345368000781e-06, 4.603860010646218e-07,
     -6.0338629239360234e-09, -3.310704592443686e-09, 5.42772488445659e-10,
     -4.874239601020706e-11, 2.080894353836235e-12, 0.0},
};

// 1/k^4 for the terms of the tail.
inline constexpr std::array<double, 8> kInverseFourthPowers = {
    0.0, 1.0, 1.0 / 16.0, 1.0 / 81.0, 1.0 / 256.0, 1.0 / 625.0, 1.0 / 1296.0, 1.0 / 2401.0};

inline double piece(double x) noexcept {
  const auto k = static_cast<std::size_t>(x);
  const double u = k == 0 ? x : x - (static_cast<double>(k) + 0.5);
  const double* a = kPieces[k];
  const double u2 = u * u, u4 = u2 * u2, u8 = u4 * u4;
  const double q0 = (a[0] + a[1] * u) + (a[2] + a[3] * u) * u2;
  const double q1 = (a[4] + a[5] * u) + (a[6] + a[7] * u) * u2;
  const double q2 = (a[8] + a[9] * u) + (a[10] + a[11] * u) * u2;
  return (q0 + q1 * u4) + (q2 + a[12] * u4) * u8;
}

// sum_k e^-kx (x^3/k + 3x^2/k^2 + 6x/k^3 + 6/k^4) over the terms that matter.
inline double exponential_tail(double x) noexcept {
  const auto terms = static_cast<std::size_t>(kTailTermsNumerator / x);
  if (terms == 0) return 0.0;
  const double y = std::exp(-x);
  double yk = 1.0, tail = 0.0;
  for (std::size_t k = 1; k <= terms; ++k) {
    yk *= y;
    const double b = static_cast<double>(k) * x;
    tail += yk * ((((b + 3.0) * b + 6.0) * b + 6.0) * kInverseFourthPowers[k]);
  }
  return tail;
}

}  // namespace detail::debye

inline Result debye_function_3(double x) noexcept {
  if (!is_positive_finite(x)) {
    return std::unexpected(
        EosError::invalid_state("Debye-function argument", kMustBePositiveFinite));
  }
  if (x < detail::debye::kSeriesLimit) {
    const double x2 = x * x;
    return (x2 / 20.0) + (1.0 + (-3.0 * x) * 0.125) + (x2 * x2) / (-1680.0);
  }
  if (x < detail::debye::kPolynomialLimit) return detail::debye::piece(x);
  // Zero where x^3 overflows (x > 5.6e102), in place of a D3 below 1.1e-307.
  return (detail::debye::kPiFourthOverFive - 3.0 * detail::debye::exponential_tail(x)) /
         (x * x * x);
}

}  // namespace barometra
