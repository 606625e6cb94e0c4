// The principal Hugoniot of a thermal model: the states one shock reaches from
// rest at (V0, T0, P = 0), V0 being the model's volume at zero pressure and T0
// (the reference isotherm's V0 when T0 = Tr and Pth(V0, Tr) = 0). At each
// V <= V0 the Rankine-Hugoniot energy condition
//   E(V, T_H) - E(V0, T0) = P(V, T_H) (V0 - V) / 2
// fixes T_H, with the internal energy, up to a constant,
//   E(V, T) = F_ref(V) + E_th(V, T) - F_th(V, Tr),   F_th = E_th - T S_th,
// that is F_ref + Tr S_th(V, Tr) + E_th(V, T) - E_th(V, Tr), where
// F_ref = -int_V0^V Pref dV is the energy along the reference isotherm. A
// Mie-Grueneisen reference taken as the isentrope through (V0, Tr) makes F_ref
// the energy along that isentrope, so E = F_ref + E_th(V, T) - E_th(V, Ts(V));
// one taken as the 0 K isotherm gives E = F_ref + E_th(V, T).
//
// A model that defines its thermal energy describes E - F_ref and Pth along an
// isochore (hugoniot_isochore(V), whose at(T) gives an IsochorePoint); the
// solver below is shared. At fixed V it finds the root in T of
//   g(T) = E(V, T) - E0 - k P(V, T),   k = (V0 - V) / 2,
// which rises with T wherever the Hugoniot exists: for a Mie-Grueneisen solid
// dg/dT = Cv (1 - gamma (V0 - V) / (2V)), positive down to the limiting
// compression V/V0 = gamma / (gamma + 2), below which no temperature reaches
// the condition. Newton's steps use the exact dg/dT where the model has it
// (one vibrational energy per step for the Mie-Grueneisen family) and secants
// otherwise, inside a bracket that grows from T0 until g changes sign.
#pragma once

#include <cmath>
#include <concepts>
#include <expected>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/thermal/contract.hpp"

namespace barometra {

namespace hugoniot {
// The temperatures searched: from T0 times the first up to the second, in K.
inline constexpr double kMinTemperatureFraction = 1e-6;
inline constexpr double kMaxTemperature = 1e5;
inline constexpr double kBracketGrowth = 4.0;
// A step below this fraction of T ends the iteration: Newton's next step is
// smaller still, and a secant's not much larger.
inline constexpr double kTemperatureTolerance = 1e-12;
// A Newton step along an exact slope below this fraction of T is the last:
// it leaves an error near T (T g''/2g') 1e-12, and T g''/g' stays below 3
// (Cv ~ T^3 at the lowest temperatures).
inline constexpr double kFinalStep = 1e-6;
inline constexpr int kMaxSteps = 100;
inline constexpr const char* kNoTemperature = "has no Hugoniot temperature in [1e-6 T0, 1e5 K]";
inline constexpr const char* kAboveV0 = "must not exceed V0 on a compression Hugoniot";
inline constexpr const char* kNoThermalEnergy = "the model has no thermal energy";
}  // namespace hugoniot

// Where the Hugoniot starts: T0, V0 and E(V0, T0) in J/mol.
struct HugoniotOrigin {
  double temperature, volume, energy;
};

struct HugoniotState {
  double pressure, temperature;
};

// A model's thermal terms at one temperature on an isochore.
struct IsochorePoint {
  double energy;                  // E(V, T) - F_ref(V), J/mol
  double heat_capacity;           // dE/dT at constant V
  double thermal_pressure;        // Pth(V, T)
  double thermal_pressure_slope;  // dPth/dT; an estimate where the isochore says so
};

// The models with a Hugoniot: those whose isochore gives E and Pth.
template <class Model>
concept HasPrincipalHugoniot = requires(const Model& m, double v) {
  { m.hugoniot_isochore(v)->at(v) } -> std::same_as<std::expected<IsochorePoint, EosError>>;
  { m.hugoniot_isochore(v)->kExactSlope } -> std::convertible_to<bool>;
};

// T0, V0 = V(P = 0, T0) and E(V0, T0).
template <HasPrincipalHugoniot Model>
std::expected<HugoniotOrigin, EosError> hugoniot_origin(const Model& model, double t0) noexcept {
  if (auto e = require_positive_finite_state(t0, "t0")) return std::unexpected(*e);
  auto v0 = model.volume(0.0, t0);
  if (!v0) return std::unexpected(v0.error());
  auto f_ref = model.reference_eos().helmholtz_energy(*v0);
  if (!f_ref) return std::unexpected(f_ref.error());
  auto isochore = model.hugoniot_isochore(*v0);
  if (!isochore) return std::unexpected(isochore.error());
  auto point = isochore->at(t0);
  if (!point) return std::unexpected(point.error());
  return HugoniotOrigin{t0, *v0, *f_ref * kEnergyPerPressureVolume + point->energy};
}

namespace detail {

// A trial temperature with g there; the bracket's ends are such samples.
struct HugoniotSample {
  double temperature, residual;
};

// The search for the root of g, which rises with T: a bracket that grows
// from T0 until g changes sign, then the steps inside it, each of which must
// at least halve the move before the last or give way to bisection, so that
// a secant crawling along a strongly curved g cannot stall.
class HugoniotSearch {
 public:
  HugoniotSearch(double t_min, double t_max) noexcept : t_min_(t_min), t_max_(t_max) {}

  // The trial after g(t), given the Newton (or secant) step and whether it
  // is usable; nothing when the bracket would leave [t_min, t_max].
  std::optional<double> next(double t, double g, double step, bool newton) noexcept {
    (g < 0.0 ? lo_ : hi_) = HugoniotSample{t, g};
    double next = t + step;
    if (!std::isnan(lo_.residual) && !std::isnan(hi_.residual)) {
      if (!newton || !(next > lo_.temperature && next < hi_.temperature) ||
          !(std::fabs(step) <= 0.5 * move_before_)) {
        next = 0.5 * (lo_.temperature + hi_.temperature);
      }
    } else if (g < 0.0) {  // upwards
      if (t >= t_max_) return std::nullopt;
      next = newton && next > t ? std::fmin(next, t_max_)
                                : std::fmin(t * hugoniot::kBracketGrowth, t_max_);
    } else {  // downwards
      if (t <= t_min_) return std::nullopt;
      next = newton && next < t ? std::fmax(next, t_min_)
                                : std::fmax(t / hugoniot::kBracketGrowth, t_min_);
    }
    move_before_ = last_move_;
    last_move_ = std::fabs(next - t);
    return next;
  }

 private:
  double t_min_, t_max_;
  HugoniotSample lo_{0.0, NAN}, hi_{INFINITY, NAN};  // g < 0 and g > 0, once seen
  double last_move_ = INFINITY, move_before_ = INFINITY;
};

}  // namespace detail

// P and T_H at `volume`, V <= V0; V0 itself gives exactly (0, T0).
template <HasPrincipalHugoniot Model>
std::expected<HugoniotState, EosError> hugoniot_state(const Model& model,
                                                      const HugoniotOrigin& origin,
                                                      double volume) noexcept {
  using detail::HugoniotSample;
  if (auto e = check_volume(volume)) return std::unexpected(*e);
  if (volume > origin.volume) {
    return std::unexpected(EosError::invalid_state("volume", hugoniot::kAboveV0));
  }
  if (volume == origin.volume) return HugoniotState{0.0, origin.temperature};
  auto f_ref = model.reference_eos().helmholtz_energy(volume);
  if (!f_ref) return std::unexpected(f_ref.error());
  auto p_ref = model.reference_eos().pressure(volume);
  if (!p_ref) return std::unexpected(p_ref.error());
  auto isochore = model.hugoniot_isochore(volume);
  if (!isochore) return std::unexpected(isochore.error());
  constexpr bool kExact = decltype(isochore)::value_type::kExactSlope;

  const double k = 0.5 * (origin.volume - volume) * kEnergyPerPressureVolume;
  const double base = *f_ref * kEnergyPerPressureVolume - origin.energy - k * *p_ref;
  detail::HugoniotSearch search(hugoniot::kMinTemperatureFraction * origin.temperature,
                                hugoniot::kMaxTemperature);
  HugoniotSample previous{NAN, NAN};
  double t = origin.temperature;
  for (int iteration = 0; iteration < hugoniot::kMaxSteps; ++iteration) {
    auto point = isochore->at(t);
    if (!point) return std::unexpected(point.error());
    const double g = base + point->energy - k * point->thermal_pressure;
    if (!is_finite(g)) return std::unexpected(EosError::non_finite_result());
    const HugoniotState state{*p_ref + point->thermal_pressure, t};
    if (g == 0.0) return state;

    double slope = point->heat_capacity - k * point->thermal_pressure_slope;
    if (!kExact && !std::isnan(previous.temperature)) {
      slope = (g - previous.residual) / (t - previous.temperature);
    }
    const double step = -g / slope;
    const bool newton = slope > 0.0 && is_finite(step);
    if (newton && std::fabs(step) <= hugoniot::kTemperatureTolerance * t) return state;
    // Past here Newton's error is that of the step squared, so the step is
    // taken along the exact slope without another evaluation.
    if (kExact && newton && std::fabs(step) <= hugoniot::kFinalStep * t) {
      return HugoniotState{state.pressure + point->thermal_pressure_slope * step, t + step};
    }
    const std::optional<double> next = search.next(t, g, step, newton);
    if (!next) return std::unexpected(EosError::invalid_state("volume", hugoniot::kNoTemperature));
    if (std::fabs(*next - t) <= hugoniot::kTemperatureTolerance * t) return state;
    previous = HugoniotSample{t, g};
    t = *next;
  }
  return std::unexpected(EosError::convergence_failed());
}

// The pressure and the temperature on the Hugoniot from T0, the volume
// checked first; both solve the origin and the state afresh.
template <HasPrincipalHugoniot Model>
std::expected<HugoniotState, EosError> hugoniot_state_from(const Model& model, double volume,
                                                           double t0) noexcept {
  if (auto e = check_volume(volume)) return std::unexpected(*e);
  auto origin = hugoniot_origin(model, t0);
  if (!origin) return std::unexpected(origin.error());
  return hugoniot_state(model, *origin, volume);
}

template <HasPrincipalHugoniot Model>
Result hugoniot_pressure(const Model& model, double volume, double t0) noexcept {
  auto state = hugoniot_state_from(model, volume, t0);
  if (!state) return std::unexpected(state.error());
  return state->pressure;
}

template <HasPrincipalHugoniot Model>
Result hugoniot_temperature(const Model& model, double volume, double t0) noexcept {
  auto state = hugoniot_state_from(model, volume, t0);
  if (!state) return std::unexpected(state.error());
  return state->temperature;
}

}  // namespace barometra
