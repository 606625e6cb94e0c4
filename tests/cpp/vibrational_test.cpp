#include "barometra/thermal/vibrational.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "barometra/quadrature.hpp"

namespace barometra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kR = 8.31446261815324;

// D3 by the Bernoulli series 1 - 3x/8 + 3 sum B_2k x^2k / ((2k+3)(2k)!),
// which converges for x < 2 pi; used here for x <= 1.
double debye_by_bernoulli_series(double x) {
  const double bernoulli[] = {1.0 / 6,       -1.0 / 30,     1.0 / 42,       -1.0 / 30,
                              5.0 / 66,      -691.0 / 2730, 7.0 / 6,        -3617.0 / 510,
                              43867.0 / 798, -174611.0 / 330};
  double sum = 1.0 - 3.0 * x / 8.0;
  double power = 1.0, factorial = 1.0;
  for (int k = 1; k <= 10; ++k) {
    power *= x * x;
    factorial *= (2.0 * k - 1.0) * (2.0 * k);
    sum += 3.0 * bernoulli[k - 1] * power / ((2.0 * k + 3.0) * factorial);
  }
  return sum;
}

// D3 from the tail of the integral, int_0^x = pi^4/15 - sum_k e^-kx (x^3/k +
// 3x^2/k^2 + 6x/k^3 + 6/k^4); used for x >= 0.5.
double debye_by_exponential_series(double x) {
  double tail = 0.0;
  for (int k = 400; k >= 1; --k) {
    const double kk = k;
    tail += std::exp(-kk * x) *
            (x * x * x / kk + 3.0 * x * x / (kk * kk) + 6.0 * x / (kk * kk * kk) +
             6.0 / (kk * kk * kk * kk));
  }
  const double pi = std::acos(-1.0);
  return 3.0 * (std::pow(pi, 4) / 15.0 - tail) / (x * x * x);
}

TEST(DebyeFunction, PublishedValuesToEightDigits) {
  EXPECT_NEAR(*debye_function_3(1.0), 0.67441556, 5e-9);
  EXPECT_NEAR(*debye_function_3(10.0), 0.019295766, 5e-10);
}

class DebyeFunctionQuadratureBranch : public ::testing::TestWithParam<double> {};

TEST_P(DebyeFunctionQuadratureBranch, MatchesAnIndependentSeries) {
  const double x = GetParam();
  auto d3 = debye_function_3(x);
  ASSERT_TRUE(d3);
  const double reference = x <= 1.0 ? debye_by_bernoulli_series(x) : debye_by_exponential_series(x);
  EXPECT_NEAR(*d3, reference, 1e-11 * reference) << x;
  if (x >= 0.5 && x <= 1.0) {
    EXPECT_NEAR(debye_by_bernoulli_series(x), debye_by_exponential_series(x), 1e-13);
  }
}

INSTANTIATE_TEST_SUITE_P(VibrationalFunctions, DebyeFunctionQuadratureBranch,
                         ::testing::Values(0.001, 0.0013, 0.01, 0.1, 0.5, 0.75, 1.0, 2.0, 3.7,
                                           5.0, 10.0, 20.0, 50.0, 100.0, 149.9, 150.0));

TEST(DebyeFunction, SeriesBelowTheLowerThreshold) {
  for (double x : {1e-300, 1e-8, 1e-4, 9.99e-4, std::nextafter(0.001, 0.0)}) {
    const double x2 = x * x;
    EXPECT_EQ(*debye_function_3(x), (x2 / 20.0) + (1.0 + (-3.0 * x) * 0.125) + x2 * x2 / -1680.0)
        << x;
  }
  EXPECT_NEAR(*debye_function_3(1e-4), 1.0 - 3.75e-5, 1e-9);
}

TEST(DebyeFunction, AsymptoteAboveTheUpperThreshold) {
  for (double x : {std::nextafter(150.0, 200.0), 200.0, 1e4, 1e200, 1e300}) {
    EXPECT_EQ(*debye_function_3(x), 97.40909103400242 / (x * (x * x) * 5.0)) << x;
  }
  EXPECT_EQ(*debye_function_3(200.0), 97.40909103400242 / (5.0 * 200.0 * 200.0 * 200.0));
}

// The integral through the same quadrature, with an integrand written here.
double debye_by_quadrature(double x) {
  auto integrand = [](double t) noexcept -> Result {
    return t == 0.0 ? 0.0 : t * t * t / std::expm1(t);
  };
  return 3.0 * *integrate(integrand, 0.0, x) / (x * (x * x));
}

TEST(DebyeFunction, ThresholdsAreStrict) {
  EXPECT_EQ(*debye_function_3(0.001), debye_by_quadrature(0.001));
  EXPECT_EQ(*debye_function_3(150.0), debye_by_quadrature(150.0));
  // And the asymptote is not what 150 returns.
  EXPECT_NE(*debye_function_3(150.0), 97.40909103400242 / (150.0 * 150.0 * 150.0 * 5.0));
}

TEST(DebyeFunction, ContinuousAcrossBothThresholds) {
  for (double threshold : {0.001, 150.0}) {
    const double below = *debye_function_3(std::nextafter(threshold, 0.0));
    const double at = *debye_function_3(threshold);
    const double above = *debye_function_3(std::nextafter(threshold, 1e3));
    EXPECT_NEAR(below, at, 1e-12 * at) << threshold;
    EXPECT_NEAR(above, at, 1e-12 * at) << threshold;
  }
}

TEST(DebyeFunction, DecreasesFromOneToZero) {
  double previous = 1.0;
  for (double x = 1e-4; x < 400.0; x *= 1.37) {
    const double d3 = *debye_function_3(x);
    EXPECT_LT(d3, previous) << x;
    EXPECT_GT(d3, 0.0) << x;
    previous = d3;
  }
}

TEST(DebyeFunction, RejectsArgumentsThatAreNotPositiveAndFinite) {
  for (double x : {0.0, -0.0, -1.0, kNaN, kInf, -kInf}) {
    auto d3 = debye_function_3(x);
    ASSERT_FALSE(d3) << x;
    EXPECT_EQ(d3.error(),
              EosError::invalid_state("Debye-function argument", "must be positive and finite"));
  }
}

TEST(EinsteinEnergy, MatchesTheClosedFormAndItsLimits) {
  const double n = 2.0;
  for (double u : {0.05, 0.5, 1.0, 3.0, 20.0}) {
    const double theta = 400.0, t = theta / u;
    EXPECT_NEAR(*einstein_energy(theta, n, t), 3.0 * n * kR * theta / (std::exp(u) - 1.0),
                1e-14 * 3.0 * n * kR * t)
        << u;
  }
  // theta/T -> 0: 3nRT (1 - u/2 + u^2/12) keeps all its digits only through expm1.
  const double t = 1e10, theta = 1e2, u = theta / t;
  EXPECT_NEAR(*einstein_energy(theta, n, t), 3.0 * n * kR * t * (1.0 - u / 2.0 + u * u / 12.0),
              4e-16 * 3.0 * n * kR * t);
  // theta/T -> infinity: no overflow, just zero.
  for (double huge_u : {700.0, 1e5, 1e300}) {
    auto e = einstein_energy(huge_u, n, 1.0);
    ASSERT_TRUE(e) << huge_u;
    EXPECT_GE(*e, 0.0) << huge_u;
    EXPECT_LT(*e, 1e-290) << huge_u;
  }
}

TEST(BoseModeEnergy, ReducesToItsLimits) {
  // d = 1: no zero-point term, T^2 / (theta + T).
  for (double theta : {1e-6, 10.0, 300.0, 5e3}) {
    for (double t : {1.0, 300.0, 3000.0}) {
      EXPECT_NEAR(*bose_mode_energy(theta, t, 1.0), t * t / (theta + t), 1e-14 * t) << theta;
    }
  }
  // d -> infinity: the Einstein energy with its zero point.
  for (double t : {100.0, 300.0, 2000.0}) {
    const double theta = 500.0;
    const double einstein = theta / 2.0 + theta / std::expm1(theta / t);
    EXPECT_NEAR(*bose_mode_energy(theta, t, 1e7), einstein, 1e-6 * einstein) << t;
  }
}

TEST(SokolovaEinsteinEnergy, ZeroPointAndHighTemperature) {
  EXPECT_EQ(*sokolova_einstein_energy(700.0, 1.0), 350.0);
  EXPECT_EQ(*sokolova_einstein_energy(700.0, 1e-300), 350.0);
  const double theta = 700.0;
  for (double t : {100.0, 700.0, 5000.0}) {
    const double expected = theta / 2.0 + theta / (std::exp(theta / t) - 1.0);
    EXPECT_NEAR(*sokolova_einstein_energy(theta, t), expected, 1e-13 * t);
  }
  // theta/T -> 0: theta/2 + T (1 - u/2 + u^2/12) = T + theta u / 12.
  const double t = 1e9, u = theta / t;
  EXPECT_NEAR(*sokolova_einstein_energy(theta, t), t + theta * u / 12.0, 4e-16 * t);
}

TEST(SokolovaGruneisenIntegrand, MatchesTheNormalisedForm) {
  // P = 0, beta = 0: (delta + (3 K' - 1 - 2t) / 6) / x.
  EXPECT_NEAR(*sokolova_gruneisen_integrand(0.8, 0.0, 200.0, 4.5, 0.3, 0.7, 0.0),
              (0.3 + (3.0 * 4.5 - 1.0 - 2.0 * 0.7) / 6.0) / 0.8, 1e-15);
  for (double x : {0.6, 0.9, 1.0, 1.2}) {
    for (double p : {-2.0, 0.0, 15.0, 120.0}) {
      const double k = 180.0 + 4.0 * p, kp = 4.2, delta = 0.1, t = 0.6, beta = 0.4;
      const double w = t - beta * std::cbrt(x);
      const double r = p / (3.0 * k);
      const double gamma =
          delta + (kp / 2.0 - 1.0 / 6.0 - (w / 3.0) * (1.0 - r)) / (1.0 - 2.0 * w * r);
      EXPECT_NEAR(*sokolova_gruneisen_integrand(x, p, k, kp, delta, t, beta), gamma / x,
                  1e-14 * std::fabs(gamma / x))
          << x << " " << p;
    }
  }
}

TEST(SokolovaGruneisenIntegrand, ZeroDenominatorIsNonFinite) {
  // 3K = 2 P w with w = t = 1.
  auto r = sokolova_gruneisen_integrand(1.0, 3.0, 2.0, 1.0, 0.0, 1.0, 0.0);
  ASSERT_FALSE(r);
  EXPECT_EQ(r.error().kind(), EosErrorKind::NonFiniteResult);
}

struct EnergyFunction {
  const char* name;
  std::function<Result(double)> at_temperature;
};

class EnergyFunctions : public ::testing::TestWithParam<EnergyFunction> {};

TEST_P(EnergyFunctions, RejectTemperaturesThatAreNotPositiveAndFinite) {
  for (double t : {0.0, -0.0, -300.0, kNaN, kInf, -kInf}) {
    auto e = GetParam().at_temperature(t);
    ASSERT_FALSE(e) << t;
    EXPECT_EQ(e.error(), EosError::invalid_state("temperature", "must be positive and finite"));
  }
}

TEST_P(EnergyFunctions, NeverReturnNonFiniteValues) {
  for (double t : {1e-320, 1e-300, 1e-10, 1.0, 300.0, 1e10, 1e300, 1.7e308}) {
    auto e = GetParam().at_temperature(t);
    if (e) {
      EXPECT_TRUE(std::isfinite(*e)) << t;
    } else {
      EXPECT_EQ(e.error().kind(), EosErrorKind::NonFiniteResult) << t;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    VibrationalFunctions, EnergyFunctions,
    ::testing::Values(
        EnergyFunction{"einstein", [](double t) { return einstein_energy(500.0, 2.0, t); }},
        EnergyFunction{"bose", [](double t) { return bose_mode_energy(500.0, t, 3.0); }},
        EnergyFunction{"sokolova", [](double t) { return sokolova_einstein_energy(500.0, t); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace barometra
