// Root solving for volume and temperature: geometric bracketing from a start
// point, bisection, then one residual check. No derivatives, no allocation.
//
// The volume inversion is written once over lanes (see VolumeLanes below):
// the one-lane instance, around a callable double -> std::expected<double,
// EosError> inlined into the loops, is the scalar path, and the array kernels
// run the same steps over vectors of targets in lockstep, a lane that has
// finished or failed waiting, masked, for the others. Both therefore take the
// same trial volumes and give the same bits.
#pragma once

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <expected>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/simd/lanes.hpp"

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

// The ends of a bracket and their residuals f(x) - target, per lane.
template <class V>
struct BracketOf {
  V lo, f_lo, hi, f_hi;
};
using Bracket = BracketOf<double>;

// The lanes of an inversion, V their values and M = simd::MaskOf<V>:
//   V pressure(V x, M& active); // f(x) on the active lanes; retires those
//                               // whose evaluation fails
//   void retire(M& active, M lanes, EosErrorKind); // gives up on these lanes
//   M failed() const;           // every lane retired so far
// The algorithm asks for a pressure only while some lane is active, so the
// one-lane instance (ScalarLane) evaluates unconditionally, and a retired
// lane, which takes no further step, ends it: its masks are plain branches.
//
// Every function here is a template over the lane type, also where it only
// computes doubles: each instruction set's kernels then instantiate their own
// copy, which can never stand in for the baseline one at link time.
namespace detail {

// max(a, b) as std::max computes it: b only where a < b.
template <class V>
inline V larger(V a, V b) noexcept {
  return simd::select<V>(a < b, b, a);
}

template <class V>
inline V bisection_ftol(V target) noexcept {
  return larger(simd::abs(target), simd::splat<V>(1.0)) * root::kBisectionFtol;
}

template <class V>
inline double volume_xtol_for(double v_start) noexcept {
  const double relative = v_start * kMachineEpsilon;
  return relative < root::kMinimumXtol ? root::kMinimumXtol : relative;
}

// |p_s - target| <= max(|target|, |p_s|, 1) * 1e-10: the start is the answer.
template <class V>
inline simd::MaskOf<V> start_accepted(V p_start, V target) noexcept {
  const V scale = larger(larger(simd::abs(target), simd::abs(p_start)), simd::splat<V>(1.0));
  return simd::abs(p_start - target) <= scale * root::kStartTolerance;
}

// From the start volume by factors 0.8 where the start pressure is too low
// (pressure falls as volume grows) or 1.05, up to the trial and volume limits,
// for the lanes in `active`; retires those it cannot bracket.
template <class Lanes, class V, class M = simd::MaskOf<V>>
BracketOf<V> search_volume_bracket(Lanes& lanes, V target, double v_start, V f_start,
                                   M& active) noexcept {
  const M compress = f_start < 0.0;
  const double lower_limit = root::kLowerLimit * v_start;
  const double upper_limit = root::kVolumeUpperLimit * v_start;
  M searching = active;
  V v = simd::splat<V>(v_start), f_v = f_start, trials = simd::splat<V>(0.0);
  for (;;) {
    const V next =
        simd::select<V>(compress, v * root::kCompressionFactor, v * root::kExpansionFactor);
    searching &= simd::mask_not<M>((trials >= static_cast<double>(root::kMaxTrials)) |
                                   (compress & (next <= lower_limit)) |
                                   (simd::mask_not<M>(compress) & (next >= upper_limit)));
    if (!simd::any(searching)) break;
    const V f_next = lanes.pressure(next, searching) - target;
    v = simd::select<V>(searching, next, v);
    f_v = simd::select<V>(searching, f_next, f_v);
    trials = simd::select<V>(searching, trials + 1.0, trials);
    searching &= simd::mask_not<M>(simd::select<V>(compress, f_v, -f_v) >= 0.0);
  }
  active &= simd::mask_not<M>(lanes.failed());
  const M reached = simd::select<V>(compress, f_v, -f_v) >= 0.0;
  // Compression up to the limit never raised the pressure to the target;
  // expansion never brought it down: the target lies below anything the
  // model reaches.
  lanes.retire(active, compress & simd::mask_not<M>(reached), EosErrorKind::BracketingFailed);
  lanes.retire(active, simd::mask_not<M>(compress | reached),
               EosErrorKind::OutsideInvertibleRange);
  lanes.retire(active, f_v * f_start > 0.0, EosErrorKind::BracketingFailed);
  const V start = simd::splat<V>(v_start);
  return {simd::select<V>(compress, v, start), simd::select<V>(compress, f_v, f_start),
          simd::select<V>(compress, start, v), simd::select<V>(compress, f_start, f_v)};
}

// Bisection of the lanes in `bisecting`; returns those that accepted a
// point, written to `result`. Lanes still open after 256 halvings fail.
// Flattened so that the pressure's elementary functions are inlined into
// the loop, which the inliner's budget would otherwise refuse.
template <class Lanes, class V, class M = simd::MaskOf<V>>
[[gnu::flatten]] M bisect(Lanes& lanes, V target, BracketOf<V> b, double xtol, V ftol,
                          M bisecting, V& result) noexcept {
  const M lo_non_negative = b.f_lo >= 0.0;  // the sign at lo never changes
  M settled{};
  if (!simd::any(bisecting)) return settled;
  // A local copy: a store through `result` in the loop could alias the
  // model's parameters and keep their derived values from leaving the loop.
  V x = result;
  for (int halvings = 1;; ++halvings) {
    const V half = (b.hi - b.lo) / 2.0;
    const V mid = b.lo + half;
    const V f_mid = lanes.pressure(mid, bisecting) - target;
    const M accept = bisecting & ((simd::abs(f_mid) <= ftol) |
                                  (half <= xtol + simd::abs(mid) * root::kIntervalRelTol));
    x = simd::select<V>(accept, mid, x);
    settled |= accept;
    bisecting &= simd::mask_not<M>(accept);
    if (!simd::any(bisecting)) break;
    if (halvings == root::kMaxHalvings) {
      lanes.retire(bisecting, bisecting, EosErrorKind::ConvergenceFailed);
      break;
    }
    const M to_hi = bisecting & ((f_mid >= 0.0) != lo_non_negative);
    b.hi = simd::select<V>(to_hi, mid, b.hi);
    b.lo = simd::select<V>(bisecting & simd::mask_not<M>(to_hi), mid, b.lo);
  }
  result = x;
  return settled;
}

// The only place where the final accuracy is enforced: the interval test of
// the bisection can accept a point whose residual is larger.
template <class Lanes, class V, class M = simd::MaskOf<V>>
void check_residual(Lanes& lanes, V target, V x, M checking) noexcept {
  if (!simd::any(checking)) return;
  const V r = lanes.pressure(x, checking) - target;
  const V tolerance = larger(simd::abs(target), simd::splat<V>(1.0)) * root::kResidualTolerance;
  lanes.retire(checking, simd::mask_not<M>(simd::abs(r) <= tolerance),
               EosErrorKind::ConvergenceFailed);
}

// The volume inversion once the start pressure is known: the start test, the
// bracket search, the bisection and the residual check, for the lanes in
// `active`. Writes the volumes of the lanes that do not fail to `result`.
template <class Lanes, class V, class M = simd::MaskOf<V>>
void solve_volume_from_start(Lanes& lanes, V target, double v_start, V p_start, M active,
                             V& result) noexcept {
  result = simd::splat<V>(v_start);
  M bisecting = active & simd::mask_not<M>(start_accepted(p_start, target));
  if (!simd::any(bisecting)) return;
  const BracketOf<V> bracket =
      search_volume_bracket(lanes, target, v_start, p_start - target, bisecting);
  const M settled = bisect(lanes, target, bracket, volume_xtol_for<V>(v_start),
                           bisection_ftol(target), bisecting, result);
  check_residual(lanes, target, result, settled);
}

// One lane around a pressure function. Asked for a residual only while
// active, it evaluates unconditionally; its first failure retires it, so it
// keeps one error at most.
template <class F>
class ScalarLane {
 public:
  explicit ScalarLane(F& f) noexcept : f_(f) {}

  double pressure(double x, bool& active) noexcept {
    assert(active);
    auto p = f_(x);
    if (p) return *p;
    error_ = p.error();
    active = false;
    return 0.0;
  }
  void retire(bool& active, bool lane, EosErrorKind kind) noexcept {
    if (!(active && lane)) return;
    active = false;
    switch (kind) {
      case EosErrorKind::OutsideInvertibleRange:
        error_ = EosError::outside_invertible_range();
        break;
      case EosErrorKind::BracketingFailed: error_ = EosError::bracketing_failed(); break;
      default: error_ = EosError::convergence_failed(); break;
    }
  }
  bool failed() const noexcept { return error_.has_value(); }

  // The value, or the error.
  template <class T>
  std::expected<T, EosError> result(const T& value) const noexcept {
    if (error_) return std::unexpected(*error_);
    return value;
  }

 private:
  F& f_;
  std::optional<EosError> error_;
};

template <class F>
Result residual(F& f, double x, double target) noexcept {
  auto p = f(x);
  if (!p) return p;
  return *p - target;
}

}  // namespace detail

// max(v_start * eps, 1e-14), the interval tolerance of a volume bisection.
inline double volume_xtol(double v_start) noexcept {
  return detail::volume_xtol_for<double>(v_start);
}

// Returns x when |f(x) - target| <= max(|target|, 1) * 1e-8, else ConvergenceFailed.
template <class F>
Result check_residual(F&& f, double target, double x) noexcept {
  detail::ScalarLane lane(f);
  detail::check_residual(lane, target, x, true);
  return lane.result(x);
}

// Bisection on a given bracket whose ends carry residuals f(x) - target.
template <class F>
Result bisect_bracket(F&& f, double target, double a, double f_a, double b, double f_b,
                      double xtol, double ftol) noexcept {
  if (f_a * f_b > 0.0) return std::unexpected(EosError::bracketing_failed());
  detail::ScalarLane lane(f);
  double x = a;
  detail::bisect(lane, target, Bracket{a, f_a, b, f_b}, xtol, ftol, true, x);
  return lane.result(x);
}

// Searches a volume bracket from the start volume, given its residual f_start.
template <class F>
std::expected<Bracket, EosError> bracket_volume(F&& f, double target, double v_start,
                                                double f_start) noexcept {
  detail::ScalarLane lane(f);
  bool active = true;
  const Bracket bracket = detail::search_volume_bracket(lane, target, v_start, f_start, active);
  return lane.result(bracket);
}

// Validates the target and start volume and evaluates the start pressure;
// `accepted` when it already meets the target.
struct VolumeStart {
  double residual;
  bool accepted;
  double pressure;
};

template <class F>
std::expected<VolumeStart, EosError> begin_volume_search(F& f, double target,
                                                         double v_start) noexcept {
  if (auto e = first_failure(require_finite_state(target, "pressure"),
                             require_positive_finite_state(v_start, "reference volume"))) {
    return std::unexpected(*e);
  }
  auto p_start = f(v_start);
  if (!p_start) return std::unexpected(p_start.error());
  return VolumeStart{*p_start - target, detail::start_accepted(*p_start, target), *p_start};
}

// f, called but never inlined: the solver is flattened, and a function as
// large as a thermal pressure copied into every step multiplies the code
// for a call that costs little beside it.
template <class F>
struct OutOfLine {
  F f;
  [[gnu::noinline]] Result operator()(double v) const noexcept { return f(v); }
};

// The volume at which f(V) equals target, starting from v_start. Flattened
// like the bisection, for the pressures of the start, search and check.
template <class F>
[[gnu::flatten]] Result solve_volume_function(F&& f, double target, double v_start) noexcept {
  auto start = begin_volume_search(f, target, v_start);
  if (!start) return std::unexpected(start.error());
  detail::ScalarLane lane(f);
  double v;
  detail::solve_volume_from_start(lane, target, v_start, start->pressure, true, v);
  return lane.result(v);
}

// The temperature at which g(T) equals target. g may cross the target more
// than once, so the search runs both ways and keeps the root nearest the start
// on a logarithmic scale.
template <class G>
Result solve_temperature_function(G&& g, double target, double t_start) noexcept {
  if (auto e = first_failure(require_finite_state(target, "pressure"),
                             require_positive_finite_state(t_start, "temperature"))) {
    return std::unexpected(*e);
  }
  auto p_start = g(t_start);
  if (!p_start) return p_start;
  if (detail::start_accepted(*p_start, target)) return t_start;

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
