// Adaptive quadrature: the interval is cut into 32 equal panels and each panel
// is integrated by recursive adaptive Simpson's rule with Richardson
// correction (Lyness 1969), S = S2 + (S2 - S1) / 15. Each panel gets a
// tolerance proportional to its own estimate, so a wide interval with a steep
// integrand is refined only where it needs to be.
//
// Generic over the integrand, a callable double -> std::expected<double,
// EosError>. Nothing is allocated; the recursion is at most 24 deep per panel.
// One integration evaluates the integrand at most kMaxEvaluations times, past
// which it fails as NonFiniteResult. The thermal models need under 3000 in
// their whole domain and 7800 at the extreme parameters of their fuzz tests;
// an integrand with a pole inside would be refined to full depth around it
// (2^25 evaluations a panel) only to return a meaningless number, and the
// multi-oscillator integral from a sample compressed a thousandfold needs
// 50000, a hundred of which make one volume inversion take a second.
#pragma once

#include <cmath>
#include <expected>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra {

namespace quadrature {
inline constexpr int kPanels = 32;
inline constexpr double kPanelFraction = 0.03125;  // 1 / kPanels, exact
inline constexpr double kTolerance = 1e-10;
inline constexpr int kMaxDepth = 24;
inline constexpr double kRichardsonFactor = 15.0;
inline constexpr long kMaxEvaluations = 32768;
}  // namespace quadrature

namespace detail {

// The recursion works on plain doubles and reports failure out of band, so the
// hot path pays for neither a 32-byte return value nor a copy of the error at
// every level: a failed step returns NaN (never a valid result, since every
// result is checked finite) and leaves the error in `error`.
template <class F>
inline bool quadrature_sample(F& f, double x, double& value, EosError& error) noexcept {
  auto r = f(x);
  if (!r) {
    error = r.error();
    return false;
  }
  if (!is_finite(*r)) {
    error = EosError::non_finite_result();
    return false;
  }
  value = *r;
  return true;
}

inline double quadrature_failure(EosError& error, EosError reason) noexcept {
  error = reason;
  return NAN;
}

// `remaining` counts the evaluations left in the integration's budget.
template <class F>
double simpson_refine(F& f, int depth, double a, double b, double fa, double fm, double fb,
                      double whole, double eps, long& remaining, EosError& error) noexcept {
  if (remaining < 2) return quadrature_failure(error, EosError::non_finite_result());
  remaining -= 2;
  const double m = a + (b - a) * 0.5;
  const double lm = a + (m - a) * 0.5;
  const double rm = m + (b - m) * 0.5;
  double flm, frm;
  if (!quadrature_sample(f, lm, flm, error)) return NAN;
  if (!quadrature_sample(f, rm, frm, error)) return NAN;
  const double left = (m - a) * (fa + 4.0 * flm + fm) / 6.0;
  const double right = (b - m) * (fm + 4.0 * frm + fb) / 6.0;
  const double s2 = left + right;
  const double diff = s2 - whole;
  // An estimate that overflowed makes diff inf or NaN. No refinement can then
  // meet the tolerance, and bisecting down to depth 0 would cost 2^24
  // evaluations only to end non-finite, so stop here.
  if (!is_finite(diff)) return quadrature_failure(error, EosError::non_finite_result());
  double result;
  if (std::fabs(diff) <= quadrature::kRichardsonFactor * eps || depth == 0) {
    // Reaching depth 0 is not an error: the corrected estimate is accepted.
    result = s2 + diff / quadrature::kRichardsonFactor;
  } else {
    const double left_result =
        simpson_refine(f, depth - 1, a, m, fa, flm, fm, left, eps / 2.0, remaining, error);
    if (std::isnan(left_result)) return NAN;
    const double right_result =
        simpson_refine(f, depth - 1, m, b, fm, frm, fb, right, eps / 2.0, remaining, error);
    if (std::isnan(right_result)) return NAN;
    result = left_result + right_result;
  }
  if (!is_finite(result)) return quadrature_failure(error, EosError::non_finite_result());
  return result;
}

}  // namespace detail

// The integral of f over [a, b] given f at a, at the midpoint and at b, the
// Simpson estimate `whole` of the interval and the absolute error budget eps.
// The left half is always refined before the right half.
template <class F>
Result adaptive_simpson(F&& f, int depth, double a, double b, double fa, double fm, double fb,
                        double whole, double eps) noexcept {
  EosError error = EosError::non_finite_result();
  long remaining = quadrature::kMaxEvaluations;
  const double result =
      detail::simpson_refine(f, depth, a, b, fa, fm, fb, whole, eps, remaining, error);
  if (std::isnan(result)) return std::unexpected(error);
  return result;
}

// The integral of f from a to b; integrate(f, b, a) == -integrate(f, a, b).
template <class F>
Result integrate(F&& f, double a, double b) noexcept {
  if (!is_finite(a) || !is_finite(b)) {
    return std::unexpected(EosError::invalid_state("integration bounds", kMustBeFinite));
  }
  if (a == b) return 0.0;
  if (a > b) {
    auto reversed = integrate(f, b, a);
    if (!reversed) return reversed;
    return -*reversed;
  }
  const double h = (b - a) * quadrature::kPanelFraction;
  double sum = 0.0;
  EosError error = EosError::non_finite_result();
  long remaining = quadrature::kMaxEvaluations - 3 * quadrature::kPanels;
  for (int i = 0; i < quadrature::kPanels; ++i) {
    const double p = a + h * i;
    // The last panel ends exactly at b, whatever the rounding of p + h.
    const double q = i == quadrature::kPanels - 1 ? b : p + h;
    const double m = p + (q - p) * 0.5;
    // Panels share no samples: each evaluates its own end points afresh.
    double fp, fm, fq;
    if (!detail::quadrature_sample(f, p, fp, error)) return std::unexpected(error);
    if (!detail::quadrature_sample(f, m, fm, error)) return std::unexpected(error);
    if (!detail::quadrature_sample(f, q, fq, error)) return std::unexpected(error);
    const double whole = (q - p) * (fp + 4.0 * fm + fq) / 6.0;
    const double eps = (std::fabs(whole) * quadrature::kTolerance + quadrature::kTolerance) *
                       quadrature::kPanelFraction;
    const double panel = detail::simpson_refine(f, quadrature::kMaxDepth, p, q, fp, fm, fq, whole,
                                                eps, remaining, error);
    if (std::isnan(panel)) return std::unexpected(error);
    sum += panel;
  }
  return finite_or_error(sum);
}

}  // namespace barometra
