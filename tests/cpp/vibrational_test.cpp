#include "barometra/thermal/vibrational.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "barometra/quadrature.hpp"

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kR = 8.31446261815324;

// D3 by the adaptive quadrature of its integrand, as it was computed before
// it had a closed expansion.
double debye_by_quadrature(double x) {
  auto integrand = [](double t) noexcept -> Result {
    return t == 0.0 ? 0.0 : t * t * t / std::expm1(t);
  };
  return 3.0 * *integrate(integrand, 0.0, x) / (x * (x * x));
}

TEST(DebyeFunction, MatchesPublishedValuesAndTheQuadratureWithinItsTolerance) {
  EXPECT_NEAR(*debye_function_3(1.0), 0.67441556, 5e-9);
  EXPECT_NEAR(*debye_function_3(10.0), 0.019295766, 5e-10);
  // The quadrature's budget, 1e-10 (1 + |S|) over the panels, bounds its
  // integral's error by about 1e-10 (1 + I), that is 3e-10 (1 + I) / x^3 in D3.
  for (double x = 0.001; x <= 150.0; x *= 1.07) {
    const double d3 = *debye_function_3(x), integral = d3 * x * x * x / 3.0;
    EXPECT_NEAR(d3, debye_by_quadrature(x), 3e-10 * (1.0 + integral) / (x * x * x)) << x;
    // And well within that where the quadrature is at its best.
    if (x > 0.1) {
      EXPECT_NEAR(d3, debye_by_quadrature(x), 1e-12 * d3) << x;
    }
  }
}

TEST(DebyeFunction, SeriesAtSmallArgumentsAndNoStepAtAnyBoundary) {
  // Below 0.001, 1 - 3x/8 + x^2/20 - x^4/1680 to the last bit.
  for (double x : {1e-300, 1e-8, 1e-4, std::nextafter(0.001, 0.0)}) {
    const double x2 = x * x;
    EXPECT_EQ(*debye_function_3(x), (x2 / 20.0) + (1.0 + (-3.0 * x) * 0.125) + x2 * x2 / -1680.0);
  }
  // D3 decreases, and where one formula hands over to the next, neighbouring
  // arguments give values a few ulp apart at most.
  for (double b : {0.001, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 57.0 / 7.0, 57.0 / 2.0, 57.0}) {
    const double below = *debye_function_3(std::nextafter(b, 0.0)), at = *debye_function_3(b);
    EXPECT_LE(at, below) << b;
    EXPECT_LE(below - at, 4.0 * (std::nextafter(below, 2.0) - below)) << b;
  }
  for (double x : {0.0, -1.0, kNaN, kInf}) {
    EXPECT_EQ(debye_function_3(x), std::unexpected(EosError::invalid_state(
                                       "Debye-function argument", "must be positive and finite")));
  }
}

TEST(EnergyFunctions, MatchClosedFormsAndLimits) {
  const double n = 2.0, theta = 400.0;
  for (double t : {20.0, 400.0, 8000.0}) {
    const double expm1 = std::exp(theta / t) - 1.0;
    EXPECT_NEAR(*einstein_energy(theta, n, t), 3 * n * kR * theta / expm1, 1e-13 * 3 * n * kR * t);
    EXPECT_NEAR(*sokolova_einstein_energy(theta, t), theta / 2 + theta / expm1, 1e-13 * t);
    // Bose: d = 1 is T^2 / (theta + T); d -> infinity the Einstein energy with zero point.
    EXPECT_NEAR(*bose_mode_energy(theta, t, 1.0), t * t / (theta + t), 1e-14 * t);
    EXPECT_NEAR(*bose_mode_energy(theta, t, 1e7), theta / 2 + theta / expm1, 1e-6 * (theta + t));
  }
  // theta/T -> 0 keeps every digit of 3nRT (1 - u/2 + u^2/12) only through expm1.
  const double t = 1e10, u = 100.0 / t;
  EXPECT_NEAR(*einstein_energy(100.0, n, t), 3 * n * kR * t * (1 - u / 2 + u * u / 12),
              4e-16 * 3 * n * kR * t);
  EXPECT_NEAR(*sokolova_einstein_energy(100.0, t), t + 100.0 * u / 12.0, 4e-16 * t);
  // theta/T -> infinity: zero (plus the zero point), no overflow.
  EXPECT_EQ(*sokolova_einstein_energy(700.0, 1e-300), 350.0);
  for (double huge : {700.0, 1e300}) EXPECT_LT(std::fabs(*einstein_energy(huge, n, 1.0)), 1e-290);
}

TEST(EnergyFunctions, RejectBadTemperaturesAndNeverReturnNonFiniteValues) {
  const std::function<Result(double)> functions[] = {
      [](double t) { return einstein_energy(500.0, 2.0, t); },
      [](double t) { return bose_mode_energy(500.0, t, 3.0); },
      [](double t) { return sokolova_einstein_energy(500.0, t); }};
  for (const auto& f : functions) {
    for (double t : {0.0, -300.0, kNaN, kInf}) {
      EXPECT_EQ(f(t), std::unexpected(EosError::invalid_state("temperature",
                                                              "must be positive and finite")));
    }
    for (double t : {1e-320, 1e-10, 300.0, 1e300, 1.7e308}) {
      auto e = f(t);
      EXPECT_TRUE(e ? std::isfinite(*e) : e.error().kind() == EosErrorKind::NonFiniteResult) << t;
    }
  }
}

TEST(SokolovaGruneisenIntegrand, MatchesTheNormalisedForm) {
  for (double x : {0.6, 1.0, 1.2}) {
    for (double p : {-2.0, 0.0, 120.0}) {
      const double k = 180.0 + 4.0 * p, kp = 4.2, delta = 0.1, t = 0.6, beta = 0.4;
      const double w = t - beta * std::cbrt(x), r = p / (3.0 * k);
      const double gamma =
          delta + (kp / 2.0 - 1.0 / 6.0 - (w / 3.0) * (1.0 - r)) / (1.0 - 2.0 * w * r);
      EXPECT_NEAR(*sokolova_gruneisen_integrand(x, p, k, kp, delta, t, beta), gamma / x,
                  1e-14 * std::fabs(gamma / x));
    }
  }
  // 3K = 2 P w.
  EXPECT_EQ(sokolova_gruneisen_integrand(1.0, 3.0, 2.0, 1.0, 0.0, 1.0, 0.0),
            std::unexpected(EosError::non_finite_result()));
}

}  // namespace
}  // namespace barometra
