// The volume law of Al'tshuler et al. (1987) shared by the Dewaele (2006) and
// Dorogokupets-Oganov (2007) models, with x = V/V0:
//   gamma(V) = gamma_inf + (gamma0 - gamma_inf) x^beta,
//   theta(V) = theta x^(-gamma_inf) exp(((gamma0 - gamma_inf) / beta) (1 - x^beta)),
// the integral of gamma dlnV, so that theta(V0) = theta.
#pragma once

#include <cmath>

namespace barometra::detail {

struct AltshulerLaw {
  double gamma0, gamma_inf, beta;

  double gruneisen(double x) const noexcept {
    return gamma_inf + (gamma0 - gamma_inf) * std::pow(x, beta);
  }

  // theta(V) / theta, the same for every oscillator.
  double theta_factor(double x) const noexcept {
    return std::pow(x, -gamma_inf) *
           std::exp(((gamma0 - gamma_inf) / beta) * (1.0 - std::pow(x, beta)));
  }
};

}  // namespace barometra::detail
