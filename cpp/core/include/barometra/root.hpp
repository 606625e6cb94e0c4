// Root solving for volume and temperature: geometric bracketing from a start
// point, bisection, then one residual check. Generic over the pressure
// function, a callable double -> std::expected<double, EosError>, so the
// model's evaluation is inlined into the loops. No derivatives, no allocation.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <expected>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra {

namespace root {
inline constexpr double kStartTolerance = 1e-10;      // relative, accept the start point
inline constexpr double kBisectionFtol = 1.7763568394002505e-15;  // 2^-49, relative
inline constexpr double kResidualTolerance = 1e-8;    // relative, final check
inline constexpr double kIntervalRelTol = 1e-14;
inline constexpr double kMinimumXtol = 1e-14;
inline constexpr double kCompressionFactor = 0.8;
inline constexpr double kExpansionFactor = 1.05;
inline constexpr double kCoolingFactor = 0.8;
inline constexpr double kHeatingFactor = 1.25;
inline constexpr double kLowerLimit = 1e-14;          // times the start
inline constexpr double kVolumeUpperLimit = 10000.0;  // times the start volume
inline constexpr double kTemperatureUpperLimit = 1e8; // times the start temperature
inline constexpr int kMaxTrials = 160;
inline constexpr int kMaxHalvings = 256;
}  // namespace root

struct Bracket {
  double lo, f_lo, hi, f_hi;
};

namespace detail {

inline bool same_sign(double a, double b) noexcept { return (a >= 0.0) == (b >= 0.0); }

// Residual of the pressure function, passing its error through.
template <class F>
Result residual(F& f, double x, double target) noexcept {
  auto p = f(x);
  if (!p) return p;
  return *p - target;
}

template <class F>
Result bisect(F& f, double target, Bracket b, double xtol, double ftol) noexcept {
  double lo = b.lo, hi = b.hi;
  const double f_lo = b.f_lo;  // the sign at lo never changes, so f_lo stays valid
  for (int i = 0; i < root::kMaxHalvings; ++i) {
    const double half = (hi - lo) / 2.0;
    const double mid = lo + half;
    auto f_mid = residual(f, mid, target);
    if (!f_mid) return f_mid;
    if (std::fabs(*f_mid) <= ftol) return mid;
    if (half <= xtol + std::fabs(mid) * root::kIntervalRelTol) return mid;
    if (!same_sign(*f_mid, f_lo)) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return std::unexpected(EosError::convergence_failed());
}

inline bool accept_start(double p_start, double target) noexcept {
  const double scale = std::max({std::fabs(target), std::fabs(p_start), 1.0});
  return std::fabs(p_start - target) <= scale * root::kStartTolerance;
}

inline double bisection_ftol(double target) noexcept {
  return std::max(std::fabs(target), 1.0) * root::kBisectionFtol;
}

}  // namespace detail

// Returns x when |f(x) - target| <= max(|target|, 1) * 1e-8, else ConvergenceFailed.
template <class F>
Result check_residual(F&& f, double target, double x) noexcept {
  auto p = f(x);
  if (!p) return p;
  if (std::fabs(*p - target) <= std::max(std::fabs(target), 1.0) * root::kResidualTolerance) {
    return x;
  }
  return std::unexpected(EosError::convergence_failed());
}

// Bisection on a given bracket whose ends carry residuals f(x) - target.
template <class F>
Result bisect_bracket(F&& f, double target, double a, double f_a, double b, double f_b,
                      double xtol, double ftol) noexcept {
  if (f_a * f_b > 0.0) return std::unexpected(EosError::bracketing_failed());
  return detail::bisect(f, target, Bracket{a, f_a, b, f_b}, xtol, ftol);
}

// Searches a volume bracket from the start volume: pressure falls as volume
// grows, so the sign of the start residual fixes the direction. Exposed for the
// confinement inversion, which bisects its bracket with bisect_bracket.
template <class F>
std::expected<Bracket, EosError> bracket_volume(F&& f, double target, double v_start,
                                                double f_start) noexcept {
  double v = v_start;
  double f_v = f_start;
  if (f_start < 0.0) {
    // Too little pressure: compress.
    const double lower_limit = root::kLowerLimit * v_start;
    for (int trial = 0; trial < root::kMaxTrials; ++trial) {
      const double next = v * root::kCompressionFactor;
      if (next <= lower_limit) break;
      auto r = detail::residual(f, next, target);
      if (!r) return std::unexpected(r.error());
      v = next;
      f_v = *r;
      if (f_v >= 0.0) break;
    }
    if (!(f_v >= 0.0)) return std::unexpected(EosError::bracketing_failed());
    if (f_v * f_start > 0.0) return std::unexpected(EosError::bracketing_failed());
    return Bracket{v, f_v, v_start, f_start};
  }
  // Too much pressure: expand.
  const double upper_limit = root::kVolumeUpperLimit * v_start;
  for (int trial = 0; trial < root::kMaxTrials; ++trial) {
    const double next = v * root::kExpansionFactor;
    if (next >= upper_limit) break;
    auto r = detail::residual(f, next, target);
    if (!r) return std::unexpected(r.error());
    v = next;
    f_v = *r;
    if (f_v <= 0.0) break;
  }
  if (!(f_v <= 0.0)) return std::unexpected(EosError::outside_invertible_range());
  if (f_start * f_v > 0.0) return std::unexpected(EosError::bracketing_failed());
  return Bracket{v_start, f_start, v, f_v};
}

// Validates the target and start volume and evaluates the start residual.
// Returns the start residual, or the start volume itself as `accepted`.
struct VolumeStart {
  double residual;
  bool accepted;
};

template <class F>
std::expected<VolumeStart, EosError> begin_volume_search(F& f, double target,
                                                         double v_start) noexcept {
  if (!is_finite(target)) return std::unexpected(EosError::invalid_state("pressure", kMustBeFinite));
  if (!is_positive_finite(v_start)) {
    return std::unexpected(EosError::invalid_state("reference volume", kMustBePositiveFinite));
  }
  auto p_start = f(v_start);
  if (!p_start) return std::unexpected(p_start.error());
  return VolumeStart{*p_start - target, detail::accept_start(*p_start, target)};
}

inline double volume_xtol(double v_start) noexcept {
  return std::max(v_start * kMachineEpsilon, root::kMinimumXtol);
}

// The volume at which f(V) equals target, starting from v_start.
template <class F>
Result solve_volume_function(F&& f, double target, double v_start) noexcept {
  auto start = begin_volume_search(f, target, v_start);
  if (!start) return std::unexpected(start.error());
  if (start->accepted) return v_start;
  auto bracket = bracket_volume(f, target, v_start, start->residual);
  if (!bracket) return std::unexpected(bracket.error());
  auto v = detail::bisect(f, target, *bracket, volume_xtol(v_start),
                          detail::bisection_ftol(target));
  if (!v) return v;
  return check_residual(f, target, *v);
}

// The temperature at which g(T) equals target. g may cross the target more
// than once, so the search runs both ways and keeps the root nearest the start
// on a logarithmic scale.
template <class G>
Result solve_temperature_function(G&& g, double target, double t_start) noexcept {
  if (!is_finite(target)) return std::unexpected(EosError::invalid_state("pressure", kMustBeFinite));
  if (!is_positive_finite(t_start)) {
    return std::unexpected(EosError::invalid_state("temperature", kMustBePositiveFinite));
  }
  auto p_start = g(t_start);
  if (!p_start) return p_start;
  if (detail::accept_start(*p_start, target)) return t_start;

  const double f_start = *p_start - target;
  const double lower_limit = root::kLowerLimit * t_start;
  const double upper_limit = root::kTemperatureUpperLimit * t_start;
  double t_down = t_start, f_down = f_start, t_up = t_start, f_up = f_start;
  bool down_active = true, up_active = true;
  std::array<Bracket, 2> brackets{};
  std::size_t found = 0;
  for (int pass = 0; pass < root::kMaxTrials && found == 0; ++pass) {
    if (down_active) {
      const double t = std::max(root::kCoolingFactor * t_down, lower_limit);
      auto r = detail::residual(g, t, target);
      if (!r) return r;
      if (f_down * *r <= 0.0) brackets[found++] = Bracket{t, *r, t_down, f_down};
      down_active = t > lower_limit;
      t_down = t;
      f_down = *r;
    }
    if (up_active) {
      const double t = std::min(root::kHeatingFactor * t_up, upper_limit);
      auto r = detail::residual(g, t, target);
      if (!r) return r;
      if (f_up * *r <= 0.0) brackets[found++] = Bracket{t_up, f_up, t, *r};
      up_active = t < upper_limit;
      t_up = t;
      f_up = *r;
    }
    if (found == 0 && !down_active && !up_active) break;
  }
  if (found == 0) return std::unexpected(EosError::outside_invertible_range());

  const double xtol = std::max(t_start, 1.0) * kMachineEpsilon;
  const double ftol = detail::bisection_ftol(target);
  double best = 0.0;
  double best_distance = HUGE_VAL;
  for (std::size_t i = 0; i < found; ++i) {
    const Bracket& b = brackets[i];
    auto t = bisect_bracket(g, target, b.lo, b.f_lo, b.hi, b.f_hi, xtol, ftol);
    if (!t) return t;
    const double distance = std::fabs(std::log(*t / t_start));
    if (i == 0 || distance < best_distance) {  // on a tie the downward root wins
      best = *t;
      best_distance = distance;
    }
  }
  return check_residual(g, target, best);
}

}  // namespace barometra
