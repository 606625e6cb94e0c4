// Functions of lattice vibrations shared by the thermal models:
//   Einstein energy      E = 3 n R theta / (exp(theta/T) - 1)
//   Debye function       D3(x) = (3 / x^3) int_0^x t^3 / (e^t - 1) dt
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
#include "barometra/quadrature.hpp"

namespace barometra {

inline constexpr double kGasConstant = 8.31446261815324;  // J/(mol K)
inline constexpr double kPiFourth = 97.40909103400242;

namespace detail {

// The four energy functions check their temperature and nothing else.
inline Check check_mode_temperature(double temperature) noexcept {
  return require_positive_finite_state(temperature, "temperature");
}

// t^3 / (e^t - 1), with its limit 0 at t = 0.
inline Result debye_integrand(double t) noexcept {
  if (std::fabs(t) < kMachineEpsilon) return 0.0;
  return t * t * t / std::expm1(t);
}

// Series and asymptote of D3 are used strictly outside [0.001, 150].
inline constexpr double kDebyeSeriesLimit = 0.001;
inline constexpr double kDebyeAsymptoteLimit = 150.0;  // the tail beyond is below 1e-58

}  // namespace detail

inline Result einstein_energy(double theta, double n, double temperature) noexcept {
  if (auto e = detail::check_mode_temperature(temperature)) return std::unexpected(*e);
  const double x = -theta / temperature;
  return finite_or_error(theta * (-3.0 * n * kGasConstant) * std::exp(x) / std::expm1(x));
}

inline Result debye_function_3(double x) noexcept {
  if (!is_positive_finite(x)) {
    return std::unexpected(
        EosError::invalid_state("Debye-function argument", kMustBePositiveFinite));
  }
  const double x2 = x * x;
  if (x < detail::kDebyeSeriesLimit) {
    return (x2 / 20.0) + (1.0 + (-3.0 * x) * 0.125) + (x2 * x2) / (-1680.0);
  }
  if (x > detail::kDebyeAsymptoteLimit) return kPiFourth / (x * x2 * 5.0);
  // A closure rather than the function itself, so the integrand is called
  // directly and inlined, not through a function pointer.
  auto integral = integrate([](double t) noexcept { return detail::debye_integrand(t); }, 0.0, x);
  if (!integral) return integral;
  return finite_or_error(3.0 * *integral / (x * x2));
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
