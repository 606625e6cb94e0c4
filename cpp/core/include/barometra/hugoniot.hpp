// Shock Hugoniot with a shock velocity linear in the particle velocity,
// Us = c0 + s up, the empirical fit of McQueen et al. (1970). With the
// compression eta = 1 - V/V0 and D = 1 - s eta, the Rankine-Hugoniot jump
// conditions give
//   Us = c0 / D,  up = eta Us,  P = P0 + rho0 Us up = P0 + rho0 c0^2 eta / D^2,
//   E - E0 = (P + P0) / 2 (1/rho0 - 1/rho)  per unit mass, rho = rho0 V0 / V.
// No units are converted: pressures come out in the unit of rho0 c0^2.
#pragma once

#include <array>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <expected>
#include <string_view>
#include <type_traits>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra {

// What every Hugoniot gives as a function of volume on its compression branch.
template <class H>
concept Hugoniot = requires(const H& h, double volume) {
  { h.shock_velocity(volume) } -> std::same_as<Result>;
  { h.particle_velocity(volume) } -> std::same_as<Result>;
  { h.pressure(volume) } -> std::same_as<Result>;
  { h.density(volume) } -> std::same_as<Result>;
  { h.tangent_modulus(volume) } -> std::same_as<Result>;
  { h.specific_internal_energy_change(volume) } -> std::same_as<Result>;
};

class LinearUsUpHugoniot {
 public:
  static std::expected<LinearUsUpHugoniot, EosError> create(double v0, double rho0, double c0,
                                                            double s, double p0) noexcept {
    return checked<LinearUsUpHugoniot>(
        first_failure(require_positive_finite(v0, "V0"), require_positive_finite(rho0, "rho0"),
                      require_positive_finite(c0, "c0"), require_positive_finite(s, "s"),
                      require_finite(p0, "P0")),
        [&] { return LinearUsUpHugoniot(v0, rho0, c0, s, p0); });
  }

  double v0() const noexcept { return v0_; }
  double rho0() const noexcept { return rho0_; }
  double c0() const noexcept { return c0_; }
  double s() const noexcept { return s_; }
  double p0() const noexcept { return p0_; }

  Result shock_velocity(double volume) const noexcept {
    auto d = denominator(volume);
    if (!d) return d;
    return finite_or_error(c0_ / *d);
  }
  Result particle_velocity(double volume) const noexcept {
    auto d = denominator(volume);
    if (!d) return d;
    return finite_or_error(eta(volume) * c0_ / *d);
  }
  Result pressure(double volume) const noexcept {
    auto d = denominator(volume);
    if (!d) return d;
    return finite_or_error(pressure_at(eta(volume), *d));
  }
  Result density(double volume) const noexcept {
    if (auto e = check_compression(volume)) return std::unexpected(*e);
    if (s_ * eta(volume) >= 1.0) return outside();
    return finite_or_error(v0_ * rho0_ / volume);
  }
  // -V dP/dV along the Hugoniot.
  Result tangent_modulus(double volume) const noexcept {
    auto d = denominator(volume);
    if (!d) return d;
    const double x = eta(volume), d3 = *d * *d * *d;
    return finite_or_error((1.0 + s_ * x) * c0_ * ((1.0 - x) * rho0_ * c0_) / d3);
  }
  // E - E0 per unit mass.
  Result specific_internal_energy_change(double volume) const noexcept {
    if (auto e = check_compression(volume)) return std::unexpected(*e);
    const double x = eta(volume);
    if (s_ * x >= 1.0) return outside();
    const Result rho = finite_or_error(v0_ * rho0_ / volume);
    if (!rho) return rho;
    const double d = 1.0 - s_ * x;
    if (d <= 0.0) return outside();
    const Result p = finite_or_error(pressure_at(x, d));
    if (!p) return p;
    return finite_or_error((1.0 / rho0_ - 1.0 / *rho) * ((p0_ + *p) / 2.0));
  }

  // The inverses, from a particle velocity up >= 0.
  Result shock_velocity_from_particle_velocity(double up) const noexcept {
    if (auto e = check_particle_velocity(up)) return std::unexpected(*e);
    return finite_or_error(c0_ + s_ * up);
  }
  Result volume_from_particle_velocity(double up) const noexcept {
    auto us = shock_velocity_from_particle_velocity(up);
    if (!us) return us;
    // For s < 1, up / Us passes 1 at large up: no volume is left.
    const double v = (1.0 - up / *us) * v0_;
    if (!is_positive_finite(v)) return outside();
    return v;
  }
  Result pressure_from_particle_velocity(double up) const noexcept {
    auto us = shock_velocity_from_particle_velocity(up);
    if (!us) return us;
    return finite_or_error(p0_ + up * (*us * rho0_));
  }

  // Volume from pressure: eta is the root of x (1 - s eta)^2 = eta on the
  // physical branch, x = (P - P0) / (rho0 c0^2), written free of cancellation.
  Result volume_from_pressure(double pressure) const noexcept {
    if (auto e = require_finite(pressure, "pressure")) return std::unexpected(*e);
    if (pressure < p0_) return outside();
    const double x = (pressure - p0_) / (c0_ * (rho0_ * c0_));
    double compression = 0.0;
    if (x != 0.0) {
      const double sum = 1.0 + 2.0 * s_ * x + std::sqrt(1.0 + 4.0 * s_ * x);
      // A finite x whose sum overflows would give eta = 0, that is V0, for an
      // enormous pressure; divided through by x the terms stay in range. An
      // infinite x keeps the plain form, whose NaN is refused below.
      compression = sum < HUGE_VAL || x == HUGE_VAL
                        ? 2.0 * x / sum
                        : 2.0 / (1.0 / x + 2.0 * s_ + std::sqrt(1.0 / x / x + 4.0 * s_ / x));
    }
    const double v = v0_ * (1.0 - compression);
    if (!is_positive_finite(v)) return outside();
    if (compression * s_ >= 1.0) return outside();
    return v;
  }

 private:
  LinearUsUpHugoniot(double v0, double rho0, double c0, double s, double p0) noexcept
      : v0_(v0), rho0_(rho0), c0_(c0), s_(s), p0_(p0) {}

  static Result outside() noexcept {
    return std::unexpected(EosError::outside_invertible_range());
  }

  double eta(double volume) const noexcept { return 1.0 - volume / v0_; }

  Check check_compression(double volume) const noexcept {
    if (auto e = require_positive_finite_state(volume, "volume")) return e;
    if (volume > v0_) {
      return EosError::invalid_state("volume", "must not exceed V0 on a compression Hugoniot");
    }
    return std::nullopt;
  }

  Check check_particle_velocity(double up) const noexcept {
    // Non-finite is an invalid parameter, negative an invalid state.
    if (auto e = require_finite(up, "particle_velocity")) return e;
    if (up < 0.0) return EosError::invalid_state("particle_velocity", "must be non-negative");
    return std::nullopt;
  }

  // D = 1 - s eta after the volume checks; D <= 0 lies beyond V0 (1 - 1/s).
  Result denominator(double volume) const noexcept {
    if (auto e = check_compression(volume)) return std::unexpected(*e);
    const double d = 1.0 - s_ * eta(volume);
    if (d <= 0.0) return outside();
    return d;
  }

  double pressure_at(double compression, double d) const noexcept {
    return p0_ + compression * (c0_ * (rho0_ * c0_)) / (d * d);
  }

  double v0_, rho0_, c0_, s_, p0_;
};

static_assert(Hugoniot<LinearUsUpHugoniot>);

// The quantities reachable by name, with the operation that gives each.
struct HugoniotQuantity {
  std::string_view name;
  Result (LinearUsUpHugoniot::*operation)(double) const noexcept;
};

inline constexpr std::array<HugoniotQuantity, 10> kHugoniotQuantities{{
    {"volume", &LinearUsUpHugoniot::volume_from_pressure},
    {"density", &LinearUsUpHugoniot::density},
    {"pressure", &LinearUsUpHugoniot::pressure},
    {"shock_velocity", &LinearUsUpHugoniot::shock_velocity},
    {"tangent_modulus", &LinearUsUpHugoniot::tangent_modulus},
    {"particle_velocity", &LinearUsUpHugoniot::particle_velocity},
    {"volume_from_particle_velocity", &LinearUsUpHugoniot::volume_from_particle_velocity},
    {"specific_internal_energy_change", &LinearUsUpHugoniot::specific_internal_energy_change},
    {"pressure_from_particle_velocity", &LinearUsUpHugoniot::pressure_from_particle_velocity},
    {"shock_velocity_from_particle_velocity",
     &LinearUsUpHugoniot::shock_velocity_from_particle_velocity},
}};

// The index of a quantity in kHugoniotQuantities. Names match exactly and
// case-sensitively; string_view equality compares the lengths first.
constexpr std::expected<std::size_t, EosError> hugoniot_quantity_index(
    std::string_view name) noexcept {
  for (std::size_t i = 0; i < kHugoniotQuantities.size(); ++i) {
    if (name == kHugoniotQuantities[i].name) return i;
  }
  return std::unexpected(EosError::invalid_state("quantity", "unknown shock Hugoniot quantity"));
}

// Calls visit(std::integral_constant<std::size_t, index>{}), so that a loop
// over many values can dispatch once rather than per value.
template <std::size_t I = 0, class Visit>
decltype(auto) visit_hugoniot_quantity(std::size_t index, Visit&& visit) {
  if constexpr (I + 1 < kHugoniotQuantities.size()) {
    if (index != I) return visit_hugoniot_quantity<I + 1>(index, std::forward<Visit>(visit));
  }
  return std::forward<Visit>(visit)(std::integral_constant<std::size_t, I>{});
}

}  // namespace barometra
