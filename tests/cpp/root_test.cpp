#include "barometra/root.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace barometra {
namespace {

constexpr double kNaN = NAN, kInf = INFINITY;
const EosError kBadPressure = EosError::invalid_state("pressure", "must be finite");

// A pressure function that counts its evaluations.
template <class F>
struct Counted {
  F f;
  int calls = 0;
  Result operator()(double x) noexcept {
    ++calls;
    return f(x);
  }
};

Result stiff(double v) noexcept { return 100.0 * (std::pow(10.0 / v, 4.0) - 1.0); }

TEST(SolveVolume, InvertsAndChecksTheTargetBeforeAnyEvaluationThenTheStart) {
  for (double v : {2.0, 6.0, 9.99, 10.5, 14.0}) {
    EXPECT_NEAR(solve_volume_function(stiff, stiff(v).value(), 10.0).value(), v, 1e-12 * v);
  }
  for (double target : {kNaN, kInf, -kInf}) {
    Counted f{stiff};
    EXPECT_EQ(solve_volume_function(f, target, -1.0).error(), kBadPressure);
    EXPECT_EQ(f.calls, 0);
  }
  for (double start : {0.0, -1.0, kNaN, kInf}) {
    EXPECT_EQ(solve_volume_function(stiff, 1.0, start).error(),
              EosError::invalid_state("reference volume", "must be positive and finite"));
  }
}

// Within 1e-10 of the start's pressure (relative, at least absolute) the start is the answer.
TEST(SolveVolume, AcceptsTheStartAfterOneEvaluation) {
  Counted near{stiff}, beyond{stiff};
  EXPECT_EQ(solve_volume_function(near, 5e-11, 10.0).value(), 10.0);
  EXPECT_EQ(near.calls, 1);
  EXPECT_NE(solve_volume_function(beyond, 2e-10, 10.0).value(), 10.0);
  EXPECT_GT(beyond.calls, 1);
}

// Compression by 0.8 passes 1e-14 of the start after 144 trials; expansion by
// 1.05 stops after 160 trials, below 10^4 times the start.
TEST(SolveVolume, BracketingGivesUpAfterItsTrials) {
  Counted never{[](double) noexcept -> Result { return -1.0; }};
  EXPECT_EQ(solve_volume_function(never, 0.0, 10.0).error(), EosError::bracketing_failed());
  EXPECT_EQ(never.calls, 1 + 144);
  Counted floored{[](double v) noexcept -> Result { return 1.0 / v - 1.0; }};  // tends to -1
  EXPECT_EQ(solve_volume_function(floored, -2.0, 1.0).error(),
            EosError::outside_invertible_range());
  EXPECT_EQ(floored.calls, 1 + 160);
}

TEST(SolveVolume, ModelErrorsPassThroughAndTheResidualIsChecked) {
  const EosError domain = EosError::invalid_state("volume", "is outside the domain");
  auto bounded = [&](double v) noexcept {
    return v < 7.0 ? Result(std::unexpected(domain)) : stiff(v);
  };
  EXPECT_EQ(solve_volume_function(bounded, stiff(5.0).value(), 10.0).error(), domain);
  // A jump brackets but has no root: the final residual check refuses it,
  // while bisect_bracket alone returns the point of the jump.
  auto jump = [](double v) noexcept -> Result { return v < 7.3 ? 10.0 : -10.0; };
  EXPECT_EQ(solve_volume_function(jump, 0.0, 10.0).error(), EosError::convergence_failed());
  EXPECT_NEAR(bisect_bracket(jump, 0.0, 5.0, 10.0, 10.0, -10.0, 1e-12, 1e-15).value(), 7.3, 1e-10);
  EXPECT_EQ(bisect_bracket(stiff, 0.0, 2.0, 1.0, 3.0, 2.0, 1e-14, 1e-15).error(),
            EosError::bracketing_failed());
}

// An error met in the bisection ends the inversion at once: no further halving
// and no residual check.
TEST(SolveVolume, AnErrorInTheBisectionEndsIt) {
  const EosError domain = EosError::invalid_state("volume", "is outside the domain");
  // Start 10, search 8 and 6.4, then halvings at 8.2 and 7.3.
  Counted holed{[&](double v) noexcept {
    return std::fabs(v - 7.3) < 0.1 ? Result(std::unexpected(domain)) : stiff(v);
  }};
  EXPECT_EQ(solve_volume_function(holed, stiff(7.25).value(), 10.0).error(), domain);
  EXPECT_EQ(holed.calls, 5);
}

// Around a jump at 0 with no tolerance, no halving is ever accepted.
TEST(BisectBracket, GivesUpAfter256Halvings) {
  Counted sign{[](double x) noexcept -> Result { return x < 0.0 ? 1.0 : -1.0; }};
  EXPECT_EQ(bisect_bracket(sign, 0.0, -1.0, 1.0, 1.0, -1.0, 0.0, 0.0).error(),
            EosError::convergence_failed());
  EXPECT_EQ(sign.calls, 256);
}

TEST(CheckResidual, ToleranceIsRelativeAndAtLeastAbsolute) {
  auto identity = [](double x) noexcept -> Result { return x; };
  EXPECT_TRUE(check_residual(identity, 1e9, 1e9 + 9.0) && check_residual(identity, 0.0, 0.9e-8));
  EXPECT_FALSE(check_residual(identity, 1e9, 1e9 + 11.0) || check_residual(identity, 0.0, 1.1e-8));
}

// (ln(T/300) - a)(ln(T/300) - b) crosses zero once on each side of 300.
auto two_roots(double a, double b) {
  return [a, b](double t) noexcept -> Result {
    const double l = std::log(t / 300.0);
    return (l - a) * (l - b);
  };
}

TEST(SolveTemperature, KeepsTheRootNearestTheStartOnALogScale) {
  EXPECT_NEAR(solve_temperature_function(two_roots(-0.05, 0.1), 0.0, 300.0).value(),
              300.0 * std::exp(-0.05), 1e-9);
  EXPECT_NEAR(solve_temperature_function(two_roots(-0.1, 0.05), 0.0, 300.0).value(),
              300.0 * std::exp(0.05), 1e-9);
  // A single crossing on either side.
  auto linear = [](double t) noexcept -> Result { return 0.003 * (t - 300.0); };
  for (double t : {1.0, 299.0, 301.0, 1e6}) {
    EXPECT_NEAR(solve_temperature_function(linear, linear(t).value(), 300.0).value(), t, 1e-9 * t);
  }
}

TEST(SolveTemperature, Errors) {
  Counted far{[](double t) noexcept -> Result { return t - 2e8; }};  // beyond 1e8 times the start
  EXPECT_EQ(solve_temperature_function(far, 0.0, 1.0).error(),
            EosError::outside_invertible_range());
  EXPECT_LE(far.calls, 1 + 2 * 160);
  auto flat = [](double) noexcept -> Result { return 0.0; };
  EXPECT_EQ(solve_temperature_function(flat, kNaN, -1.0).error(), kBadPressure);
  EXPECT_EQ(solve_temperature_function(flat, 1.0, 0.0).error(),
            EosError::invalid_state("temperature", "must be positive and finite"));
  auto failing = [](double t) noexcept {
    return t > 400.0 ? Result(std::unexpected(EosError::non_finite_result())) : Result(t);
  };
  EXPECT_EQ(solve_temperature_function(failing, 1000.0, 300.0).error(),
            EosError::non_finite_result());
}

}  // namespace
}  // namespace barometra
