// Holzapfel's AP2 isothermal model (Holzapfel 1996, 2001), y = cbrt(V/V0):
//   P = 3 K0 exp(c0 (1 - y)) (1/y^5 - 1/y^4) (1 + c2 y - c2 y^2),
//   c0 = -ln(3 K0 / P_FG0), c2 = 1.5 (K0' - 3) - c0,
// where P_FG0 = 1003.6 (n Z / (10 V0))^(5/3) is the Fermi-gas pressure at V0,
// which makes the high-compression limit that of a free electron gas.
// K' and K'' differentiate the bulk modulus formula (log_volume_jet.hpp); the
// implied K0'' = K''(V0) = -(c0^2 + 2 c0 c2 + 12 c0 + 4 c2^2 + 18 c2 + 20) / (9 K0),
// from K'' = (K d2K/ds2 - (dK/ds)^2) / K^3 at V0, s = ln V.
#pragma once

#include <array>
#include <cmath>
#include <optional>

#include "barometra/checks.hpp"
#include "barometra/isothermal/contract.hpp"
#include "barometra/simd/math.hpp"

namespace barometra {

class Holzapfel : public FormulaModel<Holzapfel, 5> {
 public:
  static constexpr const char* kName = "Holzapfel";
  static constexpr std::array kParameterNames{"V0", "K0", "K0_prime", "n", "Z"};

  // c0 and c2 hold the logarithm and the power, so evaluations need neither.
  explicit Holzapfel(const Checked& checked) noexcept
      : FormulaModel(checked),
        c0_(-std::log(3.0 * k0() / fermi_gas_pressure())),
        c2_(1.5 * (k0_prime() - 3.0) - c0_) {}

  double c0() const noexcept { return c0_; }
  double c2() const noexcept { return c2_; }

  std::optional<double> implied_k0_double_prime() const noexcept {
    return -(c0_ * c0_ + 2.0 * c0_ * c2_ + 12.0 * c0_ + 4.0 * c2_ * c2_ + 18.0 * c2_ + 20.0) /
           (9.0 * k0());
  }

  template <class V>
  V pressure_formula(V volume) const noexcept {
    const V y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    const V y2 = y * y, y4 = y2 * y2;
    const V e = simd::exp(c0_ * (1.0 - y));
    return 3.0 * k0() * e * (1.0 / (y4 * y) - 1.0 / y4) * (1.0 + c2_ * y - c2_ * y2);
  }
  template <class V>
  V bulk_modulus_formula(V volume) const noexcept {
    const V y = simd::cbrt<simd::CbrtDomain::Nonnegative>(volume / v0());
    const V y2 = y * y;
    const V e = simd::exp(c0_ * (1.0 - y));
    const V h = 1.0 + (1.0 - y) * c2_ * y;
    return k0() * e / (y2 * y2 * y) *
           ((5.0 - 4.0 * y) * h + (1.0 - y) * c0_ * y * h - (1.0 - y) * (c2_ * y - 2.0 * c2_ * y2));
  }

  // dK/dP by a central difference in volume with relative step eps. Unlike the
  // default bulk_modulus_derivative, a bad step is a bad parameter ("eps") and
  // a zero pressure difference is caught only as a non-finite quotient.
  Result bulk_modulus_derivative_eps(double volume, double eps) const noexcept {
    if (auto e = check_volume(volume)) return std::unexpected(*e);
    if (auto e = require_positive_finite(eps, "eps")) return std::unexpected(*e);
    if (eps >= 1.0) {
      return std::unexpected(EosError::invalid_parameter("eps", "must be smaller than one"));
    }
    // bulk_modulus checks each shifted volume as a state and its value as finite.
    const double v_plus = volume * (1.0 + eps);
    auto k_plus = bulk_modulus(v_plus);
    if (!k_plus) return k_plus;
    const double v_minus = volume * (1.0 - eps);
    auto k_minus = bulk_modulus(v_minus);
    if (!k_minus) return k_minus;
    auto p_plus = pressure(v_plus);
    if (!p_plus) return p_plus;
    auto p_minus = pressure(v_minus);
    if (!p_minus) return p_minus;
    return finite_or_error((*k_plus - *k_minus) / (*p_plus - *p_minus));
  }

 private:
  static constexpr double kFermiGasCoefficient = 1003.6;
  static constexpr double kFiveThirds = 1.6666666666666667;

  double fermi_gas_pressure() const noexcept {
    const auto [v0, k0, k0_prime, n, z] = parameters();
    return kFermiGasCoefficient * std::pow(n * z / (10.0 * v0), kFiveThirds);
  }

  double c0_, c2_;
};

// The closed-form dK/dP of the AP2 form at `volume`, for a model with the given
// V0, K0, c0 and c2; kt is the bulk modulus there, supplied by the caller.
Result holzapfel_bulk_modulus_derivative_analytical(double v0, double volume, double kt,
                                                    double k0, double c0, double c2) noexcept;

}  // namespace barometra
