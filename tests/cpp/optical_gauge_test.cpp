// The optical gauges: each form's slopes against finite differences, the
// inverse against the forward formula, the Raman edge against the quadratic
// form it reduces to, and the checks in order.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <vector>

#include "barometra/optical_gauge.hpp"
#include "test_support.hpp"

namespace barometra {
namespace {

using test_support::derivative;
using test_support::kNaN;
using test_support::ok;

struct Case {
  GaugeForm form;
  std::vector<double> constants;
  double reference;
};

// Published constants (ruby, Sm:SrB4O7, diamond), and a negative B.
const std::array<Case, 5> kCases{{
    {GaugeForm::PowerLaw, {1904.0, 7.665}, 694.24},
    {GaugeForm::PowerLaw, {1870.0, -2.5}, 694.24},
    {GaugeForm::Quadratic, {1870.0, 5.63}, 694.25},
    {GaugeForm::Rational, {4.032, 9.29e-3, 2.32e-2}, 685.41},
    {GaugeForm::RamanEdge, {547.0, 3.75}, 1334.0},
}};

class GaugeForms : public testing::TestWithParam<Case> {
 protected:
  OpticalGauge gauge() const {
    return OpticalGauge::create(GetParam().form, GetParam().constants).value();
  }
};

TEST_P(GaugeForms, SlopesMatchFiniteDifferences) {
  const Case& c = GetParam();
  const OpticalGauge g = gauge();
  for (const double shift : {-0.01, 0.0, 0.02, 0.08}) {
    const double y0 = c.reference, y = y0 * (1.0 + shift);
    const GaugeSlopes s = ok(g.pressure_slopes(y, y0));
    const double h = 1e-4 * y0, tolerance = 1e-7 * (std::fabs(s.d_position) + 1e-3);
    EXPECT_NEAR(s.d_position, derivative([&](double x) { return ok(g.pressure(x, y0)); }, y, h),
                tolerance);
    EXPECT_NEAR(s.d_reference, derivative([&](double x) { return ok(g.pressure(y, x)); }, y0, h),
                tolerance);
    for (std::size_t i = 0; i < c.constants.size(); ++i) {
      auto with = [&](double value) {
        auto constants = c.constants;
        constants[i] = value;
        return ok(OpticalGauge::create(c.form, constants).value().pressure(y, y0));
      };
      const double ci = c.constants[i], hi = 1e-4 * std::fabs(ci);
      EXPECT_NEAR(s.d_constants[i], derivative(with, ci, hi),
                  1e-7 * (std::fabs(s.d_constants[i]) + 1e-3))
          << "constant " << i << " shift " << shift;
    }
  }
}

TEST_P(GaugeForms, PositionInvertsPressure) {
  const OpticalGauge g = gauge();
  const double y0 = GetParam().reference;
  EXPECT_EQ(ok(g.pressure(y0, y0)), 0.0);
  EXPECT_EQ(ok(g.position(0.0, y0)), y0);
  for (const double p : {-5.0, 1e-9, 1.0, 50.0, 150.0}) {
    const double y = ok(g.position(p, y0));
    EXPECT_NEAR(ok(g.pressure(y, y0)), p, 1e-12 * (std::fabs(p) + 1.0)) << "P " << p;
  }
}

INSTANTIATE_TEST_SUITE_P(OpticalGauge, GaugeForms, testing::ValuesIn(kCases));

TEST(OpticalGauge, RamanEdgeIsTheQuadraticFormWithHalfKPrimeLessOne) {
  const auto raman = OpticalGauge::create(GaugeForm::RamanEdge, std::array{547.0, 3.75}).value();
  const auto quadratic =
      OpticalGauge::create(GaugeForm::Quadratic, std::array{547.0, 1.375}).value();
  for (const double y : {1334.0, 1400.0, 1700.0}) {
    EXPECT_DOUBLE_EQ(ok(raman.pressure(y, 1334.0)), ok(quadratic.pressure(y, 1334.0)));
  }
}

TEST(OpticalGauge, ChecksInOrder) {
  auto failure = [](GaugeForm form, std::vector<double> constants) {
    return OpticalGauge::create(form, constants).error();
  };
  const auto param = [](const char* field, const char* message) {
    return EosError::invalid_parameter(field, message);
  };
  EXPECT_EQ(failure(GaugeForm::Rational, {1.0, 2.0}).field(), "constants");
  EXPECT_EQ(failure(GaugeForm::PowerLaw, {0.0, kNaN}), test_support::positive("A"));
  EXPECT_EQ(failure(GaugeForm::PowerLaw, {1.0, 0.0}), param("B", "must not be zero"));
  EXPECT_EQ(failure(GaugeForm::Rational, {1.0, 0.0, kNaN}), param("C", "must be finite"));
  EXPECT_EQ(failure(GaugeForm::RamanEdge, {547.0, kNaN}), param("K0_prime", "must be finite"));

  const auto ruby = OpticalGauge::create(GaugeForm::PowerLaw, std::array{1904.0, 7.665}).value();
  const auto bad = [](const char* field) {
    return EosError::invalid_state(field, "must be positive and finite");
  };
  EXPECT_EQ(ruby.pressure(-1.0, kNaN).error(), bad("wavelength"));
  EXPECT_EQ(ruby.pressure(700.0, 0.0).error(), bad("reference_wavelength"));
  EXPECT_EQ(ruby.position(kNaN, 0.0).error(), EosError::invalid_state("pressure", "must be finite"));
  // Below -A/B the power law has no position.
  EXPECT_EQ(ruby.position(-300.0, 694.24).error(), EosError::outside_invertible_range());
  const auto diamond =
      OpticalGauge::create(GaugeForm::RamanEdge, std::array{547.0, 3.75}).value();
  EXPECT_EQ(diamond.pressure(0.0, 1334.0).error(), bad("wavenumber"));
}

}  // namespace
}  // namespace barometra
