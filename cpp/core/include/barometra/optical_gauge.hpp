// Pressure from the shift of a spectral line, y, from its ambient position y0
// (the ruby R1 and Sm:SrB4O7 luminescence lines, the diamond Raman edge):
//   power law   P = (A/B) [(y/y0)^B - 1]                        Mao et al. (1986)
//   quadratic   P = A x (1 + B x),           x = (y - y0)/y0    Shen et al. (2020)
//   rational    P = A d (1 + B d)/(1 + C d), d = y - y0         Datchi et al. (1997)
//   Raman edge  P = K0 x [1 + (K0' - 1) x/2], x = (y - y0)/y0   Akahama & Kawamura (2006)
// Each gives P, its slopes in y, y0 and the constants (the first-order
// propagation of their uncertainties), and y at a given P, in closed form.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>

#include "barometra/checks.hpp"
#include "barometra/error.hpp"

namespace barometra {

enum class GaugeForm : std::uint8_t { PowerLaw, Quadratic, Rational, RamanEdge };

inline constexpr std::size_t kMaxGaugeConstants = 3;

// The pressure and its first derivatives at one line position.
struct GaugeSlopes {
  double pressure = 0.0;
  double d_position = 0.0;   // dP/dy
  double d_reference = 0.0;  // dP/dy0
  std::array<double, kMaxGaugeConstants> d_constants{};  // dP/dc_i; zero past the form's count
};

class OpticalGauge {
 public:
  // The constants in the order of the formulas above: A, B (and C), or K0, K0'.
  static std::expected<OpticalGauge, EosError> create(
      GaugeForm form, std::span<const double> constants) noexcept {
    if (constants.size() != constant_count(form)) {
      return std::unexpected(EosError::invalid_parameter("constants", kWrongCount));
    }
    std::array<double, kMaxGaugeConstants> c{};
    for (std::size_t i = 0; i < constants.size(); ++i) c[i] = constants[i];
    Check failure;
    if (form == GaugeForm::RamanEdge) {
      failure = first_failure(require_positive_finite(c[0], "K0"),
                              require_finite(c[1], "K0_prime"));
    } else {
      failure = first_failure(
          require_positive_finite(c[0], "A"), require_finite(c[1], "B"),
          require(form != GaugeForm::PowerLaw || c[1] != 0.0, "B", "must not be zero"),
          require_finite(c[2], "C"));
    }
    return checked<OpticalGauge>(failure, [&] { return OpticalGauge(form, c); });
  }

  static constexpr std::size_t constant_count(GaugeForm form) noexcept {
    return form == GaugeForm::Rational ? 3 : 2;
  }

  GaugeForm form() const noexcept { return form_; }
  std::span<const double> constants() const noexcept {
    return std::span(constants_).first(constant_count(form_));
  }

  Result pressure(double position, double reference) const noexcept {
    auto slopes = pressure_slopes(position, reference);
    if (!slopes) return std::unexpected(slopes.error());
    return slopes->pressure;
  }

  std::expected<GaugeSlopes, EosError> pressure_slopes(double position,
                                                       double reference) const noexcept {
    if (auto e = check_positions(position, reference)) return std::unexpected(*e);
    const double a = constants_[0], b = constants_[1], c = constants_[2];
    GaugeSlopes s;
    switch (form_) {
      case GaugeForm::PowerLaw: {
        const double r = position / reference, rb = std::pow(r, b);
        s.pressure = a / b * (rb - 1.0);
        s.d_position = a * rb / position;
        s.d_reference = -s.d_position * r;
        s.d_constants = {(rb - 1.0) / b, a / b * (rb * std::log(r) - (rb - 1.0) / b), 0.0};
        break;
      }
      case GaugeForm::Quadratic:
      case GaugeForm::RamanEdge: {
        const double x = (position - reference) / reference;
        const double bq = quadratic_b();
        s.pressure = a * x * (1.0 + bq * x);
        const double d_x = a * (1.0 + 2.0 * bq * x);
        s.d_position = d_x / reference;
        s.d_reference = -d_x * position / (reference * reference);
        // dP/dK0' = dP/dB / 2 in the Raman-edge form.
        const double d_b = a * x * x;
        s.d_constants = {x * (1.0 + bq * x), form_ == GaugeForm::RamanEdge ? d_b / 2.0 : d_b,
                         0.0};
        break;
      }
      case GaugeForm::Rational: {
        const double d = position - reference, den = 1.0 + c * d, num = d * (1.0 + b * d);
        s.pressure = a * num / den;
        s.d_position = a * (1.0 + d * (2.0 * b + b * c * d)) / (den * den);
        s.d_reference = -s.d_position;
        s.d_constants = {num / den, a * d * d / den, -s.pressure * d / den};
        break;
      }
    }
    for (const double value : {s.pressure, s.d_position, s.d_reference, s.d_constants[0],
                               s.d_constants[1], s.d_constants[2]}) {
      if (!is_finite(value)) return std::unexpected(EosError::non_finite_result());
    }
    return s;
  }

  // The line position at which the gauge reads `pressure`: the root that
  // joins y0 at P = 0. A pressure that no position reaches (a tension beyond
  // the formula's turning point) is OutsideInvertibleRange.
  Result position(double pressure, double reference) const noexcept {
    if (auto e = require_finite_state(pressure, "pressure")) return std::unexpected(*e);
    if (auto e = require_positive_finite_state(reference, reference_field())) {
      return std::unexpected(*e);
    }
    const double a = constants_[0], b = constants_[1], c = constants_[2];
    double y = 0.0;
    switch (form_) {
      case GaugeForm::PowerLaw: {
        const double base = 1.0 + b * pressure / a;
        if (!(base > 0.0)) return outside();
        y = reference * std::pow(base, 1.0 / b);
        break;
      }
      case GaugeForm::Quadratic:
      case GaugeForm::RamanEdge: {
        // a B x^2 + a x - P = 0, the root that vanishes with P, in the form
        // that loses no digits when B P is small.
        const double disc = 1.0 + 4.0 * quadratic_b() * pressure / a;
        if (!(disc >= 0.0)) return outside();
        y = reference * (1.0 + 2.0 * pressure / a / (1.0 + std::sqrt(disc)));
        break;
      }
      case GaugeForm::Rational: {
        // a B d^2 + (a - C P) d - P = 0.
        const double lin = a - c * pressure, disc = lin * lin + 4.0 * a * b * pressure;
        if (!(disc >= 0.0)) return outside();
        const double root = std::sqrt(disc);
        y = reference + (lin >= 0.0 ? 2.0 * pressure / (lin + root) : (root - lin) / (2.0 * a * b));
        break;
      }
    }
    if (!is_finite(y)) return std::unexpected(EosError::non_finite_result());
    if (!(y > 0.0)) return outside();
    return y;
  }

 private:
  static constexpr const char* kWrongCount = "wrong number of constants for the gauge's form";

  OpticalGauge(GaugeForm form, const std::array<double, kMaxGaugeConstants>& constants) noexcept
      : form_(form), constants_(constants) {}

  // The Raman edge is the quadratic form with B = (K0' - 1)/2.
  double quadratic_b() const noexcept {
    return form_ == GaugeForm::RamanEdge ? (constants_[1] - 1.0) / 2.0 : constants_[1];
  }
  const char* position_field() const noexcept {
    return form_ == GaugeForm::RamanEdge ? "wavenumber" : "wavelength";
  }
  const char* reference_field() const noexcept {
    return form_ == GaugeForm::RamanEdge ? "reference_wavenumber" : "reference_wavelength";
  }
  Check check_positions(double position, double reference) const noexcept {
    return first_failure(require_positive_finite_state(position, position_field()),
                         require_positive_finite_state(reference, reference_field()));
  }
  static Result outside() noexcept {
    return std::unexpected(EosError::outside_invertible_range());
  }

  GaugeForm form_;
  std::array<double, kMaxGaugeConstants> constants_;
};

}  // namespace barometra
