// Mie-Grueneisen-Debye model whose Grueneisen parameter tends to
// gamma0 (1 - a) on strong compression (the form of Al'tshuler et al. 1987):
//   gamma(V) = gamma0 (1 + a (x^b - 1)),  x = V/V0,  0 <= a <= 1,
//   theta(V) = theta0 exp(-gamma0 ((1 - a) ln x + a (x^b - 1) / b)),
//   Pth = gamma(V) [E(V, T) - E(V, Tr)] / V,  E = 3nR T D3(theta/T).
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <expected>
#include <utility>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"
#include "barometra/thermal/mie_gruneisen.hpp"

namespace barometra {

template <class R>
class AsymptoticPowerLawMieGruneisenDebye
    : public detail::DebyeGruneisenModel<AsymptoticPowerLawMieGruneisenDebye<R>> {
 public:
  static constexpr const char* kName = "AsymptoticPowerLawMieGruneisenDebye";
  static constexpr std::array<const char*, 6> kParameterNames{"Tr", "theta0", "gamma0",
                                                              "a",  "b",      "n"};

  // a is checked before Tr.
  static std::expected<AsymptoticPowerLawMieGruneisenDebye, EosError> create(
      R reference_eos, double tr, double theta0, double gamma0, double a, double b,
      double n) noexcept {
    return checked<AsymptoticPowerLawMieGruneisenDebye>(
        first_failure(require_finite(a, "a"),
                      require(a >= 0.0 && a <= 1.0, "a", "must lie between zero and one"),
                      require_positive_finite(tr, "Tr"), require_positive_finite(theta0, "theta0"),
                      require_finite(gamma0, "gamma0"), require_finite(b, "b"),
                      require_positive_finite(n, "n")),
        [&] {
          return AsymptoticPowerLawMieGruneisenDebye(std::move(reference_eos), tr, theta0, gamma0,
                                                     a, b, n);
        });
  }

  const R& reference_eos() const noexcept { return reference_eos_; }
  double tr() const noexcept { return tr_; }
  double theta0() const noexcept { return theta0_; }
  double gamma0() const noexcept { return gamma0_; }
  double a() const noexcept { return a_; }
  double b() const noexcept { return b_; }
  double n() const noexcept { return n_; }
  std::array<double, 6> parameters() const noexcept { return {tr_, theta0_, gamma0_, a_, b_, n_}; }

 private:
  friend class detail::DebyeGruneisenModel<AsymptoticPowerLawMieGruneisenDebye>;

  AsymptoticPowerLawMieGruneisenDebye(R reference_eos, double tr, double theta0, double gamma0,
                                      double a, double b, double n) noexcept
      : reference_eos_(std::move(reference_eos)),
        tr_(tr),
        theta0_(theta0),
        gamma0_(gamma0),
        a_(a),
        b_(b),
        n_(n) {}

  Result gamma_at(double volume) const noexcept {
    const double x = volume / reference_eos_.v0();
    return finite_or_error(gamma0_ * (a_ * (std::pow(x, b_) - 1.0) + 1.0));
  }

  Result theta_at(double volume) const noexcept {
    const double lx = std::log(volume / reference_eos_.v0());
    const double log_ratio = b_ == 0.0
                                 ? -gamma0_ * lx
                                 : -gamma0_ * ((1.0 - a_) * lx + a_ * std::expm1(b_ * lx) / b_);
    return finite_or_error(theta0_ * std::exp(log_ratio));
  }

  R reference_eos_;
  double tr_, theta0_, gamma0_, a_, b_, n_;
};

}  // namespace barometra
