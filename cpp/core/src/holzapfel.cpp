#include "barometra/isothermal/holzapfel.hpp"

#include <cmath>

namespace barometra {

// With K = -K0 E S / y^3, E = exp(c0 (1 - y)) and S the bracket below,
// dK/dP = (dK/dy) / (dP/dy) and dP/dy = -3 K / y.
Result holzapfel_bulk_modulus_derivative_analytical(double v0, double volume, double kt,
                                                    double k0, double c0, double c2) noexcept {
  if (auto e = first_failure(require_positive_finite(v0, "V0"),
                             require_positive_finite_state(volume, "volume"),
                             require_finite(kt, "KT"), require_positive_finite(k0, "K0"),
                             require_finite(c0, "c0"), require_finite(c2, "c2"))) {
    return std::unexpected(*e);
  }
  const double y = std::cbrt(volume / v0);
  const double y2 = y * y, y3 = y2 * y;
  const double h = 1.0 + c2 * y - c2 * y2;
  const double h1 = c2 - 2.0 * c2 * y;  // dh/dy
  const double u = 1.0 / y - 1.0;
  const double w = 4.0 / y - 5.0 / y2;
  const double s = u * h1 + w * h - c0 * u * h;
  const double s1 = c0 * h / y2 + (10.0 / y3 - 4.0 / y2) * h + h1 * w - c0 * u * h1 - h1 / y2 -
                    2.0 * c2 * u;  // dS/dy
  const double e = std::exp(c0 * (1.0 - y));
  const double dk_dy =
      3.0 * k0 * e * s / (y3 * y) + c0 * k0 * e * s / y3 - k0 * e * s1 / y3;
  return finite_or_error(dk_dy / (-kt / y) / 3.0);
}

}  // namespace barometra
