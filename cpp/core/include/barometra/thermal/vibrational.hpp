// Functions of lattice vibrations shared by the thermal models:
//   Einstein energy      E = 3 n R theta / (exp(theta/T) - 1)
//   Debye function       D3(x) = (3 / x^3) int_0^x t^3 / (e^t - 1) dt (debye_function.hpp)
//   Bose-type mode       E = theta (d-1)/(2d)
//                            + [theta T d / (theta + T d)] / [(1 + theta/(T d))^d - 1]
//   Einstein with zero point, E = theta/2 + theta / (exp(theta/T) - 1)
//   the Grueneisen integrand gamma(x)/x of Sokolova et al. (2016).
// Energies per mode are in kelvin; einstein_energy is in J/mol. The closed forms
// use expm1/log1p so that small theta/T loses no precision.
#pragma once

#include <cmath>
#include <expected>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/thermal/debye_function.hpp"

namespace barometra {

inline constexpr double kGasConstant = 8.31446261815324;  // J/(mol K)

namespace detail {

// The four energy functions check their temperature and nothing else.
inline Check check_mode_temperature(double temperature) noexcept {
  return require_positive_finite_state(temperature, "temperature");
}

}  // namespace detail

inline Result einstein_energy(double theta, double n, double temperature) noexcept {
  if (auto e = detail::check_mode_temperature(temperature)) return std::unexpected(*e);
  const double x = -theta / temperature;
  return finite_or_error(theta * (-3.0 * n * kGasConstant) * std::exp(x) / std::expm1(x));
}

inline Result bose_mode_energy(double theta, double temperature, double d) noexcept {
  if (auto e = detail::check_mode_temperature(temperature)) return std::unexpected(*e);
  // exp(y) = (1 + theta/(T d))^(-d), formed through log1p and expm1.
  const double y = -d * std::log1p(theta / (temperature * d));
  const double td = temperature * d;
  return finite_or_error(theta * (d - 1.0) / (2.0 * d) -
                         (theta * temperature * d) * (std::exp(y) / std::expm1(y)) / (theta + td));
}

inline Result sokolova_einstein_energy(double theta, double temperature) noexcept {
  if (auto e = detail::check_mode_temperature(temperature)) return std::unexpected(*e);
  const double y = -theta / temperature;
  return finite_or_error(0.5 * theta - theta * std::exp(y) / std::expm1(y));
}

namespace detail {
// gamma(x) of Sokolova et al. (2016) from the reference EOS's P, K and K' at
// x V0, with w = t - beta cbrt(x).
inline double sokolova_gruneisen(double w, double p, double k, double k_prime,
                                 double delta) noexcept {
  return delta + (9.0 * k * k_prime + (2.0 * p * w - 3.0 * k) - 6.0 * k * w) /
                     (6.0 * (3.0 * k - 2.0 * p * w));
}
}  // namespace detail

// x = V/V0; p, k and k_prime are the reference EOS's P, K and K' at that volume.
inline Result sokolova_gruneisen_integrand(double x, double p, double k, double k_prime,
                                           double delta, double t, double beta) noexcept {
  const double w = t - beta * std::cbrt(x);
  return finite_or_error(detail::sokolova_gruneisen(w, p, k, k_prime, delta) / x);
}

}  // namespace barometra
