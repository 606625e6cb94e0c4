// Pressure as a cubic in density, rho = rho0 V0 / V:
//   P(rho) = c0 + c1 rho + c2 rho^2 + c3 rho^3,  K = rho dP/drho.
// The model is defined only where the slope dP/drho is positive; its inverse
// brackets the density by doubling and bisects in density. With S = dP/drho,
// K' = 1 + rho S' / S and K'' = (S S' + rho S S'' - rho S'^2) / S^3; the
// implied K0'' is K'' at rho0. The energy along the isotherm, with dV = -M drho/rho^2
// and M = rho0 V0, is F = -int_V0^V P dV = M int_rho0^rho P / rho^2 drho
//   = c0 (V0 - V) + M (c1 ln(V0/V) + c2 (rho - rho0) + c3 (rho^2 - rho0^2)/2);
// the path from rho0 lies on the rising branch exactly when rho does.
#pragma once

#include <array>
#include <cmath>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"

namespace barometra {

class DensityPolynomial3 : public IsothermalModel<DensityPolynomial3, 6> {
 public:
  static constexpr const char* kName = "DensityPolynomial3";
  static constexpr std::array kParameterNames{"V0", "rho0", "c0", "c1", "c2", "c3"};

  // With c2 >= 0 and c3 > 0 the slope has a single positive root, so a
  // positive slope at rho0 puts the anchor on the rising branch.
  static constexpr Check check(double v0, double rho0, double c0, double c1, double c2,
                               double c3) noexcept {
    if (auto e = first_failure(require_positive_finite(v0, "V0"),
                               require_positive_finite(rho0, "rho0"), require_finite(c0, "c0"),
                               require_finite(c1, "c1"), require_finite(c2, "c2"),
                               require_positive_finite(c3, "c3"))) {
      return e;
    }
    return require(c2 >= 0.0 && slope(c1, c2, c3, rho0) > 0.0, "density polynomial",
                   "requires c2>=0 and a stable density anchor");
  }
  using IsothermalModel::IsothermalModel;

  Result pressure(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double rho = density(volume);
    if (auto e = check_density(rho)) return std::unexpected(*e);
    return finite_or_error(polynomial(rho));
  }
  Result bulk_modulus(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double rho = density(volume);
    if (auto e = check_density(rho)) return std::unexpected(*e);
    return finite_or_error(rho * slope(rho));
  }

  Result helmholtz_energy(double volume) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    const double rho = density(volume);
    if (auto e = check_density(rho)) return std::unexpected(*e);
    const auto [v0, rho0, c0, c1, c2, c3] = parameters();
    const double d = rho - rho0;
    return finite_or_error(c0 * (v0 - volume) + rho0 * v0 *
                                                    (c1 * std::log(v0 / volume) + c2 * d +
                                                     c3 * d * (rho + rho0) / 2.0));
  }

  Result bulk_modulus_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    const double rho = density(volume);
    return finite_or_error(1.0 + rho * slope_derivative(rho) / slope(rho));
  }
  Result bulk_modulus_second_pressure_derivative(double volume) const noexcept {
    auto k = bulk_modulus(volume);
    if (!k) return k;
    return finite_or_error(second_pressure_derivative(density(volume)));
  }
  std::optional<double> implied_k0_double_prime() const noexcept {
    return second_pressure_derivative(rho0());
  }

  // Bisection in density between the start of the rising branch and a
  // doubled upper bound; hides the default root solver.
  Result volume(double pressure) const noexcept {
    if (auto e = require_finite_state(pressure, "pressure")) return std::unexpected(*e);
    double lo = rising_branch_start();
    if (pressure <= polynomial(lo)) return std::unexpected(EosError::outside_invertible_range());
    // P rises without bound, so only overflow of the density ends the doubling.
    double hi = rho0();
    while (polynomial(hi) < pressure) {
      hi *= 2.0;
      if (!is_finite(hi)) return std::unexpected(EosError::bracketing_failed());
    }
    for (int i = 0; i < kMaxBisections; ++i) {
      const double width = hi - lo;
      const double mid = lo + width / 2.0;
      if (width <= mid * kDensityTolerance) return volume_at(mid);
      if (polynomial(mid) < pressure) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    return std::unexpected(EosError::convergence_failed());
  }

  // V0 is not a parameter of the polynomial: the coefficients assume rho0 at V0.
  std::expected<DensityPolynomial3, EosError> with_reference_state(double,
                                                                   double) const noexcept {
    return std::unexpected(EosError::invalid_parameter(
        "rt_eos", "density polynomial does not support shifting its reference state"));
  }

 private:
  static constexpr int kMaxBisections = 256;
  static constexpr double kDensityTolerance = 3.552713678800501e-15;  // 2^-48, relative

  static constexpr double slope(double c1, double c2, double c3, double rho) noexcept {
    return c1 + rho * (2.0 * c2 + 3.0 * c3 * rho);
  }
  double rho0() const noexcept { return parameters()[1]; }
  double slope(double rho) const noexcept {
    const auto [v0, rho0, c0, c1, c2, c3] = parameters();
    return slope(c1, c2, c3, rho);
  }
  double slope_derivative(double rho) const noexcept {
    const auto [v0, rho0, c0, c1, c2, c3] = parameters();
    return 2.0 * c2 + 6.0 * c3 * rho;
  }
  double second_pressure_derivative(double rho) const noexcept {
    const double s = slope(rho), s1 = slope_derivative(rho), s2 = 6.0 * parameters()[5];
    return (s * s1 + rho * s * s2 - rho * s1 * s1) / (s * s * s);
  }
  double polynomial(double rho) const noexcept {
    const auto [v0, rho0, c0, c1, c2, c3] = parameters();
    return rho * (c1 + rho * (c2 + rho * c3)) + c0;
  }
  double density(double volume) const noexcept { return rho0() * v0() / volume; }
  // An extreme density can overflow the volume or underflow it to zero; a
  // zero volume is no answer either, so both are non-finite results.
  Result volume_at(double rho) const noexcept {
    const double v = rho0() * v0() / rho;
    if (!is_positive_finite(v)) return std::unexpected(EosError::non_finite_result());
    return v;
  }

  // The slope check comes first, so a density past the curve's minimum reads
  // as outside the invertible range rather than as an overflow.
  Check check_density(double rho) const noexcept {
    if (slope(rho) <= 0.0) return EosError::outside_invertible_range();
    if (!is_finite(rho)) return EosError::non_finite_result();
    return std::nullopt;
  }

  // The positive root of the slope when c1 < 0, in the form that avoids
  // cancellation; below it the curve falls.
  double rising_branch_start() const noexcept {
    const auto [v0, rho0, c0, c1, c2, c3] = parameters();
    if (c1 >= 0.0) return 0.0;
    return -2.0 * c1 / (2.0 * c2 + std::sqrt(4.0 * c2 * c2 - 12.0 * c1 * c3));
  }
};

}  // namespace barometra
