#include "barometra/thermal/thermal_batch.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <variant>

#include "barometra/root.hpp"

namespace barometra {

namespace {

template <class Element>
BatchResult batch_loop(std::size_t n, Element element, double* out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    const Result r = element(i);
    if (!r) return BatchFailure{i, r.error()};
    out[i] = *r;
  }
  return std::nullopt;
}

// The volume inversions of the thermal contract (volume and
// volume_with_dac_confinement: solve_volume_function's start test, bracket
// search, bisection and residual check) over kLanes elements in lockstep.
// Each lane takes exactly the scalar algorithm's steps and trial volumes and
// calls the scalar pressure function, so its result has the scalar bits.
// One inversion alone waits on each pressure in turn, as every step depends
// on the last; the lanes' pressures do not depend on each other, so the
// processor overlaps them. (Vector instructions could not give the same
// bits: the pressures call the C library's exp, log and expm1.) A lane that
// meets any error only stops: the caller asks the scalar operation for that
// element's exact error.
inline constexpr std::size_t kLanes = 4;

enum class Phase : std::uint8_t { start, compress, expand, bisect, check, done, failed };

struct Lane {
  Phase phase;
  double target, x;  // x: the volume the next pressure is evaluated at
  double f_start, v, f_v;
  double lo, hi, f_lo, half;
  int steps;  // bracket trials, then halvings
};

class LockstepVolume {
 public:
  explicit LockstepVolume(double v_start) noexcept
      : v_start_(v_start), xtol_(volume_xtol(v_start)) {}

  // Starts lane `lane` on `target`, or leaves it failed.
  void begin(std::size_t lane, double target, bool valid) noexcept {
    Lane& l = lanes_[lane];
    l.target = target;
    l.phase = valid && is_finite(target) && is_positive_finite(v_start_) ? Phase::start
                                                                         : Phase::failed;
    l.x = v_start_;
  }
  void skip(std::size_t lane) noexcept { lanes_[lane].phase = Phase::done; }

  // Runs every begun lane to its end; pressure(lane, volume) -> Result.
  template <class Pressure>
  void run(Pressure& pressure) noexcept {
    std::array<Result, kLanes> p;
    for (;;) {
      bool active = false;
      for (std::size_t i = 0; i < kLanes; ++i) {
        if (running(lanes_[i])) {
          p[i] = pressure(i, lanes_[i].x);
          active = true;
        }
      }
      if (!active) return;
      for (std::size_t i = 0; i < kLanes; ++i) {
        if (running(lanes_[i])) advance(lanes_[i], p[i]);
      }
    }
  }

  bool succeeded(std::size_t lane) const noexcept { return lanes_[lane].phase == Phase::done; }
  double volume(std::size_t lane) const noexcept { return lanes_[lane].x; }

 private:
  static bool running(const Lane& l) noexcept {
    return l.phase != Phase::done && l.phase != Phase::failed;
  }

  void advance(Lane& l, const Result& p) const noexcept {
    if (!p) {
      l.phase = Phase::failed;
      return;
    }
    const double f = *p - l.target;
    switch (l.phase) {
      case Phase::start:
        if (detail::accept_start(*p, l.target)) {
          l.phase = Phase::done;
          return;
        }
        // The bracket search starts from V0: with too little pressure it compresses.
        l.v = v_start_;
        l.f_start = l.f_v = f;
        l.steps = 0;
        l.phase = f < 0.0 ? Phase::compress : Phase::expand;
        next_bracket_trial(l);
        return;
      case Phase::compress:
      case Phase::expand:
        l.v = l.x;
        l.f_v = f;
        ++l.steps;
        if (l.phase == Phase::compress ? f >= 0.0 : f <= 0.0) {
          end_bracket(l);
        } else {
          next_bracket_trial(l);
        }
        return;
      case Phase::bisect:
        if (std::fabs(f) <= detail::bisection_ftol(l.target) ||
            l.half <= xtol_ + std::fabs(l.x) * root::kIntervalRelTol) {
          l.phase = Phase::check;  // the residual check at x
          return;
        }
        if (!detail::same_sign(f, l.f_lo)) {
          l.hi = l.x;
        } else {
          l.lo = l.x;
        }
        ++l.steps;
        next_halving(l);
        return;
      case Phase::check:
        l.phase = std::fabs(f) <= std::max(std::fabs(l.target), 1.0) * root::kResidualTolerance
                      ? Phase::done
                      : Phase::failed;
        return;
      case Phase::done:
      case Phase::failed:
        return;
    }
  }

  // The geometric search from V0 by 0.8 or 1.05, up to the trial and volume limits.
  void next_bracket_trial(Lane& l) const noexcept {
    const bool compress = l.phase == Phase::compress;
    const double next = l.v * (compress ? root::kCompressionFactor : root::kExpansionFactor);
    const bool at_limit = compress ? next <= root::kLowerLimit * v_start_
                                   : next >= root::kVolumeUpperLimit * v_start_;
    if (l.steps >= root::kMaxTrials || at_limit) {
      end_bracket(l);
    } else {
      l.x = next;
    }
  }

  void end_bracket(Lane& l) const noexcept {
    if (l.phase == Phase::compress) {
      if (!(l.f_v >= 0.0) || l.f_v * l.f_start > 0.0) {
        l.phase = Phase::failed;
        return;
      }
      l.lo = l.v, l.f_lo = l.f_v, l.hi = v_start_;
    } else {
      if (!(l.f_v <= 0.0) || l.f_start * l.f_v > 0.0) {
        l.phase = Phase::failed;
        return;
      }
      l.lo = v_start_, l.f_lo = l.f_start, l.hi = l.v;
    }
    l.phase = Phase::bisect;
    l.steps = 0;
    next_halving(l);
  }

  void next_halving(Lane& l) const noexcept {
    if (l.steps >= root::kMaxHalvings) {
      l.phase = Phase::failed;
      return;
    }
    l.half = (l.hi - l.lo) / 2.0;
    l.x = l.lo + l.half;
  }

  double v_start_, xtol_;
  std::array<Lane, kLanes> lanes_;
};

// Whether Model inverts for volume with the contract's own algorithm, which
// the lockstep solver repeats (a model with an inversion of its own would
// declare a member of that name, of another type).
template <class Model>
constexpr bool kDefaultVolume =
    std::is_same_v<decltype(&Model::volume),
                   Result (ThermalModelBase<Model>::*)(double, double) const noexcept> &&
    std::is_same_v<decltype(&Model::volume_with_dac_confinement),
                   Result (ThermalModelBase<Model>::*)(double, double, double) const noexcept>;

// The inversion of (targets[i], temperatures[i]) by groups of kLanes.
// pressure(volume, temperature) -> Result is the function inverted; `scalar`
// is the whole scalar operation, asked for the error of a failed lane.
template <class Model, class Pressure, class Scalar>
BatchResult lockstep_inversion(const Model& m, std::span<const double> targets,
                               std::span<const double> temperatures, std::span<double> out,
                               bool state_valid_for_all, Pressure pressure,
                               Scalar scalar) noexcept {
  const std::size_t n = out.size();
  for (std::size_t i = 0; i < n; i += kLanes) {
    const std::size_t count = std::min(kLanes, n - i);
    LockstepVolume solver(m.reference_eos().v0());
    std::array<double, kLanes> t{};
    for (std::size_t lane = 0; lane < kLanes; ++lane) {
      if (lane >= count) {
        solver.skip(lane);
        continue;
      }
      t[lane] = temperatures[i + lane];
      solver.begin(lane, targets[i + lane],
                   state_valid_for_all && !check_temperature(t[lane]).has_value());
    }
    auto lane_pressure = [&](std::size_t lane, double v) noexcept { return pressure(v, t[lane]); };
    solver.run(lane_pressure);
    // Elements in order: a failed lane takes the scalar operation's error
    // (the two compute alike, so it fails there too; should it not, its
    // value is kept).
    for (std::size_t lane = 0; lane < count; ++lane) {
      if (solver.succeeded(lane)) {
        out[i + lane] = solver.volume(lane);
        continue;
      }
      const Result r = scalar(targets[i + lane], t[lane]);
      assert(!r && "the lockstep and scalar inversions must agree");
      if (!r) return BatchFailure{i + lane, r.error()};
      out[i + lane] = *r;
    }
  }
  return std::nullopt;
}

}  // namespace

BatchResult thermal_quantity_batch(const ThermalModel& model, ThermalQuantity quantity,
                                   std::span<const double> first, std::span<const double> second,
                                   std::span<double> out) noexcept {
  assert(first.size() == out.size() && second.size() == out.size());
  assert(model.provides(quantity));
  return std::visit(
      [&](const auto& m) -> BatchResult {
        using Model = std::remove_cvref_t<decltype(m)>;
        if constexpr (kDefaultVolume<Model>) {
          if (quantity == ThermalQuantity::volume) {
            return lockstep_inversion(
                m, first, second, out, true,
                [&m](double v, double t) noexcept { return m.pressure(v, t); },
                [&m](double p, double t) noexcept { return m.volume(p, t); });
          }
        }
        return visit_thermal_operation(quantity, [&]<class Call>(Call call) noexcept {
          if constexpr (std::is_invocable_v<Call, const Model&, double, double>) {
            return batch_loop(
                out.size(),
                [&](std::size_t i) noexcept { return call(m, first[i], second[i]); },
                out.data());
          } else {
            return BatchResult{};  // excluded by the precondition
          }
        });
      },
      model.variant());
}

BatchResult volume_with_dac_confinement_batch(const ThermalModel& model,
                                              std::span<const double> cold_pressures,
                                              std::span<const double> temperatures, double f_dac,
                                              std::span<double> volumes) noexcept {
  assert(cold_pressures.size() == volumes.size() && temperatures.size() == volumes.size());
  return std::visit(
      [&](const auto& m) -> BatchResult {
        using Model = std::remove_cvref_t<decltype(m)>;
        auto scalar = [&m, f_dac](double p, double t) noexcept {
          return m.volume_with_dac_confinement(p, t, f_dac);
        };
        if constexpr (kDefaultVolume<Model>) {
          // P(V, T) less the fraction of the increment that the cell keeps.
          auto confined = [&m, f_dac](double v, double t) noexcept -> Result {
            auto p = m.pressure(v, t);
            if (!p) return p;
            auto retained = m.dac_thermal_pressure(v, t, f_dac);
            if (!retained) return retained;
            return finite_or_error(*p - *retained);
          };
          return lockstep_inversion(m, cold_pressures, temperatures, volumes,
                                    !check_dac_fraction(f_dac).has_value(), confined, scalar);
        } else {
          return batch_loop(
              volumes.size(),
              [&](std::size_t i) noexcept { return scalar(cold_pressures[i], temperatures[i]); },
              volumes.data());
        }
      },
      model.variant());
}

}  // namespace barometra
